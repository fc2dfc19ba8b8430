// Replacing the user's file without ever losing it: the new file is written
// unnamed in the same folder (or under a marked scratch name where the file
// system cannot), synced, given the original's mode and owner, and put in
// the original's place only when complete. Until then the original is not
// touched; on any failure, a terminating signal or SIGKILL nothing of the new
// file stays (after a SIGKILL a named one is removed by the next run).
#pragma once

#include "flv_scan.h"
#include "metadata.h"

#include <string>
#include <sys/stat.h>

namespace flvmdi
{

// The folder part of an absolute path, with its closing '/'.
std::string folderOf(const std::string& path);

// Removes a named new file when a signal (SIGINT, SIGTERM, SIGHUP, SIGBUS
// ...) ends the program; ignores SIGXFSZ and SIGPIPE so that such failures
// come back as write errors. Call once at start.
void installSignalCleanup();

// Copies `len` bytes from `in` at `src` to `out` at `dst` inside the kernel
// where it can, leaving holes of a sparse input as holes.
void copyRange(int in, int out, uint64_t src, uint64_t len, uint64_t dst);

// Writes header, metadata tag and the kept ranges of `in` to a new file
// beside `target` (the real path of the file, links resolved), then puts it
// in `target`'s place. `before` is the state of `in` when it was scanned: a file
// that changed meanwhile is left alone. Throws IoError.
void replaceFile(int in, const std::string& target, const struct stat& before,
                 const ScanResult& scan, const OutputPlan& plan);

} // namespace flvmdi
