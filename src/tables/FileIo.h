#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

// The one place where the table engine touches files: open, read, write, sync, rename, remove
// and advisory locks. Every failure raises EngineError with the system's reason.
namespace tz::tables {

// Lets a test make a file operation fail: called before each write-type operation ("write",
// "sync", "rename", "remove", "create") with the file concerned; a non-zero result is taken as
// the errno of a failure. Empty (the default) lets every operation through.
using FileFaultHook = std::function<int(std::string_view op, const std::filesystem::path& file)>;
void setFileFaultHook(FileFaultHook hook);

class FileIo {
  public:
    enum class Access { Read, ReadWrite, Create };  // Create: new file, truncated if present

    FileIo() = default;
    // Throws EngineError naming the file when it cannot be opened.
    FileIo(const std::filesystem::path& file, Access access);
    ~FileIo();
    FileIo(FileIo&& o) noexcept;
    FileIo& operator=(FileIo&& o) noexcept;
    FileIo(const FileIo&) = delete;
    FileIo& operator=(const FileIo&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    bool writable() const { return writable_; }
    const std::filesystem::path& path() const { return path_; }
    void close();

    std::uint64_t size() const;
    // Reads up to n bytes at `offset`; returns how many were read (fewer at the end of the file).
    std::size_t readAt(void* dst, std::size_t n, std::uint64_t offset) const;
    // Writes all n bytes at `offset` or throws.
    void writeAt(const void* src, std::size_t n, std::uint64_t offset);
    void sync();

    // Whole-file advisory lock held while the file is open (flock). Non-blocking: false when
    // another open of the file holds a conflicting lock.
    bool tryLock(bool exclusive);
    void unlock();

    // Short write lock (fcntl) on the append byte that writers of the same file agree on, held
    // around one write. Waits a bounded time, then throws.
    void lockForWrite();
    void unlockForWrite();

  private:
    int fd_ = -1;
    bool writable_ = false;
    std::filesystem::path path_;
};

// Both throw EngineError with the system's reason.
void renameFile(const std::filesystem::path& from, const std::filesystem::path& to);
void removeFile(const std::filesystem::path& file);

// "<what> <file>: <strerror(err)>".
std::string systemError(std::string_view what, const std::filesystem::path& file, int err);

}  // namespace tz::tables
