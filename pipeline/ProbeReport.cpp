#include "pipeline/ProbeReport.h"

#include "common/VbNumber.h"

#include <QString>
#include <QStringList>

namespace
{

std::optional<FrameSize> parseStreamLine(const QString& line)
{
    if (!line.contains(QStringLiteral("Video:")))
        return std::nullopt;
    const QStringList fields = line.split(u':');
    if (fields.size() < 3 || !fields[2].contains(u'x'))
        return std::nullopt;
    const QStringList pieces = fields[2].split(u'x');
    const QString widthText = pieces[0].right(4);
    const QString& after = pieces[1];
    const QString heightText =
        after.size() >= 4 && after[3] == u',' ? after.left(3) : after.left(4);
    const VbInteger width = ParseVbInteger(widthText);
    const VbInteger height = ParseVbInteger(heightText);
    if (!width.ok() || !height.ok())
        return std::nullopt;
    return FrameSize{*width.value, *height.value};
}

} // namespace

std::optional<FrameSize> ParseProbeReport(const QByteArray& report)
{
    std::optional<FrameSize> found;
    QByteArray normalized = report;
    normalized.replace("\r\n", "\n").replace('\r', '\n');
    for (const QByteArray& line : normalized.split('\n')) {
        if (auto size = parseStreamLine(QString::fromLocal8Bit(line)))
            found = size;
    }
    return found;
}
