#include "Stills.h"

#include "FFmpegParts.h"
#include "Failure.h"
#include "Process.h"
#include "TempFiles.h"

#include "scratch.h"

#include <cstdio>
#include <sys/stat.h>

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

std::string escapePercent(const std::string& path)
{
    std::string out;
    for (char c : path) {
        out += c;
        if (c == '%')
            out += '%';
    }
    return out;
}

namespace
{

// A still FFmpeg writes in FOLDER: NUMBER is its number, or "%d" in the name
// FFmpeg is given.
std::string scratchStill(const std::string& folder, const std::string& number)
{
    return folder + "/still" + number + ".jpg";
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
    // FFmpeg names them itself, so that folder has a marked name.
    scratch::removeLeftovers(folderOf(job.output));
    TempFolder scratch(folderOf(job.output), "kestrel-stills");
    std::unique_ptr<TempFolder> link;
    std::vector<std::string> argv = ffmpegReading(ffmpeg, sourceForFFmpeg(job.input, link));
    if (job.frameSize)
        argv.insert(argv.end(), {"-s", *job.frameSize});
    argv.insert(argv.end(), {"-frames:v", std::to_string(job.stillCount), "-an", "-sn", "-dn",
                             "-c:v", "mjpeg", "-q:v", "2", "-f", "image2", "-y",
                             "file:" + scratchStill(escapePercent(scratch.path()), "%d")});

    const int code = runTool(argv);
    if (code != 0)
        return code;
    // The stills are moved in order up to the first one FFmpeg did not write.
    int written = 0;
    for (; written < job.stillCount; ++written) {
        const std::string from = scratchStill(scratch.path(), std::to_string(written + 1));
        struct stat st = {};
        if (stat(from.c_str(), &st) != 0 || st.st_size <= 0)
            break;
        const std::string to = pattern->nameFor(written + 1);
        if (std::rename(from.c_str(), to.c_str()) != 0)
            throw Failure("cannot write " + quoted(to));
    }
    if (written == 0)
        throw Failure("no still could be taken from " + quoted(job.input));
    if (written < job.stillCount)
        std::fprintf(stderr, "ffmpeg: the source gave %d of the %d stills asked for\n", written,
                     job.stillCount);
    return 0;
}
