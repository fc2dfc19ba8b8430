// kestrel-convert: the conversions of the window, from the command line.
#include "common/AppPaths.h"
#include "common/VbError.h"
#include "console/Arguments.h"
#include "console/BatchRunner.h"
#include "console/EventReport.h"
#include "console/JobDriver.h"
#include "console/RunPlan.h"
#include "console/UsageError.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>
#include <unistd.h>

namespace
{

void say(const QString& text)
{
    for (const QString& line : text.split(u'\n'))
        std::fprintf(stderr, "kestrel-convert: %s\n", line.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-convert"));
    ConsoleArguments args;
    BatchPlan plan;
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
        for (const PlannedJob& job : plan.jobs) {
            if (const std::optional<QString> why = JobDriver::Unsupported(job.request))
                throw UsageError(*why);
        }
    } catch (const UsageError& error) {
        say(error.message());
        return ExitUsage;
    }
    if (plan.jobs.isEmpty())
        say(QStringLiteral("no videos to convert"));

    QList<JobRequest> requests;
    for (const PlannedJob& job : plan.jobs)
        requests << job.request;
    const int atOnce =
        JobDriver::MaxAtOnce(requests, args.jobs == 0 ? QThread::idealThreadCount() : args.jobs);
    EventReport report(stderr, args.json ? stdout : nullptr, isatty(STDERR_FILENO) == 1);
    BatchRunner runner(plan, atOnce, args.overwrite, report);
    QObject::connect(&runner, &BatchRunner::Finished, &app, &QCoreApplication::exit);
    runner.Start();
    return app.exec();
}
