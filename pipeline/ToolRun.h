#pragma once

#include <QObject>
#include <QStringList>

class QProcess;
class QTimer;

struct ToolOutcome {
    enum Kind { Exited, FailedToStart, Cancelled };
    Kind kind = Exited;
    quint32 exitCode = 0; // a crash counts as 0x80000000 + the signal
    int systemError = 0;  // why the program could not be started (errno)
    bool Succeeded() const { return kind == Exited && exitCode == 0; }
};

// One run of an external program, without a shell. The program runs in a
// process group of its own, so a cancel reaches the programs it starts too:
// SIGTERM first, SIGKILL a few seconds later. Destroying a run that is still
// going kills it.
class ToolRun : public QObject
{
    Q_OBJECT
public:
    explicit ToolRun(QObject* parent = nullptr);
    ~ToolRun() override;

    // argv[0] is the program. With an output file, standard output and error
    // go there; otherwise they arrive through Output.
    void Start(const QStringList& argv, const QString& outputFile = QString());
    void Cancel();
    // Stops the program now and waits for it (the window is closing).
    void StopAndWait();
    bool IsRunning() const;
    qint64 ProcessId() const;

    static int& KillDelayMs();

signals:
    void Output(const QByteArray& chunk);
    void Finished(const ToolOutcome& outcome);

private:
    void signalGroup(int signal);
    void finish(const ToolOutcome& outcome);

    QProcess* m_process = nullptr;
    QTimer* m_killTimer;
    QString m_program;
    bool m_cancelled = false;
    qint64 m_pid = 0;
};
