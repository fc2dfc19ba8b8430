#pragma once

#include "pipeline/JobLog.h"
#include "pipeline/JobRequest.h"
#include "pipeline/Progress.h"
#include "pipeline/StepResult.h"
#include "pipeline/StreamDestinations.h"

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
// the other, each started only when the previous one has ended. A job with
// servers to stream to streams instead, after the probe, and does nothing else.
//
// The job shows nothing itself. It reports each step's end with StepEnded and
// then waits until Continue() (ConversionEngine calls it at once, or when the
// front holding the job between steps lets it go on). After the last step, or
// after a stop, Continue() ends the job with Finished and its outcome. Nothing
// follows Finished.
//
// A stop ends the running program, except the metadata injection after a
// good encode, which finishes so that an FLV that is there has its metadata
// (a second stop ends that too). No step starts after a stop but that
// injection. A job whose steps the stop left out ends as cancelled, unless a
// step had failed before.
class ConversionJob : public QObject
{
    Q_OBJECT
public:
    // The job owns the runner; the file system must outlive the job. Every
    // signal names the job by its number.
    ConversionJob(int number, ToolRunner* runner, const JobFileSystem& files,
                  QObject* parent = nullptr);

    void Start(const JobRequest& request);
    // From Start until Finished.
    bool IsRunning() const { return m_running; }

    // The job's log; empty when it could not be written.
    QString LogPath() const { return m_log.Path(); }
    qint64 ToolProcessId() const;

public slots:
    // Goes on after StepEnded: with the next step, or to Finished. It may be
    // called from a slot of StepEnded; the next step starts from the event
    // loop. At any other time it does nothing.
    void Continue();
    // Stops the job by the rule above. A program that has already ended
    // keeps its own outcome: a stop counts only for a program that had not
    // ended.
    void Stop();
    // Pauses or continues the running program.
    void Pause(bool paused);
    // Stops the running program and waits for it, without a word: no signal
    // follows (the window is closing). A reason, when given, ends the log.
    void StopForExit(const QString& reason = QString());

signals:
    // The command line of each step but the probe, before it runs.
    void CommandLine(int job, const QString& line);
    void StepStarted(int job, JobStep step);
    void Progress(int job, const JobProgress& progress);
    // Each step's end; the job waits for Continue().
    void StepEnded(int job, const StepResult& result);
    // The stills count "0" became this one.
    void StillsCountShown(int job, const QString& count);
    // The watermark's position after the probe.
    void CornerPlaced(int job, const QString& left, const QString& top);
    // A streaming server's state changed.
    void DestinationChanged(int job, const DestinationState& state);
    void Finished(int job, const JobOutcome& outcome);

private:
    struct Step;
    static const QList<Step>& Steps();

    void nextStep();
    // What each step runs: each builds its command line and starts it.
    void RunProbe();
    void RunEncode();
    void RunMetadataInjection();
    void RunImageGrab();
    void RunStream();
    // shown: the command as the log shows it, when it differs (a stream's keys).
    void startProgram(const QString& command, const QString& outputFile = QString(),
                      const QString& shown = QString());
    void onOutput(const QByteArray& chunk);
    void onFinished(const ToolOutcome& outcome);
    StepResult judge(const ToolOutcome& outcome, const Step& step);
    // stopped: how the program was stopped, when it was.
    void logEnd(const ToolOutcome& outcome, const QString& stopped);

    bool wantsProbe() const;
    bool wantsInjection() const;
    bool wantsStills() const;
    bool wantsEncode() const;
    bool wantsStream() const;
    void judgeStream(const ToolOutcome& outcome, StepResult& result);
    void judgeProbe(const ToolOutcome& outcome);
    void finish();
    void BuildEncoderOptions();
    QString appShort() const;
    QString probeFolder();

    const int m_number;
    ToolRunner* m_runner;
    const JobFileSystem& m_files;
    JobRequest m_request;
    bool m_running = false;
    bool m_waiting = false; // for Continue()
    int m_stops = 0;
    bool m_leftOut = false; // a stop left wanted steps out
    int m_stepIndex = -1;
    const Step* m_current = nullptr;
    QString m_program;
    QString m_reportPath;
    std::unique_ptr<QTemporaryDir> m_batchScratch; // a batch job's probe files
    ProgressParser m_progress;
    DestinationLines m_destinations;
    JobLog m_log;
    QElapsedTimer m_clock;
    qint16 m_stillsCount = 0;
    JobOutcome m_outcome;
    QList<quint32> m_exitCodes; // of each step in m_outcome
};
