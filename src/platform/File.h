#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "platform/Error.h"

// An open file and what the table engine needs of it: positioned reads and writes, size,
// sync, locks between programs and a shared mapping. POSIX: a descriptor, pread/pwrite,
// fcntl and flock locks, mmap. Windows: a HANDLE opened with sharing for reading and writing
// (never for deleting), ReadFile/WriteFile at an offset, LockFileEx, no mapping. Every
// operation returns the system's error (empty on success) and never throws.
namespace tz::platform {

class File {
  public:
    enum class Access {
        Read,       // existing file, read only
        ReadWrite,  // existing file
        Create,     // new file, or an existing one truncated
        CreateNew,  // new file; fails (isAlreadyExists) when one exists
    };
    // The hold of a whole file against other programs, with the protocol other dBase programs
    // follow (and that Windows programs under Wine take as POSIX record locks):
    //   Exclusive  a write lock over the whole file (POSIX also flock exclusive): refused by
    //              any lock of another program on any byte
    //   Shared     a read lock on byte 0 (POSIX also flock shared): refused by another
    //              program's write lock on byte 0, the start of a whole-file lock
    // On a file open read only, Exclusive tests for other programs' locks instead of taking
    // the write lock.
    enum class Hold { None, Shared, Exclusive };

    File() = default;
    ~File();
    File(File&& o) noexcept;
    File& operator=(File&& o) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    Error open(const std::filesystem::path& file, Access access);
    bool isOpen() const;
    bool writable() const { return writable_; }
    // Releases the file with its locks.
    void close();

    Error size(std::uint64_t& bytes) const;
    // Reads up to n bytes at `offset` into `done` (fewer at the end of the file).
    Error readAt(void* dst, std::size_t n, std::uint64_t offset, std::size_t& done) const;
    // Writes all n bytes at `offset`.
    Error writeAt(const void* src, std::size_t n, std::uint64_t offset);
    // Writes pieces of memory one after the other from `offset`, all of them. POSIX: gathered
    // writes (pwritev, as many pieces at a time as the system takes); Windows: one write per
    // piece.
    struct Piece {
        const void* data = nullptr;
        std::size_t size = 0;
    };
    Error writeGathered(const Piece* pieces, std::size_t count, std::uint64_t offset);
    // Cuts or extends the file to `size` bytes.
    Error truncate(std::uint64_t size);
    // Grows the file to `size` bytes with its blocks allocated, so that a full disk is an error
    // here rather than later.
    Error grow(std::uint64_t size);
    Error sync();
    // Gives the file the permissions of `other` (POSIX; nothing to do on Windows).
    Error copyPermissions(const std::filesystem::path& other);

    // Changes the hold (see Hold). Non-blocking: on a conflict the result satisfies isBusy()
    // and the previous hold is kept where the system can convert a lock in place (POSIX); on
    // Windows the previous hold may be lost then, and hold() tells.
    Error setHold(Hold want);
    Hold hold() const { return hold_; }

    // A lock on `length` bytes from `start` (length 0: to the end of any size), for writing
    // (exclusive) or reading. Non-blocking; a conflict satisfies isBusy(). Unlock exactly the
    // ranges locked. POSIX: record locks owned by the open file where the system has them
    // (closing another descriptor of the file keeps them), else by the process. Windows:
    // LockFileEx, which also stops other programs' reads or writes of those bytes.
    // A lock over a range this file already locks converts it in place where kOwnLocksMerge
    // (POSIX); elsewhere (Windows) it is refused, so the old one must go first.
    Error lock(std::uint64_t start, std::uint64_t length, bool exclusive);
    void unlock(std::uint64_t start, std::uint64_t length);
    // Whether another program holds a lock that one of this kind on the range would meet.
    bool lockedByOthers(std::uint64_t start, std::uint64_t length, bool exclusive) const;

