// The older encoder dialect the window speaks, read into a job description.
#pragma once

#include "Codecs.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class JobKind { Probe, Encode, Stills, Stream, Help, Version };

struct Job {
    JobKind kind = JobKind::Probe;
    std::string input;
    std::string output; // FLV file, or the stills pattern
    // Video (encode and stills).
    std::optional<std::string> videoKbps; // "225"
    std::optional<std::string> frameSize; // "400x300"
    std::optional<std::string> frameRate; // "24", "29.97", "30000/1001"
    std::optional<std::string> vhook;     // the whole -vhook argument
    Codec video = Codec::Flv1;            // -vcodec
    // Audio (encode).
    bool noAudio = false;
    Codec audio = Codec::Mp3; // -acodec
    int sampleRate = 44100;
    int audioKbps = 64;
    std::optional<int> channels;
    // Stills.
    int stillCount = 0;
    // Stream: the servers the encode is sent to (-stream URL, each).
    std::vector<std::string> streams;
};

// Reads the arguments after the program name; throws Failure with a message
// naming the offending option or value. "--help" or "--version" where an
// option may stand asks for that alone.
Job parseCommandLine(const std::vector<std::string>& args);

// A whole number of 1 to MAXDIGITS digits (at most 9), or nothing.
std::optional<int> wholeNumber(std::string_view text, size_t maxDigits = 9);

// A decimal number as the dialect writes it: 1 to WHOLEDIGITS digits, then
// optionally "." and 1 to 9 more; with SIGNED, an optional "+" or "-" first.
// Its value, or nothing. The digits are counted, so any length is cheap.
std::optional<double> decimalNumber(std::string_view text, size_t wholeDigits,
                                    bool withSign = false);

// The MP3 bitrate (kbit/s) written for a wish at a sample rate: the wish when
// MP3 has it at that rate, else the nearest one it has (the lower on a tie).
int mp3Bitrate(int sampleRate, int wishedKbps);
