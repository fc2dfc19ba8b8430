#include "flv_scan.h"
#include "codec_info.h"
#include "errors.h"

#include <string>
#include <string_view>

namespace flvmdi
{

namespace
{

constexpr size_t kTagHeader = 11;
constexpr size_t kBackPointer = 4;
// Enough body bytes for every codec header we read, except AVC configs.
constexpr size_t kProbeBytes = 64;
constexpr size_t kAvcConfigMax = 64 * 1024;

uint32_t be24(const uint8_t* p)
{
    return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
}

std::string at(uint64_t pos)
{
    return "at byte " + std::to_string(pos);
}

class Scanner
{
public:
    explicit Scanner(ByteSource& src) : src_(src) {}
    ScanResult run();

private:
    void readHeader();
    void keep(uint64_t pos, uint64_t len);
    void frameTime(StreamStats& s, uint32_t ts);
    void video(uint64_t body, uint32_t size, uint32_t ts, uint64_t keptPos);
    void audio(uint64_t body, uint32_t size, uint32_t ts);
    void setFormatFromFlags(int format, uint8_t flags);
    bool sizeFound() const { return r_.width != 0; } // the size readers refuse a zero
    void setSize(std::optional<PictureSize> s);
    bool isMetadata(uint64_t tagPos, uint64_t body, uint32_t size);

