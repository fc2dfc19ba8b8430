// The codecs the older dialect can ask for: Sorenson H.263 and MP3, the
// Flash-era default, or H.264 and AAC, which today's browser players (through
// Media Source Extensions) and streaming servers take. "-vcodec libx264" and
// "-acodec libfaac" ask for the latter; they become Debian's libx264 and
// FFmpeg's own aac.
#pragma once

#include <string>
#include <vector>

enum class Codec { Flv1, Mp3, H264, Aac };

struct Job;

struct CodecRow {
    Codec codec;
    const char* option; // "-vcodec" or "-acodec"
    const char* asked;  // the value of OPTION that asks for it; nullptr for the default
    const char* name;   // in messages
    unsigned part;      // what FFmpeg needs for it (FFmpegParts.h)
    // FFmpeg's output options for JOB's video but its bitrate, with the
    // drawtext FILTER (or none), or for its audio.
    std::vector<std::string> (*options)(const Job& job, const std::string& filter);
};

const CodecRow& codecRow(Codec codec);

// The codec that OPTION VALUE asks for; throws Failure for none.
Codec askedCodec(const std::string& option, const std::string& value);

// H.264 in 4:2:0 cannot hold an odd width or height, nor crop one line off:
// such a side is encoded one pixel longer ("240x135" gives "240x136").
std::string evenFrameSize(const std::string& frameSize);
