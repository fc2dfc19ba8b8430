#pragma once

#include "pipeline/ToolRunner.h"

class QProcess;
class QTimer;

// One run of an external program, without a shell. The program runs in a
// process group of its own, so a cancel reaches the programs it starts too:
// SIGTERM first, SIGKILL a few seconds later. Destroying a run that is still
// going kills it.
class ToolRun : public ToolRunner
{
    Q_OBJECT
public:
    explicit ToolRun(QObject* parent = nullptr);
    ~ToolRun() override;

    void Start(const QStringList& argv, const QString& outputFile) override;
    void Cancel() override;
    void Pause() override;
    void Resume() override;
    std::optional<ToolOutcome> StopAndWait() override;
    qint64 ProcessId() const override;
    bool IsRunning() const;

    // How long a program may take to end after SIGTERM before SIGKILL.
    static int& KillDelayMs();

private:
    void signalGroup(int signal);
    void terminate();
    bool hasEnded() const;
    void finish(const ToolOutcome& outcome);

    QProcess* m_process = nullptr;
    QTimer* m_killTimer;
    QString m_program;
    bool m_stopped = false;
    qint64 m_pid = 0;
};
