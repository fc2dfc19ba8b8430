#pragma once

#include "console/JobEvents.h"
#include "pipeline/JobRequest.h"
#include "pipeline/StepResult.h"
#include "pipeline/StreamDestinations.h"

#include <QHash>
#include <QJsonValue>
#include <QStringList>
#include <cstdio>
#include <utility>

// Tells the user what the jobs of a run do: one line per job with its outcome
// on the lines stream (standard error), a live progress line there when it is
// a terminal, and with --json one JSON object per event on the JSON stream
// (standard output). Jobs are numbered from 1 in the order of the run. Names
// on the lines stream show a line break as "\n", so that a job keeps to one
// line.
class EventReport
{
public:
    // json: nullptr for no JSON.
    EventReport(FILE* lines, FILE* json, bool liveProgress);

    // jobs: how many the run has; 0 while that is not known (a watched folder).
    void Queued(int job, int jobs, const JobRequest& request);
    void StepStarted(int job, JobStep step);
    void Progress(int job, int percent, std::optional<int> secondsLeft);
    void StepEnded(int job, const StepResult& step);
    // A streaming server's state; "connecting" is not reported.
    void Destination(int job, const DestinationState& state);
    void Ended(int job, const JobOutcome& outcome);
    void RunEnded(int exitStatus);

private:
    using Fields = QList<std::pair<const char*, QJsonValue>>;
    void writeJson(const char* event, const Fields& fields);
    void writeLine(const QString& line);
    QString prefix(int job) const; // "[2/3]", or "[2]" while the count is not known

    struct Job {
        QString source;
        QString output;
        JobStep step = JobStep::Encode;
    };
    FILE* m_lines;
    FILE* m_json;
    bool m_live;
    bool m_progressShown = false;
    int m_jobs = 0;
    QHash<int, Job> m_running;
    int m_results[6] = {}; // by JobResult
};
