#include "common/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace
{

QString& overriddenAppFolder()
{
    static QString folder;
    return folder;
}

} // namespace

namespace AppPaths
{

QString AppFolder()
{
    if (!overriddenAppFolder().isEmpty())
        return overriddenAppFolder();
    return QCoreApplication::applicationDirPath();
}

void SetAppFolder(const QString& folder)
{
    QString f = folder;
    while (f.size() > 1 && f.endsWith(u'/'))
        f.chop(1);
    overriddenAppFolder() = f;
}

QString AppFile(const QString& name)
{
    return AppFolder() + u'/' + name;
}

QString RuntimeFolder()
{
    // Qt makes the folder with mode 0700 when it has to fall back from
    // $XDG_RUNTIME_DIR, and refuses one that another user owns.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::homePath() + QStringLiteral("/.cache/kestrel-runtime");
    MakePrivateFolder(folder);
    return folder;
}

bool MakePrivateFolder(const QString& folder)
{
    return QDir().mkpath(folder) &&
           QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner);
}

QString SiteHost()
{
    const QByteArray env = qgetenv("KESTREL_SITE_HOST");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QStringLiteral(KESTREL_SITE_HOST_DEFAULT);
}

QString SiteUrl(const QString& path)
{
    return QStringLiteral("http://") + SiteHost() + path;
}

} // namespace AppPaths
