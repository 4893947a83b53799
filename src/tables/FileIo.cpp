#include "tables/FileIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>

#include "tables/EngineError.h"

namespace tz::tables {
namespace {

FileFaultHook& faultHook() {
    static FileFaultHook hook;
    return hook;
}

int injected(std::string_view op, const std::filesystem::path& file) {
    auto& hook = faultHook();
    return hook ? hook(op, file) : 0;
}

// The byte that dBase writers lock while appending; we take it around each write.
constexpr off_t kWriteLockOffset = 0xEFFFFFFFLL;

bool conflict(int err) { return err == EAGAIN || err == EACCES; }

// Sets a POSIX record lock (type F_RDLCK, F_WRLCK or F_UNLCK; length 0: to the end of any file
// size). Owned by the open file (an OFD lock: closing another descriptor of the same file in
// this process does not drop it) where the system has those, else by the process. Returns 0
// or the errno; EAGAIN or EACCES when another owner's lock is in the way.
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

// Whether another owner (another process, or another open of the file) holds a lock that a
// lock of `type` on the range would conflict with.
bool lockedByOthers(int fd, short type, off_t start, off_t length) {
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

}  // namespace

void setFileFaultHook(FileFaultHook hook) { faultHook() = std::move(hook); }

std::string razonSistema(int err) {
    switch (err) {
        case ENOSPC:
            return "no queda espacio en el disco";
        case EDQUOT:
            return "se ha llenado la cuota de disco del usuario";
        case EACCES:
        case EPERM:
            return "permiso denegado";
        case ENOENT:
            return "no existe el archivo o la carpeta";
        case ENOTDIR:
            return "una parte de la ruta no es una carpeta";
        case EISDIR:
            return "es una carpeta, no un archivo";
        case EROFS:
            return "el disco o la carpeta es de sólo lectura";
        case EMFILE:
        case ENFILE:
            return "hay demasiados archivos abiertos";
        case EIO:
            return "error de entrada/salida en el disco";
        case EBUSY:
        case ETXTBSY:
            return "el archivo está en uso";
        case EAGAIN:
            return "el archivo está bloqueado por otro programa";
        case EEXIST:
            return "ya existe";
        case ENAMETOOLONG:
            return "el nombre es demasiado largo";
        case EFBIG:
            return "el archivo es demasiado grande";
        case ENOMEM:
            return "no queda memoria";
        case EINVAL:
            return "operación no válida para este archivo";
        default:
            return "error del sistema " + std::to_string(err) + " (" + std::strerror(err) + ")";
    }
}

namespace {
std::chrono::milliseconds& lockWait() {
    static std::chrono::milliseconds wait{5000};
    return wait;
}
}  // namespace

void setLockWait(std::chrono::milliseconds wait) { lockWait() = wait; }

std::string systemError(std::string_view what, const std::filesystem::path& file, int err) {
    return std::string(what) + " " + file.string() + ": " + razonSistema(err);
}

FileIo::FileIo(const std::filesystem::path& file, Access access) : path_(file) {
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
            if (int e = injected("create", file)) {
                throw EngineError(systemError("No se puede crear el archivo", file, e), e);
            }
            break;
    }
    do {
        fd_ = ::open(file.c_str(), flags, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        int e = errno;
        throw EngineError(systemError(access == Access::Create ? "No se puede crear el archivo"
                                                               : "No se puede abrir el archivo",
                                      file, e),
                          e);
    }
    writable_ = access != Access::Read;
}

FileIo::~FileIo() { close(); }

FileIo::FileIo(FileIo&& o) noexcept
    : fd_(o.fd_),
      writable_(o.writable_),
      posix_(o.posix_),
      writeLocked_(std::move(o.writeLocked_)),
      path_(std::move(o.path_)) {
    o.fd_ = -1;
    o.posix_ = Hold::None;
}

FileIo& FileIo::operator=(FileIo&& o) noexcept {
    if (this != &o) {
        close();
        fd_ = o.fd_;
        writable_ = o.writable_;
        posix_ = o.posix_;
        writeLocked_ = std::move(o.writeLocked_);
        path_ = std::move(o.path_);
        o.fd_ = -1;
        o.posix_ = Hold::None;
    }
    return *this;
}

void FileIo::close() {
    if (fd_ >= 0) {
        ::close(fd_);  // also releases the flock and fcntl locks of this descriptor
        fd_ = -1;
        posix_ = Hold::None;
        writeLocked_.clear();
    }
}

std::uint64_t FileIo::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int e = errno;
        throw EngineError(systemError("No se puede leer el archivo", path_, e), e);
    }
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t FileIo::readAt(void* dst, std::size_t n, std::uint64_t offset) const {
    auto* p = static_cast<char*>(dst);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            throw EngineError(systemError("No se puede leer el archivo", path_, e), e);
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

void FileIo::writeAt(const void* src, std::size_t n, std::uint64_t offset) {
    if (int e = injected("write", path_)) {
        throw EngineError(systemError("No se puede escribir en el archivo", path_, e), e);
    }
    const auto* p = static_cast<const char*>(src);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            throw EngineError(systemError("No se puede escribir en el archivo", path_, e), e);
        }
        done += static_cast<std::size_t>(r);
    }
}

