#include "pipeline/PathHelpers.h"

#include "common/AppPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

QString GetWindowsDir()
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

// The folder itself, made when missing, when it is this user's alone: a real
// folder (not a link), owned by the user, mode 0700. Otherwise nobody could
// be sure that a link in it still points where it was made to point.
bool isPrivateFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    ::mkdir(path.constData(), 0700);
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 0777) == 0700;
}

// Where the links go: the runtime folder, else a private folder of the user's
// in the temporary folder; the first whose own path needs no link.
QString linkFolder()
{
    for (const QString& folder :
         {AppPaths::RuntimeFolder() + QStringLiteral("/short"),
          QDir::tempPath() + QStringLiteral("/kestrel-") + QString::number(::getuid())}) {
        if (!splitsCommandLine(folder) && isPrivateFolder(folder))
            return folder;
    }
    return QString();
}

} // namespace

QString GetShortName(const QString& longPath)
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
