#include "pipeline/PathHelpers.h"

#include "common/AppPaths.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

QString GetWindowsDir()
{
    return QStringLiteral("/usr/share");
}

QString GetShortName(const QString& longPath)
{
    const QFileInfo target(longPath);
    if (longPath.isEmpty() || !target.exists())
        return QString();
    if (!longPath.contains(u' ') && !longPath.contains(u'"'))
        return longPath;

    // Only this user can write the runtime folder, so nobody can plant a link
    // of that name pointing somewhere else.
    const QString folder = AppPaths::RuntimeFolder() + QStringLiteral("/short");
    AppPaths::MakePrivateFolder(folder);
    const QString absolute = target.absoluteFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(absolute.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    const QString link = folder + QStringLiteral("/p") + QString::fromLatin1(hash);
    if (QFileInfo(link).symLinkTarget() != absolute) {
        QFile::remove(link);
        if (!QFile::link(absolute, link))
            return QString();
    }
    if (link.contains(u' ') || link.contains(u'"'))
        return QString();
    return link;
}

QString GetShortAppFolder()
{
    return GetShortName(AppPaths::AppFolder());
}
