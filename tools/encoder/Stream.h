// The streaming mode: the encode, paced at the source's own speed and with a
// keyframe every 2 seconds, sent live to one or more RTMP/RTMPS servers. One
// encoder writes FLV into a pipe; this process passes the tags on to one
// copying FFmpeg per server, never waiting for any of them, and keeps each
// server's stream alive on its own: a server that drops out is tried again
// and joins the stream where the source has got to.
#pragma once

#include "CommandLine.h"

// Streams JOB to JOB.streams with FFMPEG; returns the exit code main.cpp's
// usage text describes. Throws Failure for what is wrong before the start.
int runStream(const Job& job, const std::string& ffmpeg);
