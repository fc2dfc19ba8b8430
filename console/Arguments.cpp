#include "console/Arguments.h"

#include "console/UsageError.h"

#include <QCommandLineParser>

namespace
{

struct RunOption {
    QStringList names;
    const char* valueName; // nullptr for a switch
    const char* help;
};

const QList<RunOption>& runOptions()
{
    static const QList<RunOption> options = {
        {{"recursive"}, nullptr, "take the videos of folders inside the folders too"},
        {{"manifest"}, "FILE", "one job a line: a path, or a JSON object"},
        {{"index"}, "K", "with --manifest: run only its K-th job (from 0)"},
        {{"j", "jobs"}, "N", "run N jobs at once (default 1; 0: one per core)"},
        {{"json"}, nullptr, "report each event as a JSON line on standard output"},
        {{"overwrite"}, nullptr, "replace outputs that exist (default: skip them)"},
        {{"watch"}, "DIR", "convert each video that appears in DIR, until stopped"},
        {{"stream"}, "URL", "send the videos live to rtmp[s]://HOST[:PORT]/APP (repeatable)"},
        {{"stream-key-file"}, "FILE", "the stream keys, one a line, one per --stream"},
        {{"help"}, nullptr, "show this help and exit"},
        {{"version"}, nullptr, "show the version and exit"},
    };
    return options;
}

int count(const QString& option, const QString& value)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < 0)
        throw UsageError(
            QStringLiteral("--%1 takes a whole number from 0 (not \"%2\")").arg(option, value));
    return n;
}

// A stream sends one video after the other and writes nothing.
void checkStreaming(const ConsoleArguments& args, bool stills)
{
    if (args.streams.isEmpty()) {
        if (!args.streamKeyFile.isEmpty())
            throw UsageError(QStringLiteral("--stream-key-file needs --stream"));
        return;
    }
    const QList<std::pair<bool, const char*>> refused = {{args.jobs != 1, "--jobs"},
                                                         {!args.watch.isEmpty(), "--watch"},
                                                         {args.index.has_value(), "--index"},
                                                         {!args.outputDir.isEmpty(), "-o"},
                                                         {stills, "--stills"},
                                                         {args.overwrite, "--overwrite"}};
    for (const auto& [given, option] : refused) {
        if (given)
            throw UsageError(QStringLiteral("--stream sends the videos one after the other and "
                                            "writes no file: %1 cannot go with it")
                                 .arg(QLatin1String(option)));
    }
}

} // namespace

