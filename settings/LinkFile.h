#pragma once

#include <QByteArray>
#include <QString>

// The link file "kestrel.swx": its first line holds the scrambled web address
// that the program's web links open. Lines after the first are not read.

// Reads and unscrambles the first line. Throws VbError: 53 when the file is
// missing, 75 when it cannot be read, 62 when it holds no line at all.
QString ReadLinkFile(const QString& path);

// The bytes of a link file for the address. Throws std::invalid_argument when
// the scrambled address would hold a line-end byte.
QByteArray MakeLinkFile(const QString& target);

// The first byte of the value whose scrambled form is CR or LF, which would
// break the value across two lines of a scrambled file; -1 when there is none.
qsizetype ScrambledLineBreakAt(const QByteArray& value);
inline bool ScrambledValueBreaksLine(const QByteArray& value)
{
    return ScrambledLineBreakAt(value) >= 0;
}
