#include "FFmpegParts.h"

#include "Failure.h"
#include "Process.h"
#include "TempFiles.h"

#include "scratch.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

struct Part {
    unsigned bit;
    const char* list; // the FFmpeg option that lists it; none for an option, which is tried
    const char* name;
    const char* lacking;  // "no ..." in the message
    const char* tryValue; // an option's value for the try
};

constexpr Part parts[] = {
    {FpsModeOption, nullptr, "-fps_mode", "no -fps_mode option (it needs FFmpeg 5.1 or later)",
     "cfr"},
    {FlvMuxer, "-muxers", "flv", "no flv muxer"},
    {Image2Muxer, "-muxers", "image2", "no image2 muxer"},
    {FlvEncoder, "-encoders", "flv1", "no flv1 (Sorenson H.263) encoder"},
    {Mp3Encoder, "-encoders", "libmp3lame", "no libmp3lame encoder (it needs libmp3lame)"},
    {MjpegEncoder, "-encoders", "mjpeg", "no mjpeg encoder"},
    {X264Encoder, "-encoders", "libx264", "no libx264 encoder (it needs Debian's libx264-164)"},
    {AacEncoder, "-encoders", "aac", "no aac encoder"},
    {DrawtextFilter, "-filters", "drawtext", "no drawtext filter (it needs libfreetype)"},
};

// True when LISTING, FFmpeg's answer to LIST, names NAME: each line gives
// flags, then the name (or names joined by ","), and an encoder line may end
// "(codec NAME)". The flags' column is wider in FFmpeg 7 than in 5; the words
// are the same.
bool listed(const std::string& listing, const std::string& list, const std::string& name)
{
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string flags, names;
        words >> flags >> names;
        if (("," + names + ",").find("," + name + ",") != std::string::npos ||
            (list == "-encoders" && line.find("(codec " + name + ")") != std::string::npos))
            return true;
    }
    return false;
}

} // namespace

// FFmpeg's help is not read: FFmpeg 7 writes a per-stream option as
// "-fps_mode[:<stream_spec>]", 5.1 as "-fps_mode", and a later one may write
// it otherwise.
bool takesOption(const std::string& ffmpeg, const std::string& option, const std::string& value,
                 bool inputOption)
{
    std::vector<std::string> argv = {ffmpeg,  "-hide_banner", "-nostdin",       "-v", "error", "-f",
                                     "lavfi", "-i",           "nullsrc=d=0.04", "-f", "null",  "-"};
    argv.insert(argv.begin() + (inputOption ? 5 : 9), {option, value});
    std::string errors;
    const int code = runTool(argv, nullptr, &errors);
    if (code == 0)
        return true;
    if (errors.find("Unrecognized option '" + option.substr(1) + "'") != std::string::npos)
        return false;
    while (!errors.empty() && (errors.back() == '\n' || errors.back() == '\r'))
        errors.pop_back();
    const size_t lastLine = errors.find_last_of("\r\n");
    throw Failure("cannot try whether " + quoted(ffmpeg) + " takes " + option +
                  " (it ended with code " + std::to_string(code) + ": " +
                  oneLine(lastLine == std::string::npos ? errors : errors.substr(lastLine + 1)) +
                  ")");
}

namespace
{

constexpr unsigned allParts = [] {
    unsigned all = 0;
    for (const Part& part : parts)
        all |= part.bit;
    return all;
}();

unsigned askFFmpeg(const std::string& ffmpeg)
{
    unsigned found = 0;
    std::string lastList, listing;
    for (const Part& part : parts) {
        if (!part.list) {
            found |= takesOption(ffmpeg, part.name, part.tryValue, false) ? part.bit : 0;
            continue;
        }
        if (part.list != lastList) {
            lastList = part.list;
            std::string errors;
            listing.clear();
            if (const int code = runTool({ffmpeg, "-hide_banner", part.list}, &listing, &errors);
                code != 0)
                throw Failure("cannot ask " + quoted(ffmpeg) + " what it offers (" + part.list +
                              " ended with code " + std::to_string(code) + ")");
        }
        if (listed(listing, part.list, part.name))
            found |= part.bit;
    }
    return found;
}

std::string cacheFolder()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/')
        return std::string(cache) + "/kestrel";
    const char* home = std::getenv("HOME");
    return home && home[0] == '/' ? std::string(home) + "/.cache/kestrel" : std::string();
}

// Writes TEXT as FILE whole or not at all, durably; failures are ignored.
void writeWhole(const std::string& file, const std::string& text)
{
    const std::string folder = folderOf(file);
    mkdir(folderOf(folder).c_str(), 0700);
    mkdir(folder.c_str(), 0700);
    scratch::removeLeftovers(folder);
    try {
        OutputFile out(file);
        if (write(out.fd().get(), text.data(), text.size()) == ssize_t(text.size()))
            out.publish();
    } catch (const Failure&) {
        // A cache that cannot be written costs only the questions next time.
    }
}

} // namespace

unsigned ffmpegParts(const std::string& ffmpeg, bool readCache, bool* cached)
{
    struct stat st = {};
    if (stat(ffmpeg.c_str(), &st) != 0)
        return askFFmpeg(ffmpeg);
    // The answer holds for this program file as long as it is not changed,
    // and for the parts this front-end knows of.
    const std::string stamp =
        ffmpeg + "\n" + std::to_string(st.st_dev) + " " + std::to_string(st.st_ino) + " " +
        std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
        std::to_string(st.st_mtim.tv_nsec) + " " + std::to_string(std::size(parts)) + "\n";
    const std::string folder = cacheFolder();
    unsigned long long hash = 14695981039346656037ull; // FNV-1a of the program's name
    for (unsigned char c : ffmpeg)
        hash = (hash ^ c) * 1099511628211ull;
    char name[40];
    std::snprintf(name, sizeof name, "/ffmpeg-parts-%016llx", hash);
    const std::string file = folder + name;

    if (!folder.empty() && readCache) {
        std::string kept;
        Fd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
        char buffer[8192];
        ssize_t n;
        while (fd.get() >= 0 && (n = read(fd.get(), buffer, sizeof buffer)) > 0 &&
               kept.size() < 65536)
            kept.append(buffer, static_cast<size_t>(n));
        // The stamp, then the parts as a decimal number and a line end: nothing else.
        const std::string answer =
            kept.compare(0, stamp.size(), stamp) == 0 ? kept.substr(stamp.size()) : std::string();
        const unsigned long long found = std::strtoull(answer.c_str(), nullptr, 10);
        if (answer.size() >= 2 && answer.size() <= 5 && answer.back() == '\n' &&
            answer.find_first_not_of("0123456789") == answer.size() - 1 && found <= allParts) {
            if (cached)
                *cached = true;
            return static_cast<unsigned>(found);
        }
    }
    const unsigned found = askFFmpeg(ffmpeg);
    if (!folder.empty())
        writeWhole(file, stamp + std::to_string(found) + "\n");
    return found;
}

void requireParts(const std::string& ffmpeg, unsigned needed)
{
    // A refusal never rests on the cache alone: the parts may have come since.
    bool cached = false;
    unsigned missing = needed & ~ffmpegParts(ffmpeg, true, &cached);
    if (missing && cached)
        missing = needed & ~ffmpegParts(ffmpeg, false, nullptr);
    if (!missing)
        return;
    std::string lacks;
    for (const Part& part : parts)
        if (missing & part.bit)
            lacks += std::string(lacks.empty() ? "" : ", ") + part.lacking;
    throw Failure("this FFmpeg (" + oneLine(ffmpeg) + ") has " + lacks +
                  "; install Debian's ffmpeg package");
}
