#include "options/Catalogs.h"

#include "common/LineReader.h"
#include "common/TextFile.h"
#include "common/VbError.h"
#include "common/VbNumber.h"
#include "options/JobOptionTable.h"

#include <QBuffer>

QList<QByteArray> SplitCatalogLines(const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer);
    QList<QByteArray> lines;
    QByteArray line;
    qint16 counter = 0;
    while (reader.next(&line, data.size()) == LineReader::Line) {
        lines.append(line);
        if (counter == 32767)
            throw VbError(VbError::Overflow, QStringLiteral("Overflow"));
        ++counter;
    }
    return lines;
}

namespace
{

VbError missingField(const QString& what)
{
    return VbError(VbError::SubscriptOutOfRange,
                   QStringLiteral("Subscript out of range (") + what + u')');
}

} // namespace

FontEntry ParseFontLine(const QString& line)
{
    const QStringList fields = line.split(u',');
    if (fields.size() < 2)
        throw missingField(QStringLiteral("fonts.txt line without a display name"));
    return {fields[0], fields[1]};
}

ColorEntry ParseColorLine(const QString& line)
{
    const QStringList fields = line.split(u' ');
    if (fields.size() < 4)
        throw missingField(QStringLiteral("colors.txt line with fewer than four fields"));
    const qint32 red = CIntOrThrow(fields[0]);
    const qint32 green = CIntOrThrow(fields[1]);
    const qint32 blue = CIntOrThrow(fields[2]);
    return {fields[3], static_cast<quint32>(red + 256 * green + 65536 * blue)};
}

Catalogs LoadCatalogs(const QString& appFolder)
{
    Catalogs catalogs;
    for (const QByteArray& line : SplitCatalogLines(ReadTextFile(appFolder + "/fonts.txt")))
        catalogs.fonts.append(ParseFontLine(QString::fromLocal8Bit(line)));
    for (const QByteArray& line : SplitCatalogLines(ReadTextFile(appFolder + "/fontsizes.txt")))
        catalogs.fontSizes.append(QString::fromLocal8Bit(line));

    // Start-up selects these positions; a catalog without them cannot start.
    auto noSuchPosition = [](const QString& why) {
        return VbError(VbError::InvalidPropertyValue,
                       QStringLiteral("Invalid property value (") + why + u')');
    };
    if (catalogs.fonts.size() <= JobOptionOf(JobField::Font).start)
        throw noSuchPosition(QStringLiteral("fonts.txt has no font"));
    if (catalogs.fontSizes.size() <= JobOptionOf(JobField::FontSize).start)
        throw noSuchPosition(QStringLiteral("fontsizes.txt has fewer than two lines"));

    for (const QByteArray& line : SplitCatalogLines(ReadTextFile(appFolder + "/colors.txt")))
        catalogs.colors.append(ParseColorLine(QString::fromLocal8Bit(line)));
    return catalogs;
}

QString FontPackage(const QString& fontFileName)
{
    // Debian 13 moved Liberation Sans Narrow out of fonts-liberation, to the same path.
    static const struct {
        const char* start;
        const char* package;
    } packages[] = {
        {"truetype/liberation/LiberationSansNarrow",
         "fonts-liberation-sans-narrow (on Debian 12: fonts-liberation)"},
        {"truetype/liberation/", "fonts-liberation"},
        {"truetype/dejavu/", "fonts-dejavu-core"},
        {"truetype/freefont/", "fonts-freefont-ttf"},
    };
    for (const auto& font : packages)
        if (fontFileName.startsWith(QLatin1String(font.start)))
            return QLatin1String(font.package);
    return QString();
}