    // A shared read-write mapping of the first `capacity` bytes (which may run past the end
    // of the file), or null when the system or the file allows none (always on Windows).
    void* map(std::uint64_t capacity);
    void unmap(void* address, std::uint64_t capacity);

  private:
    std::intptr_t h_ = -1;  // a descriptor, or a HANDLE
    bool writable_ = false;
    Hold hold_ = Hold::None;    // the hold as asked for
    Hold ranges_ = Hold::None;  // what this file's own range locks of the hold are
};

// Replaces `file` with `bytes` in one step: a new temporary file in the same folder (a fresh
// name, never an existing file) is written, synced, given the target's permissions and renamed
// over the target, so that a reader sees the old content or the new, never a part. On Windows
// a file that another program holds open cannot be replaced: the rename fails (isBusy) and the
// target stays as it was. `beforeCommit` sees the finished temporary file just before the
// rename and may abandon the write (returning false: the result is EIO). On failure the
// temporary file is gone. `fault` is asked before each step ("create" and "write" with the
// temporary file, "sync" with it, "rename" with the target) and may fail it with an errno.
struct ReplaceSteps {
    int (*fault)(void* context, std::string_view step, const std::filesystem::path& file) = nullptr;
    bool (*beforeCommit)(void* context, const std::filesystem::path& temp) = nullptr;
    void* context = nullptr;
};
Error replaceFile(const std::filesystem::path& file, std::string_view bytes,
                  const ReplaceSteps& steps = {});

// Renames `from` over `to` (replacing it; on Windows refused, isBusy, when `to` is open).
Error renameFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Deletes a file; a missing file is no error. On Windows a file open elsewhere is refused.
Error removeFile(const std::filesystem::path& file);

// Whether a file that this process itself has open can be renamed over or deleted (POSIX yes;
// Windows no: the engine closes its own handle first there).
#ifdef _WIN32
inline constexpr bool kOpenFileCanBeReplaced = false;
#else
inline constexpr bool kOpenFileCanBeReplaced = true;
#endif

// Whether a lock this process asks for over bytes it already locks replaces its own lock (POSIX
// record locks) rather than meeting it as a conflict (Windows LockFileEx).
#ifdef _WIN32
inline constexpr bool kOwnLocksMerge = false;
#else
inline constexpr bool kOwnLocksMerge = true;
#endif

// What identifies a file's content without reading it: the file itself (device and file
// number), its size and its modification and change times. Two equal stamps of one path mean
// that nobody wrote the file in between. All zero when the file does not exist or cannot be
// asked. POSIX: stat. Windows: the volume serial number, the file index, the size, the last
// write time and the change time of the open file.
struct FileStamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modified = 0, changed = 0;  // nanoseconds (Windows: since 1601)
    bool operator==(const FileStamp&) const = default;
};
FileStamp fileStamp(const std::filesystem::path& file);

// A hold on a folder for this process, so that two copies of the tool never work on one
// exchange folder at once. POSIX: flock on the folder. Windows: a named mutex of the session
// named after the folder (no file is left in the folder; the system drops it with the process).
class FolderHold {
  public:
    FolderHold() = default;
    ~FolderHold();
    FolderHold(FolderHold&& o) noexcept;
    FolderHold& operator=(FolderHold&& o) noexcept;
    FolderHold(const FolderHold&) = delete;
    FolderHold& operator=(const FolderHold&) = delete;

    // isBusy() when another process holds the folder; other errors when the folder cannot be
    // held at all (missing, or a file system that takes no lock).
    Error take(const std::filesystem::path& folder);
    bool held() const;
    void release();

  private:
    std::intptr_t h_ = -1;
};

// A key naming one file whatever the spelling of its path (letter case, links, "." and ".."):
// the device and file number of an existing file, else its absolute path (letters folded on
// Windows, where names are compared without regard to case).
std::string fileKey(const std::filesystem::path& file);

}  // namespace tz::platform
