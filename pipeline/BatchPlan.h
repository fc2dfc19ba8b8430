#pragma once

#include "pipeline/JobChecks.h"
#include "pipeline/JobRequest.h"

#include <QList>
#include <QStringList>
#include <optional>

// Many videos converted with one set of options, as the console program and
// the window's batch plan them before anything starts.

struct PlannedJob {
    JobRequest request;
    // Why the job cannot start: the window's checks, then a source that is
    // not there.
    std::optional<JobRefusal> refusal;
    bool outputExists = false;
};

// Two or more jobs that would write one file.
struct OutputClash {
    QString output;
    QStringList sources;
};

struct BatchPlan {
    QList<PlannedJob> jobs;
    QList<OutputClash> clashes; // a batch with any cannot start
};

// Each request brings its source and options; an empty outDir means beside
// the source. The output is named from the source as the Input File pick
// names it, and the jobs are numbered from 1 (batchNumber). When more than
// one job writes into a folder, each job's stills are named after its output
// (StillsNameFor), so that none overwrites another's; a job alone in its
// folder keeps "cover%d.jpg".
BatchPlan PlanBatch(const QList<JobRequest>& requests, const JobFileSystem& files);

// "clip-cover%d.jpg" for "clip.flv".
QString StillsNameFor(const QString& outFile);

// The message for a clash, naming the videos.
QString DescribeClash(const OutputClash& clash);
