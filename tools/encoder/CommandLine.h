// The older encoder dialect the window speaks, read into a job description.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class JobKind { Probe, Encode, Stills };

struct Job {
    JobKind kind = JobKind::Probe;
    std::string input;
    std::string output; // FLV file, or the stills pattern
    // Video (encode and stills).
    std::optional<std::string> videoKbps; // "225"
    std::optional<std::string> frameSize; // "400x300"
    std::optional<std::string> frameRate; // "24", "29.97", "30000/1001"
    std::optional<std::string> vhook;     // the whole -vhook argument
    // Audio (encode).
    bool noAudio = false;
    int sampleRate = 44100;
    int audioKbps = 64;
    std::optional<int> channels;
    // Stills.
    int stillCount = 0;
};

// Reads the arguments after the program name; throws Failure with a message
// naming the offending option or value.
Job parseCommandLine(const std::vector<std::string>& args);

// The MP3 bitrate (kbit/s) written for a wish at a sample rate: the wish when
// MP3 has it at that rate, else the nearest one it has (the lower on a tie).
int mp3Bitrate(int sampleRate, int wishedKbps);
