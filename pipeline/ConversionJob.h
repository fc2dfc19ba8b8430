#pragma once

#include "pipeline/JobLog.h"
#include "pipeline/JobRequest.h"
#include "pipeline/Progress.h"

#include <QElapsedTimer>
#include <QObject>

class JobFileSystem;
class ToolRunner;
struct ToolOutcome;

// One conversion after its checks have passed: the source probe (with a
// watermark), the encode, the metadata injection (after a good encode) and the
// stills (when asked for, whatever became of the encode), one program after
// the other, each started only when the previous one has ended. The window
// learns what happens through the signals and shows it.
class ConversionJob : public QObject
{
    Q_OBJECT
public:
    // The job owns the runner; the file system must outlive the job.
    ConversionJob(ToolRunner* runner, const JobFileSystem& files, QObject* parent = nullptr);

    void Start(const JobRequest& request);
    bool IsRunning() const { return m_running; }
    // Stops the running program; the job ends as cancelled.
    void Cancel();
    // Pauses or continues the running program.
    void Pause(bool paused);
    // Stops the running program and waits for it, without a word (the window
    // is closing).
    void StopForExit();

    // The runs of the three programs: each starts its command line (taken
    // untrimmed), judges the program by its exit code and reports the
    // outcome. A command of blanks only starts nothing. While a job runs, its
    // next step follows.
    void RunEncode(const QString& command);
    void RunMetadataInjection(const QString& command);
    void RunImageGrab(const QString& command);

    // The option part of the last encode command.
    QString EncoderOptions;
    // The last encode ended with code 0; a command that could not be started
    // or that crashed counts as a failure.
    bool EncodeSucceeded = false;
    qint64 ToolProcessId = 0;
    quint32 ToolExitCode = 0;
    // The source's frame size as the request brought it in and the probe
    // found it.
    qint16 SourceWidth = 0;
    qint16 SourceHeight = 0;

    struct Step;
    static const QList<Step>& Steps();
    static constexpr const char* StillsStep = "Grabbing the still images...";

signals:
    // The command line of each step but the probe, before it runs.
    void CommandLine(const QString& line);
    void StepStarted(const QString& step);
    // percent < 0 while it is not known.
    void Progress(int percent, const QString& statusLine);
    // Connect it directly: the job goes on once the receiver has returned,
    // so the next program starts only after the message has been seen. A
    // failure comes with details: the program's last lines and the log.
    void Message(const QString& text, int style, const QString& title, const QString& details);
    // The stills count "0" became this one.
    void StillsCountShown(const QString& count);
    // The watermark's position after the probe.
    void CornerPlaced(const QString& left, const QString& top);
    void Finished(bool cancelled);

private:
    void nextStep();
    void runStep(const Step& step, const QString& command);
    void onOutput(const QByteArray& chunk);
    void onFinished(const ToolOutcome& outcome);
    void report(const ToolOutcome& outcome, const Step& step);
    void logEnd(const ToolOutcome& outcome, const Step& step);
    void failure(const QString& text);

    bool wantsProbe() const;
    bool wantsInjection() const;
    bool wantsStills() const;
    bool always() const { return true; }
    QString probeCommand();
    QString encodeCommand();
    QString injectCommand();
    QString stillsCommand();
    void judgeProbe(const ToolOutcome& outcome);
    void judgeEncode(const ToolOutcome& outcome);
    void BuildEncoderOptions();
    QString appShort() const;

    ToolRunner* m_runner;
    const JobFileSystem& m_files;
    JobRequest m_request;
    bool m_running = false;
    int m_stepIndex = -1;
    const Step* m_current = nullptr;
    QString m_program;
    QString m_reportPath;
    ProgressParser m_progress;
    JobLog m_log;
    QElapsedTimer m_clock;
    qint16 m_stillsCount = 0;
};
