// Stills: the first N frames of SRC as JPEG files named from a pattern such
// as ".../cover%d.jpg" (cover1.jpg, cover2.jpg, ...).
#pragma once

#include "CommandLine.h"

#include <optional>
#include <string>

// The pattern's number field: the last "%d" (or "%0Nd") of the file name.
struct StillPattern {
    std::string before, after; // the full path around the number field
    int width = 0;             // zero-padding width of "%0Nd"
    std::string nameFor(int number) const;
};
std::optional<StillPattern> parseStillPattern(const std::string& path);

int runStills(const Job& job, const std::string& ffmpeg);
