// The POSIX side of the platform layer (Linux).
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <system_error>
#include <vector>

#include "platform/Error.h"
#include "platform/File.h"
#include "platform/HtmlHelp.h"
#include "platform/System.h"

namespace tz::platform {
namespace {

namespace fs = std::filesystem;

Error sys(int e) { return Error(e, std::generic_category()); }
Error lastError() { return sys(errno); }
int fdOf(std::intptr_t h) { return static_cast<int>(h); }

// Sets a POSIX record lock (F_RDLCK, F_WRLCK or F_UNLCK; length 0: to the end of any size),
// owned by the open file (an OFD lock) where the system has those, else by the process.
int setLock(int fd, short type, off_t start, off_t length) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = length;
    int r;
#ifdef F_OFD_SETLK
    static bool ofd = true;
    if (ofd) {
        do {
            r = ::fcntl(fd, F_OFD_SETLK, &fl);
        } while (r != 0 && errno == EINTR);
        if (r == 0) return 0;
        if (errno != EINVAL) return errno;
        ofd = false;  // a system without OFD locks
    }
#endif
    do {
        r = ::fcntl(fd, F_SETLK, &fl);
    } while (r != 0 && errno == EINTR);
    return r == 0 ? 0 : errno;
}

bool testLock(int fd, short type, off_t start, off_t length) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = length;
#ifdef F_OFD_GETLK
    if (::fcntl(fd, F_OFD_GETLK, &fl) == 0) return fl.l_type != F_UNLCK;
    fl.l_type = type;
#endif
    return ::fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}

// What fcntl and flock answer when another owner's lock is in the way.
bool conflict(int e) { return e == EAGAIN || e == EACCES || e == EWOULDBLOCK; }

}  // namespace

// --- errors ---

// errno values in both categories: the system category is errno here too.
ErrorKind errorKind(const Error& e) { return errnoKind(e.value()); }

std::string systemText(const Error& e) { return e.message(); }

// Lock conflicts are reported as EWOULDBLOCK by this layer.
bool isBusy(const Error& e) {
    return e.category() == std::generic_category() &&
           (e.value() == EWOULDBLOCK || e.value() == EAGAIN);
}
bool isNotFound(const Error& e) { return e == std::errc::no_such_file_or_directory; }
bool isAlreadyExists(const Error& e) { return e == std::errc::file_exists; }

// --- File ---

