#pragma once

#include <QByteArray>
#include <optional>

struct FrameSize {
    qint16 width = 0;
    qint16 height = 0;
};

// Reads the frame size from the encoder's report: the last line holding
// "Video:" whose third ":"-separated field has a lower-case "x" between a
// width (the four characters before it) and a height (the three characters
// after it when a comma follows, else four). Lines end at CR, CR LF or LF.
// Lines whose numbers cannot be read are skipped.
std::optional<FrameSize> ParseProbeReport(const QByteArray& report);
