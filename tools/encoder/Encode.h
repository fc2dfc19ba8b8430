// The encode: SRC to a Flash-era FLV (Sorenson H.263 video, MP3 audio), or
// to one with H.264 video and AAC audio, optionally with the text watermark.
#pragma once

#include "CommandLine.h"
#include "TempFiles.h"

// The watermark's text for FFmpeg: its drawtext filter (empty without a text)
// reads it from FILE, a file in memory that FFmpeg inherits.
struct EncodeText {
    Fd file;
    std::string filter;
};

// Checks everything JOB's watermark names (FFmpeg would quietly fall back to
// another font or colour) and that FFMPEG has the parts JOB needs; throws
// Failure naming what is wrong.
EncodeText prepareEncode(const Job& job, const std::string& ffmpeg);

// FFmpeg's output options for JOB's video, drawn on with FILTER, its bitrate
// and its audio.
std::vector<std::string> codecOptions(const Job& job, const std::string& filter);

// Runs FFmpeg and returns the exit code for the front-end.
int runEncode(const Job& job, const std::string& ffmpeg);

// What is wrong with the FLV file open as FD ("is incomplete", ...), or ""
// when it is whole: every tag's size agrees with the size written after it,
// the last ends exactly at the file's end, the size the metadata gives (if
// any) is the file's, and at least one tag is audio or video.
std::string flvProblem(int fd);