void FileIo::truncate(std::uint64_t size) {
    int e = injected("truncate", path_);
    if (e == 0 && ::ftruncate(fd_, static_cast<off_t>(size)) != 0) e = errno;
    if (e != 0) throw EngineError(systemError("No se puede escribir en el archivo", path_, e), e);
}

void FileIo::sync() {
    int e = injected("sync", path_);
    if (e == 0 && ::fsync(fd_) != 0) e = errno;
    if (e != 0) throw EngineError(systemError("No se puede escribir en el archivo", path_, e), e);
}

bool FileIo::tryLock(bool exclusive) {
    const Hold before = posix_;
    // The POSIX part first: it fails without changing what is held. A file system that takes
    // no record locks (ENOLCK …) leaves the hold to flock.
    if (exclusive && writable_) {
        const int e = setLock(fd_, F_WRLCK, 0, 0);
        if (conflict(e)) return false;
        if (e == 0) posix_ = Hold::Exclusive;
    } else if (exclusive) {
        if (lockedByOthers(fd_, F_WRLCK, 0, 0)) return false;
    } else {
        const int e = setLock(fd_, F_RDLCK, 0, 1);
        if (conflict(e)) return false;
        if (e == 0) {
            if (before == Hold::Exclusive) setLock(fd_, F_UNLCK, 1, 0);
            posix_ = Hold::Shared;
        }
    }
    int r;
    do {
        r = ::flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r == 0) return true;
    // Back to the POSIX hold of before.
    if (posix_ != before) {
        if (before == Hold::None) {
            setLock(fd_, F_UNLCK, 0, 0);
        } else if (before == Hold::Shared) {
            setLock(fd_, F_RDLCK, 0, 1);
            setLock(fd_, F_UNLCK, 1, 0);
        } else {
            setLock(fd_, F_WRLCK, 0, 0);
        }
        posix_ = before;
    }
    return false;
}

void FileIo::unlock() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    if (posix_ != Hold::None) setLock(fd_, F_UNLCK, 0, 0);
    posix_ = Hold::None;
}

