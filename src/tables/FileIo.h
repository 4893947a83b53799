#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The one place where the table engine touches files: open, read, write, sync, rename, remove
// and advisory locks. Every failure raises EngineError with the system's reason.
namespace tz::tables {

// Lets a test make a file operation fail: called before each write-type operation ("write",
// "sync", "rename", "remove", "create", "truncate") with the file concerned; a non-zero result is
// taken as the errno of a failure. Empty (the default) lets every operation through.
using FileFaultHook = std::function<int(std::string_view op, const std::filesystem::path& file)>;
void setFileFaultHook(FileFaultHook hook);

// How long a write waits for the short locks of FileIo::lockForWrite before it gives up: five
// seconds unless a test sets less.
void setLockWait(std::chrono::milliseconds wait);

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
    // Cuts or extends the file to `size` bytes or throws.
    void truncate(std::uint64_t size);
    void sync();

    // The hold of a table while it is open, as two advisory locks: flock, and a POSIX record
    // lock (fcntl), which is what programs under Wine take and test (LockFile). Non-blocking:
    // false, with the previous hold kept, when another process holds a conflicting lock.
    //   exclusive  flock exclusive and a write lock over the whole file: refused by any lock of
    //              another process on any byte (a record it is editing, a whole-file hold …)
    //   shared     flock shared and a read lock on byte 0: refused by another process's write
    //              lock on byte 0, the start of a whole-file lock (the table held exclusively)
    // Where the file is open read-only, an exclusive hold tests for others' locks instead of
    // taking the write lock.
    bool tryLock(bool exclusive);
    void unlock();

    // A byte range of the file: `length` bytes from `start`, locked for writing or, `shared`,
    // for reading (to test that nobody holds it for writing).
    struct Range {
        std::uint64_t start = 0, length = 0;
        bool shared = false;
    };
    // Short locks (fcntl) held around one write: a write lock on the append byte that writers
    // of the same file agree on, and `ranges` (the records written, their lock bytes, the table
    // lock byte), so that what another program has locked is never written. Waits a bounded
    // time, then throws EngineError "La tabla … está bloqueada por otro programa".
    void lockForWrite(const std::vector<Range>& ranges = {});
    void unlockForWrite();

  private:
    enum class Hold { None, Shared, Exclusive };

    int fd_ = -1;
    bool writable_ = false;
    Hold posix_ = Hold::None;         // the POSIX part of the hold
    std::vector<Range> writeLocked_;  // taken by lockForWrite
    std::filesystem::path path_;
};

// Replaces `file` with `bytes` in one step: a new temporary file in the same folder is written,
// synced and renamed over the target, so a reader sees the old content or the new, never a
// part. An existing target keeps its permissions. `beforeCommit`, when given, sees the finished
// temporary file just before the rename and may abandon the write by returning false. Returns
// 0, or the errno of the failure (EIO when abandoned); on failure the target is as it was and
// the temporary file is gone. Goes through the fault hook: "create", "write" and "sync" with
// the temporary file, "rename" with the target.
int replaceFile(const std::filesystem::path& file, std::string_view bytes,
                const std::function<bool(const std::filesystem::path& temp)>& beforeCommit = {});

// Holds an advisory lock on `folder` for this process until another folder is held or the
// process ends, so that two copies of the tool never run jobs on one exchange folder at once:
// the tables' own locks cannot stop one copy reading a table that the other has just made anew
// and not yet filled. Holding the same folder again is a no-op. False when another process holds
// it; a folder that cannot be opened (missing) is not held and gives true.
bool holdFolder(const std::filesystem::path& folder);
// Lets go of the folder holdFolder holds, if any.
void releaseFolder();
// holdFolder, or EngineError "La carpeta <folder> está siendo usada por otro programa".
void holdFolderOrThrow(const std::filesystem::path& folder);

// Both throw EngineError with the system's reason.
void renameFile(const std::filesystem::path& from, const std::filesystem::path& to);
void removeFile(const std::filesystem::path& file);

// The system's reason for errno `err`, in Spanish ("no queda espacio en el disco").
std::string razonSistema(int err);
// "<what> <file>: <razonSistema(err)>".
std::string systemError(std::string_view what, const std::filesystem::path& file, int err);

}  // namespace tz::tables
