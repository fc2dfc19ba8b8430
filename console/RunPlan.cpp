#include "console/RunPlan.h"

#include "console/Manifest.h"
#include "console/SourceList.h"
#include "console/StreamKeys.h"
#include "console/UsageError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>

namespace
{

QList<JobRequest> manifestRequests(const ConsoleArguments& args, const Catalogs& catalogs,
                                   const QString& appFolder)
{
    QFile file(args.manifest);
    if (!QFileInfo(args.manifest).isFile() || !file.open(QIODevice::ReadOnly))
        throw UsageError(QStringLiteral("--manifest ") + args.manifest +
                         QStringLiteral(": cannot read the file"));
    QList<JobRequest> requests;
    QStringList bad;
    for (const ManifestJob& line : ParseManifest(file.readAll())) {
        QString error = line.error;
        if (error.isEmpty()) {
            try {
                JobRequest request =
                    BuildRequest(args.jobOptions + line.options, catalogs, appFolder);
                request.source = QFileInfo(line.source).absoluteFilePath();
                requests << request;
            } catch (const UsageError& refused) {
                error = refused.message();
            }
        }
        if (!error.isEmpty())
            bad << QStringLiteral("%1 line %2: %3")
                       .arg(args.manifest, QString::number(line.line), error);
    }
    if (!bad.isEmpty())
        throw UsageError(bad.join(u'\n'));
    return requests;
}

// The path a folder has, or will have once made: the real path of its
// nearest parent that exists, followed by the rest.
QString realPath(const QString& path)
{
    const QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (info.exists() || info.isRoot())
        return info.canonicalFilePath();
    return QDir(realPath(info.path())).filePath(info.fileName());
}

// As mkdir -p makes it: each missing folder in turn, with the umask, but a
// parent made on the way can always be written and entered, so that the next
// one can be made in it. The tasks of a job array may make it at once.
void makeFolder(const QString& folder)
{
    const QString path = QDir::cleanPath(folder);
    const mode_t umaskBits = ::umask(0);
    ::umask(umaskBits);
    for (qsizetype end = 0; end >= 0;) {
        end = path.indexOf(u'/', end + 1);
        const QString part = end < 0 ? path : path.left(end);
        if (QFileInfo(part).isDir())
            continue;
        const QByteArray name = QFile::encodeName(part);
        if (::mkdir(name.constData(), 0777) == 0) {
            if (end >= 0 && (umaskBits & 0300))
                ::chmod(name.constData(), (0777 & ~umaskBits) | 0300);
            continue;
        }
        const int error = errno;
        if (QFileInfo(part).isDir())
            continue;
        throw UsageError(
            QStringLiteral("cannot make the folder \"") + part + QStringLiteral("\": ") +
            (error == EEXIST ? QStringLiteral("a file is in the way") : qt_error_string(error)));
    }
}

// The folder watched must not receive the outputs, or they would be taken for
// new videos. It is the run's only source, and what exists is never replaced.
void checkWatch(const ConsoleArguments& args)
{
    if (!args.paths.isEmpty() || !args.manifest.isEmpty())
        throw UsageError(
            QStringLiteral("--watch takes no videos, folders or --manifest beside it"));
    if (args.overwrite)
        throw UsageError(QStringLiteral("--watch skips the videos whose FLV exists: "
                                        "--overwrite cannot go with it"));
    const QString watched = QFileInfo(args.watch).canonicalFilePath();
    if (watched.isEmpty() || !QFileInfo(args.watch).isDir())
        throw UsageError(QStringLiteral("--watch ") + args.watch +
                         QStringLiteral(": no such folder"));
    const QString output = args.outputDir.isEmpty() ? QString() : realPath(args.outputDir);
    if (output.isEmpty() || output == watched || output.startsWith(watched + u'/'))
        throw UsageError(QStringLiteral("--watch needs an output folder (-o) outside the "
                                        "folder it watches"));
}

} // namespace

BatchPlan PlanRun(const ConsoleArguments& args, const Catalogs& catalogs, const QString& appFolder)
{
    const JobRequest common = BuildRequest(args.jobOptions, catalogs, appFolder);
    if (!args.watch.isEmpty())
        checkWatch(args);
    QList<JobRequest> requests;
    for (const QString& source : CollectSources(args.paths, args.recursive, args.outputDir)) {
        requests << common;
        requests.last().source = source;
    }
    if (!args.manifest.isEmpty())
        requests += manifestRequests(args, catalogs, appFolder);
    // A stream writes nothing: no output can clash, and no folder is made.
    const QStringList streamUrls = StreamUrls(args);
    for (JobRequest& request : requests)
        request.streamUrls = streamUrls;

    BatchPlan plan = PlanBatch(requests, LocalFileSystem());
    if (!streamUrls.isEmpty())
        return plan;
    if (!plan.clashes.isEmpty()) {
        QStringList messages;
        for (const OutputClash& clash : plan.clashes)
            messages << DescribeClash(clash);
        throw UsageError(messages.join(u'\n'));
    }
    if (args.index) {
        if (*args.index >= plan.jobs.size())
            throw UsageError(QStringLiteral("--index %1: the manifest has %2 jobs (0 to %3)")
                                 .arg(*args.index)
                                 .arg(plan.jobs.size())
                                 .arg(plan.jobs.size() - 1));
        plan.jobs = {plan.jobs[*args.index]};
    }
    // Only now that the run is good, so that a mistyped command leaves no
    // folder behind.
    QStringList folders;
    if (!args.watch.isEmpty())
        folders << common.outDir;
    for (const PlannedJob& job : plan.jobs) {
        if (!job.refusal)
            folders << job.request.outDir;
    }
    folders.removeDuplicates();
    for (const QString& folder : folders)
        makeFolder(folder);
    return plan;
}
