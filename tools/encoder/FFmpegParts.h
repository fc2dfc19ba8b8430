// What our command lines need of the system's FFmpeg, checked before a job
// runs so that a missing part gets a clear word instead of FFmpeg's own.
#pragma once

#include <string>

// The parts, as bits of a set.
constexpr unsigned FpsModeOption = 1 << 0, FlvMuxer = 1 << 1, Image2Muxer = 1 << 2,
                   FlvEncoder = 1 << 3, Mp3Encoder = 1 << 4, MjpegEncoder = 1 << 5,
                   DrawtextFilter = 1 << 6, X264Encoder = 1 << 7, AacEncoder = 1 << 8,
                   // Only wanted: FFmpeg 7 sends the first half second at once after -re.
    ReadrateBurstOption = 1 << 9;

// The parts FFMPEG has, asked once per program file and kept in the user's
// cache folder ($XDG_CACHE_HOME/kestrel, else ~/.cache/kestrel); without
// READCACHE FFmpeg is asked again. CACHED (if given) tells whether the answer
// came from the cache. A cache that cannot be read or written only costs
// asking again.
unsigned ffmpegParts(const std::string& ffmpeg, bool readCache, bool* cached);

// Throws Failure naming what of NEEDED (a set of the parts) FFMPEG lacks and
// what to install; FFmpeg is asked again before that.
void requireParts(const std::string& ffmpeg, unsigned needed);

// Whether FFMPEG takes OPTION VALUE, as an input option or an output one, on
// a short run into nothing. Throws Failure when the run fails for another
// reason.
bool takesOption(const std::string& ffmpeg, const std::string& option, const std::string& value,
                 bool inputOption);
