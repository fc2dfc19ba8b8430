#pragma once

#include <QString>
#include <optional>

// What a running job tells the console program, whatever drives the job.

enum class JobStep { Probe, Encode, Inject, Stills };

// "probe", "encode", "inject", "stills": the names --json reports.
QString StepName(JobStep step);

// How a step ended, with the window's message for it (empty when the window
// shows none, as for a good encode) and, for a failure, the failing program's
// last lines.
struct StepReport {
    JobStep step = JobStep::Encode;
    bool ok = true;
    QString message;
    QString details;
};

enum class JobResult { Converted, Failed, Cancelled, Refused, Skipped };

// "converted", "failed", ...
QString ResultName(JobResult result);

struct JobEnd {
    JobResult result = JobResult::Converted;
    // The exit code of the program whose step failed first (2^31 + the
    // signal for a crash); 0 when none did; none when no program ran to its
    // end for it (refused, skipped, cancelled, or one that could not start).
    std::optional<quint32> exitCode;
    QString logPath; // empty when not known
};

// The console program's exit status.
enum ExitStatus {
    ExitDone = 0,   // every job converted or was skipped
    ExitFailed = 1, // a job failed, was refused by its checks or was cancelled
    ExitUsage = 2,  // nothing started
    // Stopped by a signal: 128 + the signal (SIGINT 130, SIGPIPE 141, SIGTERM 143).
    ExitSignalBase = 128,
};
