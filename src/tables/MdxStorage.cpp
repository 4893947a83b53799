#include "tables/MdxStorage.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tables/EngineError.h"
#include "tables/FileIo.h"

namespace tz::tables::mdx {
namespace {

constexpr std::uint64_t kMinCapacity = 1 << 20;

[[noreturn]] void fail(const std::filesystem::path& file, int err) {
    throw EngineError(systemError("No se puede escribir el índice", file, err));
}

}  // namespace

MdxFile::MdxFile(const std::filesystem::path& file) : path_(file) {
    do {
        fd_ = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) fail(file, errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        int e = errno;
        ::close(fd_);
        fd_ = -1;
        fail(file, e);
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
    map(std::max<std::uint64_t>(kMinCapacity, size_ * 2));
}

MdxFile::~MdxFile() {
    unmap();
    if (fd_ >= 0) ::close(fd_);
}

void MdxFile::map(std::uint64_t capacity) {
    unmap();
    long page = ::sysconf(_SC_PAGESIZE);
    auto p = static_cast<std::uint64_t>(page > 0 ? page : 4096);
    capacity = (capacity + p - 1) / p * p;
    void* m = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (m == MAP_FAILED) return;  // positioned writes instead
    map_ = m;
    capacity_ = capacity;
}

void MdxFile::unmap() {
    if (map_) ::munmap(map_, capacity_);
    map_ = nullptr;
    capacity_ = 0;
}

void MdxFile::resize(std::uint64_t bytes) {
    if (bytes == size_) return;
    if (bytes < size_) {
        if (::ftruncate(fd_, static_cast<off_t>(bytes)) != 0) fail(path_, errno);
        size_ = bytes;
        return;
    }
    // Blocks on disk before any byte of them is touched through the mapping.
    int e = ::posix_fallocate(fd_, static_cast<off_t>(size_), static_cast<off_t>(bytes - size_));
    if (e != 0) fail(path_, e);
    size_ = bytes;
    if (map_ && bytes > capacity_) map(bytes * 2);
}

unsigned char* MdxFile::direct(std::uint64_t offset, std::size_t size) {
    if (!map_ || offset + size > size_) return nullptr;
    return static_cast<unsigned char*>(map_) + offset;
}

void MdxFile::write(std::uint64_t offset, const void* data, std::size_t size) {
    if (offset + size > size_) fail(path_, EINVAL);
    if (map_) {
        std::memcpy(static_cast<char*>(map_) + offset, data, size);
        return;
    }
    auto* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        ssize_t w = ::pwrite(fd_, p + done, size - done, static_cast<off_t>(offset + done));
        if (w < 0) {
            if (errno == EINTR) continue;
            fail(path_, errno);
        }
        done += static_cast<std::size_t>(w);
    }
}

}  // namespace tz::tables::mdx
