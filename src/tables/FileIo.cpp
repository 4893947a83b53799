#include "tables/FileIo.h"

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/Error.h"
#include "platform/System.h"
#include "tables/EngineError.h"

namespace tz::tables {
namespace {

namespace fs = std::filesystem;
using platform::Error;

FileFaultHook& faultHook() {
    static FileFaultHook hook;
    return hook;
}

int injected(std::string_view op, const fs::path& file) {
    auto& hook = faultHook();
    return hook ? hook(op, file) : 0;
}

// The byte that dBase writers lock while appending; we take it around each write.
constexpr std::uint64_t kWriteLockOffset = 0xEFFFFFFFULL;

std::chrono::milliseconds& lockWait() {
    static std::chrono::milliseconds wait{5000};
    return wait;
}

[[noreturn]] void fail(std::string_view what, const fs::path& file, const Error& e) {
    throw EngineError(systemError(what, file, e), e);
}

platform::File::Access accessOf(FileIo::Access a) {
    switch (a) {
        case FileIo::Access::Read:
            return platform::File::Access::Read;
        case FileIo::Access::ReadWrite:
            return platform::File::Access::ReadWrite;
        case FileIo::Access::Create:
            break;
    }
    return platform::File::Access::Create;
}

}  // namespace

void setFileFaultHook(FileFaultHook hook) { faultHook() = std::move(hook); }
void setLockWait(std::chrono::milliseconds wait) { lockWait() = wait; }

std::string shown(const fs::path& file) { return platform::utf8(file); }

std::string systemError(std::string_view what, const fs::path& file, const std::error_code& err) {
    return std::string(what) + " " + shown(file) + ": " + platform::errorText(err);
}

std::string systemError(std::string_view what, const fs::path& file, int err) {
    return systemError(what, file, platform::errnoError(err));
}

FileIo::FileIo(const fs::path& file, Access access, std::error_code& failure) : path_(file) {
    failure.clear();
    if (access == Access::Create) {
        if (int e = injected("create", file)) {
            failure = platform::errnoError(e);
            return;
        }
    }
    failure = file_.open(file, accessOf(access));
    writable_ = !failure && access != Access::Read;
}

FileIo::FileIo(const fs::path& file, Access access) : path_(file) {
    std::error_code e;
    *this = FileIo(file, access, e);
    if (e) {
        if (platform::isBusy(e)) {
            throw EngineError("El archivo " + shown(file) + " está siendo usado por otro programa");
        }
        fail(access == Access::Create ? "No se puede crear el archivo"
                                      : "No se puede abrir el archivo",
             file, e);
    }
}

FileIo::~FileIo() { close(); }

FileIo::FileIo(FileIo&& o) noexcept
    : file_(std::move(o.file_)),
      writable_(o.writable_),
      appendHeld_(o.appendHeld_),
      writeLocked_(std::move(o.writeLocked_)),
      path_(std::move(o.path_)) {
    o.appendHeld_ = false;
}

FileIo& FileIo::operator=(FileIo&& o) noexcept {
    if (this != &o) {
        close();
        file_ = std::move(o.file_);
        writable_ = o.writable_;
        appendHeld_ = o.appendHeld_;
        writeLocked_ = std::move(o.writeLocked_);
        path_ = std::move(o.path_);
        o.appendHeld_ = false;
    }
    return *this;
}

void FileIo::close() {
    file_.close();  // also releases the locks
    appendHeld_ = false;
    writeLocked_.clear();
}

std::uint64_t FileIo::size() const {
    std::uint64_t n = 0;
    if (Error e = file_.size(n)) fail("No se puede leer el archivo", path_, e);
    return n;
}

std::size_t FileIo::readAt(void* dst, std::size_t n, std::uint64_t offset) const {
    std::size_t done = 0;
    if (Error e = file_.readAt(dst, n, offset, done)) fail("No se puede leer el archivo", path_, e);
    return done;
}

void FileIo::writeAt(const void* src, std::size_t n, std::uint64_t offset) {
    Error e = platform::errnoError(injected("write", path_));
    if (!e) e = file_.writeAt(src, n, offset);
    if (e) fail("No se puede escribir en el archivo", path_, e);
}

void FileIo::writeGathered(const std::vector<Piece>& pieces, std::uint64_t offset) {
    Error e = platform::errnoError(injected("write", path_));
    if (!e) e = file_.writeGathered(pieces.data(), pieces.size(), offset);
    if (e) fail("No se puede escribir en el archivo", path_, e);
}

void FileIo::truncate(std::uint64_t size) {
    Error e = platform::errnoError(injected("truncate", path_));
    if (!e) e = file_.truncate(size);
    if (e) fail("No se puede escribir en el archivo", path_, e);
}

void FileIo::sync() {
    Error e = platform::errnoError(injected("sync", path_));
    if (!e) e = file_.sync();
    if (e) fail("No se puede escribir en el archivo", path_, e);
}

bool FileIo::tryLock(bool exclusive) {
    const bool append = appendHeld_;
    const bool wholeFile = exclusive && writable_;
    // Where the system refuses a lock over bytes this file already locks, the append byte goes
    // before the whole-file lock is asked for.
    if (append && wholeFile && !platform::kOwnLocksMerge) {
        file_.unlock(kWriteLockOffset, 1);
        appendHeld_ = false;
    }
    const Error e =
        file_.setHold(exclusive ? platform::File::Hold::Exclusive : platform::File::Hold::Shared);
    if (!e) {
        if (wholeFile) appendHeld_ = false;  // the whole-file lock covers it
        return true;
    }
    // A refused change may have taken the append byte with it: take it back.
    if (append && (platform::kOwnLocksMerge || !appendHeld_)) {
        appendHeld_ = !file_.lock(kWriteLockOffset, 1, true);
    }
    return false;
}

void FileIo::unlock() {
    if (file_.isOpen()) file_.setHold(platform::File::Hold::None);
}

// Takes every range (write locks, or read locks where `shared`), waiting a bounded time while
// another owner holds one; on failure none is left taken. Throws EngineError.
void FileIo::takeRanges(const std::vector<Range>& all) {
    // Another writer holds these only for the duration of one write; give up after a few
    // seconds rather than hang behind a program that keeps a record locked.
    auto deadline = std::chrono::steady_clock::now() + lockWait();
    for (;;) {
        std::size_t taken = 0;
        Error e;
        for (; taken < all.size(); ++taken) {
            e = file_.lock(all[taken].start, all[taken].length, !all[taken].shared);
            if (e) break;
        }
        if (!e) return;
        for (std::size_t i = 0; i < taken; ++i) file_.unlock(all[i].start, all[i].length);
        if (!platform::isBusy(e)) fail("No se puede bloquear el archivo", path_, e);
        if (std::chrono::steady_clock::now() > deadline) {
            throw EngineError("La tabla " + shown(path_) + " está bloqueada por otro programa");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void FileIo::lockForWrite(const std::vector<Range>& ranges) {
    std::vector<Range> all = ranges;
    if (!appendHeld_) all.push_back({kWriteLockOffset, 1});
    takeRanges(all);
    writeLocked_ = std::move(all);
}

void FileIo::unlockForWrite() {
    for (const Range& r : writeLocked_) file_.unlock(r.start, r.length);
    writeLocked_.clear();
}

void FileIo::holdAppending() {
    if (appendHeld_) return;
    takeRanges({{kWriteLockOffset, 1}});
    appendHeld_ = true;
}

void FileIo::releaseAppending() {
    if (!appendHeld_) return;
    file_.unlock(kWriteLockOffset, 1);
    appendHeld_ = false;
}

std::error_code replaceFile(const fs::path& file, std::string_view bytes,
                            const BeforeCommit& beforeCommit) {
    fs::path target = file;
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::weakly_canonical(target, ec);
        if (ec) return ec;
        target = std::move(resolved);
    }
    platform::ReplaceSteps steps;
    steps.context = const_cast<BeforeCommit*>(&beforeCommit);
    steps.fault = [](void*, std::string_view step, const fs::path& f) { return injected(step, f); };
    if (beforeCommit) {
        steps.beforeCommit = [](void* c, const fs::path& temp) {
            return (*static_cast<const BeforeCommit*>(c))(temp);
        };
    }
    return platform::replaceFile(target, bytes, steps);
}

void replaceFileOrThrow(const fs::path& file, std::string_view bytes) {
    if (const std::error_code err = replaceFile(file, bytes)) {
        if (platform::isBusy(err))
            throw EngineError("El archivo " + shown(file) + " está siendo usado por otro programa",
                              err);
        throw EngineError("Cannot create file \"" + shown(file) + "\". " + platform::errorText(err),
                          err);
    }
}

namespace {

// The folder this process holds: never let go but to hold another or on request.
struct HeldFolder {
    std::mutex guard;
    platform::FolderHold hold;
    std::string key;
};
HeldFolder& heldFolder() {
    static HeldFolder h;
    return h;
}

}  // namespace

bool holdFolder(const fs::path& folder) {
    HeldFolder& h = heldFolder();
    std::lock_guard<std::mutex> lock(h.guard);
    std::string key = platform::fileKey(folder);
    if (h.hold.held() && key == h.key) return true;
    platform::FolderHold next;
    if (Error e = next.take(folder)) {
        return !platform::isBusy(e);  // only a holder refuses; a folder that takes no hold does not
    }
    h.hold = std::move(next);
    h.key = std::move(key);
    return true;
}

void releaseFolder() {
    HeldFolder& h = heldFolder();
    std::lock_guard<std::mutex> lock(h.guard);
    h.hold.release();
    h.key.clear();
}

void holdFolderOrThrow(const fs::path& folder) {
    if (!holdFolder(folder)) {
        throw EngineError("La carpeta " + shown(folder) + " está siendo usada por otro programa");
    }
}

bool holdsFolder(const fs::path& folder) {
    HeldFolder& h = heldFolder();
    std::lock_guard<std::mutex> lock(h.guard);
    return h.hold.held() && platform::fileKey(folder) == h.key;
}

void renameFile(const fs::path& from, const fs::path& to) {
    Error e = platform::errnoError(injected("rename", to));
    if (!e) e = platform::renameFile(from, to);
    if (e && platform::isBusy(e)) {
        throw EngineError("El archivo " + shown(to) + " está siendo usado por otro programa");
    }
    if (e) fail("No se puede reemplazar el archivo", to, e);
}

void removeFile(const fs::path& file) {
    Error e = platform::errnoError(injected("remove", file));
    if (!e) e = platform::removeFile(file);
    if (e && platform::isBusy(e)) {
        throw EngineError("El archivo " + shown(file) + " está siendo usado por otro programa");
    }
    if (e) fail("No se puede borrar el archivo", file, e);
}

}  // namespace tz::tables
