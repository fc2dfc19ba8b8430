#include "console/SourceList.h"

#include "console/UsageError.h"
#include "options/VideoFilter.h"

#include <QDir>
#include <QFileInfo>

namespace
{

void collectFolder(const QDir& folder, bool recursive, const QString& outputFolder,
                   QStringList& sources)
{
    const bool outputsHere = outputFolder.isEmpty() ||
                             QFileInfo(outputFolder).canonicalFilePath() == folder.canonicalPath();
    // Name filters ignore case unless told otherwise: CLIP.AVI is taken too.
    for (const QFileInfo& file : folder.entryInfoList(SupportedVideoPatterns(), QDir::Files,
                                                      QDir::Name | QDir::IgnoreCase)) {
        if (!(outputsHere && file.suffix().compare(QLatin1String("flv"), Qt::CaseInsensitive) == 0))
            sources << file.absoluteFilePath();
    }
    if (!recursive)
        return;
    // Links to folders are not followed, so that no loop can form.
    for (const QString& name : folder.entryList(
             QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase))
        collectFolder(QDir(folder.filePath(name)), recursive, outputFolder, sources);
}

} // namespace

QStringList CollectSources(const QStringList& paths, bool recursive, const QString& outputFolder)
{
    QStringList sources;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir())
            collectFolder(QDir(info.absoluteFilePath()), recursive, outputFolder, sources);
        else if (info.exists())
            sources << info.absoluteFilePath();
        else
            throw UsageError(path + QStringLiteral(": no such file or folder"));
    }
    return sources;
}
