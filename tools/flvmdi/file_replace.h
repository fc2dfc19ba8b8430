// Replacing the user's file without ever losing it: the new file is written
// to a temporary file in the same folder, synced, given the original's mode
// and owner, and renamed over the original only when complete. Until then
// the original is not touched; on any failure or a terminating signal the
// temporary file is removed.
#pragma once

#include "flv_scan.h"
#include "metadata.h"

#include <string>
#include <sys/stat.h>

namespace flvmdi
{

// The folder part of an absolute path, with its closing '/'.
std::string folderOf(const std::string& path);

// Removes the temporary file when a signal (SIGINT, SIGTERM, SIGHUP, SIGBUS
// ...) ends the program; ignores SIGXFSZ and SIGPIPE so that such failures
// come back as write errors. Call once at start.
void installSignalCleanup();

// Copies `len` bytes from `in` at `src` to `out` at `dst` inside the kernel
// where it can, leaving holes of a sparse input as holes.
void copyRange(int in, int out, uint64_t src, uint64_t len, uint64_t dst);

// Writes header, metadata tag and the kept ranges of `in` to a temporary file
// beside `target` (the real path of the file, links resolved), then renames it
// over `target`. `before` is the state of `in` when it was scanned: a file
// that changed meanwhile is left alone. Throws IoError.
void replaceFile(int in, const std::string& target, const struct stat& before,
                 const ScanResult& scan, const OutputPlan& plan);

} // namespace flvmdi
