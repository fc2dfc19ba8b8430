// MSB-first bit reader over a byte span. Reading past the end sets a flag
// and yields zeros, so parsers check ok() once at the end.
#pragma once

#include <cstdint>
#include <span>

namespace flvmdi
{

class BitReader
{
public:
    explicit BitReader(std::span<const uint8_t> data) : data_(data) {}

    uint32_t bits(int n)
    {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            uint32_t bit = 0;
            if (pos_ < data_.size() * 8)
                bit = (data_[pos_ / 8] >> (7 - pos_ % 8)) & 1u;
            else
                overrun_ = true;
            ++pos_;
            v = (v << 1) | bit;
        }
        return v;
    }

    bool flag() { return bits(1) != 0; }

    // Unsigned Exp-Golomb code; longer codes than 32 bits mark the data bad.
    uint32_t ue()
    {
        int zeros = 0;
        while (bits(1) == 0) {
            if (++zeros > 31 || overrun_) {
                overrun_ = true;
                return 0;
            }
        }
        if (zeros == 0)
            return 0;
        uint64_t v = (uint64_t{1} << zeros) - 1 + bits(zeros);
        if (v > UINT32_MAX)
            overrun_ = true;
        return static_cast<uint32_t>(v);
    }

    int64_t se()
    {
        uint32_t k = ue();
        return (k & 1) ? (int64_t{k} + 1) / 2 : -(int64_t{k} / 2);
    }

    bool ok() const { return !overrun_; }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    bool overrun_ = false;
};

} // namespace flvmdi
