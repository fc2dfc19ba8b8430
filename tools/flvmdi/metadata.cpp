#include "metadata.h"
#include "errors.h"

#include <algorithm>
#include <cmath>

namespace flvmdi
{

namespace
{

// How the numbers are computed (times in seconds, sizes in bytes):
//
// - frame: a video tag that carries a picture (not an AVC sequence header or
//   end of sequence, not a video info frame), an audio tag that carries sound
//   (not an AAC sequence header).
// - frame interval of a stream: the mean of its forward timestamp steps
//   between consecutive frames. Steps back and steps over 10 s are taken for
//   timestamp jumps and left out (unless all steps are over 10 s: a slide
//   show). 0 with fewer than two frames.
// - lasttimestamp: the largest frame timestamp of both streams.
// - duration: the larger over the streams of (largest frame timestamp +
//   frame interval), so it includes the display time of the last frame.
// - framerate: 1000 / video frame interval in ms, to 3 decimals from 1 frame
//   per second up, unrounded below; 0 if unknown.
// - videodatarate, audiodatarate: kbit/s with 1 kbit = 1024 bits, as the
//   other injectors write them: (sum of the stream's tag bodies) * 8 / 1024 /
//   duration; 0 for a duration of 0.
// - videosize, audiosize, datasize: the tags of each kind (11-byte header and
//   body, without the 4-byte back-pointers) in the new file, as flvmeta
//   checks them; datasize counts script tags, the new onMetaData included.
//   videosize only with video, audiosize only with audio.
// - keyframes: every video frame of frame type 1 (key frame), in file order,
//   with its timestamp and the position of its tag header in the new file;
//   AVC sequence header and end of sequence tags, though marked as key
//   frames, carry no picture and are left out. A key frame with the same
//   time as the one indexed before it is left out.
// - canSeekToEnd: the last video frame is a key frame; false without video.
double roundRate(double v)
{
    return v >= 1 ? std::round(v * 1000.0) / 1000.0 : v;
}

double streamEndMs(const StreamStats& s)
{
    return s.haveFrame ? s.lastTimeMs + s.frameIntervalMs() : 0.0;
}

Metadata buildValues(const ScanResult& scan, const OutputPlan& plan, uint64_t metadataTagSize,
                     double nowMs, const std::string& creator)
{
    const StreamStats& v = scan.video;
    const StreamStats& a = scan.audio;
    const bool hasVideo = v.tags > 0, hasAudio = a.tags > 0;
    const double duration = std::max(streamEndMs(v), streamEndMs(a)) / 1000.0;
    const uint32_t lastMs =
        std::max(v.haveFrame ? v.lastTimeMs : 0, a.haveFrame ? a.lastTimeMs : 0);
    const uint64_t base = sizeof plan.header + metadataTagSize;
    auto rate = [&](uint64_t bytes) {
        return duration > 0 ? bytes * 8.0 / 1024.0 / duration : 0.0;
    };

    AmfKeyframes index;
    index.times.reserve(scan.keyframes.size());
    index.filePositions.reserve(scan.keyframes.size());
    for (const Keyframe& k : scan.keyframes) {
        index.times.push_back(k.timeMs / 1000.0);
        index.filePositions.push_back(static_cast<double>(base + k.keptOffset));
    }

    Metadata md;
    auto add = [&](const char* name, AmfValue value) { md.push_back({name, std::move(value)}); };
    add("duration", duration);
    add("lasttimestamp", lastMs / 1000.0);
    if (!scan.keyframes.empty()) {
        add("lastkeyframetimestamp", index.times.back());
        add("lastkeyframelocation", index.filePositions.back());
    }
    if (hasVideo) {
        const double interval = v.frameIntervalMs();
        add("width", double(scan.width));
        add("height", double(scan.height));
        add("framerate", interval > 0 ? roundRate(1000.0 / interval) : 0.0);
        add("videodatarate", rate(v.payloadBytes));
        add("videocodecid", double(std::max(v.codecId, 0)));
    }
    if (hasAudio) {
        add("audiodatarate", rate(a.payloadBytes));
        add("audiosamplerate", scan.audioSampleRate);
        add("audiosamplesize", double(scan.audioSampleSize));
        add("stereo", scan.stereo);
        add("audiocodecid", double(std::max(a.codecId, 0)));
    }
    add("filesize", double(plan.fileSize));
    add("datasize", double(scan.scriptTagBytes + metadataTagSize - 4));
    if (hasVideo)
        add("videosize", double(v.tagBytes));
    if (hasAudio)
        add("audiosize", double(a.tagBytes));
    add("hasVideo", hasVideo);
    add("hasAudio", hasAudio);
    add("hasKeyframes", !scan.keyframes.empty());
    add("hasMetadata", true);
    add("canSeekToEnd", hasVideo && scan.lastVideoFrameIsKey);
    add("metadatacreator", creator);
    add("metadatadate", AmfDate{nowMs});
    add("keyframes", std::move(index));
    return md;
}

} // namespace

OutputPlan planOutput(const ScanResult& scan, double nowMs, const std::string& creator)
{
    OutputPlan plan;
    uint8_t flags = (scan.audio.tags ? 0x04 : 0) | (scan.video.tags ? 0x01 : 0);
    const uint8_t header[13] = {'F', 'L', 'V', scan.version, flags, 0, 0, 0, 9, 0, 0, 0, 0};
    std::copy(std::begin(header), std::end(header), plan.header);

    // First with placeholder positions to learn the tag's size, which does
    // not depend on the values; then with the real ones.
    Metadata draft = buildValues(scan, plan, 0, nowMs, creator);
    const uint64_t tagSize = encodeMetadataTag(draft).size();
    if (tagSize - 15 > 0xFFFFFF)
        throw InvalidFlv("too many key frames (" + std::to_string(scan.keyframes.size()) +
                         ") for one metadata tag");
    plan.fileSize =
        sizeof plan.header + tagSize + scan.keptBytes + (scan.appendBackPointer ? 4 : 0);
    plan.metadata = buildValues(scan, plan, tagSize, nowMs, creator);
    plan.metadataTag = encodeMetadataTag(plan.metadata);
    return plan;
}

} // namespace flvmdi
