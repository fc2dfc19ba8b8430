#pragma once

#include <QByteArray>

class QIODevice;

// Reads the lines of the program's 8-bit text files: a line ends at CR LF or
// at a CR alone; a LF alone belongs to its line; the end of the file ends the
// last line, and a final line end yields no extra empty line. The device is
// read in chunks, so that a file of any size (or one without line ends at
// all) never has to sit in memory.
class LineReader
{
public:
    enum Result { Line, End, TooLong, Error };

    explicit LineReader(QIODevice& device) : m_device(device) {}

    // The next line without its terminator. With line null the bytes are
    // skipped; otherwise a line longer than keep bytes stops at TooLong.
    Result next(QByteArray* line, qsizetype keep);

private:
    bool exhausted() const { return m_pos >= m_buffer.size() && m_end; }
    bool fill();

    QIODevice& m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_end = false;
};
