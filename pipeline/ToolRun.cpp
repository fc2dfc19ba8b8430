#include "pipeline/ToolRun.h"

#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace
{

std::function<ToolRunner*(QObject*)>& runnerFactory()
{
    static std::function<ToolRunner*(QObject*)> factory;
    return factory;
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

void ToolRun::Start(const QStringList& argv, const QString& outputFile)
{
    m_cancelled = false;
    m_program = argv.value(0);
    if (m_process)
        m_process->deleteLater(); // it may be the one whose signal is running now
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    if (!outputFile.isEmpty())
        m_process->setStandardOutputFile(outputFile);
    m_process->setChildProcessModifier([] { ::setpgid(0, 0); });
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
                if (m_cancelled)
                    outcome.kind = ToolOutcome::Cancelled;
                outcome.exitCode = status == QProcess::CrashExit ? 0x80000000u + quint32(exitCode)
                                                                 : quint32(exitCode);
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
    m_pid = 0;
    m_process->start(m_program, argv.mid(1));
    m_pid = m_process->processId();
}

void ToolRun::Cancel()
{
    if (!IsRunning())
        return;
    terminate();
    m_killTimer->start(KillDelayMs());
}

void ToolRun::StopAndWait()
{
    if (!IsRunning())
        return;
    terminate();
    if (!m_process->waitForFinished(KillDelayMs())) {
        signalGroup(SIGKILL);
        m_process->waitForFinished(2000);
    }
}

// SIGTERM, and SIGCONT right after it, so that a paused program stops at once
// and cleans up.
void ToolRun::terminate()
{
    m_cancelled = true;
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
