// The encode: SRC to a Flash-era FLV (Sorenson H.263 video, MP3 audio), or
// to one with H.264 video and AAC audio, optionally with the text watermark.
#pragma once

#include "CommandLine.h"

// Runs FFmpeg and returns the exit code for the front-end.
int runEncode(const Job& job, const std::string& ffmpeg);

// True when the FLV file open as FD holds at least one audio or video tag.
bool flvHasMedia(int fd);
