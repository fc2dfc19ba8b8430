#pragma once

#include <QString>
#include <optional>

// The console program's exit status.
enum ExitStatus {
    ExitDone = 0,   // every job converted or was skipped
    ExitFailed = 1, // a job failed, was refused by its checks or was cancelled
    ExitUsage = 2,  // nothing started
    // Stopped by a signal: 128 + the signal (SIGINT 130, SIGPIPE 141, SIGTERM 143).
    ExitSignalBase = 128,
};
