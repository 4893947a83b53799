#include "app/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace tz::app {
namespace fs = std::filesystem;

namespace {

bool writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool writeFileAtomically(const fs::path& file, std::string_view bytes,
                         const BeforeCommit& beforeCommit) {
    std::error_code ec;
    fs::path target = file;
    if (fs::is_symlink(target, ec)) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (ec) return false;
        target = resolved;
    }
    if (fs::is_directory(target, ec)) return false;

    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;

    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    std::string pattern = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return false;
    const fs::path temp = pattern;

    bool ok = writeAll(fd, bytes);
    if (ok && existed) ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    if (!existed) {
        // mkstemp creates 0600; a new file gets the usual mode for the user's umask.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ok && ::fchmod(fd, 0666 & ~mask) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && beforeCommit) ok = beforeCommit(temp);
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        fs::remove(temp, ec);
        return false;
    }
    // Make the rename itself durable.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

}  // namespace tz::app
