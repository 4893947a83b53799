#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/File.h"

// The table engine's files: open, read, write, sync, rename, remove and the locks of the
// protocol dBase programs share, over the platform layer's files. Every failure raises
// EngineError with the system's reason.
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
    // The same without throwing: `failure` tells why the file could not be opened
    // (platform::isBusy: another program holds it in a way that excludes this access).
    FileIo(const std::filesystem::path& file, Access access, std::error_code& failure);
    ~FileIo();
    FileIo(FileIo&& o) noexcept;
    FileIo& operator=(FileIo&& o) noexcept;
    FileIo(const FileIo&) = delete;
    FileIo& operator=(const FileIo&) = delete;

    bool isOpen() const { return file_.isOpen(); }
    bool writable() const { return writable_; }
    const std::filesystem::path& path() const { return path_; }
    void close();

    std::uint64_t size() const;
    // Reads up to n bytes at `offset`; returns how many were read (fewer at the end of the file).
    std::size_t readAt(void* dst, std::size_t n, std::uint64_t offset) const;
    // Writes all n bytes at `offset` or throws.
    void writeAt(const void* src, std::size_t n, std::uint64_t offset);
    // Writes the pieces one after the other from `offset` (one write operation for the fault
    // hook, as few system calls as the system allows) or throws.
    using Piece = platform::File::Piece;
    void writeGathered(const std::vector<Piece>& pieces, std::uint64_t offset);
    // Cuts or extends the file to `size` bytes or throws.
    void truncate(std::uint64_t size);
    void sync();

    // The hold of a table while it is open (platform::File::Hold): exclusive, a write lock over
    // the whole file; shared, a read lock on byte 0; on POSIX with flock besides. Those are
    // what programs under Wine take and test (LockFileEx), and what the Windows build takes.
    // Non-blocking: false when another program holds a conflicting lock, with the previous
    // hold kept where the system converts locks in place (POSIX).
    bool tryLock(bool exclusive);
    void unlock();

    // A byte range of the file: `length` bytes from `start`, locked for writing or, `shared`,
    // for reading (to test that nobody holds it for writing).
    struct Range {
        std::uint64_t start = 0, length = 0;
        bool shared = false;
    };
    // Short locks held around one write: a write lock on the append byte that writers
    // of the same file agree on, and `ranges` (the records written, their lock bytes, the table
    // lock byte), so that what another program has locked is never written. Waits a bounded
    // time, then throws EngineError "La tabla … está bloqueada por otro programa".
    void lockForWrite(const std::vector<Range>& ranges = {});
    void unlockForWrite();
    // Takes the append byte of lockForWrite and keeps it until releaseAppending(), so that no
    // other writer that agrees on it appends meanwhile; lockForWrite then leaves it alone. Waits
    // and throws as lockForWrite does.
    void holdAppending();
    void releaseAppending();
    bool holdsAppending() const { return appendHeld_; }

  private:
    void takeRanges(const std::vector<Range>& all);

    platform::File file_;
    bool writable_ = false;
    bool appendHeld_ = false;         // holdAppending
    std::vector<Range> writeLocked_;  // taken by lockForWrite
    std::filesystem::path path_;
};

// Called with the finished temporary file just before it is renamed over the target; returning
// false abandons the write (a seam for tests that need a failing write).
using BeforeCommit = std::function<bool(const std::filesystem::path& temp)>;

// The one way this program replaces a file (platform::replaceFile): a new temporary file in the
// same folder is written, synced and renamed over the target, so a reader sees the old content
// or the new, never a part. An existing target keeps its permissions; a symbolic link is
// written through to its target and stays a link. `beforeCommit`, when given, sees the
// finished temporary file just before the rename and may abandon the write by returning false.
// Returns the failure (EIO when abandoned; platform::isBusy when, on Windows, another program
// holds the target open), empty on success; on failure the target is as it was and the
// temporary file is gone. Goes through the fault hook: "create", "write" and "sync" with the
// temporary file, "rename" with the target.
std::error_code replaceFile(const std::filesystem::path& file, std::string_view bytes,
                            const BeforeCommit& beforeCommit = {});
// replaceFile, or EngineError: "El archivo <file> está siendo usado por otro programa" when
// another program holds it, else "Cannot create file "<file>". <the reason, in Spanish>".
void replaceFileOrThrow(const std::filesystem::path& file, std::string_view bytes);

// Holds `folder` for this process (platform::FolderHold) until another folder is held or the
// process ends, so that two copies of the tool never run jobs on one exchange folder at once:
// the tables' own locks cannot stop one copy reading a table that the other has just made anew
// and not yet filled. Holding the same folder again is a no-op. False when another process holds
// it; a folder that cannot be opened (missing) is not held and gives true.
bool holdFolder(const std::filesystem::path& folder);
// Lets go of the folder holdFolder holds, if any.
void releaseFolder();
// holdFolder, or EngineError "La carpeta <folder> está siendo usada por otro programa".
void holdFolderOrThrow(const std::filesystem::path& folder);
// Whether this process holds `folder` through holdFolder.
bool holdsFolder(const std::filesystem::path& folder);

// What identifies a file's content without reading it (platform::fileStamp): two equal stamps
// of one path mean that nobody wrote the file in between.
using platform::FileStamp;
using platform::fileStamp;

// Both throw EngineError with the system's reason; a file another program holds open (Windows)
// gives "El archivo <file> está siendo usado por otro programa".
void renameFile(const std::filesystem::path& from, const std::filesystem::path& to);
void removeFile(const std::filesystem::path& file);

// "<what> <file>: <the reason for err, in Spanish>" (platform::errorText); `err` an errno value
// in the first form.
std::string systemError(std::string_view what, const std::filesystem::path& file, int err);
std::string systemError(std::string_view what, const std::filesystem::path& file,
                        const std::error_code& err);
// The file's path as UTF-8, as messages show it.
std::string shown(const std::filesystem::path& file);

}  // namespace tz::tables
