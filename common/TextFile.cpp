#include "common/TextFile.h"

#include "common/LineReader.h"
#include "common/VbError.h"

#include <QFile>
#include <QFileInfo>

namespace
{

VbError accessError(const QString& path)
{
    return VbError(VbError::PathFileAccessError,
                   QStringLiteral("Path/File access error: ") + QFileInfo(path).fileName());
}

void openForReading(QFile& file)
{
    if (!file.exists())
        throw VbError(VbError::FileNotFound,
                      QStringLiteral("File not found: ") + QFileInfo(file).fileName());
    if (!file.open(QIODevice::ReadOnly))
        throw accessError(file.fileName());
}

} // namespace

QByteArray ReadTextFile(const QString& path)
{
    QFile file(path);
    openForReading(file);
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw accessError(path);
    return data;
}

std::optional<QByteArray> ReadFirstLine(const QString& path, qsizetype keep)
{
    QFile file(path);
    openForReading(file);
    LineReader reader(file);
    QByteArray line;
    switch (reader.next(&line, keep)) {
    case LineReader::Line:
        return line;
    case LineReader::End:
        return std::nullopt;
    case LineReader::TooLong:
        throw VbError(VbError::Overflow, QStringLiteral("Overflow"));
    case LineReader::Error:
        break;
    }
    throw accessError(path);
}
