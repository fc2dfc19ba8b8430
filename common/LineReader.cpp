#include "common/LineReader.h"

#include <QIODevice>
#include <cstring>

namespace
{
constexpr qsizetype ChunkSize = 64 * 1024;
}

LineReader::Result LineReader::next(QByteArray* line, qsizetype keep)
{
    if (!fill())
        return Error;
    if (exhausted())
        return End;
    if (line)
        line->clear();
    qsizetype length = 0;
    for (;;) {
        if (!fill())
            return Error;
        if (exhausted())
            return Line; // the end of the file ends the last line
        const char* start = m_buffer.constData() + m_pos;
        const qsizetype available = m_buffer.size() - m_pos;
        const auto* cr = static_cast<const char*>(std::memchr(start, '\r', available));
        const qsizetype take = cr ? cr - start : available;
        length += take;
        if (line) {
            if (length > keep)
                return TooLong;
            line->append(start, take);
        }
        m_pos += take;
        if (cr) {
            ++m_pos;
            if (!fill())
                return Error;
            if (!exhausted() && m_buffer[m_pos] == '\n')
                ++m_pos;
            return Line;
        }
    }
}

// Makes sure unread bytes are buffered unless the device is at its end.
bool LineReader::fill()
{
    if (m_pos < m_buffer.size() || m_end)
        return true;
    m_buffer.resize(ChunkSize);
    const qint64 got = m_device.read(m_buffer.data(), ChunkSize);
    if (got < 0)
        return false;
    m_buffer.resize(got);
    m_pos = 0;
    m_end = got == 0;
    return true;
}
