// The probe: "ffmpeg -i SRC" alone describes the source in the older
// encoder's report form and exits non-zero, as no output was named.
#pragma once

#include <string>

// The report for ffprobe's JSON answer ANSWER about SOURCE; throws Failure
// when the answer cannot be read.
std::string legacyReport(const std::string& answer, const std::string& source);

// TEXT with every "Video:" made "Video -": the window takes a line holding
// "Video:" for a stream line, and only our own stream lines may be taken so.
std::string defused(std::string text);

int runProbe(const std::string& source, const std::string& ffprobe);
