#include "Codecs.h"

#include "CommandLine.h"
#include "FFmpegParts.h"
#include "Failure.h"

namespace
{

std::vector<std::string> flv1Options(const Job& job, const std::string& watermark)
{
    std::vector<std::string> options = {"-c:v", "flv1"};
    if (!watermark.empty()) // drawn on the source frames, before the scaling below
        options.insert(options.end(), {"-vf", watermark});
    if (job.frameSize)
        options.insert(options.end(), {"-s", *job.frameSize});
    // A constant rate, as a Flash-era player expects: frames are repeated or dropped.
    if (job.frameRate)
        options.insert(options.end(), {"-r", *job.frameRate, "-fps_mode", "cfr"});
    return options;
}

// High profile, 8-bit 4:2:0, a keyframe every 2 seconds, and the frame size
// with square pixels.
std::vector<std::string> h264Options(const Job& job, const std::string& watermark)
{
    std::vector<std::string> options = {
        "-c:v",     "libx264", "-profile:v",        "high",
        "-pix_fmt", "yuv420p", "-force_key_frames", "expr:gte(t,n_forced*2)"};
    // FFmpeg's scaling keeps the source's shape by stretching the pixels,
    // which browsers honour; the picture is to show at the size chosen.
    std::string filter = watermark.empty() ? "" : watermark + ",";
    if (job.frameSize) {
        const std::string size = evenFrameSize(*job.frameSize);
        const size_t x = size.find('x');
        filter += "scale=" + size.substr(0, x) + ":" + size.substr(x + 1) + ",setsar=1";
    } else {
        filter += "scale=ceil(iw/2)*2:ceil(ih/2)*2";
    }
    options.insert(options.end(), {"-vf", filter});
    if (job.frameRate)
        options.insert(options.end(), {"-r", *job.frameRate, "-fps_mode", "cfr"});
    return options;
}

std::vector<std::string> audioOptions(const Job& job, const char* encoder)
{
    std::vector<std::string> options = {"-c:a", encoder,
                                        "-ar",  std::to_string(job.sampleRate),
                                        "-b:a", std::to_string(job.audioKbps) + "k"};
    if (job.channels)
        options.insert(options.end(), {"-ac", std::to_string(*job.channels)});
    return options;
}

constexpr CodecRow codecs[] = {
    {Codec::Flv1, "-vcodec", nullptr, "Sorenson H.263", FlvEncoder, flv1Options},
    {Codec::Mp3, "-acodec", nullptr, "MP3", Mp3Encoder,
     [](const Job& job, const std::string&) { return audioOptions(job, "libmp3lame"); }},
    {Codec::H264, "-vcodec", "libx264", "H.264", X264Encoder, h264Options},
    {Codec::Aac, "-acodec", "libfaac", "AAC", AacEncoder,
     [](const Job& job, const std::string&) { return audioOptions(job, "aac"); }},
};

} // namespace

const CodecRow& codecRow(Codec codec)
{
    return codecs[int(codec)];
}

Codec askedCodec(const std::string& option, const std::string& value)
{
    std::string named;
    for (const CodecRow& row : codecs) {
        if (row.option != option || !row.asked)
            continue;
        if (value == row.asked)
            return row.codec;
        named += (named.empty() ? "" : " or ") + std::string(row.asked);
    }
    throw Failure(option + " " + quoted(value) + ": only " + named + " can be asked for (or no " +
                  option + " at all)");
}

std::string evenFrameSize(const std::string& frameSize)
{
    const size_t x = frameSize.find('x');
    const int width = std::stoi(frameSize.substr(0, x)),
              height = std::stoi(frameSize.substr(x + 1));
    return std::to_string(width + width % 2) + "x" + std::to_string(height + height % 2);
}
