#include "pipeline/ToolRun.h"

#include "pipeline/PathHelpers.h"

#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

std::function<ToolRunner*(QObject*)>& runnerFactory()
{
    static std::function<ToolRunner*(QObject*)> factory;
    return factory;
}

// A crash counts as 0x80000000 + the signal.
quint32 exitCodeOf(int exitCode, QProcess::ExitStatus status)
{
    return status == QProcess::CrashExit ? 0x80000000u + quint32(exitCode) : quint32(exitCode);
}

} // namespace

ToolRunner* MakeToolRunner(QObject* parent)
{
    if (runnerFactory())
        return runnerFactory()(parent);
    return new ToolRun(parent);
}

void SetToolRunnerFactory(std::function<ToolRunner*(QObject* parent)> factory)
{
    runnerFactory() = std::move(factory);
}

int& ToolRun::KillDelayMs()
{
    static int delay = 3000;
    return delay;
}

ToolRun::ToolRun(QObject* parent) : ToolRunner(parent), m_killTimer(new QTimer(this))
{
    m_killTimer->setSingleShot(true);
    connect(m_killTimer, &QTimer::timeout, this, [this] { signalGroup(SIGKILL); });
}

ToolRun::~ToolRun()
{
    if (IsRunning()) {
        signalGroup(SIGKILL);
        m_process->waitForFinished(2000);
    }
}

bool ToolRun::IsRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

qint64 ToolRun::ProcessId() const
{
    return m_pid;
}

// The output file is opened here, never through a link, and handed to the
// program as its standard output and error.
void ToolRun::Start(const QStringList& argv, const QString& outputFile)
{
    m_stopped = false;
    m_program = argv.value(0);
    if (m_process)
        m_process->deleteLater(); // it may be the one whose signal is running now
    m_process = new QProcess(this);
    m_pid = 0;
    int output = -1;
    if (!outputFile.isEmpty()) {
        output = OpenScratchForWriting(outputFile);
        if (output < 0) {
            ToolOutcome outcome;
            outcome.kind = ToolOutcome::FailedToStart;
            outcome.systemError = errno;
            finish(outcome);
            return;
        }
        m_process->setStandardOutputFile(QProcess::nullDevice());
    }
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setChildProcessModifier([output] {
        ::setpgid(0, 0);
        if (output >= 0) {
            ::dup2(output, STDOUT_FILENO);
            ::dup2(output, STDERR_FILENO);
        }
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this,
            [this] { emit Output(m_process->readAllStandardOutput()); });
    connect(m_process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                if (m_process->openMode() & QIODevice::ReadOnly) {
                    const QByteArray rest = m_process->readAllStandardOutput();
                    if (!rest.isEmpty())
                        emit Output(rest);
                }
                ToolOutcome outcome;
                outcome.stopped = m_stopped;
                outcome.exitCode = exitCodeOf(exitCode, status);
                finish(outcome);
            });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        const QFileInfo program(m_program);
        ToolOutcome outcome;
        outcome.kind = ToolOutcome::FailedToStart;
        outcome.systemError = !program.exists()         ? ENOENT
                              : !program.isExecutable() ? EACCES
                                                        : ENOEXEC;
        finish(outcome);
    });
    m_process->start(m_program, argv.mid(1));
    m_pid = m_process->processId();
    if (output >= 0)
        ::close(output);
}

// A program that has ended (waiting to be reaped, or reaped with its end not
// yet reported) is not stopped: its own outcome stands.
void ToolRun::Cancel()
{
    if (!IsRunning() || hasEnded())
        return;
    m_stopped = true;
    terminate();
    m_killTimer->start(KillDelayMs());
}

bool ToolRun::hasEnded() const
{
    siginfo_t info = {};
    if (::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOHANG | WNOWAIT | __WALL) != 0)
        return true; // already reaped
    return info.si_pid == pid_t(m_pid);
}

std::optional<ToolOutcome> ToolRun::StopAndWait()
{
    if (!IsRunning())
        return std::nullopt;
    terminate();
    if (!m_process->waitForFinished(KillDelayMs())) {
        signalGroup(SIGKILL);
        m_process->waitForFinished(2000);
    }
    ToolOutcome outcome;
    outcome.stopped = true;
    outcome.exitCode = exitCodeOf(m_process->exitCode(), m_process->exitStatus());
    return outcome;
}

// SIGTERM, and SIGCONT right after it, so that a paused program stops at once
// and cleans up.
void ToolRun::terminate()
{
    signalGroup(SIGTERM);
    signalGroup(SIGCONT);
}

void ToolRun::Pause()
{
    signalGroup(SIGSTOP);
}

void ToolRun::Resume()
{
    signalGroup(SIGCONT);
}

void ToolRun::signalGroup(int signal)
{
    if (m_pid > 0 && IsRunning())
        ::kill(-pid_t(m_pid), signal);
}

void ToolRun::finish(const ToolOutcome& outcome)
{
    m_killTimer->stop();
    // Reported from the event loop, so that a receiver may start the next run.
    QMetaObject::invokeMethod(
        this, [this, outcome] { emit Finished(outcome); }, Qt::QueuedConnection);
}
