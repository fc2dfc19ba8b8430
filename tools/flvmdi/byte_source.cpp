#include "byte_source.h"
#include "errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>
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

MappedFileSource::MappedFileSource(int fd, uint64_t size, size_t window)
    : fd_(fd), size_(size), window_(window)
{
}

MappedFileSource::~MappedFileSource()
{
    unmap();
}

void MappedFileSource::unmap()
{
    if (map_)
        munmap(const_cast<uint8_t*>(map_), mapLen_);
    map_ = nullptr;
    mapLen_ = 0;
}

std::span<const uint8_t> MappedFileSource::get(uint64_t pos, size_t n)
{
    if (pos >= size_)
        return {};
    n = static_cast<size_t>(std::min<uint64_t>(n, size_ - pos));
    if (!map_ || pos < mapStart_ || pos + n > mapStart_ + mapLen_) {
        // Only one window is mapped at a time: the resident size stays at
        // about one window whatever the size of the file.
        unmap();
        static const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
        uint64_t start = pos / page * page;
        uint64_t len = std::max<uint64_t>(window_, pos - start + n);
        len = std::min<uint64_t>(len, size_ - start);
        void* p = mmap(nullptr, len, PROT_READ, MAP_SHARED, fd_, static_cast<off_t>(start));
        if (p == MAP_FAILED)
            throw IoError("cannot read the file: " + errnoText(errno));
        map_ = static_cast<const uint8_t*>(p);
        mapStart_ = start;
        mapLen_ = static_cast<size_t>(len);
    }
    const uint64_t at = pos - mapStart_;
    // Tags are read front to back and each header gives the next one's
    // position: without this the scan would wait on memory at every tag.
    for (uint64_t ahead = 1024; ahead <= 4096; ahead += 1024)
        if (at + ahead < mapLen_)
            __builtin_prefetch(map_ + at + ahead);
    return {map_ + at, n};
}

} // namespace flvmdi
