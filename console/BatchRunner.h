#pragma once

#include "pipeline/BatchPlan.h"

#include <QObject>

class EventReport;
class JobDriver;
struct JobEnd;

// Runs the jobs of a plan, up to atOnce at a time, each with a driver and
// programs of its own, and reports every event. A job its checks refused is
// reported and not run; one whose output exists is skipped unless overwrite.
class BatchRunner : public QObject
{
    Q_OBJECT
public:
    BatchRunner(const BatchPlan& plan, int atOnce, bool overwrite, EventReport& report,
                QObject* parent = nullptr);

    // Finished follows from the event loop, also when there is nothing to run.
    void Start();

signals:
    void Finished(int exitStatus);

private:
    void startNext();
    void jobEnded(int number, JobDriver* driver, const JobEnd& end);
    void finishWhenDone();

    QList<PlannedJob> m_jobs;
    int m_atOnce;
    bool m_overwrite;
    EventReport& m_report;
    QList<int> m_waiting; // indexes into m_jobs
    int m_running = 0;
    bool m_anyFailed = false;
};
