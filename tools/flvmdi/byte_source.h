// Random access to the bytes of the input: a memory buffer (tests, fuzzing)
// or a file read in large blocks into one buffer that slides along it, so
// that reading the tag headers of a large file costs few system calls and no
// page faults, and the memory used does not grow with the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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

// Reads an open file descriptor in blocks of `window` bytes. The file must
// not shrink below `size` while it is read (IoError if it does).
class FileSource : public ByteSource
{
public:
    FileSource(int fd, uint64_t size, size_t window = 256 * 1024);

    uint64_t size() const override { return size_; }
    std::span<const uint8_t> get(uint64_t pos, size_t n) override;

private:
    int fd_;
    uint64_t size_;
    std::vector<uint8_t> buf_;
    uint64_t start_ = 0; // file position of buf_[0]
    size_t len_ = 0;     // bytes of buf_ filled
};

} // namespace flvmdi