ConsoleArguments ParseArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    for (const JobOption& option : JobOptions()) {
        QStringList names{option.name};
        if (option.field == JobField::OutputFolder)
            names.prepend(QStringLiteral("o"));
        if (!option.name.isEmpty())
            parser.addOption(option.valueName.isEmpty()
                                 ? QCommandLineOption(names)
                                 : QCommandLineOption(names, QString(), option.valueName));
    }
    for (const RunOption& option : runOptions())
        parser.addOption(option.valueName
                             ? QCommandLineOption(option.names, QString(), option.valueName)
                             : QCommandLineOption(option.names));
    if (!parser.parse(arguments))
        throw UsageError(parser.errorText() +
                         QStringLiteral("\nTry 'kestrel-convert --help' for more information."));

    ConsoleArguments args;
    if (parser.isSet(QStringLiteral("help")))
        args.action = ConsoleArguments::Help;
    else if (parser.isSet(QStringLiteral("version")))
        args.action = ConsoleArguments::Version;
    for (const JobOption& option : JobOptions()) {
        if (!option.name.isEmpty() && parser.isSet(option.name))
            args.jobOptions.append({option.name, option.valueName.isEmpty()
                                                     ? QStringLiteral("true")
                                                     : parser.values(option.name).last()});
    }
    if (parser.isSet(QStringLiteral("output-dir")))
        args.outputDir = parser.values(QStringLiteral("output-dir")).last();
    args.paths = parser.positionalArguments();
    args.recursive = parser.isSet(QStringLiteral("recursive"));
    args.json = parser.isSet(QStringLiteral("json"));
    args.overwrite = parser.isSet(QStringLiteral("overwrite"));
    args.manifest = parser.value(QStringLiteral("manifest"));
    args.watch = parser.value(QStringLiteral("watch"));
    if (parser.isSet(QStringLiteral("index")))
        args.index = count(QStringLiteral("index"), parser.value(QStringLiteral("index")));
    if (parser.isSet(QStringLiteral("jobs")))
        args.jobs = count(QStringLiteral("jobs"), parser.value(QStringLiteral("jobs")));
    args.streams = parser.values(QStringLiteral("stream"));
    args.streamKeyFile = parser.value(QStringLiteral("stream-key-file"));
    if (args.action != ConsoleArguments::Run)
        return args;
    checkStreaming(args, parser.isSet(QStringLiteral("stills")));

    if (args.index && args.manifest.isEmpty())
        throw UsageError(QStringLiteral("--index needs --manifest"));
    if (args.index && !args.paths.isEmpty())
        throw UsageError(QStringLiteral("--index runs one job of the manifest: give no videos "
                                        "or folders with it"));
    if (args.paths.isEmpty() && args.manifest.isEmpty() && args.watch.isEmpty())
        throw UsageError(args.streams.isEmpty()
                             ? QStringLiteral("nothing to convert: give videos, folders, "
                                              "--manifest FILE or --watch DIR")
                             : QStringLiteral("nothing to stream: give videos, folders or "
                                              "--manifest FILE"));
    return args;
}

QString HelpText()
{
    QString text = QStringLiteral(
        "Usage: kestrel-convert [OPTION]... VIDEO|FOLDER...\n"
        "       kestrel-convert [OPTION]... --manifest FILE [--index K]\n"
        "       kestrel-convert [OPTION]... --watch DIR -o DIR\n"
        "       kestrel-convert [OPTION]... --stream URL [--stream URL]... VIDEO|FOLDER...\n"
        "Converts videos to Flash Video (FLV) the way Kestrel's window does, without a\n"
        "window. A FOLDER gives the videos directly inside it.\n\n"
        "Job options (default: the window's start values):\n");
    auto line = [&text](const QString& names, const QString& valueName, const QString& help) {
        const QString left = names + (valueName.isEmpty() ? QString() : u' ' + valueName);
        text += QStringLiteral("  %1 %2\n").arg(left, -28).arg(help);
    };
    for (const JobOption& option : JobOptions()) {
        if (option.name.isEmpty())
            continue;
        line((option.field == JobField::OutputFolder ? QStringLiteral("-o, --")
                                                     : QStringLiteral("    --")) +
                 option.name,
             option.valueName,
             option.help + (option.kind == OptionKind::List
                                ? QStringLiteral(" (default ") + option.entries[option.start] + u')'
                                : QString()));
    }
    text += QStringLiteral("\nRun options:\n");
    for (const RunOption& option : runOptions())
        line((option.names.size() > 1 ? u'-' + option.names[0] + QStringLiteral(", --")
                                      : QStringLiteral("    --")) +
                 option.names.last(),
             QLatin1String(option.valueName), QLatin1String(option.help));
    text += QStringLiteral(
        "\nExit status: 0 when every job converted, streamed (to one server at least) or\n"
        "was skipped, 1 when any failed or\n"
        "was refused, 2 for bad usage, 128 + the signal when stopped by SIGINT (130),\n"
        "SIGPIPE (141) or SIGTERM (143).\n"
        "\nStreaming: the key of each --stream comes from --stream-key-file (a file only\n"
        "its owner may read; an empty line: the URL as it is) or else from\n"
        "$KESTREL_STREAM_KEY (one key for every server); it is never shown.\n"
        "See kestrel-convert(1) for the manifest, --json and more.\n");
    return text;
}
