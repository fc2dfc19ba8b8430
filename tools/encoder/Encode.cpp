#include "Encode.h"

#include "ColourTable.h"
#include "FFmpegParts.h"
#include "Failure.h"
#include "H264.h"
#include "Process.h"
#include "TempFiles.h"
#include "Watermark.h"

#include "scratch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

bool flvHasMedia(int fd)
{
    unsigned char header[9];
    if (pread(fd, header, 9, 0) != 9 || header[0] != 'F' || header[1] != 'L' || header[2] != 'V')
        return false;
    // The first tag follows the header and the first previous-tag size.
    off_t at =
        static_cast<off_t>((header[5] << 24) | (header[6] << 16) | (header[7] << 8) | header[8]) +
        4;
    unsigned char tag[11];
    for (int tags = 0; tags < 64 && pread(fd, tag, 11, at) == 11; ++tags) {
        const int type = tag[0] & 0x1F;
        if (type == 8 || type == 9)
            return true;
        at += 11 + ((tag[1] << 16) | (tag[2] << 8) | tag[3]) + 4;
    }
    return false;
}

namespace
{

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

int runEncode(const Job& job, const std::string& ffmpeg)
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
    const unsigned audioPart = job.noAudio ? 0 : job.aac ? AacEncoder : Mp3Encoder;
    requireParts(ffmpeg, FlvMuxer | (job.h264 ? X264Encoder : FlvEncoder) |
                             (job.frameRate ? FpsModeOption : 0) | audioPart |
                             (drawsText ? DrawtextFilter : 0));
    // FFmpeg reads the text from a file in memory it inherits, so no copy of
    // the text is ever left in a shared folder.
    Fd textFile;
    std::string filter;
    if (drawsText) {
        textFile = memoryFile(mark->text);
        filter = drawtextFilter(*mark, colour, textFile.path());
    }

    struct stat existing = {};
    if (stat(job.output.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode))
        throw Failure("the output " + quoted(job.output) + " is a folder, not a file name");
    scratch::removeLeftovers(folderOf(job.output));
    OutputFile output(job.output);
    std::unique_ptr<TempFolder> link;
    std::vector<std::string> argv = ffmpegReading(ffmpeg, sourceForFFmpeg(job.input, link));
    auto add = [&argv](std::initializer_list<std::string> words) {
        argv.insert(argv.end(), words);
    };
    if (job.h264) {
        const std::vector<std::string> video = h264VideoOptions(job, filter);
        argv.insert(argv.end(), video.begin(), video.end());
    } else {
        add({"-c:v", "flv1"});
        if (job.videoKbps)
            add({"-b:v", *job.videoKbps + "k"});
        if (!filter.empty())
            add({"-vf", filter}); // drawn on the source frames, before the scaling below
        if (job.frameSize)
            add({"-s", *job.frameSize});
        // A constant rate, as a Flash-era player expects: frames are repeated or dropped.
        if (job.frameRate)
            add({"-r", *job.frameRate, "-fps_mode", "cfr"});
    }
    if (job.noAudio) {
        add({"-an"});
    } else if (job.aac) {
        const std::vector<std::string> audio = aacAudioOptions(job);
        argv.insert(argv.end(), audio.begin(), audio.end());
    } else {
        add({"-c:a", "libmp3lame", "-ar", std::to_string(job.sampleRate), "-b:a",
             std::to_string(job.audioKbps) + "k"});
        if (job.channels)
            add({"-ac", std::to_string(*job.channels)});
    }
    // FFmpeg opens the inherited file again by its /dev/fd name: a file of
    // its own, so it can seek back to complete the header at the end.
    add({"-sn", "-dn", "-f", "flv", "-y", "file:" + output.fd().path()});

    const int code = runTool(argv, nullptr, nullptr, {output.fd().get(), textFile.get()});
    if (code != 0)
        return code;
    if (!flvHasMedia(output.fd().get()))
        throw Failure("the encoder wrote no audio or video for " + quoted(job.input));
    output.publish();
    return 0;
}
