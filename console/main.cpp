// kestrel-convert: the conversions of the window, from the command line.
#include "common/AppPaths.h"
#include "common/VbError.h"
#include "console/Arguments.h"
#include "console/BatchRunner.h"
#include "console/EventReport.h"
#include "console/RunPlan.h"
#include "console/StopSignals.h"
#include "console/UsageError.h"
#include "console/WatchFolder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace
{

// Without a login session there is no XDG_RUNTIME_DIR: Qt's own fallback
// folder serves the probes, and its warning would come once for each job.
void quietRuntimeWarning()
{
    static const QtMessageHandler qtHandler = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
                qtHandler(type, context, text);
        });
}

void say(const QString& text)
{
    for (const QString& line : text.split(u'\n'))
        std::fprintf(stderr, "kestrel-convert: %s\n", line.toLocal8Bit().constData());
}

// Each video that appears becomes a job of its own; many of them write into
// one folder over time, so their stills are named after their outputs, and
// a video whose output another one took (clip.avi, clip.mp4) is refused.
void watch(const ConsoleArguments& args, const JobRequest& common, BatchRunner& runner)
{
    auto* folder = new WatchFolder(args.watch, args.recursive, args.outputDir, &runner);
    auto takenBy = std::make_shared<QHash<QString, QString>>(); // output -> source
    QObject::connect(
        folder, &WatchFolder::VideoReady, &runner, [&runner, common, takenBy](const QString& path) {
            JobRequest request = common;
            request.source = path;
            PlannedJob job = PlanBatch({request}, LocalFileSystem()).jobs.first();
            const QString output = job.request.outDir + job.request.outFile;
            const QString first = takenBy->value(output, path);
            takenBy->insert(output, first);
            if (!job.refusal && first != path)
                job.refusal = JobRefusal{DescribeClash({output, {first, path}}), JobField::None};
            job.request.stillsName = StillsNameFor(job.request.outFile);
            runner.Add(job);
        });
    folder->Start();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-convert"));
    quietRuntimeWarning();
    ConsoleArguments args;
    BatchPlan plan;
    JobRequest common;
    try {
        args = ParseArguments(QCoreApplication::arguments());
        if (args.action == ConsoleArguments::Help) {
            std::fputs(HelpText().toLocal8Bit().constData(), stdout);
            return ExitDone;
        }
        if (args.action == ConsoleArguments::Version) {
            std::printf("kestrel-convert (Kestrel FLV Converter & Watermarker 7) %s\n",
                        KESTREL_VERSION);
            return ExitDone;
        }
        const QString appFolder = AppPaths::AppFolder();
        Catalogs catalogs;
        try {
            catalogs = LoadCatalogs(appFolder);
        } catch (const VbError& failure) {
            say(QStringLiteral("cannot read the watermark catalogs in %1: error %2, %3")
                    .arg(appFolder)
                    .arg(failure.number())
                    .arg(failure.description()));
            return ExitFailed;
        }
        plan = PlanRun(args, catalogs, appFolder);
        common = BuildRequest(args.jobOptions, catalogs, appFolder);
    } catch (const UsageError& error) {
        say(error.message());
        return ExitUsage;
    }
    if (plan.jobs.isEmpty() && args.watch.isEmpty())
        say(QStringLiteral("no videos to convert"));

    const int atOnce = args.jobs == 0 ? QThread::idealThreadCount() : args.jobs;
    EventReport report(stderr, args.json ? stdout : nullptr, isatty(STDERR_FILENO) == 1);
    BatchRunner runner(atOnce, args.overwrite, report);
    CatchStopSignals(&runner, [&runner](int signal) {
        // Each write to a closed output raises SIGPIPE anew: only the first
        // counts, so that it is not taken for a second stop.
        static bool outputClosed = false;
        if (signal != SIGPIPE || !std::exchange(outputClosed, true))
            runner.Stop(ExitSignalBase + signal);
    });
    QObject::connect(&runner, &BatchRunner::Finished, &app, &QCoreApplication::exit);
    if (args.watch.isEmpty())
        runner.Run(plan);
    else
        watch(args, common, runner);
    return app.exec();
}
