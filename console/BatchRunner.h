#pragma once

#include "pipeline/BatchPlan.h"

#include <QHash>
#include <QObject>

class EventReport;
class JobDriver;
struct JobEnd;

// Runs jobs, up to atOnce at a time, each with a driver and programs of its
// own, and reports every event. Jobs are numbered from 1 in the order they
// come. A job its checks refused is reported and not run; one whose output
// or first still exists is skipped unless overwrite, which replaces them.
class BatchRunner : public QObject
{
    Q_OBJECT
public:
    BatchRunner(int atOnce, bool overwrite, EventReport& report, QObject* parent = nullptr);

    // Reports every job of the plan as queued, then runs them; Finished
    // follows from the event loop once all have ended, also when there is
    // nothing to run.
    void Run(const BatchPlan& plan);
    // One more job, for a run that goes on until it is stopped (a watched
    // folder): queued and run when its turn comes.
    void Add(const PlannedJob& job);
    // Stops the running jobs (see JobDriver::Stop), drops those that wait,
    // and finishes with exitStatus once the running ones have ended. A
    // second call stops them harder; the status stays the first.
    void Stop(int exitStatus);
    bool IsIdle() const { return m_running.isEmpty() && m_waiting.isEmpty(); }

signals:
    void Finished(int exitStatus);

private:
    void take(int number, PlannedJob job);
    void startNext();
    void jobEnded(int number, JobDriver* driver, const JobEnd& end);
    void finishWhenDone();

    int m_atOnce;
    bool m_overwrite;
    EventReport& m_report;
    int m_count = 0;
    QList<std::pair<int, JobRequest>> m_waiting;
    QHash<int, JobDriver*> m_running;
    bool m_open = false; // more jobs may come
    std::optional<int> m_stopStatus;
    bool m_anyFailed = false;
    bool m_finished = false;
};
