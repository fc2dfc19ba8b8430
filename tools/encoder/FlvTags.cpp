#include "FlvTags.h"

#include "Failure.h"

#include <cstdint>

namespace
{

uint32_t bigEndian(const std::string& bytes, size_t at, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

} // namespace

void FlvSplitter::feed(const char* data, size_t size, std::vector<FlvTag>& tags)
{
    pending_.append(data, size);
    size_t at = 0;
    if (header_.empty()) {
        if (pending_.size() < 9)
            return;
        if (pending_.compare(0, 3, "FLV") != 0)
            throw Failure("the encoder's output is not FLV");
        const size_t length = bigEndian(pending_, 5, 4) + 4; // the header, then size 0
        if (length < 13 || length > 1024)
            throw Failure("the encoder's output has an unknown FLV header");
        if (pending_.size() < length)
            return;
        // What lay beyond the known header is not passed on.
        header_ = pending_.substr(0, 5) + std::string("\0\0\0\x09\0\0\0\0", 8);
        hasVideo_ = pending_[4] & 1;
        at = length;
    }
    while (pending_.size() - at >= 11) {
        const size_t length = 11 + bigEndian(pending_, at + 1, 3) + 4;
        if (pending_.size() - at < length)
            break;
        FlvTag tag;
        tag.bytes = pending_.substr(at, length);
        at += length;
        tag.type = tag.bytes[0] & 0x1F;
        // The first byte of the body says the codec (and for video the frame
        // kind); for AVC video and AAC audio the second says whether the tag
        // is the codec's set-up.
        const int first = length > 15 ? static_cast<unsigned char>(tag.bytes[11]) : -1;
        const bool configTag = length > 16 && tag.bytes[12] == 0;
        if (tag.type == 18) {
            tag.setup = true;
            metadata_ = tag.bytes;
        } else if (tag.type == 9 && (first & 0x0F) == 7 && configTag) {
            tag.setup = true;
            videoSetup_ = tag.bytes;
        } else if (tag.type == 8 && first >> 4 == 10 && configTag) {
            tag.setup = true;
            audioSetup_ = tag.bytes;
        } else {
            tag.keyframe = tag.type == 9 ? first >> 4 == 1 : tag.type == 8 && !hasVideo_;
        }
        tags.push_back(std::move(tag));
    }
    pending_.erase(0, at);
}

std::string FlvSplitter::joining() const
{
    return header_.empty() ? std::string() : header_ + metadata_ + videoSetup_ + audioSetup_;
}
