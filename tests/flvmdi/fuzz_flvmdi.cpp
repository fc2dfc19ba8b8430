// libFuzzer target for the tag reader, the metadata computation and the AMF0
// writer. Built with clang (see fuzz_seeds.sh), not part of the CMake build.
//
// Besides "no crash, no undefined behaviour" it checks what must hold for any
// input the reader accepts: the metadata tag decodes as AMF0 and has the
// planned size, and the new file, read again, gives the same key frames,
// the same size and exactly one onMetaData (ours).
#include "amf0.h"
#include "errors.h"
#include "flv_scan.h"
#include "metadata.h"

#include <cstdlib>
#include <cstring>
#include <string>

using namespace flvmdi;

namespace
{

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Walks one AMF0 value of the kinds the writer produces; false if malformed.
bool skipValue(const std::string& d, size_t& pos, int depth = 0);

bool skipName(const std::string& d, size_t& pos, size_t* len = nullptr)
{
    if (d.size() - pos < 2)
        return false;
    size_t n = size_t(uint8_t(d[pos])) << 8 | uint8_t(d[pos + 1]);
    pos += 2;
    if (d.size() - pos < n)
        return false;
    pos += n;
    if (len)
        *len = n;
    return true;
}

bool skipProperties(const std::string& d, size_t& pos, int depth)
{
    for (;;) {
        size_t len = 0;
        if (!skipName(d, pos, &len) || pos >= d.size())
            return false;
        if (len == 0 && d[pos] == 0x09)
            return ++pos, true;
        if (!skipValue(d, pos, depth + 1))
            return false;
    }
}

bool skipValue(const std::string& d, size_t& pos, int depth)
{
    if (pos >= d.size() || depth > 4)
        return false;
    switch (uint8_t(d[pos++])) {
    case 0x00:
        return d.size() - pos >= 8 && (pos += 8, true);
    case 0x01:
        return d.size() - pos >= 1 && (pos += 1, true);
    case 0x02:
        return skipName(d, pos);
    case 0x03:
        return skipProperties(d, pos, depth);
    case 0x08:
        return d.size() - pos >= 4 && (pos += 4, skipProperties(d, pos, depth));
    case 0x0A: {
        if (d.size() - pos < 4)
            return false;
        uint32_t n = uint32_t(uint8_t(d[pos])) << 24 | uint32_t(uint8_t(d[pos + 1])) << 16 |
                     uint32_t(uint8_t(d[pos + 2])) << 8 | uint8_t(d[pos + 3]);
        pos += 4;
        for (uint32_t i = 0; i < n; ++i)
            if (!skipValue(d, pos, depth + 1))
                return false;
        return true;
    }
    case 0x0B:
        return d.size() - pos >= 10 && (pos += 10, true);
    default:
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The writer with arbitrary text (also longer than an AMF0 string holds).
    std::string text(reinterpret_cast<const char*>(data), size);
    Metadata md{{text, text}, {"n", double(size)}, {"k", AmfKeyframes{{1.0}, {2.0}}}};
    std::string body = encodeMetadataBody(md);
    size_t pos = 0;
    check(skipValue(body, pos) && skipValue(body, pos) && pos == body.size());
    (void)toJson(md);

    MemorySource src({data, size});
    ScanResult scan;
    try {
        scan = scanFlv(src);
    } catch (const InvalidFlv&) {
        return 0;
    }
    OutputPlan plan = planOutput(scan, 1.5e12, "fuzz");
    const std::string& tag = plan.metadataTag;
    body = tag.substr(11, tag.size() - 15);
    pos = 0;
    check(skipValue(body, pos) && skipValue(body, pos) && pos == body.size());
    check((size_t(uint8_t(tag[1])) << 16 | size_t(uint8_t(tag[2])) << 8 | uint8_t(tag[3])) ==
          body.size());

    // Assemble the new file in memory as the program writes it.
    std::string out(reinterpret_cast<const char*>(plan.header), sizeof plan.header);
    out += tag;
    for (const Segment& s : scan.segments)
        out.append(reinterpret_cast<const char*>(data) + s.offset, s.length);
    if (scan.appendBackPointer) {
        uint32_t v = scan.backPointerValue;
        const char bp[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        out.append(bp, 4);
    }
    check(out.size() == plan.fileSize);

    MemorySource again({reinterpret_cast<const uint8_t*>(out.data()), out.size()});
    ScanResult scan2 = scanFlv(again); // must not throw
    check(scan2.droppedMetadataTags == 1 && !scan2.appendBackPointer);
    check(scan2.keptBytes == scan.keptBytes + (scan.appendBackPointer ? 4 : 0));
    check(scan2.keyframes.size() == scan.keyframes.size());
    for (size_t i = 0; i < scan.keyframes.size(); ++i) {
        check(scan2.keyframes[i].timeMs == scan.keyframes[i].timeMs);
        check(scan2.keyframes[i].keptOffset == scan.keyframes[i].keptOffset);
        const uint64_t at = sizeof plan.header + tag.size() + scan.keyframes[i].keptOffset;
        check(at + 12 <= out.size() && (out[at] & 0x1F) == 9 && (uint8_t(out[at + 11]) >> 4) == 1);
    }
    OutputPlan plan2 = planOutput(scan2, 1.5e12, "fuzz");
    check(plan2.fileSize == plan.fileSize && plan2.metadataTag == plan.metadataTag);
    return 0;
}
