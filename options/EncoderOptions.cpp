#include "options/EncoderOptions.h"

#include "common/CommandLine.h"

namespace
{

QString rightHandX(qint16 width)
{
    if (width > 400)
        return QString::number(qint16(width - 350));
    return QString::number(width / 2.0, 'g', 10); // 160 for 320, 199.5 for 399
}

QString bottomY(qint16 height)
{
    return QString::number(qint16(height - 50));
}

} // namespace

CornerTexts CornerRule(Corner corner, qint16 sourceWidth, qint16 sourceHeight,
                       const QString& typedLeft, const QString& typedTop)
{
    const QString ten = QStringLiteral("10");
    switch (corner) {
    case Corner::TopLeft:
        return {ten, ten};
    case Corner::TopRight:
        return {rightHandX(sourceWidth), ten};
    case Corner::BottomLeft:
        return {ten, bottomY(sourceHeight)};
    case Corner::BottomRight:
        return {rightHandX(sourceWidth), bottomY(sourceHeight)};
    case Corner::None:
        break;
    }
    return {typedLeft, typedTop};
}

QString SizeText(FrameSize size)
{
    return QStringLiteral("%1x%2").arg(size.width).arg(size.height);
}

void SetListEntry(EncoderControls& c, JobField field, const QString& entry)
{
    switch (field) {
    case JobField::FrameSize:
        c.frameSize = {entry.section(u'x', 0, 0).toShort(), entry.section(u'x', 1).toShort()};
        break;
    case JobField::VideoBitrate:
        c.videoBitrate = entry.toInt();
        break;
    case JobField::FrameRate:
        c.frameRate = entry.toInt();
        break;
    case JobField::AudioRate:
        c.audioRate = entry.toInt();
        break;
    case JobField::AudioBitrate:
        c.audioBitrate = entry.toInt();
        break;
    case JobField::Channels:
        c.channels = entry == u"Stereo" ? 2 : 1;
        break;
    default:
        Q_UNREACHABLE();
    }
}

QString ComposeEncoderOptions(const EncoderControls& c, const EncoderPaths& paths)
{
    const QChar sep = paths.separator;
    const OutputFormat& format = FormatOf(c.format);
    QString options = QStringLiteral(" -b %1kb/s -s %2 -r %3 ")
                          .arg(c.videoBitrate)
                          .arg(SizeText(c.frameSize))
                          .arg(c.frameRate) +
                      QLatin1String(format.videoCodec);
    if (c.watermark) {
        const QString hook = paths.appShort + sep + QStringLiteral("vhook") + sep;
        const QString module =
            hook + QStringLiteral("imlib2.dll -c ") + c.colorName + QStringLiteral(" -F ") +
            paths.fontsRoot + sep + QStringLiteral("fonts") + sep + c.fontFileName + u'/' +
            c.fontSize + QStringLiteral(" -C ") + hook + QStringLiteral("rgb.txt -A ") +
            QString::number(c.alpha.value_or(255)) + QStringLiteral(" -x ") + c.left +
            QStringLiteral(" -y ") + c.top + QStringLiteral(" -t ") + c.watermarkText;
        options += QStringLiteral(" -vhook ") + Quoted(module) + u' ';
    }
    if (c.disableAudio)
        return options + QStringLiteral("-an ");
    return options +
           QStringLiteral("-ar %1Hz -ab %2k -ac %3 ")
               .arg(c.audioRate)
               .arg(c.audioBitrate)
               .arg(c.channels) +
           QLatin1String(format.audioCodec);
}
