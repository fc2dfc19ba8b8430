// The encode: SRC to a Flash-era FLV (Sorenson H.263 video, MP3 audio), or
// to one with H.264 video and AAC audio, optionally with the text watermark.
#pragma once

#include "CommandLine.h"

// Runs FFmpeg and returns the exit code for the front-end.
int runEncode(const Job& job, const std::string& ffmpeg);

// What is wrong with the FLV file open as FD ("is incomplete", ...), or ""
// when it is whole: every tag's size agrees with the size written after it,
// the last ends exactly at the file's end, the size the metadata gives (if
// any) is the file's, and at least one tag is audio or video.
std::string flvProblem(int fd);
