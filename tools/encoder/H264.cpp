#include "H264.h"

std::string evenFrameSize(const std::string& frameSize)
{
    const size_t x = frameSize.find('x');
    const int width = std::stoi(frameSize.substr(0, x)),
              height = std::stoi(frameSize.substr(x + 1));
    return std::to_string(width + width % 2) + "x" + std::to_string(height + height % 2);
}

std::vector<std::string> h264VideoOptions(const Job& job, const std::string& watermark)
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

std::vector<std::string> aacAudioOptions(const Job& job)
{
    std::vector<std::string> options = {"-c:a", "aac",
                                        "-ar",  std::to_string(job.sampleRate),
                                        "-b:a", std::to_string(job.audioKbps) + "k"};
    if (job.channels)
        options.insert(options.end(), {"-ac", std::to_string(*job.channels)});
    return options;
}
