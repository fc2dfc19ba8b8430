#pragma once

#include "console/Arguments.h"
#include "options/Catalogs.h"
#include "pipeline/BatchPlan.h"

// The jobs of a run, worked out before anything starts: the videos of the
// arguments, then those of the manifest, each with its options, named and
// checked. Throws UsageError for a value the window would not offer, bad
// manifest lines (every one, in order), two jobs writing one file, or an
// --index the manifest does not have. With --index the whole manifest is
// planned (so that stills are named alike whichever task runs which job) and
// only that job is kept. Then the output folders of the jobs that will run
// (and of --watch) are made with their parents; one that cannot be made
// throws UsageError saying why.
BatchPlan PlanRun(const ConsoleArguments& args, const Catalogs& catalogs, const QString& appFolder);
