#include "options/JobOptionTable.h"

#include "options/OutputFormats.h"

namespace
{

// "a, b or c"
QString oneOf(QStringList items)
{
    const QString last = items.takeLast();
    return items.isEmpty() ? last
                           : items.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

QList<JobOption> makeOptions()
{
    QStringList formats, formatWords;
    for (const OutputFormat& format : OutputFormats()) {
        formats << QLatin1String(format.key);
        formatWords << QLatin1String(format.words);
    }
    formatWords.first() += QStringLiteral(" (default)");
    const QStringList corners = {"top-left", "top-right", "bottom-left", "bottom-right"};
    using enum OptionKind;
    // "240x180" stands before "240x135" on purpose: users know the list so.
    // clang-format off
    return {
        {JobField::FrameSize, "size", "WxH", "frame size", List,
         {"160x120", "240x180", "240x135", "320x180", "320x240", "400x225", "400x300", "512x288",
          "512x384", "640x360", "640x480", "768x432", "768x576"},
         6},
        {JobField::VideoBitrate, "video-bitrate", "KBPS", "video bitrate in kbit/s", List,
         {"40", "96", "112", "160", "225", "350", "450", "800", "1200"}, 4},
        {JobField::FrameRate, "frame-rate", "FPS", "frames a second", List,
         {"8", "12", "15", "24", "25", "30"}, 3},
        {JobField::AudioRate, "audio-rate", "HZ", "audio sampling frequency", List,
         {"11025", "22050", "44100"}, 1},
        {JobField::AudioBitrate, "audio-bitrate", "KBPS", "audio bitrate in kbit/s", List,
         {"24", "32", "48", "56", "64", "80", "96", "112", "128", "160"}, 4},
        {JobField::Channels, "channels", "Stereo|Mono", "audio channels", List, {"Stereo", "Mono"},
         1},
        {JobField::NoAudio, "no-audio", "", "leave the audio out", Switch},
        {JobField::Format, "format", formats.join(u'|'), oneOf(formatWords), Choice, formats},
        {JobField::WatermarkText, "watermark", "TEXT", "draw TEXT on the picture", Text},
        {JobField::Font, "font", "NAME", "watermark font, as fonts.txt names it", Font, {}, 0},
        {JobField::FontSize, "font-size", "N", "watermark font size, from fontsizes.txt", FontSize,
         {}, 1},
        {JobField::Colour, "colour", "NAME", "watermark colour, from colors.txt", Colour, {}, 6},
        {JobField::Corner, "corner", "CORNER", oneOf(corners), Choice, corners},
        {JobField::Opacity, "opacity", "0-255", "watermark opacity", Number, {}, 255, 0, 255},
        {JobField::StillsCount, "stills", "N", "also write JPEG stills of the first N frames (1-99)",
         Number, {}, 10, 1, 99},
        {JobField::Settings, "settings", "FILE.wsx", "watermark settings saved by the window", File},
        {JobField::OutputFolder, "output-dir", "DIR", "write into DIR (default: beside each source)",
         Folder},
        // The watermark's place when no corner is chosen.
        {JobField::Left, "", "", "", Number, {}, 10},
        {JobField::Top, "", "", "", Number, {}, 10},
    };
    // clang-format on
}

} // namespace

const QList<JobOption>& JobOptions()
{
    static const QList<JobOption> options = makeOptions();
    return options;
}

const JobOption& JobOptionOf(JobField field)
{
    for (const JobOption& option : JobOptions()) {
        if (option.field == field)
            return option;
    }
    Q_UNREACHABLE();
}

const JobOption* FindJobOption(const QString& name)
{
    for (const JobOption& option : JobOptions()) {
        if (!name.isEmpty() && option.name == name)
            return &option;
    }
    return nullptr;
}
