#pragma once

#include "options/EncoderOptions.h"

#include <QByteArray>
#include <optional>

// Reads the frame size from the encoder's report: the last line holding
// "Video:" whose third ":"-separated field has a lower-case "x" between a
// width (the four characters before it) and a height (the three characters
// after it when a comma follows, else four). Lines end at CR, CR LF or LF.
// Lines whose numbers cannot be read are skipped.
std::optional<FrameSize> ParseProbeReport(const QByteArray& report);
