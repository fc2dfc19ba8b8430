// One streaming pass over the tags of an FLV file: what the metadata needs
// (per-stream sizes, timing, codecs, picture size, keyframe index) and which
// byte ranges of the input go unchanged into the new file.
#pragma once

#include "byte_source.h"

#include <cstdint>
#include <vector>

namespace flvmdi
{

enum TagType : uint8_t { TagAudio = 8, TagVideo = 9, TagScript = 18 };

// A run of input bytes copied unchanged (tags with their back-pointers).
struct Segment {
    uint64_t offset = 0;
    uint64_t length = 0;
};

struct Keyframe {
    uint32_t timeMs = 0;
    // Position of the tag among the kept bytes; the new file puts the FLV
    // header and the new metadata tag in front of them.
    uint64_t keptOffset = 0;
};

struct StreamStats {
    uint64_t tags = 0;         // tags of this type, frames or not
    uint64_t tagBytes = 0;     // tag headers and bodies (no back-pointers)
    uint64_t payloadBytes = 0; // bodies only
    uint32_t lastTimeMs = 0;   // largest frame timestamp
    // Forward steps between consecutive frames; steps over kJumpMs count as
    // timestamp jumps (a cut, a joined file), like steps backwards.
    static constexpr uint32_t kJumpMs = 10000;
    uint64_t stepSum = 0, steps = 0;
    uint64_t jumpSum = 0, jumps = 0;
    int codecId = -1; // from the first frame
    bool haveFrame = false;
    uint32_t prevTimeMs = 0;

    // Mean forward step between frames, jumps left out unless there is
    // nothing else; 0 when unknown (fewer than two frames).
    double frameIntervalMs() const
    {
        if (steps)
            return double(stepSum) / double(steps);
        return jumps ? double(jumpSum) / double(jumps) : 0.0;
    }
};

struct ScanResult {
    uint8_t version = 1;
    std::vector<Segment> segments;
    uint64_t keptBytes = 0;
    // The last tag lacked its back-pointer at the very end of the file; the
    // new file gets it.
    bool appendBackPointer = false;
    uint32_t backPointerValue = 0;

    StreamStats video, audio;
    uint64_t scriptTagBytes = 0; // kept script tags (onCuePoint ...)
    uint32_t droppedMetadataTags = 0;

    uint32_t width = 0, height = 0; // 0: not found in the video data
    double audioSampleRate = 0;
    int audioSampleSize = 0; // 8 or 16
    bool stereo = false;

    std::vector<Keyframe> keyframes;
    bool lastVideoFrameIsKey = false;
};

// Walks every tag once. Throws InvalidFlv for data that is not a complete FLV
// file (the message names the byte offset), IoError when reading fails.
ScanResult scanFlv(ByteSource& src);

} // namespace flvmdi