void FileIo::lockForWrite(const std::vector<Range>& ranges) {
    std::vector<Range> all = ranges;
    all.push_back({static_cast<std::uint64_t>(kWriteLockOffset), 1});
    // Another writer holds these only for the duration of one write; give up after a few
    // seconds rather than hang behind a program that keeps a record locked.
    auto deadline = std::chrono::steady_clock::now() + lockWait();
    for (;;) {
        std::size_t taken = 0;
        int e = 0;
        for (; taken < all.size(); ++taken) {
            e = setLock(fd_, all[taken].shared ? F_RDLCK : F_WRLCK,
                        static_cast<off_t>(all[taken].start),
                        static_cast<off_t>(all[taken].length));
            if (e != 0) break;
        }
        if (e == 0) {
            writeLocked_ = std::move(all);
            return;
        }
        for (std::size_t i = 0; i < taken; ++i) {
            setLock(fd_, F_UNLCK, static_cast<off_t>(all[i].start),
                    static_cast<off_t>(all[i].length));
        }
        if (!conflict(e)) {
            throw EngineError(systemError("No se puede bloquear el archivo", path_, e), e);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            throw EngineError("La tabla " + path_.string() + " está bloqueada por otro programa");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void FileIo::unlockForWrite() {
    for (const Range& r : writeLocked_) {
        setLock(fd_, F_UNLCK, static_cast<off_t>(r.start), static_cast<off_t>(r.length));
    }
    writeLocked_.clear();
}

int replaceFile(const std::filesystem::path& file, std::string_view bytes,
                const std::function<bool(const std::filesystem::path& temp)>& beforeCommit) {
    std::filesystem::path dir = file.parent_path();
    if (dir.empty()) dir = ".";
    struct stat old {};
    const bool existed = ::stat(file.c_str(), &old) == 0;

    // A fresh name each time (O_EXCL): never write into a file that happens to exist.
    static std::mt19937_64 gen{std::random_device{}()};
    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                      static_cast<unsigned long long>(gen() & 0xFFFFFFFFFFFFULL));
        temp = dir / ("." + file.filename().string() + suffix);
        if (int e = injected("create", temp)) return e;
        do {
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno != EEXIST) return errno;
    }
    if (fd < 0) return EEXIST;

    int err = injected("write", temp);
    for (std::size_t done = 0; err == 0 && done < bytes.size();) {
        ssize_t r = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) err = errno;
        if (r > 0) done += static_cast<std::size_t>(r);
    }
    if (err == 0 && existed && ::fchmod(fd, old.st_mode & 07777) != 0) err = errno;
    if (err == 0) err = injected("sync", temp);
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && beforeCommit && !beforeCommit(temp)) err = EIO;
    if (err == 0) err = injected("rename", file);
    if (err == 0 && ::rename(temp.c_str(), file.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        return err;
    }
    // The rename itself reaches the disk with the folder.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return 0;
}

namespace {

// The folder this process holds: never closed but to hold another or to let go.
struct HeldFolder {
    std::mutex guard;
    int fd = -1;
    std::string key;
};
HeldFolder& heldFolder() {
    static HeldFolder h;
    return h;
}

}  // namespace

bool holdFolder(const std::filesystem::path& folder) {
    HeldFolder& h = heldFolder();
    std::lock_guard<std::mutex> lock(h.guard);
    std::error_code ec;
    std::string key = std::filesystem::weakly_canonical(folder, ec).string();
    if (ec) key = folder.string();
    if (h.fd >= 0 && key == h.key) return true;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err != EWOULDBLOCK;  // only a holder refuses; a folder that takes no lock does not
    }
    if (h.fd >= 0) ::close(h.fd);
    h.fd = fd;
    h.key = std::move(key);
    return true;
}

void releaseFolder() {
    HeldFolder& h = heldFolder();
    std::lock_guard<std::mutex> lock(h.guard);
    if (h.fd >= 0) ::close(h.fd);
    h.fd = -1;
    h.key.clear();
}

void holdFolderOrThrow(const std::filesystem::path& folder) {
    if (!holdFolder(folder)) {
        throw EngineError("La carpeta " + folder.string() + " está siendo usada por otro programa");
    }
}

void renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    int e = injected("rename", to);
    if (e == 0 && ::rename(from.c_str(), to.c_str()) != 0) e = errno;
    if (e != 0) throw EngineError(systemError("No se puede reemplazar el archivo", to, e), e);
}

void removeFile(const std::filesystem::path& file) {
    int e = injected("remove", file);
    if (e == 0 && ::unlink(file.c_str()) != 0 && errno != ENOENT) e = errno;
    if (e != 0) throw EngineError(systemError("No se puede borrar el archivo", file, e), e);
}

}  // namespace tz::tables
