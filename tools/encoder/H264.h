// The second output format: H.264 video and AAC audio in the FLV, which
// today's browser players (through Media Source Extensions) and streaming
// servers take. The older dialect asks for it with "-vcodec libx264" and
// "-acodec libfaac"; here those become Debian's libx264 and FFmpeg's own aac.
#pragma once

#include "CommandLine.h"

#include <string>
#include <vector>

// H.264 in 4:2:0 cannot hold an odd width or height, nor crop one line off:
// such a side is encoded one pixel longer ("240x135" gives "240x136").
std::string evenFrameSize(const std::string& frameSize);

// FFmpeg's output options for JOB's video but its bitrate: High profile,
// 8-bit 4:2:0, a keyframe every 2 seconds, and the frame size with square
// pixels. WATERMARK is the drawtext filter
// (drawn on the source frames, before the scaling) or empty.
std::vector<std::string> h264VideoOptions(const Job& job, const std::string& watermark);

// FFmpeg's output options for JOB's audio in AAC, at the bitrate asked.
std::vector<std::string> aacAudioOptions(const Job& job);
