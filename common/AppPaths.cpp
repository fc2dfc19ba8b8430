#include "common/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    for (const QString& folder : {QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation),
                                  QDir::homePath() + QStringLiteral("/.cache/kestrel-runtime")}) {
        if (!folder.isEmpty() && MakePrivateFolder(folder))
            return folder;
    }
    return QString();
}

// Checked on the open folder, so that what is checked is what gets closed.
bool MakePrivateFolder(const QString& folder)
{
    QDir().mkpath(QFileInfo(folder).path());
    const QByteArray path = QFile::encodeName(folder);
    ::mkdir(path.constData(), 0700);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() &&
                    ((st.st_mode & 0777) == 0700 || ::fchmod(fd, (st.st_mode & 07000) | 0700) == 0);
    ::close(fd);
    return ok;
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
