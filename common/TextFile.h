#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The program's own text files (catalogs, the link file). Failures throw
// VbError naming the file: 53 when it is missing, 75 when it cannot be read.

// The whole file.
QByteArray ReadTextFile(const QString& path);

// The file's first line, without its end, read up to the first CR and no
// further; nothing for a file without a line. A first line longer than keep
// bytes throws VbError 6 (overflow).
std::optional<QByteArray> ReadFirstLine(const QString& path, qsizetype keep);
