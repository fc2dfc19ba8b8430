#include "pipeline/JobLog.h"

#include "common/AppPaths.h"

#include <QDir>
#include <QRegularExpression>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{

constexpr qsizetype MaxPending = 64 * 1024;

// The text after the last CR of a line: what a terminal would show.
QByteArray shownPart(const QByteArray& line)
{
    QByteArray shown = line;
    while (shown.endsWith('\r'))
        shown.chop(1);
    return shown.mid(shown.lastIndexOf('\r') + 1);
}

// "_PID-N.log": the end of a batch job's log name.
QString batchTag(qint64 pid, int number)
{
    return QStringLiteral("_%1-%2.log").arg(pid).arg(number);
}

// A job holds a shared lock on its log while it has it open.
bool heldByAJob(const QString& path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

} // namespace

QString JobLog::DefaultFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/kestrel/logs");
}

// The names begin with the start time: the newest come first in reverse order.
void JobLog::prune(const QString& folder)
{
    QDir dir(folder);
    const QStringList old =
        dir.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name | QDir::Reversed);
    const QRegularExpression ofThisRun(QStringLiteral("_%1-[0-9]+\\.log$").arg(::getpid()));
    for (qsizetype i = KeptLogs - 1; i < old.size(); ++i) {
        if (!ofThisRun.match(old[i]).hasMatch() && !heldByAJob(dir.filePath(old[i])))
            dir.remove(old[i]);
    }
}

void JobLog::Begin(const QString& folder, const QDateTime& start, int batchNumber)
{
    m_file.close();
    m_pending.clear();
    m_lastLines.clear();
    m_programBytes = 0;
    if (!AppPaths::MakePrivateFolder(folder))
        return;
    prune(folder);
    const QString time = start.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss.zzz"));
    m_file.setFileName(
        folder + u'/' + time +
        (batchNumber > 0 ? batchTag(::getpid(), batchNumber) : QStringLiteral(".log")));
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    ::flock(m_file.handle(), LOCK_SH | LOCK_NB);
    m_file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    // The new log's name is made durable once; its lines at each program's end.
    const int dirFd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

void JobLog::ProgramStarted(const QString& commandLine)
{
    m_pending.clear();
    m_lastLines.clear();
    m_programBytes = 0;
    write(QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + " $ " +
          commandLine.toUtf8() + '\n');
}

void JobLog::Output(const QByteArray& chunk)
{
    m_pending += chunk;
    qsizetype start = 0;
    for (qsizetype lf; (lf = m_pending.indexOf('\n', start)) >= 0; start = lf + 1)
        takeLine(m_pending.mid(start, lf - start));
    m_pending.remove(0, start);
    // A status run without a line end is kept by its last line only.
    const qsizetype cr = m_pending.lastIndexOf('\r', m_pending.size() - 2);
    if (cr >= 0)
        m_pending.remove(0, cr + 1);
    if (m_pending.size() > MaxPending) {
        takeLine(m_pending.left(MaxPending));
        m_pending.clear();
    }
}

void JobLog::ProgramEnded(const QString& outcome, qint64 milliseconds)
{
    if (!shownPart(m_pending).isEmpty())
        takeLine(m_pending);
    m_pending.clear();
    write(QStringLiteral("%1 after %2 s\n\n")
              .arg(outcome)
              .arg(milliseconds / 1000.0, 0, 'f', 1)
              .toUtf8());
    if (m_file.isOpen())
        ::fdatasync(m_file.handle());
}

void JobLog::Note(const QString& line)
{
    write(QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + ' ' + line.toUtf8() +
          '\n');
    if (m_file.isOpen())
        ::fdatasync(m_file.handle());
}

void JobLog::takeLine(const QByteArray& line)
{
    const QByteArray shown = shownPart(line);
    m_lastLines << QString::fromLocal8Bit(shown);
    if (m_lastLines.size() > DetailLines)
        m_lastLines.removeFirst();
    if (m_programBytes > MaxBytes)
        return;
    m_programBytes += shown.size() + 1;
    write(m_programBytes > MaxBytes ? QByteArray("[the rest of this program's output is left out: "
                                                 "it has reached 2 MiB]\n")
                                    : shown + '\n');
}

void JobLog::write(const QByteArray& bytes)
{
    if (!m_file.isOpen())
        return;
    m_file.write(bytes);
    m_file.flush();
}

QString JobLog::Details() const
{
    QStringList lines = m_lastLines;
    if (!shownPart(m_pending).isEmpty())
        lines << QString::fromLocal8Bit(shownPart(m_pending));
    while (lines.size() > DetailLines)
        lines.removeFirst();
    // The encoder names files to FFmpeg as "file:PATH", and FFmpeg's messages
    // repeat that; the user knows the path alone.
    static const QRegularExpression scheme(QStringLiteral("(^|[\\s'\"])file:(?=/)"),
                                           QRegularExpression::MultilineOption);
    QString details = lines.join(u'\n').replace(scheme, QStringLiteral("\\1"));
    if (m_file.isOpen())
        details += QStringLiteral("\n\nThe whole log: ") + m_file.fileName();
    return details.trimmed();
}
