#include "pipeline/StillsSet.h"

#include "pipeline/JobChecks.h"

#include <QDir>
#include <QRegularExpression>

namespace
{

// The text before and after the number.
std::pair<QString, QString> around(const QString& stillsName)
{
    const qsizetype at = stillsName.lastIndexOf(QLatin1String("%d"));
    return {stillsName.left(at), stillsName.mid(at + 2)};
}

} // namespace

QString StillName(const QString& stillsName, int n)
{
    const auto [before, after] = around(stillsName);
    return before + QString::number(n) + after;
}

bool StillsExist(const JobRequest& job, const JobFileSystem& files)
{
    return files.Exists(job.outDir + StillName(job.stillsName, 1));
}

void RemoveStillsAbove(const QString& outDir, const QString& stillsName, int count)
{
    const auto [before, after] = around(stillsName);
    const QRegularExpression still(u'^' + QRegularExpression::escape(before) +
                                   QStringLiteral("([1-9][0-9]*)") +
                                   QRegularExpression::escape(after) + u'$');
    const QDir folder(outDir);
    // No name filter: the output's name may hold wildcard characters.
    for (const QString& name : folder.entryList(QDir::Files)) {
        const QRegularExpressionMatch m = still.match(name);
        bool small = false;
        if (m.hasMatch() && (m.captured(1).toInt(&small) > count || !small))
            QFile::remove(folder.filePath(name));
    }
}
