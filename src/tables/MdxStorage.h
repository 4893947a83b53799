#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "platform/File.h"
#include "tables/MdxIndex.h"

// The one place where index files are written in place: through a shared mapping of the file
// where the platform gives one (POSIX), else positioned writes (Windows).
namespace tz::tables::mdx {

// An existing index file open for writing blocks in place. Writes go to a shared mapping of
// the file, so they reach the system's page cache (and every other program reading the file)
// without a system call each; the file grows with its blocks allocated on disk first, so that
// a full disk is an error here and never a fault on a mapped page. When the file cannot be
// mapped, each write is an ordinary positioned write. Failures throw EngineError.
class MdxFile : public PageSink {
  public:
    explicit MdxFile(const std::filesystem::path& file);
    ~MdxFile() override;
    MdxFile(const MdxFile&) = delete;
    MdxFile& operator=(const MdxFile&) = delete;

    void resize(std::uint64_t bytes) override;
    void write(std::uint64_t offset, const void* data, std::size_t size) override;
    unsigned char* direct(std::uint64_t offset, std::size_t size) override;
    std::uint64_t size() const { return size_; }
    bool mapped() const { return map_ != nullptr; }

  private:
    void map(std::uint64_t capacity);
    void unmap();

    std::filesystem::path path_;
    platform::File file_;
    void* map_ = nullptr;
    std::uint64_t capacity_ = 0;  // bytes mapped (may run past the end of the file)
    std::uint64_t size_ = 0;      // bytes in the file
};

}  // namespace tz::tables::mdx
