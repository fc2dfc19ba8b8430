#pragma once

#include "pipeline/BatchPlan.h"
#include "pipeline/Progress.h"
#include "pipeline/StepResult.h"
#include "pipeline/StreamDestinations.h"

#include <QHash>
#include <QObject>
#include <functional>

class ConversionJob;
class JobFileSystem;
class ToolRunner;

// Runs planned jobs, up to a limit at once, each with a conversion job and
// programs of its own, and reports what they do; every front (the window's
// single job and batch, the console program) shows what it reports. Jobs are
// numbered from 1 in the order they come, for the engine's life.
//
// A job its checks refused ends as refused, and one whose FLV or first still
// is there as skipped, unless the engine replaces outputs (then an older set
// of stills goes too). A stop follows the job's rule (see ConversionJob) for
// every running job and ends the jobs that wait as cancelled.
class ConversionEngine : public QObject
{
    Q_OBJECT
public:
    using RunnerFactory = std::function<ToolRunner*()>;

    // The programs of the application folder on the real file system.
    explicit ConversionEngine(QObject* parent = nullptr);
    // The file system must outlive the engine.
    ConversionEngine(RunnerFactory makeRunner, const JobFileSystem& files,
                     QObject* parent = nullptr);

    void SetJobsAtOnce(int jobs) { m_atOnce = qMax(1, jobs); }
    void SetReplaceOutputs(bool replace) { m_replace = replace; }
    // Each job waits after each step's end until Continue (the window shows
    // each step's message to a single job's user before the next step).
    void SetHoldBetweenSteps(bool hold) { m_hold = hold; }
    // More jobs may come (a watched folder): Idle waits until it is closed.
    void SetOpen(bool open);

    // Takes a job and returns its number, which a batch's job (one with a
    // batch number) takes as its batch number. Everything about the job comes
    // from the event loop: a refused or skipped job's end at once, the others
    // when their turn comes.
    int Add(PlannedJob job);
    // How many jobs have come.
    int Count() const { return m_count; }
    void Continue(int job);
    void Stop();
    void Pause(bool paused);
    // Stops every program now and waits for it, without a word (the window is
    // closing); the reason ends each running job's log.
    void StopForExit(const QString& reason);
    bool IsIdle() const { return m_running.isEmpty() && m_waiting.isEmpty(); }

signals:
    void JobStarted(int job, const JobRequest& request);
    // The command line of each step but the probe, before it runs.
    void CommandLine(int job, const QString& line);
    void StepStarted(int job, JobStep step);
    void Progress(int job, const JobProgress& progress);
    void StepEnded(int job, const StepResult& result);
    // The stills count "0" became this one.
    void StillsCountShown(int job, const QString& count);
    // The watermark's position after the probe.
    void CornerPlaced(int job, const QString& left, const QString& top);
    void DestinationChanged(int job, const DestinationState& state);
    void JobEnded(int job, const JobOutcome& outcome);
    // Every job has ended and no more may come; from the event loop.
    void Idle();

private:
    void startNext();
    void start(int number, const JobRequest& request);
    void jobEnded(int number, const JobOutcome& outcome);

    RunnerFactory m_makeRunner;
    const JobFileSystem& m_files;
    int m_atOnce = 1;
    bool m_replace = false;
    bool m_hold = false;
    bool m_open = false;
    bool m_stopping = false;
    bool m_idleDue = false;
    int m_count = 0;
    QList<std::pair<int, JobRequest>> m_waiting;
    QHash<int, ConversionJob*> m_running;
};
