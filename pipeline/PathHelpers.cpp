#include "pipeline/PathHelpers.h"

#include "common/AppPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString FontsRootFolder()
{
    return QStringLiteral("/usr/share");
}

namespace
{

// A blank, a tab or a quote would split an unquoted path on a command line.
bool splitsCommandLine(const QString& path)
{
    return std::any_of(path.begin(), path.end(), [](QChar c) { return c.isSpace() || c == u'"'; });
}

// Where the links go: the runtime folder, else a private folder of the user's
// in the temporary folder; the first whose own path needs no link. Only a
// folder of this user's alone will do: otherwise nobody could be sure that a
// link in it still points where it was made to point.
QString linkFolder()
{
    const QString runtime = AppPaths::RuntimeFolder();
    for (const QString& folder :
         {runtime.isEmpty() ? QString() : runtime + QStringLiteral("/short"),
          QDir::tempPath() + QStringLiteral("/kestrel-") + QString::number(::geteuid())}) {
        if (!folder.isEmpty() && !splitsCommandLine(folder) && AppPaths::MakePrivateFolder(folder))
            return folder;
    }
    return QString();
}

} // namespace

QString BlankFreePath(const QString& longPath)
{
    const QFileInfo target(longPath);
    if (longPath.isEmpty() || !target.exists())
        return QString();
    if (!splitsCommandLine(longPath))
        return longPath;

    const QString folder = linkFolder();
    if (folder.isEmpty())
        return QString();
    const QString absolute = target.absoluteFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(absolute.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    const QString link = folder + QStringLiteral("/p") + QString::fromLatin1(hash);
    if (QFileInfo(link).symLinkTarget() != absolute) {
        QFile::remove(link);
        if (!QFile::link(absolute, link))
            return QString();
    }
    return link;
}

int OpenScratchForWriting(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

QByteArray ReadScratch(const QString& path, qint64 maxBytes)
{
    QFile file;
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return QByteArray();
    }
    return file.read(maxBytes);
}
