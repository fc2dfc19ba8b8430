#include "Encode.h"

#include "ColourTable.h"
#include "Failure.h"
#include "Process.h"
#include "TempFiles.h"
#include "Watermark.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sys/stat.h>

bool flvHasMedia(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char header[9];
    if (!in.read(reinterpret_cast<char*>(header), 9) || header[0] != 'F' || header[1] != 'L' ||
        header[2] != 'V')
        return false;
    const unsigned long headerSize =
        (header[5] << 24) | (header[6] << 16) | (header[7] << 8) | header[8];
    in.seekg(static_cast<std::streamoff>(headerSize) + 4); // the first previous-tag size
    unsigned char tag[11];
    for (int tags = 0; tags < 64 && in.read(reinterpret_cast<char*>(tag), 11); ++tags) {
        const int type = tag[0] & 0x1F;
        if (type == 8 || type == 9)
            return true;
        const unsigned long dataSize = (tag[1] << 16) | (tag[2] << 8) | tag[3];
        in.seekg(static_cast<std::streamoff>(dataSize) + 4, std::ios::cur);
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
    std::optional<TempFile> textFile;
    std::string filter;
    if (job.vhook) {
        const Watermark mark = parseVhook(*job.vhook);
        checkFont(mark.fontFile);
        const Rgb colour = colourFromTable(mark.table, mark.colourName);
        if (!mark.text.empty()) {
            textFile.emplace(TempFile::holding(mark.text));
            filter = drawtextFilter(mark, colour, textFile->path());
        }
    }

    struct stat existing = {};
    if (stat(job.output.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode))
        throw Failure("the output " + quoted(job.output) + " is a folder, not a file name");
    TempFile output = TempFile::beside(job.output);
    std::unique_ptr<TempFolder> link;
    std::vector<std::string> argv = ffmpegReading(ffmpeg, sourceForFFmpeg(job.input, link));
    auto add = [&argv](std::initializer_list<std::string> words) {
        argv.insert(argv.end(), words);
    };
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
    if (job.noAudio) {
        add({"-an"});
    } else {
        add({"-c:a", "libmp3lame", "-ar", std::to_string(job.sampleRate), "-b:a",
             std::to_string(job.audioKbps) + "k"});
        if (job.channels)
            add({"-ac", std::to_string(*job.channels)});
    }
    add({"-sn", "-dn", "-f", "flv", "-y", "file:" + output.path()});

    const int code = runTool(argv);
    if (code != 0)
        return code;
    if (!flvHasMedia(output.path()))
        throw Failure("the encoder wrote no audio or video for " + quoted(job.input));
    output.replace(job.output);
    return 0;
}
