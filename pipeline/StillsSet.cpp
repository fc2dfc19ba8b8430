#include "pipeline/StillsSet.h"

#include "pipeline/JobChecks.h"

#include <QDir>
#include <QRegularExpression>

bool StillsExist(const JobRequest& job, const JobFileSystem& files)
{
    return files.Exists(job.outDir + QStringLiteral("cover1.jpg"));
}

void RemoveStillsAbove(const QString& outDir, int count)
{
    static const QRegularExpression still(QStringLiteral("^cover([1-9][0-9]*)\\.jpg$"));
    const QDir folder(outDir);
    for (const QString& name : folder.entryList({QStringLiteral("cover*.jpg")}, QDir::Files)) {
        const QRegularExpressionMatch m = still.match(name);
        bool small = false;
        if (m.hasMatch() && (m.captured(1).toInt(&small) > count || !small))
            QFile::remove(folder.filePath(name));
    }
}
