#include "console/JobOptions.h"

#include "console/UsageError.h"
#include "options/OptionLists.h"
#include "pipeline/PathHelpers.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace
{

// The options whose values come from the window's fixed lists.
struct ListOption {
    const char* name;
    const char* control;
    QString EncoderControls::*field;
};
const ListOption ListOptions[] = {
    {"size", "cmbVideoWindow", &EncoderControls::videoWindow},
    {"video-bitrate", "cmbVideoBitrate", &EncoderControls::videoBitrate},
    {"frame-rate", "cmbVideoFrameRate", &EncoderControls::videoFrameRate},
    {"audio-rate", "cmbAudioSampling", &EncoderControls::audioSampling},
    {"audio-bitrate", "cmbAudioBitrate", &EncoderControls::audioBitrate},
    {"channels", "cmbAudioChannel", &EncoderControls::audioChannel},
};

const FixedOptionList& fixedList(const char* control)
{
    for (const FixedOptionList& list : FixedOptionLists()) {
        if (qstrcmp(list.controlName, control) == 0)
            return list;
    }
    Q_UNREACHABLE();
}

const QStringList CornerNames = {"top-left", "top-right", "bottom-left", "bottom-right"};
const Corner Corners[] = {Corner::TopLeft, Corner::TopRight, Corner::BottomLeft,
                          Corner::BottomRight};

// The entry as the list spells it, whatever the case typed.
QString pick(const QString& option, const QString& value, const QStringList& entries)
{
    for (const QString& entry : entries) {
        if (entry.compare(value, Qt::CaseInsensitive) == 0)
            return entry;
    }
    throw UsageError(QStringLiteral("--%1 takes one of: %2 (not \"%3\")")
                         .arg(option, entries.join(QStringLiteral(", ")), value));
}

int wholeNumber(const QString& option, const QString& value, int lowest, int highest)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < lowest || n > highest)
        throw UsageError(QStringLiteral("--%1 takes a whole number from %2 to %3 (not \"%4\")")
                             .arg(option)
                             .arg(lowest)
                             .arg(highest)
                             .arg(value));
    return n;
}

void applySettingsFile(JobRequest& job, const QString& path, const Catalogs& catalogs)
{
    const QString prefix = QStringLiteral("--settings ") + path + QStringLiteral(": ");
    QFile file(path);
    // A device or a pipe could keep the program waiting for ever.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        throw UsageError(prefix + QStringLiteral("cannot read the file"));
    const LoadedSettings loaded =
        ReadSettings(file, int(catalogs.fonts.size()), int(catalogs.fontSizes.size()));
    if (!loaded.complete || !loaded.fontSizeIndex || *loaded.colorIndex < 0 ||
        *loaded.colorIndex >= catalogs.colors.size() || *loaded.fontIndex < 0 ||
        *loaded.fontSizeIndex < 0)
        throw UsageError(prefix + QStringLiteral("not a watermark settings file that the colour, "
                                                 "font and size lists can take"));
    EncoderControls& c = job.options;
    c.watermark = true;
    c.watermarkText = *loaded.text;
    c.colorName = catalogs.colors[*loaded.colorIndex].name;
    job.alphaText = *loaded.alpha;
    const Corner fileOrder[] = {Corner::TopLeft, Corner::BottomLeft, Corner::TopRight,
                                Corner::BottomRight};
    job.corner = fileOrder[static_cast<int>(*loaded.corner) - 1];
    c.fontFileName = catalogs.fonts[*loaded.fontIndex].fileName;
    c.fontSize = catalogs.fontSizes[*loaded.fontSizeIndex];
}

