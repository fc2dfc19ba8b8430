// Random access to the bytes of the input: a memory buffer (tests, fuzzing)
// or a file read through a small sliding memory map, so that reading the tag
// headers of a large file neither copies its bodies nor grows with its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace flvmdi
{

class ByteSource
{
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Up to n bytes starting at pos (fewer only at the end of the data).
    // The span stays valid until the next call.
    virtual std::span<const uint8_t> get(uint64_t pos, size_t n) = 0;
};

class MemorySource : public ByteSource
{
public:
    explicit MemorySource(std::span<const uint8_t> data) : data_(data) {}
    uint64_t size() const override { return data_.size(); }
    std::span<const uint8_t> get(uint64_t pos, size_t n) override;

private:
    std::span<const uint8_t> data_;
};

// Maps windows of `window` bytes of an open file descriptor, one at a time.
class MappedFileSource : public ByteSource
{
public:
    MappedFileSource(int fd, uint64_t size, size_t window = 2u << 20);
    ~MappedFileSource() override;
    MappedFileSource(const MappedFileSource&) = delete;
    MappedFileSource& operator=(const MappedFileSource&) = delete;

    uint64_t size() const override { return size_; }
    std::span<const uint8_t> get(uint64_t pos, size_t n) override;

private:
    void unmap();

    int fd_;
    uint64_t size_;
    size_t window_;
    const uint8_t* map_ = nullptr;
    uint64_t mapStart_ = 0;
    size_t mapLen_ = 0;
};

} // namespace flvmdi
