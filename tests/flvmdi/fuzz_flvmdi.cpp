// libFuzzer target (built by fuzz_seeds.sh) for the tag reader, from memory
// and through the file reader, the metadata and the AMF0 writer. Besides no
// crash and no undefined behaviour: both readers decide alike, and the new
// file of an accepted input has the planned size and, read again, the same
// key frames (AVC pictures only) at the same places, one onMetaData and the
// same metadata.
#include "errors.h"
#include "flv_scan.h"
#include "metadata.h"

#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace flvmdi;

static void check(bool ok)
{
    if (!ok)
        std::abort();
}

static bool scan(ByteSource& src, ScanResult& out)
{
    try {
        out = scanFlv(src);
        return true;
    } catch (const InvalidFlv&) {
        return false;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemorySource src({data, size});
    ScanResult r, fromFile;
    const bool valid = scan(src, r);
    // A small window makes the file reader refill its buffer often.
    static const int fd = memfd_create("fuzz", 0);
    check(ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == ssize_t(size));
    FileSource file(fd, size, 64);
    check(scan(file, fromFile) == valid);
    if (!valid)
        return 0;
    check(fromFile.keptBytes == r.keptBytes && fromFile.width == r.width);

    const OutputPlan plan = planOutput(r, 1.5e12, "fuzz");
    const std::string& tag = plan.metadataTag;
    // The new file, assembled in memory as the program writes it.
    std::string out(reinterpret_cast<const char*>(plan.header), sizeof plan.header);
    out += tag;
    for (const Segment& s : r.segments)
        out.append(reinterpret_cast<const char*>(data) + s.offset, s.length);
    if (r.appendBackPointer) {
        const uint32_t v = r.backPointerValue;
        out += {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    }
    check(out.size() == plan.fileSize);

    MemorySource again({reinterpret_cast<const uint8_t*>(out.data()), out.size()});
    ScanResult r2 = scanFlv(again); // must not throw
    check(r2.droppedMetadataTags == 1 && !r2.appendBackPointer);
    check(r2.keptBytes == r.keptBytes + (r.appendBackPointer ? 4 : 0));
    check(r2.keyframes.size() == r.keyframes.size());
    for (size_t i = 0; i < r.keyframes.size(); ++i) {
        check(r2.keyframes[i].timeMs == r.keyframes[i].timeMs);
        const uint64_t at = sizeof plan.header + tag.size() + r.keyframes[i].keptOffset;
        check(at + 13 <= out.size() && (out[at] & 0x1F) == 9 && (uint8_t(out[at + 11]) >> 4) == 1);
        check((out[at + 11] & 0x0F) != 7 || out[at + 12] == 1); // an AVC picture
    }
    const OutputPlan plan2 = planOutput(r2, 1.5e12, "fuzz");
    check(plan2.fileSize == plan.fileSize && plan2.metadataTag == plan.metadataTag);
    (void)toJson(plan.metadata);
    return 0;
}
