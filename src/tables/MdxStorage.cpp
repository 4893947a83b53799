#include "tables/MdxStorage.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tables/EngineError.h"
#include "tables/FileIo.h"

namespace tz::tables::mdx {
namespace {

constexpr std::uint64_t kMinCapacity = 1 << 20;
constexpr std::uint64_t kPage = 64 << 10;  // a multiple of every system's page size

[[noreturn]] void fail(const std::filesystem::path& file, const std::error_code& err) {
    throw EngineError(systemError("No se puede escribir el índice", file, err), err);
}

}  // namespace

MdxFile::MdxFile(const std::filesystem::path& file) : path_(file) {
    if (auto e = file_.open(file, platform::File::Access::ReadWrite)) fail(file, e);
    if (auto e = file_.size(size_)) fail(file, e);
    map(std::max<std::uint64_t>(kMinCapacity, size_ * 2));
}

MdxFile::~MdxFile() { unmap(); }

void MdxFile::map(std::uint64_t capacity) {
    unmap();
    capacity = (capacity + kPage - 1) / kPage * kPage;
    map_ = file_.map(capacity);  // null: positioned writes instead
    capacity_ = map_ ? capacity : 0;
}

void MdxFile::unmap() {
    file_.unmap(map_, capacity_);
    map_ = nullptr;
    capacity_ = 0;
}

void MdxFile::resize(std::uint64_t bytes) {
    if (bytes == size_) return;
    if (bytes < size_) {
        if (auto e = file_.truncate(bytes)) fail(path_, e);
        size_ = bytes;
        return;
    }
    // Blocks on disk before any byte of them is touched through the mapping.
    if (auto e = file_.grow(bytes)) fail(path_, e);
    size_ = bytes;
    if (map_ && bytes > capacity_) map(bytes * 2);
}

unsigned char* MdxFile::direct(std::uint64_t offset, std::size_t size) {
    if (!map_ || offset + size > size_) return nullptr;
    return static_cast<unsigned char*>(map_) + offset;
}

void MdxFile::write(std::uint64_t offset, const void* data, std::size_t size) {
    if (offset + size > size_) fail(path_, platform::errnoError(EINVAL));
    if (map_) {
        std::memcpy(static_cast<char*>(map_) + offset, data, size);
        return;
    }
    if (auto e = file_.writeAt(data, size, offset)) fail(path_, e);
}

}  // namespace tz::tables::mdx
