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

QString ComposeEncoderOptions(const EncoderControls& c, const EncoderPaths& paths)
{
    const QChar sep = paths.separator;
    QString options = QStringLiteral(" -b ") + c.videoBitrate + QStringLiteral("kb/s ");
    options += QStringLiteral("-s ") + c.videoWindow + u' ';
    options += QStringLiteral("-r ") + c.videoFrameRate + u' ';
    const bool h264 = c.format == FlvFormat::H264;
    if (h264)
        options += QStringLiteral("-vcodec libx264 ");
    if (c.watermark) {
        const QString hook = paths.appShort + sep + QStringLiteral("vhook") + sep;
        const QString module =
            hook + QStringLiteral("imlib2.dll -c ") + c.colorName + QStringLiteral(" -F ") +
            paths.windowsDir + sep + QStringLiteral("fonts") + sep + c.fontFileName + u'/' +
            c.fontSize + QStringLiteral(" -C ") + hook + QStringLiteral("rgb.txt -A ") +
            QString::number(c.alpha) + QStringLiteral(" -x ") + c.left + QStringLiteral(" -y ") +
            c.top + QStringLiteral(" -t ") + c.watermarkText;
        options += QStringLiteral(" -vhook ") + Quoted(module) + u' ';
    }
    if (c.disableAudio) {
        options += QStringLiteral("-an ");
    } else {
        options += QStringLiteral("-ar ") + c.audioSampling + QStringLiteral("Hz ");
        options += QStringLiteral("-ab ") + c.audioBitrate + QStringLiteral("k ");
        options +=
            c.audioChannel == u"Stereo" ? QStringLiteral("-ac 2 ") : QStringLiteral("-ac 1 ");
        if (h264)
            options += QStringLiteral("-acodec libfaac ");
    }
    return options;
}
