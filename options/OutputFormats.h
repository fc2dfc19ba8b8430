#pragma once

#include <QList>
#include <QString>

// The kinds of FLV written, in the Format menu's order; the first is the
// start value. Sorenson Spark video and MP3 audio, as Flash Player 6 and later
// play it, or H.264 and AAC, as browsers and streaming servers take it.
enum class FlvFormat { Sorenson, H264 };

struct OutputFormat {
    FlvFormat format;
    const char* key;        // kestrel.ini's "Format" and the value of --format
    const char* caption;    // the Format menu's entry
    const char* words;      // what --help calls it
    const char* videoCodec; // the encoder's words after the frame rate
    const char* audioCodec; // and after the channels
};

const QList<OutputFormat>& OutputFormats();
const OutputFormat& FormatOf(FlvFormat format);
