#include "codec_info.h"
#include "bit_reader.h"

#include <vector>

namespace flvmdi
{

std::optional<PictureSize> sorensonPictureSize(std::span<const uint8_t> data)
{
    BitReader br(data);
    if (br.bits(17) != 1)
        return std::nullopt; // picture start code
    if (br.bits(5) > 1)
        return std::nullopt; // version 0 or 1
    br.bits(8);              // temporal reference
    PictureSize s;
    switch (br.bits(3)) {
    case 0:
        s.width = br.bits(8);
        s.height = br.bits(8);
        break;
    case 1:
        s.width = br.bits(16);
        s.height = br.bits(16);
        break;
    case 2:
        s = {352, 288};
        break;
    case 3:
        s = {176, 144};
        break;
    case 4:
        s = {128, 96};
        break;
    case 5:
        s = {320, 240};
        break;
    case 6:
        s = {160, 120};
        break;
    default:
        return std::nullopt;
    }
    if (!br.ok() || s.width == 0 || s.height == 0)
        return std::nullopt;
    return s;
}

std::optional<PictureSize> vp6PictureSize(int codecId, std::span<const uint8_t> data)
{
    // One byte of size adjustment (width in the high nibble, height in the
    // low), for VP6 with alpha a 24-bit offset to the alpha data, then the
    // VP6 frame. Only key frames carry the size.
    size_t skip = codecId == 5 ? 4 : 1;
    if (data.size() < skip + 6)
        return std::nullopt;
    uint8_t adjust = data[0];
    std::span<const uint8_t> f = data.subspan(skip);
    if (f[0] & 0x80)
        return std::nullopt; // inter frame
    bool separatedCoeff = f[0] & 1;
    int filterHeader = f[1] & 0x06;
    size_t dims = (separatedCoeff || !filterHeader) ? 4 : 2;
    if (f.size() < dims + 2)
        return std::nullopt;
    uint32_t rows = f[dims], cols = f[dims + 1];
    uint32_t w = cols * 16, h = rows * 16;
    if (w <= (adjust >> 4u) || h <= (adjust & 0x0Fu))
        return std::nullopt;
    return PictureSize{w - (adjust >> 4u), h - (adjust & 0x0Fu)};
}

std::optional<PictureSize> avcConfigPictureSize(std::span<const uint8_t> record)
{
    if (record.size() < 8 || record[0] != 1)
        return std::nullopt;
    if ((record[5] & 0x1F) == 0)
        return std::nullopt; // no SPS
    size_t len = size_t{record[6]} << 8 | record[7];
    if (record.size() < 8 + len)
        return std::nullopt;
    return h264SpsPictureSize(record.subspan(8, len));
}

static void skipScalingList(BitReader& br, int size)
{
    int64_t last = 8, next = 8;
    for (int j = 0; j < size && br.ok(); ++j) {
        if (next != 0)
            next = (last + br.se() + 256) % 256;
        last = next == 0 ? last : next;
    }
}

std::optional<PictureSize> h264SpsPictureSize(std::span<const uint8_t> nal)
{
    if (nal.empty() || (nal[0] & 0x1F) != 7)
        return std::nullopt;
    // Remove emulation prevention bytes (00 00 03 -> 00 00).
    std::vector<uint8_t> rbsp;
    rbsp.reserve(nal.size());
    int zeros = 0;
    for (size_t i = 1; i < nal.size(); ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[i] == 0 ? zeros + 1 : 0;
        rbsp.push_back(nal[i]);
    }
    BitReader br(rbsp);
    uint32_t profile = br.bits(8);
    br.bits(16); // constraint flags, level
    br.ue();     // seq_parameter_set_id
    uint32_t chroma = 1;
    bool separatePlanes = false;
    switch (profile) {
    case 100:
    case 110:
    case 122:
    case 244:
    case 44:
    case 83:
    case 86:
    case 118:
    case 128:
    case 138:
    case 139:
    case 134:
    case 135:
        chroma = br.ue();
        if (chroma > 3)
            return std::nullopt;
        if (chroma == 3)
            separatePlanes = br.flag();
        br.ue();         // bit_depth_luma_minus8
        br.ue();         // bit_depth_chroma_minus8
        br.flag();       // qpprime_y_zero_transform_bypass
        if (br.flag()) { // seq_scaling_matrix_present
            for (int i = 0; i < (chroma != 3 ? 8 : 12); ++i)
                if (br.flag())
                    skipScalingList(br, i < 6 ? 16 : 64);
        }
        break;
    default:
        break;
    }
    br.ue(); // log2_max_frame_num_minus4
    uint32_t pocType = br.ue();
    if (pocType == 0) {
        br.ue();
    } else if (pocType == 1) {
        br.flag();
        br.se();
        br.se();
        uint32_t n = br.ue();
        if (n > 255)
            return std::nullopt;
        for (uint32_t i = 0; i < n; ++i)
            br.se();
    }
    br.ue();   // max_num_ref_frames
    br.flag(); // gaps_in_frame_num_allowed
    uint64_t widthMbs = uint64_t{br.ue()} + 1;
    uint64_t heightUnits = uint64_t{br.ue()} + 1;
    bool frameMbsOnly = br.flag();
    if (!frameMbsOnly)
        br.flag(); // mb_adaptive_frame_field
    br.flag();     // direct_8x8_inference
    uint64_t cropL = 0, cropR = 0, cropT = 0, cropB = 0;
    if (br.flag()) {
        cropL = br.ue();
        cropR = br.ue();
        cropT = br.ue();
        cropB = br.ue();
    }
    if (!br.ok())
        return std::nullopt;
    uint32_t arrayType = separatePlanes ? 0 : chroma;
    uint64_t subW = (arrayType == 1 || arrayType == 2) ? 2 : 1;
    uint64_t subH = arrayType == 1 ? 2 : 1;
    uint64_t unitX = arrayType == 0 ? 1 : subW;
    uint64_t unitY = (arrayType == 0 ? 1 : subH) * (frameMbsOnly ? 1 : 2);
    uint64_t w = widthMbs * 16, h = heightUnits * 16 * (frameMbsOnly ? 1 : 2);
    uint64_t cw = (cropL + cropR) * unitX, ch = (cropT + cropB) * unitY;
    if (cw >= w || ch >= h || w - cw > 65535 || h - ch > 65535)
        return std::nullopt;
    return PictureSize{static_cast<uint32_t>(w - cw), static_cast<uint32_t>(h - ch)};
}

std::optional<AudioFormat> mpegAudioFormat(std::span<const uint8_t> d)
{
    if (d.size() < 4 || d[0] != 0xFF || (d[1] & 0xE0) != 0xE0)
        return std::nullopt;
    int version = (d[1] >> 3) & 3; // 0: MPEG 2.5, 2: MPEG 2, 3: MPEG 1
    int rateIndex = (d[2] >> 2) & 3;
    if (version == 1 || rateIndex == 3 || ((d[1] >> 1) & 3) == 0)
        return std::nullopt;
    static const double base[3] = {44100, 48000, 32000};
    double rate = base[rateIndex] / (version == 3 ? 1 : version == 2 ? 2 : 4);
    return AudioFormat{rate, ((d[3] >> 6) & 3) != 3};
}

std::optional<AudioFormat> aacConfigFormat(std::span<const uint8_t> d)
{
    static const double rates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                     22050, 16000, 12000, 11025, 8000,  7350};
    BitReader br(d);
    if (br.bits(5) == 31)
        br.bits(6); // extended object type
    uint32_t index = br.bits(4);
    double rate = 0;
    if (index == 15)
        rate = br.bits(24);
    else if (index < 13)
        rate = rates[index];
    uint32_t channels = br.bits(4);
    if (!br.ok() || rate == 0)
        return std::nullopt;
    return AudioFormat{rate, channels != 1};
}

} // namespace flvmdi