    ByteSource& src_;
    ScanResult r_;
    uint64_t pos_ = 0;
    bool audioFormatFound_ = false;
};

void Scanner::readHeader()
{
    auto h = src_.get(0, 9);
    if (h.size() < 9 || h[0] != 'F' || h[1] != 'L' || h[2] != 'V')
        throw InvalidFlv("not an FLV file (no FLV header)");
    if (h[3] != 1)
        throw InvalidFlv("unsupported FLV version " + std::to_string(h[3]));
    r_.version = h[3];
    uint64_t dataOffset = uint64_t{h[5]} << 24 | be24(&h[6]);
    if (dataOffset < 9 || dataOffset > src_.size())
        throw InvalidFlv("bad FLV header (data offset " + std::to_string(dataOffset) + ")");
    pos_ = dataOffset;
    // The first back-pointer (always 0) is rewritten, not copied.
    if (src_.size() - pos_ < kBackPointer)
        throw InvalidFlv("contains no tags (FLV header only)");
    pos_ += kBackPointer;
}

void Scanner::keep(uint64_t pos, uint64_t len)
{
    auto& segs = r_.segments;
    if (!segs.empty() && segs.back().offset + segs.back().length == pos)
        segs.back().length += len;
    else
        segs.push_back({pos, len});
    r_.keptBytes += len;
}

void Scanner::frameTime(StreamStats& s, uint32_t ts)
{
    if (s.haveFrame && ts > s.prevTimeMs) {
        const uint32_t step = ts - s.prevTimeMs;
        if (step <= StreamStats::kJumpMs) {
            s.stepSum += step;
            ++s.steps;
        } else {
            s.jumpSum += step;
            ++s.jumps;
        }
    }
    if (!s.haveFrame || ts > s.lastTimeMs)
        s.lastTimeMs = ts;
    s.haveFrame = true;
    s.prevTimeMs = ts;
}

void Scanner::video(uint64_t body, uint32_t size, uint32_t ts, uint64_t keptPos)
{
    if (size == 0)
        return;
    auto d = src_.get(body, std::min<size_t>(size, kProbeBytes));
    const int frameType = d[0] >> 4, codec = d[0] & 0x0F;
    if (frameType == 5)
        return; // video info / command frame
    const bool key = frameType == 1;
    if (codec == 7) {
        if (d.size() < 2)
            return;
        const uint8_t packetType = d[1];
        if (packetType == 0 && !sizeFound() && size > 5) { // sequence header: carries the SPS
            auto rec = src_.get(body + 5, std::min<size_t>(size - 5, kAvcConfigMax));
            setSize(avcConfigPictureSize(rec));
        }
        // The sequence header and end are marked as key frames too, but a
        // player that seeks there finds no picture.
        if (packetType != 1)
            return;
    }
    // Of several key frames with the same time only the first is indexed.
    r_.lastVideoFrameIsKey = key;
    if (key && (r_.keyframes.empty() || r_.keyframes.back().timeMs != ts))
        r_.keyframes.push_back({ts, keptPos});
    StreamStats& v = r_.video;
    if (v.codecId < 0)
        v.codecId = codec;
    frameTime(v, ts);
    if (!sizeFound() && key) {
        if (codec == 2)
            setSize(sorensonPictureSize(d.subspan(1)));
        else if (codec == 4 || codec == 5)
            setSize(vp6PictureSize(codec, d.subspan(1)));
    }
}

void Scanner::setSize(std::optional<PictureSize> s)
{
    if (s) {
        r_.width = s->width;
        r_.height = s->height;
    }
}

void Scanner::audio(uint64_t body, uint32_t size, uint32_t ts)
{
    if (size == 0)
        return;
    auto d = src_.get(body, std::min<size_t>(size, kProbeBytes));
    int format = d[0] >> 4;
    bool aacConfig = format == 10 && d.size() >= 2 && d[1] == 0;
    StreamStats& a = r_.audio;
    if (!aacConfig) {
        if (a.codecId < 0) {
            a.codecId = format;
            r_.audioSampleSize = (d[0] & 2) ? 16 : 8;
            // An AAC config read before keeps its rate and channels: the
            // flags of AAC always say 44.1 kHz stereo.
            if (!audioFormatFound_)
                setFormatFromFlags(format, d[0]);
        }
        frameTime(a, ts);
    }
    if (audioFormatFound_)
        return;
    std::optional<AudioFormat> f;
    if (aacConfig)
        f = aacConfigFormat(d.subspan(2));
    else if (format == 2 || format == 14)
        f = mpegAudioFormat(d.subspan(1));
    if (f) {
        r_.audioSampleRate = f->sampleRate;
        r_.stereo = f->stereo;
        audioFormatFound_ = true;
    }
}

void Scanner::setFormatFromFlags(int format, uint8_t flags)
{
    static const double rates[4] = {5512.5, 11025, 22050, 44100};
    r_.audioSampleRate = rates[(flags >> 2) & 3];
    r_.stereo = flags & 1;
    if (format == 5 || format == 14)
        r_.audioSampleRate = 8000; // Nellymoser 8 kHz, MP3 8 kHz
    else if (format == 4 || format == 11)
        r_.audioSampleRate = 16000; // Nellymoser 16 kHz, Speex
}

bool Scanner::isMetadata(uint64_t tagPos, uint64_t body, uint32_t size)
{
    if (size == 0)
        return false;
    // A script tag starts with its name, an AMF0 string.
    auto d = src_.get(body, std::min<size_t>(size, 3 + 10));
    size_t len = d.size() >= 3 ? (size_t{d[1]} << 8 | d[2]) : 0;
    if (d.size() < 3 || d[0] != 0x02 || 3 + len > size)
        throw InvalidFlv("script tag " + at(tagPos) + " is not AMF0 data");
    return len == 10 && std::string_view(reinterpret_cast<const char*>(&d[3]), 10) == "onMetaData";
}

ScanResult Scanner::run()
{
    readHeader();
    const uint64_t total = src_.size();
    while (pos_ < total) {
        const uint64_t tagPos = pos_;
        if (total - pos_ < kTagHeader)
            throw InvalidFlv("truncated tag header " + at(tagPos));
        auto h = src_.get(pos_, kTagHeader);
        const int type = h[0] & 0x1F;
        const uint32_t size = be24(&h[1]);
        const uint32_t ts = be24(&h[4]) | uint32_t{h[7]} << 24;
        const uint64_t body = pos_ + kTagHeader;
        if (size > total - body)
            throw InvalidFlv("tag " + at(tagPos) + " declares " + std::to_string(size) +
                             " bytes but only " + std::to_string(total - body) + " remain");
        const uint64_t end = body + size;
        uint64_t next = end + kBackPointer;
        if (total - end < kBackPointer) {
            if (total != end)
                throw InvalidFlv("truncated back-pointer after the tag " + at(tagPos));
            r_.appendBackPointer = true;
            r_.backPointerValue = static_cast<uint32_t>(kTagHeader + size);
            next = end;
        }
        const uint64_t keptPos = r_.keptBytes;
        const uint64_t tagBytes = kTagHeader + uint64_t{size};
        if (type == TagScript && isMetadata(tagPos, body, size)) {
            ++r_.droppedMetadataTags;
            r_.appendBackPointer = false;
        } else {
            keep(tagPos, next - tagPos);
            if (type == TagVideo) {
                ++r_.video.tags;
                r_.video.tagBytes += tagBytes;
                r_.video.payloadBytes += size;
                video(body, size, ts, keptPos);
            } else if (type == TagAudio) {
                ++r_.audio.tags;
                r_.audio.tagBytes += tagBytes;
                r_.audio.payloadBytes += size;
                audio(body, size, ts);
            } else if (type == TagScript) {
                r_.scriptTagBytes += tagBytes;
            }
        }
        pos_ = next;
    }
    if (r_.video.tags == 0 && r_.audio.tags == 0)
        throw InvalidFlv("contains no audio or video tags");
    return std::move(r_);
}

} // namespace

ScanResult scanFlv(ByteSource& src)
{
    return Scanner(src).run();
}

} // namespace flvmdi
