// Stream properties read from the first bytes of audio and video payloads:
// the picture size of Sorenson H.263, VP6 and H.264 (from its SPS), and the
// real sample rate and channel count of MP3 and AAC.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace flvmdi
{

struct PictureSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

// `data` starts after the FLV video tag's first byte (frame type / codec id).
std::optional<PictureSize> sorensonPictureSize(std::span<const uint8_t> data);
// `codecId` 4 (VP6) or 5 (VP6 with alpha); `data` as above.
std::optional<PictureSize> vp6PictureSize(int codecId, std::span<const uint8_t> data);
// An AVCDecoderConfigurationRecord (the body of an AVC sequence header tag
// after the packet type and composition time).
std::optional<PictureSize> avcConfigPictureSize(std::span<const uint8_t> record);
// One SPS NAL unit including its header byte; cropping applied.
std::optional<PictureSize> h264SpsPictureSize(std::span<const uint8_t> nal);

struct AudioFormat {
    double sampleRate = 0;
    bool stereo = false;
};

// An MPEG audio frame header at the start of `data`.
std::optional<AudioFormat> mpegAudioFormat(std::span<const uint8_t> data);
// An AAC AudioSpecificConfig.
std::optional<AudioFormat> aacConfigFormat(std::span<const uint8_t> data);

} // namespace flvmdi
