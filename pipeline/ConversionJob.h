#pragma once

#include "pipeline/JobLog.h"
#include "pipeline/JobRequest.h"
#include "pipeline/Progress.h"
#include "pipeline/StepResult.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTemporaryDir>
#include <memory>

class JobFileSystem;
class ToolRunner;
struct ToolOutcome;

// One conversion after its checks have passed: the source probe (with a
// watermark), the encode, the metadata injection (after a good encode) and the
// stills (when asked for, whatever became of the encode), one program after
// the other, each started only when the previous one has ended.
//
// The job shows nothing itself. It reports each step's end with StepEnded and
// then waits until its front calls Continue(): the window once the user has
// seen the step's message, a front that only collects the outcomes at once.
// After the last step, or a cancelled one, Continue() ends the job with
// Finished. Nothing follows Finished.
class ConversionJob : public QObject
{
    Q_OBJECT
public:
    // The job owns the runner; the file system must outlive the job.
    ConversionJob(ToolRunner* runner, const JobFileSystem& files, QObject* parent = nullptr);

    void Start(const JobRequest& request);
    // From Start until Finished.
    bool IsRunning() const { return m_running; }

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
    // The job's log; empty when it could not be written.
    QString LogPath() const { return m_log.Path(); }

    static constexpr const char* StillsStep = "Grabbing the still images...";

public slots:
    // Goes on after StepEnded: with the next step, or to Finished. It may be
    // called from a slot of StepEnded; the next step starts from the event
    // loop. At any other time it does nothing.
    void Continue();
    // Stops the running program: that step ends as Cancelled, and the job
    // with it. A program that has already ended keeps its own outcome and the
    // job goes on: a cancel counts only for a program that had not ended.
    // While the job waits for Continue() no program runs: a front that must
    // stop there calls StopForExit() instead of Continue().
    void Cancel();
    // Pauses or continues the running program.
    void Pause(bool paused);
    // Stops the running program and waits for it, without a word: no signal
    // follows (the window is closing). A reason, when given, ends the log.
    void StopForExit(const QString& reason = QString());

signals:
    // The command line of each step but the probe, before it runs.
    void CommandLine(const QString& line);
    void StepStarted(const QString& step);
    // percent < 0 while it is not known.
    void Progress(int percent, const QString& statusLine);
    // Each step's end; the job waits for Continue().
    void StepEnded(const StepResult& result);
    // The stills count "0" became this one.
    void StillsCountShown(const QString& count);
    // The watermark's position after the probe.
    void CornerPlaced(const QString& left, const QString& top);
    void Finished(bool cancelled);

private:
    struct Step;
    static const QList<Step>& Steps();

    void nextStep();
    // What each step runs: each builds its command line and starts it.
    void RunProbe();
    void RunEncode();
    void RunMetadataInjection();
    void RunImageGrab();
    void startProgram(const QString& command, const QString& outputFile = QString());
    void onOutput(const QByteArray& chunk);
    void onFinished(const ToolOutcome& outcome);
    StepResult judge(const ToolOutcome& outcome, const Step& step);
    // stopped: how the program was stopped, when it was.
    void logEnd(const ToolOutcome& outcome, const QString& stopped);

    bool wantsProbe() const;
    bool wantsInjection() const;
    bool wantsStills() const;
    bool always() const { return true; }
    void judgeProbe(const ToolOutcome& outcome);
    void judgeEncode(const ToolOutcome& outcome);
    void BuildEncoderOptions();
    QString appShort() const;
    QString probeFolder();

    ToolRunner* m_runner;
    const JobFileSystem& m_files;
    JobRequest m_request;
    bool m_running = false;
    bool m_waiting = false; // for Continue()
    bool m_cancelled = false;
    int m_stepIndex = -1;
    const Step* m_current = nullptr;
    QString m_program;
    QString m_reportPath;
    std::unique_ptr<QTemporaryDir> m_batchScratch; // a batch job's probe files
    ProgressParser m_progress;
    JobLog m_log;
    QElapsedTimer m_clock;
    qint16 m_stillsCount = 0;
};
