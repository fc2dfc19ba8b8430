#include "pipeline/BatchPlan.h"

#include "options/OutputName.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace
{

// One name per folder or file, however it was reached.
QString identity(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QString quotedList(const QStringList& names)
{
    QStringList quoted;
    for (const QString& name : names)
        quoted << u'"' + name + u'"';
    return quoted.size() < 2 ? quoted.join(QString())
                             : quoted.mid(0, quoted.size() - 1).join(QStringLiteral(", ")) +
                                   QStringLiteral(" AND ") + quoted.last();
}

} // namespace

QString StillsNameFor(const QString& outFile)
{
    const bool flv = outFile.right(4).compare(QLatin1String(".flv"), Qt::CaseInsensitive) == 0;
    return (flv ? outFile.chopped(4) : outFile) + QStringLiteral("-cover%d.jpg");
}

BatchPlan PlanBatch(const QList<JobRequest>& requests, const JobFileSystem& files)
{
    BatchPlan plan;
    QHash<QString, int> perFolder;
    for (JobRequest request : requests) {
        const QFileInfo source(request.source);
        if (request.outDir.isEmpty())
            request.outDir = source.absolutePath() + request.separator;
        request.outFile = ProposeOutputName(source.fileName()).value_or(QString());
        request.batchNumber = int(plan.jobs.size()) + 1;
        ++perFolder[identity(request.outDir)];
        plan.jobs.append({request, std::nullopt, false});
    }

    QHash<QString, QStringList> writers;
    QStringList outputs; // in the order of the jobs
    for (PlannedJob& job : plan.jobs) {
        JobRequest& request = job.request;
        job.refusal = CheckJob(request, files);
        if (!job.refusal && !files.Exists(request.source))
            job.refusal = JobRefusal{QStringLiteral("SOURCE FILE NOT FOUND!")};
        job.outputExists = OutputExists(request, files);
        if (request.outFile.isEmpty())
            continue;
        if (perFolder[identity(request.outDir)] > 1)
            request.stillsName = StillsNameFor(request.outFile);
        const QString output = identity(request.outDir) + u'/' + request.outFile;
        if (!writers.contains(output))
            outputs << output;
        writers[output] << request.source;
    }

    for (const QString& output : outputs) {
        if (writers[output].size() > 1)
            plan.clashes.append({output, writers[output]});
    }
    return plan;
}

QString DescribeClash(const OutputClash& clash)
{
    const QString verb = clash.sources.size() == 2
                             ? QStringLiteral(" WOULD BOTH BE CONVERTED TO \"")
                             : QStringLiteral(" WOULD ALL BE CONVERTED TO \"");
    return quotedList(clash.sources) + verb + clash.output +
           QStringLiteral("\"! RENAME ONE OF THEM OR CONVERT THEM INTO DIFFERENT FOLDERS.");
}
