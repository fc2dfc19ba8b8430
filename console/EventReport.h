#pragma once

#include "console/JobEvents.h"
#include "pipeline/JobRequest.h"

#include <QHash>
#include <QJsonValue>
#include <QStringList>
#include <cstdio>
#include <utility>

// Tells the user what the jobs of a run do: one line per job with its outcome
// on the lines stream (standard error), a live progress line there when it is
// a terminal, and with --json one JSON object per event on the JSON stream
// (standard output). Jobs are numbered from 1 in the order of the run.
class EventReport
{
public:
    // json: nullptr for no JSON.
    EventReport(FILE* lines, FILE* json, bool liveProgress);

    void Queued(int job, int jobs, const JobRequest& request);
    void Refused(int job, const QString& message);
    void Skipped(int job);
    void StepStarted(int job, JobStep step, const QString& caption);
    void Progress(int job, int percent, std::optional<int> secondsLeft);
    void StepEnded(int job, const StepOutcome& outcome);
    void Ended(int job, const JobEnd& end, const QString& message = QString());
    void RunEnded(int exitStatus);

private:
    using Fields = QList<std::pair<const char*, QJsonValue>>;
    void writeJson(const char* event, const Fields& fields);
    void writeLine(const QString& line);

    struct Job {
        QString source;
        QString output;
        JobStep step = JobStep::Encode;
        QString caption;
        QStringList messages;
    };
    FILE* m_lines;
    FILE* m_json;
    bool m_live;
    bool m_progressShown = false;
    int m_jobs = 0;
    QHash<int, Job> m_running;
    int m_results[5] = {}; // by JobResult
};
