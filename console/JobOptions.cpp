#include "console/JobOptions.h"

#include "common/VbNumber.h"
#include "console/UsageError.h"
#include "pipeline/PathHelpers.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace
{

// The position of the entry, whatever the case typed.
int pick(const QString& option, const QString& value, const QStringList& entries)
{
    for (int i = 0; i < entries.size(); ++i) {
        if (entries[i].compare(value, Qt::CaseInsensitive) == 0)
            return i;
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

QStringList entriesOf(const JobOption& option, const Catalogs& catalogs)
{
    QStringList names;
    switch (option.kind) {
    case OptionKind::Font:
        for (const FontEntry& font : catalogs.fonts)
            names << font.displayName;
        return names;
    case OptionKind::FontSize:
        return catalogs.fontSizes;
    case OptionKind::Colour:
        for (const ColorEntry& color : catalogs.colors)
            names << color.name;
        return names;
    default:
        return option.entries;
    }
}

// Sets the field to a value: a position in the option's entries, a number or
// a switch's 0 or 1 in n, a text in text.
void setValue(JobRequest& job, const JobOption& option, int n, const QString& text,
              const Catalogs& catalogs)
{
    EncoderControls& c = job.options;
    switch (option.field) {
    case JobField::NoAudio:
        c.disableAudio = n;
        break;
    case JobField::Format:
        c.format = OutputFormats()[n].format;
        break;
    case JobField::WatermarkText:
        c.watermarkText = text;
        break;
    case JobField::Font:
        c.fontFileName = catalogs.fonts.value(n).fileName;
        break;
    case JobField::FontSize:
        c.fontSize = catalogs.fontSizes.value(n);
        break;
    case JobField::Colour:
        c.colorName = catalogs.colors.value(n).name;
        break;
    case JobField::Corner:
        job.corner = Corner(n + 1);
        break;
    case JobField::Opacity:
        c.alpha = qint16(n);
        break;
    case JobField::Left:
    case JobField::Top:
        (option.field == JobField::Left ? c.left : c.top) = QString::number(n);
        break;
    case JobField::StillsCount:
        job.stillsCount = qint16(n);
        break;
    case JobField::OutputFolder:
        job.outDir = text.isEmpty()
                         ? QString()
                         : QDir::cleanPath(QFileInfo(text).absoluteFilePath()) + job.separator;
        break;
    case JobField::Settings:
        break;
    default:
        SetListEntry(c, option.field, option.entries.value(n));
    }
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
    job.options.watermark = true;
    job.options.watermarkText = *loaded.text;
    job.options.alpha = ParseVbInteger(*loaded.alpha).value;
    job.corner = *loaded.corner;
    for (const auto& [field, n] : {std::pair{JobField::Colour, *loaded.colorIndex},
                                   {JobField::Font, *loaded.fontIndex},
                                   {JobField::FontSize, *loaded.fontSizeIndex}})
        setValue(job, JobOptionOf(field), n, QString(), catalogs);
}

void applyOption(JobRequest& job, const QString& name, const QString& value,
                 const Catalogs& catalogs)
{
    const JobOption* option = FindJobOption(name);
    if (!option)
        throw UsageError(QStringLiteral("there is no option --") + name +
                         QStringLiteral(" for a job"));
    int n = 0;
    switch (option->kind) {
    case OptionKind::Number:
        n = wholeNumber(name, value, option->low, option->high);
        break;
    case OptionKind::Switch:
        n = value == u"true";
        break;
    case OptionKind::Folder:
        if (value.isEmpty())
            throw UsageError(QStringLiteral("--%1 takes a folder (not \"\")").arg(name));
        break;
    case OptionKind::Text:
    case OptionKind::File:
        break;
    default:
        n = pick(name, value, entriesOf(*option, catalogs));
    }
    setValue(job, *option, n, value, catalogs);
    job.options.watermark |= option->field == JobField::WatermarkText;
    job.stills |= option->field == JobField::StillsCount;
}

} // namespace

JobRequest StartRequest(const Catalogs& catalogs, const QString& appFolder)
{
    JobRequest job;
    for (const JobOption& option : JobOptions())
        setValue(job, option, option.start, QString(), catalogs);
    job.appFolder = appFolder;
    job.fontsRoot = FontsRootFolder();
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
