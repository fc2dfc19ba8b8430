#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

// How a program ended, as it really did.
struct ToolOutcome {
    enum Kind { Exited, FailedToStart };
    Kind kind = Exited;
    quint32 exitCode = 0; // a crash counts as 0x80000000 + the signal
    int systemError = 0;  // why the program could not be started (errno)
    bool stopped = false; // a cancel found the program still running and stopped it
    bool Succeeded() const { return kind == Exited && exitCode == 0; }
};

// Runs one external program at a time for a job and says how it ended.
// Finished always comes from the event loop, after Start has returned.
class ToolRunner : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // argv[0] is the program. With an output file, standard output and error
    // go there (never through a link: a link there counts as a program that
    // could not start); otherwise they arrive through Output.
    virtual void Start(const QStringList& argv, const QString& outputFile) = 0;
    // Stops the running program, at once even when it is paused, and marks
    // its outcome as stopped; a program that has already ended is left as it
    // ended.
    virtual void Cancel() = 0;
    // Stops and continues the running program where it is.
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Stops the running program now and waits for it (the window is closing):
    // how it ended, or nothing when no program was running.
    virtual std::optional<ToolOutcome> StopAndWait() = 0;
    virtual qint64 ProcessId() const = 0;

signals:
    void Output(const QByteArray& chunk);
    void Finished(const ToolOutcome& outcome);
};

// The runner the window's jobs use: ToolRun, unless a test has put a factory
// of its own here (an empty function restores ToolRun).
ToolRunner* MakeToolRunner(QObject* parent);
void SetToolRunnerFactory(std::function<ToolRunner*(QObject* parent)> factory);
