#include "Encode.h"

#include "Codecs.h"
#include "ColourTable.h"
#include "FFmpegParts.h"
#include "Failure.h"
#include "Process.h"
#include "TempFiles.h"
#include "Watermark.h"

#include "scratch.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

uint32_t bigEndian(const unsigned char* bytes, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

// The "filesize" FFmpeg wrote into the metadata tag BODY at its end, or -1.
double metadataFileSize(const std::string& body)
{
    static const std::string key("\x00\x08"
                                 "filesize\x00",
                                 11); // name, then a number
    const size_t at = body.find(key);
    if (at == std::string::npos || body.size() - at < key.size() + 8)
        return -1;
    uint64_t bits = 0;
    for (size_t i = 0; i < 8; ++i)
        bits = bits << 8 | static_cast<unsigned char>(body[at + key.size() + i]);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

std::string flvProblem(int fd)
{
    struct stat st = {};
    unsigned char bytes[15];
    if (fstat(fd, &st) != 0 || pread(fd, bytes, 9, 0) != 9 || std::memcmp(bytes, "FLV", 3) != 0)
        return "has no FLV header";
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    uint64_t at = bigEndian(bytes + 5, 4); // the header's size
    uint32_t previous = 0;                 // the size each tag's end repeats
    bool media = false;
    // Each previous-tag size, then the next tag's header.
    for (ssize_t n; (n = pread(fd, bytes, 15, static_cast<off_t>(at))) != 4 || at + 4 != size;) {
        if (n != 15 || bigEndian(bytes, 4) != previous)
            return "is incomplete";
        const uint32_t body = bigEndian(bytes + 5, 3);
        const int type = bytes[4] & 0x1F;
        media = media || type == 8 || type == 9;
        if (previous == 0 && type == 18) { // the metadata: FFmpeg writes the size last
            std::string text(std::min<uint32_t>(body, 65536), '\0');
            const double told = pread(fd, text.data(), text.size(), static_cast<off_t>(at + 15)) ==
                                        ssize_t(text.size())
                                    ? metadataFileSize(text)
                                    : -1;
            if (told >= 0 && told != double(size))
                return "is incomplete";
        }
        previous = 11 + body;
        at += 4 + previous;
    }
    if (bigEndian(bytes, 4) != previous)
        return "is incomplete";
    return media ? "" : "holds no audio or video";
}

namespace
{

// The frames a second that the checked -r value VALUE asks ("24", "29.97",
// "30000/1001").
double framesPerSecond(const std::string& value)
{
    const size_t slash = value.find('/');
    if (slash == std::string::npos)
        return decimalNumber(value, 6).value_or(1);
    return double(wholeNumber(std::string_view(value).substr(0, slash), 6).value_or(1)) /
           wholeNumber(std::string_view(value).substr(slash + 1), 6).value_or(1);
}

// FFmpeg's options for the video bitrate JOB asks, in either format: the
// average and the same bitrate as a ceiling, with a buffer of half a second
// (or one frame, when that is longer), so that the video of a file of 2
// seconds or more stays within 1.2 times the bitrate.
std::vector<std::string> bitrateOptions(const Job& job)
{
    if (!job.videoKbps)
        return {};
    std::vector<std::string> options = {"-b:v", *job.videoKbps + "k"};
    // FFmpeg's Sorenson encoder refuses a buffer that cannot hold a frame,
    // and without -r the frame rate is the source's, unknown here.
    if (job.video == Codec::Flv1 && !job.frameRate)
        return options;
    const double bits = decimalNumber(*job.videoKbps, 6).value_or(1) * 1000,
                 seconds = std::max(0.5, job.frameRate ? 1 / framesPerSecond(*job.frameRate) : 0);
    // One bit more than the average: the Sorenson encoder calls a ceiling
    // equal to it impossible and says that it will fail, which it does not.
    options.insert(options.end(),
                   {"-maxrate", std::to_string(std::llround(bits) + 1), "-bufsize",
                    std::to_string(std::max(1LL, std::llround(std::ceil(bits * seconds))))});
    return options;
}

void checkFont(const std::string& fontFile)
{
    std::FILE* font = std::fopen(fontFile.c_str(), "rb");
    if (!font)
        throw Failure("-vhook: font file " + quoted(fontFile) +
                      " cannot be read: " + std::strerror(errno));
    const bool empty = std::fgetc(font) == EOF;
    std::fclose(font);
    if (empty)
        throw Failure("-vhook: font file " + quoted(fontFile) + " is empty or a folder");
}

} // namespace

EncodeText prepareEncode(const Job& job, const std::string& ffmpeg)
{
    // Everything the watermark names is checked before FFmpeg starts: FFmpeg
    // would quietly fall back to another font or colour.
    std::optional<Watermark> mark;
    Rgb colour{};
    if (job.vhook) {
        mark = parseVhook(*job.vhook);
        checkFont(mark->fontFile);
        colour = colourFromTable(mark->table, mark->colourName);
    }
    const bool drawsText = mark && !mark->text.empty();
    const CodecRow &video = codecRow(job.video), &audio = codecRow(job.audio);
    requireParts(ffmpeg, FlvMuxer | video.part | (job.frameRate ? FpsModeOption : 0) |
                             (job.noAudio ? 0 : audio.part) | (drawsText ? DrawtextFilter : 0));
    // FFmpeg reads the text from a file in memory it inherits, so no copy of
    // the text is ever left in a shared folder.
    EncodeText text;
    if (drawsText) {
        text.file = memoryFile(mark->text);
        text.filter = drawtextFilter(*mark, colour, text.file.path());
    }
    return text;
}

std::vector<std::string> codecOptions(const Job& job, const std::string& filter)
{
    std::vector<std::string> argv;
    for (const std::vector<std::string>& options :
         {codecRow(job.video).options(job, filter), bitrateOptions(job),
          job.noAudio ? std::vector<std::string>{"-an"} : codecRow(job.audio).options(job, "")})
        argv.insert(argv.end(), options.begin(), options.end());
    return argv;
}

int runEncode(const Job& job, const std::string& ffmpeg)
{
    const EncodeText text = prepareEncode(job, ffmpeg);
    struct stat existing = {};
    if (stat(job.output.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode))
        throw Failure("the output " + quoted(job.output) + " is a folder, not a file name");
    scratch::removeLeftovers(folderOf(job.output));
    OutputFile output(job.output);
    std::unique_ptr<TempFolder> link;
    std::vector<std::string> argv = ffmpegReading(ffmpeg, sourceForFFmpeg(job.input, link));
    const std::vector<std::string> codecs = codecOptions(job, text.filter);
    argv.insert(argv.end(), codecs.begin(), codecs.end());
    // FFmpeg opens the inherited file again by its /dev/fd name: a file of
    // its own, so it can seek back to complete the header at the end.
    argv.insert(argv.end(), {"-sn", "-dn", "-f", "flv", "-y", "file:" + output.fd().path()});

    const int code = runTool(argv, nullptr, nullptr, {output.fd().get(), text.file.get()});
    if (code != 0)
        return code;
    // FFmpeg may end with 0 when the disk filled at its last write: the file
    // takes the older one's place only when it is whole.
    if (const std::string problem = flvProblem(output.fd().get()); !problem.empty())
        throw Failure("the FLV the encoder wrote for " + quoted(job.output) + " " + problem +
                      (problem == "is incomplete" ? " (is the disk full?)" : ""));
    output.publish();
    return 0;
}
