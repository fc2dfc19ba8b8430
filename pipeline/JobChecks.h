#pragma once

#include "pipeline/JobRequest.h"

#include <QString>
#include <optional>

// What the job checks ask of the file system; tests put their own in.
class JobFileSystem
{
public:
    virtual ~JobFileSystem() = default;
    virtual bool Exists(const QString& path) const = 0;
    // Both exist and are one file, whatever links lead to them.
    virtual bool SameFile(const QString& a, const QString& b) const = 0;
    // See BlankFreePath.
    virtual QString BlankFreePath(const QString& path) const = 0;
};

// The real file system.
const JobFileSystem& LocalFileSystem();

// Why a job cannot start, and the value to put right (None when no one value
// of the job can be).
struct JobRefusal {
    QString message;
    JobField field = JobField::None;
};

// A source whose name holds a line break or another control character: such a
// name cannot travel safely through the command lines.
JobRefusal SourceNameRefusal();

// A server address with its key that cannot be streamed to. The message
// shows it as shown, or with the key masked.
std::optional<JobRefusal> CheckStreamUrl(const QString& url, const QString& shown = QString());

// The checks of a job before anything is written or started, in the order
// the user meets them; the first that fails is returned.
std::optional<JobRefusal> CheckJob(const JobRequest& job, const JobFileSystem& files);

// The FLV the job would make is there already: the user is asked before it is
// replaced.
bool OutputExists(const JobRequest& job, const JobFileSystem& files);
