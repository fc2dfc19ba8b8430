// The probe: "ffmpeg -i SRC" alone describes the source in the older
// encoder's report form and exits non-zero, as no output was named.
#pragma once

#include "Json.h"

#include <string>

// The report for ffprobe's JSON answer about SOURCE.
std::string legacyReport(const JsonValue& answer, const std::string& source);

int runProbe(const std::string& source, const std::string& ffprobe);