Error File::open(const fs::path& file, Access access) {
    close();
    int flags = O_CLOEXEC;
    switch (access) {
        case Access::Read:
            flags |= O_RDONLY;
            break;
        case Access::ReadWrite:
            flags |= O_RDWR;
            break;
        case Access::Create:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
        case Access::CreateNew:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
    }
    int fd;
    do {
        fd = ::open(file.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return lastError();
    h_ = fd;
    writable_ = access != Access::Read;
    return {};
}

bool File::isOpen() const { return h_ >= 0; }

void File::close() {
    if (h_ >= 0) ::close(fdOf(h_));  // also releases this descriptor's flock and fcntl locks
    h_ = -1;
    hold_ = ranges_ = Hold::None;
}

Error File::size(std::uint64_t& bytes) const {
    struct stat st {};
    if (::fstat(fdOf(h_), &st) != 0) return lastError();
    bytes = static_cast<std::uint64_t>(st.st_size);
    return {};
}

Error File::readAt(void* dst, std::size_t n, std::uint64_t offset, std::size_t& done) const {
    auto* p = static_cast<char*>(dst);
    done = 0;
    while (done < n) {
        ssize_t r = ::pread(fdOf(h_), p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return {};
}

Error File::writeAt(const void* src, std::size_t n, std::uint64_t offset) {
    const auto* p = static_cast<const char*>(src);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = ::pwrite(fdOf(h_), p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        done += static_cast<std::size_t>(r);
    }
    return {};
}

Error File::writeGathered(const Piece* pieces, std::size_t count, std::uint64_t offset) {
    std::vector<iovec> iov;
    iov.reserve(std::min<std::size_t>(count, IOV_MAX));
    std::size_t next = 0;  // first piece not yet in iov
    std::size_t skip = 0;  // bytes of iov's first piece already written
    while (next < count || !iov.empty()) {
        while (iov.size() < IOV_MAX && next < count) {
            if (pieces[next].size > 0) {
                iov.push_back({const_cast<void*>(pieces[next].data), pieces[next].size});
            }
            ++next;
        }
        if (iov.empty()) break;
        iov.front().iov_base = static_cast<char*>(iov.front().iov_base) + skip;
        iov.front().iov_len -= skip;
        skip = 0;
        ssize_t r = ::pwritev(fdOf(h_), iov.data(), static_cast<int>(iov.size()),
                              static_cast<off_t>(offset));
        if (r < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        offset += static_cast<std::uint64_t>(r);
        // Drop the pieces written whole; a piece written in part is taken up again.
        auto done = static_cast<std::size_t>(r);
        std::size_t whole = 0;
        while (whole < iov.size() && done >= iov[whole].iov_len) done -= iov[whole++].iov_len;
        iov.erase(iov.begin(), iov.begin() + static_cast<std::ptrdiff_t>(whole));
        skip = done;
    }
    return {};
}

Error File::truncate(std::uint64_t size) {
    return ::ftruncate(fdOf(h_), static_cast<off_t>(size)) == 0 ? Error() : lastError();
}

Error File::grow(std::uint64_t size) {
    std::uint64_t now = 0;
    if (Error e = this->size(now)) return e;
    if (size <= now) return {};
    const int e =
        ::posix_fallocate(fdOf(h_), static_cast<off_t>(now), static_cast<off_t>(size - now));
    return e == 0 ? Error() : sys(e);
}

Error File::sync() { return ::fsync(fdOf(h_)) == 0 ? Error() : lastError(); }

Error File::copyPermissions(const fs::path& other) {
    struct stat st {};
    if (::stat(other.c_str(), &st) != 0) return lastError();
    return ::fchmod(fdOf(h_), st.st_mode & 07777) == 0 ? Error() : lastError();
}

Error File::setHold(Hold want) {
    const int fd = fdOf(h_);
    const Hold before = ranges_;
    if (want == Hold::None) {
        ::flock(fd, LOCK_UN);
        if (ranges_ != Hold::None) setLock(fd, F_UNLCK, 0, 0);
        ranges_ = hold_ = Hold::None;
        return {};
    }
    const bool exclusive = want == Hold::Exclusive;
    // The record-lock part first: it fails without changing what is held. A file system that
    // takes no record locks (ENOLCK …) leaves the hold to flock.
    if (exclusive && writable_) {
        const int e = setLock(fd, F_WRLCK, 0, 0);
        if (conflict(e)) return sys(EWOULDBLOCK);
        if (e == 0) ranges_ = Hold::Exclusive;
    } else if (exclusive) {
        if (testLock(fd, F_WRLCK, 0, 0)) return sys(EWOULDBLOCK);
    } else {
        const int e = setLock(fd, F_RDLCK, 0, 1);
        if (conflict(e)) return sys(EWOULDBLOCK);
        if (e == 0) {
            if (before == Hold::Exclusive) setLock(fd, F_UNLCK, 1, 0);
            ranges_ = Hold::Shared;
        }
    }
    int r;
    do {
        r = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r == 0) {
        hold_ = want;
        return {};
    }
    const int err = errno;
    // Back to the record lock of before.
    if (ranges_ != before) {
        if (before == Hold::None) {
            setLock(fd, F_UNLCK, 0, 0);
        } else if (before == Hold::Shared) {
            setLock(fd, F_RDLCK, 0, 1);
            setLock(fd, F_UNLCK, 1, 0);
        } else {
            setLock(fd, F_WRLCK, 0, 0);
        }
        ranges_ = before;
    }
    return sys(conflict(err) ? EWOULDBLOCK : err);
}

Error File::lock(std::uint64_t start, std::uint64_t length, bool exclusive) {
    const int e = setLock(fdOf(h_), exclusive ? F_WRLCK : F_RDLCK, static_cast<off_t>(start),
                          static_cast<off_t>(length));
    return e == 0 ? Error() : sys(conflict(e) ? EWOULDBLOCK : e);
}

void File::unlock(std::uint64_t start, std::uint64_t length) {
    setLock(fdOf(h_), F_UNLCK, static_cast<off_t>(start), static_cast<off_t>(length));
}

bool File::lockedByOthers(std::uint64_t start, std::uint64_t length, bool exclusive) const {
    return testLock(fdOf(h_), exclusive ? F_WRLCK : F_RDLCK, static_cast<off_t>(start),
                    static_cast<off_t>(length));
}

void* File::map(std::uint64_t capacity) {
    void* m = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_SHARED, fdOf(h_), 0);
    return m == MAP_FAILED ? nullptr : m;
}

void File::unmap(void* address, std::uint64_t capacity) {
    if (address) ::munmap(address, capacity);
}

// --- replacing, renaming, removing ---

Error replaceFile(const fs::path& file, std::string_view bytes, const ReplaceSteps& steps) {
    const auto fault = [&](std::string_view step, const fs::path& p) {
        return steps.fault ? steps.fault(steps.context, step, p) : 0;
    };
    fs::path dir = file.parent_path();
    if (dir.empty()) dir = ".";
    struct stat old {};
    const bool existed = ::stat(file.c_str(), &old) == 0;

    static std::mt19937_64 gen{std::random_device{}()};
    fs::path temp;
    File out;
    Error err;
    for (int attempt = 0; attempt < 8 && !out.isOpen(); ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                      static_cast<unsigned long long>(gen() & 0xFFFFFFFFFFFFULL));
        temp = dir / ("." + file.filename().string() + suffix);
        if (int e = fault("create", temp)) return sys(e);
        err = out.open(temp, File::Access::CreateNew);
        if (err && !isAlreadyExists(err)) return err;
    }
    if (!out.isOpen()) return sys(EEXIST);

    if (int e = fault("write", temp)) err = sys(e);
    if (!err) err = out.writeAt(bytes.data(), bytes.size(), 0);
    if (!err && existed) err = out.copyPermissions(file);
    if (!err) {
        if (int e = fault("sync", temp)) err = sys(e);
    }
    if (!err) err = out.sync();
    out.close();
    if (!err && steps.beforeCommit && !steps.beforeCommit(steps.context, temp)) err = sys(EIO);
    if (!err) {
        if (int e = fault("rename", file)) err = sys(e);
    }
    if (!err && ::rename(temp.c_str(), file.c_str()) != 0) err = lastError();
    if (err) {
        ::unlink(temp.c_str());
        return err;
    }
    // The rename itself reaches the disk with the folder.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return {};
}

Error renameFile(const fs::path& from, const fs::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? Error() : lastError();
}

Error removeFile(const fs::path& file) {
    if (::unlink(file.c_str()) == 0 || errno == ENOENT) return {};
    return lastError();
}

FileStamp fileStamp(const fs::path& file) {
    struct stat st {};
    FileStamp s;
    if (::stat(file.c_str(), &st) != 0) return s;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.modified = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.changed = std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

// --- folder hold ---

Error FolderHold::take(const fs::path& folder) {
    release();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return lastError();
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        return sys(e == EWOULDBLOCK ? EWOULDBLOCK : e);
    }
    h_ = fd;
    return {};
}

bool FolderHold::held() const { return h_ >= 0; }

void FolderHold::release() {
    if (h_ >= 0) ::close(fdOf(h_));
    h_ = -1;
}

std::string fileKey(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) {
        return "#" + std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
               std::to_string(static_cast<unsigned long long>(st.st_ino));
    }
    std::error_code ec;
    const fs::path c = fs::weakly_canonical(file, ec);
    return (ec ? fs::absolute(file, ec) : c).lexically_normal().string();
}

// --- process facts ---

fs::path pathFromUtf8(std::string_view utf8) { return fs::path(std::string(utf8)); }
std::string utf8(const fs::path& p) { return p.string(); }

std::string executableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return {};
    std::string folder = exe.parent_path().string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::optional<std::string> environment(std::string_view name) {
    const char* v = std::getenv(std::string(name).c_str());
    if (!v) return std::nullopt;
    return std::string(v);
}

fs::path stateFolder() {
    const auto x = environment("XDG_STATE_HOME");
    if (x && !x->empty() && fs::path(*x).is_absolute()) return fs::path(*x) / "transzanderxel";
    const auto home = environment("HOME");
    return fs::path(home && !home->empty() ? *home : "/tmp") / ".local" / "state" /
           "transzanderxel";
}

std::tm localTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

long processId() { return static_cast<long>(::getpid()); }

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void prepareConsole() {}

int runProgram(const fs::path& program, const std::vector<std::string>& args, std::string& error) {
    const std::string name = program.string();
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(name.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (const int e = ::posix_spawn(&pid, name.c_str(), nullptr, nullptr, argv.data(), environ)) {
        error = "No se puede ejecutar " + name + ": " + errorText(errnoError(e));
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno == EINTR) continue;
        error = "No se sabe cómo terminó " + name + ": " + errorText(errnoError(errno));
        return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    error = name + " terminó por la señal " +
            std::to_string(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return -1;
}

void keepFreedMemory() {
#ifdef __GLIBC__
    // Blocks up to 32 MiB come from the heap and stay there when freed (the defaults return
    // blocks above 128 KiB to the system at once, and the top of the heap past 128 KiB).
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the largest glibc takes
    ::mallopt(M_TRIM_THRESHOLD, 512 << 20);
#ifdef MADV_HUGEPAGE
    // The heap is grown now by 256 MiB, left free, and marked for transparent huge pages:
    // the tables and maps a large job fills take their memory 2 MiB at a time instead of a
    // fault every 4 KiB (the kernel gives small pages where it has no huge ones, and memory
    // never touched is never taken). The heap grows past the reserve as usual.
    constexpr std::size_t kPiece = 16u << 20;  // under the mmap threshold: from the heap
    constexpr int kPieces = 16;                // 256 MiB
    constexpr std::uintptr_t kHuge = 2u << 20;
    auto* start = static_cast<char*>(::sbrk(0));
    void* pieces[kPieces];
    for (auto& p : pieces) p = std::malloc(kPiece);
    auto* end = static_cast<char*>(::sbrk(0));
    for (void* p : pieces) std::free(p);
    const std::uintptr_t from =
        (reinterpret_cast<std::uintptr_t>(start) + kHuge - 1) & ~(kHuge - 1);
    if (start != reinterpret_cast<char*>(-1) && reinterpret_cast<std::uintptr_t>(end) > from)
        ::madvise(reinterpret_cast<void*>(from), reinterpret_cast<std::uintptr_t>(end) - from,
                  MADV_HUGEPAGE);
#endif
#endif
}

std::string driveOf(const fs::path&) { return {}; }

// --- help viewer: none here ---

bool htmlHelpAvailable() { return false; }
std::uintptr_t htmlHelp(std::uintptr_t, const std::string&, unsigned, std::uintptr_t,
                        const std::string*) {
    return 0;
}

}  // namespace tz::platform
