#include "Stills.h"

#include "Failure.h"
#include "Process.h"
#include "TempFiles.h"

#include <cstdio>
#include <regex>
#include <sys/stat.h>

std::string StillPattern::nameFor(int number) const
{
    char digits[32];
    std::snprintf(digits, sizeof digits, "%0*d", width, number);
    return before + digits + after;
}

std::optional<StillPattern> parseStillPattern(const std::string& path)
{
    const std::string name = fileNameOf(path);
    const size_t nameStart = path.size() - name.size();
    // The last number field of the name; every other "%" is a plain character.
    static const std::regex field("%(0([1-9]))?d");
    std::optional<StillPattern> found;
    for (auto it = std::sregex_iterator(name.begin(), name.end(), field);
         it != std::sregex_iterator(); ++it) {
        StillPattern p;
        p.before = path.substr(0, nameStart + static_cast<size_t>(it->position()));
        p.after = path.substr(nameStart + static_cast<size_t>(it->position() + it->length()));
        p.width = (*it)[2].matched ? std::stoi((*it)[2]) : 0;
        found = p;
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

    // The stills are made in a hidden folder beside their place and moved there
    // only when FFmpeg succeeded, so a failure never replaces older stills.
    TempFolder scratch(folderOf(job.output), ".kestrel-stills-");
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
