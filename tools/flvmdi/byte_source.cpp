#include "byte_source.h"
#include "errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace flvmdi
{

std::string errnoText(int err)
{
    return std::strerror(err);
}

std::span<const uint8_t> MemorySource::get(uint64_t pos, size_t n)
{
    if (pos >= data_.size())
        return {};
    return data_.subspan(pos, std::min<uint64_t>(n, data_.size() - pos));
}

FileSource::FileSource(int fd, uint64_t size, size_t window) : fd_(fd), size_(size), buf_(window) {}

std::span<const uint8_t> FileSource::get(uint64_t pos, size_t n)
{
    if (pos >= size_)
        return {};
    n = static_cast<size_t>(std::min<uint64_t>(n, size_ - pos));
    if (pos < start_ || pos + n > start_ + len_) {
        // Tags are read front to back: the next block starts where the
        // bytes asked for do.
        if (n > buf_.size())
            buf_.resize(n);
        start_ = pos;
        len_ = 0;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(buf_.size(), size_ - pos));
        while (len_ < want) {
            const ssize_t got =
                pread(fd_, buf_.data() + len_, want - len_, static_cast<off_t>(start_ + len_));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                throw IoError("cannot read the file: " + errnoText(errno));
            if (got == 0)
                throw IoError("the file became shorter while it was being read");
            len_ += size_t(got);
        }
    }
    return {buf_.data() + (pos - start_), n};
}

} // namespace flvmdi
