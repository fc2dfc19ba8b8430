// Finding and running the system's FFmpeg programs.
#pragma once

#include <string>
#include <vector>

// The real program: $ENVNAME when set, else NAME on the PATH, skipping this
// front-end itself and the folder it lies in. Throws Failure when none is found.
std::string findTool(const char* envName, const char* name);

// Catches SIGINT, SIGTERM and SIGHUP from now on: each is passed on to the
// running child, and the job is stopped once the child has ended. SIGCHLD is
// set to its default, so that each child's end can be waited for.
void installSignalForwarding();

// The signal that asked us to stop, or 0.
int stopSignal();

// The start of every FFmpeg command line: FFMPEG reading SOURCE (a name from
// sourceForFFmpeg), without the terminal and the banner, showing progress.
std::vector<std::string> ffmpegReading(const std::string& ffmpeg, const std::string& source);

// Runs ARGV[0] with ARGV and waits for it. Its standard input is /dev/null;
// its standard output and error are ours, unless OUT or ERR is given to
// collect them. It inherits the descriptors in INHERIT (ours are closed on
// exec otherwise). Returns its exit code, or 128 + the signal that ended it;
// when a stop signal came before or while it ran, 128 + that signal instead.
// Throws Failure when it cannot be started or waited for.
int runTool(const std::vector<std::string>& argv, std::string* out = nullptr,
            std::string* err = nullptr, const std::vector<int>& inherit = {});
