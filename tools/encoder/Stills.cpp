#include "Stills.h"

#include "FFmpegParts.h"
#include "Failure.h"
#include "Process.h"
#include "TempFiles.h"

#include "scratch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string StillPattern::nameFor(int number) const
{
    char digits[32];
    std::snprintf(digits, sizeof digits, "%0*d", width, number);
    return before + digits + after;
}

std::optional<StillPattern> parseStillPattern(const std::string& path)
{
    const size_t nameStart = path.size() - fileNameOf(path).size();
    // The last number field of the name; every other "%" is a plain character.
    std::optional<StillPattern> found;
    for (size_t p = nameStart; p < path.size(); ++p) {
        if (path[p] != '%')
            continue;
        const bool padded = path.compare(p + 1, 1, "0") == 0 && p + 3 < path.size() &&
                            path[p + 2] >= '1' && path[p + 2] <= '9' && path[p + 3] == 'd';
        const size_t length = padded ? 4 : path.compare(p + 1, 1, "d") == 0 ? 2 : 0;
        if (length == 0)
            continue;
        found = StillPattern{path.substr(0, p), path.substr(p + length),
                             padded ? path[p + 2] - '0' : 0};
        p += length - 1;
    }
    return found;
}

namespace
{

// The name FFmpeg gives still NUMBER in the hidden folder.
std::string scratchStill(int number)
{
    return "still" + std::to_string(number) + ".jpg";
}

// Moves the stills FFmpeg wrote in SCRATCH, in order up to the first one it did
// not write, to their names; returns their count. A power cut leaves the older
// set or the new one whole as far as the filesystem allows: each still and the
// hidden folder are synced first, then the renames follow back to back, and one
// sync of the output folder makes them durable together.
int publishStills(const TempFolder& scratch, const StillPattern& pattern, int count)
{
    int written = 0;
    for (; written < count; ++written) {
        const Fd still(openat(scratch.fd().get(), scratchStill(written + 1).c_str(),
                              O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st = {};
        if (fstat(still.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0)
            break;
        if (fsync(still.get()) != 0 && errno != EINVAL)
            throw Failure("cannot write " + quoted(pattern.nameFor(written + 1)) + ": " +
                          std::strerror(errno));
    }
    if (const int error = written > 0 ? scratch::syncFolder(scratch.fd().get()) : 0)
        throw Failure("cannot write the stills: " + std::string(std::strerror(error)));
    for (int number = 1; number <= written; ++number)
        if (renameat(scratch.fd().get(), scratchStill(number).c_str(), scratch.parent().get(),
                     fileNameOf(pattern.nameFor(number)).c_str()) != 0)
            throw Failure("cannot write " + quoted(pattern.nameFor(number)) + ": " +
                          std::strerror(errno));
    if (const int error = written > 0 ? scratch::syncFolder(scratch.parent().get()) : 0)
        throw Failure("cannot sync the folder of " + quoted(pattern.nameFor(1)) + ": " +
                      std::strerror(error));
    return written;
}

} // namespace

int runStills(const Job& job, const std::string& ffmpeg)
{
    const std::optional<StillPattern> pattern = parseStillPattern(job.output);
    if (!pattern)
        throw Failure("the stills file name " + quoted(fileNameOf(job.output)) +
                      " needs %d where the number goes, such as cover%d.jpg");

    requireParts(ffmpeg, Image2Muxer | MjpegEncoder);
    // The stills are made in a hidden folder beside their place and moved there
    // only when FFmpeg succeeded, so a failure never replaces older stills.
    // FFmpeg names them itself, so that folder has a marked name; FFmpeg is
    // given it through its descriptor, so it writes into no other folder.
    scratch::removeLeftovers(folderOf(job.output));
    TempFolder scratch(folderOf(job.output), "kestrel-stills");
    std::unique_ptr<TempFolder> link;
    std::vector<std::string> argv = ffmpegReading(ffmpeg, sourceForFFmpeg(job.input, link));
    if (job.frameSize)
        argv.insert(argv.end(), {"-s", *job.frameSize});
    argv.insert(argv.end(), {"-frames:v", std::to_string(job.stillCount), "-an", "-sn", "-dn",
                             "-c:v", "mjpeg", "-q:v", "2", "-f", "image2", "-y",
                             "file:" + scratch.fd().path() + "/still%d.jpg"});

    const int code = runTool(argv, nullptr, nullptr, {scratch.fd().get()});
    if (code != 0)
        return code;
    const int written = publishStills(scratch, *pattern, job.stillCount);
    if (written == 0)
        throw Failure("no still could be taken from " + quoted(job.input));
    if (written < job.stillCount)
        std::fprintf(stderr, "ffmpeg: the source gave %d of the %d stills asked for\n", written,
                     job.stillCount);
    return 0;
}
