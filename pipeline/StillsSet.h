#pragma once

#include "pipeline/JobRequest.h"

class JobFileSystem;

// The stills a job grabs into the output folder: cover1.jpg, cover2.jpg, ...
// or, named after a batch job's output, clip-cover1.jpg, ...

// The name of still number n: the last "%d" of stillsName holds the number.
QString StillName(const QString& stillsName, int n);

// The output folder holds a set already (its first still): the user is asked
// before it is replaced.
bool StillsExist(const JobRequest& job, const JobFileSystem& files);

// Once a grab of count stills has replaced an older set, the older set's
// stills numbered above count go, so that the folder holds one video's set.
void RemoveStillsAbove(const QString& outDir, const QString& stillsName, int count);