void applyOption(JobRequest& job, const QString& name, const QString& value,
                 const Catalogs& catalogs)
{
    EncoderControls& c = job.options;
    for (const ListOption& list : ListOptions) {
        if (name == QLatin1String(list.name)) {
            c.*list.field = pick(name, value, fixedList(list.control).entries);
            return;
        }
    }
    if (name == u"no-audio") {
        c.disableAudio = pick(name, value, {"true", "false"}) == u"true";
    } else if (name == u"format") {
        c.format = pick(name, value, {"sorenson", "h264"}) == u"h264" ? FlvFormat::H264
                                                                      : FlvFormat::Sorenson;
    } else if (name == u"watermark") {
        c.watermark = true;
        c.watermarkText = value;
    } else if (name == u"font") {
        QStringList names;
        for (const FontEntry& font : catalogs.fonts)
            names << font.displayName;
        c.fontFileName = catalogs.fonts[names.indexOf(pick(name, value, names))].fileName;
    } else if (name == u"font-size") {
        c.fontSize = pick(name, value, catalogs.fontSizes);
    } else if (name == u"colour") {
        QStringList names;
        for (const ColorEntry& color : catalogs.colors)
            names << color.name;
        c.colorName = pick(name, value, names);
    } else if (name == u"corner") {
        job.corner = Corners[CornerNames.indexOf(pick(name, value, CornerNames))];
    } else if (name == u"opacity") {
        job.alphaText = QString::number(wholeNumber(name, value, 0, 255));
    } else if (name == u"stills") {
        job.stills = true;
        job.stillsCount = QString::number(wholeNumber(name, value, 1, 99));
    } else if (name == u"output-dir") {
        if (value.isEmpty())
            throw UsageError(QStringLiteral("--output-dir takes a folder (not \"\")"));
        job.outDir = QDir::cleanPath(QFileInfo(value).absoluteFilePath()) + job.separator;
    } else if (name != u"settings") {
        throw UsageError(QStringLiteral("there is no option --") + name +
                         QStringLiteral(" for a job"));
    }
}

} // namespace

const QList<JobOption>& JobOptionList()
{
    static const QList<JobOption> options = {
        {"size", "WxH", "frame size"},
        {"video-bitrate", "KBPS", "video bitrate in kbit/s"},
        {"frame-rate", "FPS", "frames a second"},
        {"audio-rate", "HZ", "audio sampling frequency"},
        {"audio-bitrate", "KBPS", "audio bitrate in kbit/s"},
        {"channels", "Stereo|Mono", "audio channels"},
        {"no-audio", nullptr, "leave the audio out"},
        {"format", "sorenson|h264", "Sorenson Spark + MP3 (default) or H.264 + AAC"},
        {"watermark", "TEXT", "draw TEXT on the picture"},
        {"font", "NAME", "watermark font, as fonts.txt names it"},
        {"font-size", "N", "watermark font size, from fontsizes.txt"},
        {"colour", "NAME", "watermark colour, from colors.txt"},
        {"corner", "CORNER", "top-left, top-right, bottom-left or bottom-right"},
        {"opacity", "0-255", "watermark opacity"},
        {"stills", "N", "also write JPEG stills of the first N frames (1-99)"},
        {"settings", "FILE.wsx", "watermark settings saved by the window"},
        {"output-dir", "DIR", "write into DIR (default: beside each source)"},
    };
    return options;
}

bool IsSwitch(const QString& name)
{
    for (const JobOption& option : JobOptionList()) {
        if (name == QLatin1String(option.name))
            return option.valueName == nullptr;
    }
    return false;
}

QString FixedStartValue(const QString& name)
{
    for (const ListOption& list : ListOptions) {
        if (name == QLatin1String(list.name)) {
            const FixedOptionList& fixed = fixedList(list.control);
            return fixed.entries[fixed.startIndex];
        }
    }
    return QString();
}

JobRequest StartRequest(const Catalogs& catalogs, const QString& appFolder)
{
    JobRequest job;
    for (const ListOption& list : ListOptions) {
        const FixedOptionList& fixed = fixedList(list.control);
        job.options.*list.field = fixed.entries[fixed.startIndex];
    }
    job.options.colorName = catalogs.colors.value(ColorStartIndex).name;
    job.options.fontFileName = catalogs.fonts.value(FontStartIndex).fileName;
    job.options.fontSize = catalogs.fontSizes.value(FontSizeStartIndex);
    job.options.left = job.options.top = QStringLiteral("10");
    job.corner = Corner::TopLeft;
    job.alphaText = QStringLiteral("255");
    job.stillsCount = QStringLiteral("10");
    job.appFolder = appFolder;
    job.windowsDir = GetWindowsDir();
    return job;
}

JobRequest BuildRequest(const OptionValues& values, const Catalogs& catalogs,
                        const QString& appFolder)
{
    JobRequest job = StartRequest(catalogs, appFolder);
    std::optional<QString> settings;
    for (const auto& [name, value] : values) {
        if (name == u"settings")
            settings = value;
    }
    if (settings)
        applySettingsFile(job, *settings, catalogs);
    for (const auto& [name, value] : values)
        applyOption(job, name, value, catalogs);
    return job;
}
