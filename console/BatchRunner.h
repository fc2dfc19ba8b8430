#pragma once

#include "pipeline/BatchPlan.h"

#include <QHash>
#include <QObject>

class ConversionEngine;
class EventReport;

// The console program's front of the conversion engine: runs jobs, up to
// atOnce at a time, and reports every event. A job whose output or first
// still exists is skipped unless overwrite, which replaces them.
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
    // Stops the jobs by the engine's rule and finishes with exitStatus once
    // the running ones have ended. A second call stops them harder; the status
    // stays the first.
    void Stop(int exitStatus);

signals:
    void Finished(int exitStatus);

private:
    ConversionEngine* m_engine;
    EventReport& m_report;
    QHash<int, int> m_percents; // the last percent each job showed
    std::optional<int> m_stopStatus;
    bool m_anyFailed = false;
};
