// Cuts a live FLV byte stream into its file header and whole tags, so that a
// stream can be joined at a keyframe: a newcomer gets the header, the
// metadata and the codecs' set-up tags first, then the tags from a keyframe on.
#pragma once

#include <string>
#include <vector>

struct FlvTag {
    std::string bytes;     // the tag header, the body and the size after it
    int type = 0;          // 8 audio, 9 video, 18 script data
    bool setup = false;    // metadata, or a codec's sequence header: kept for newcomers
    bool keyframe = false; // a point to join at
};

class FlvSplitter
{
public:
    // Takes the next bytes and adds the tags they complete to TAGS. Throws
    // Failure when the bytes are not FLV.
    void feed(const char* data, size_t size, std::vector<FlvTag>& tags);

    // The header (13 bytes, with the first previous-tag size) and the latest
    // set-up tags, in the order a newcomer needs them; empty before the header.
    std::string joining() const;

private:
    std::string pending_, header_, metadata_, videoSetup_, audioSetup_;
    bool hasVideo_ = true;
};
