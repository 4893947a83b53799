#include "tables/Paths.h"

#include <cstdlib>
#include <system_error>

namespace tz::tables {
namespace {

namespace fs = std::filesystem;

fs::path& rootOverride() {
    static fs::path root;
    return root;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x < 0x80) x = static_cast<unsigned char>(std::tolower(x));
        if (y < 0x80) y = static_cast<unsigned char>(std::tolower(y));
        if (x != y) return false;
    }
    return true;
}

bool present(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec)) || fs::exists(p, ec);
}

std::string envOr(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

}  // namespace

fs::path exchangeRoot() {
    if (!rootOverride().empty()) return rootOverride();
    if (auto r = envOr("TRANSZANDERXEL_ROOT"); !r.empty()) return r;
    std::string home = envOr("HOME");
    fs::path prefix = envOr("WINEPREFIX");
    if (prefix.empty() && !home.empty()) prefix = fs::path(home) / ".wine";
    if (!prefix.empty()) {
        std::error_code ec;
        fs::path drive = prefix / "drive_c";
        if (fs::is_directory(drive, ec)) return drive;
    }
    return home.empty() ? fs::path("/") : fs::path(home);
}

void setRootOverride(const fs::path& root) { rootOverride() = root; }

fs::path findExisting(const fs::path& p) {
    if (p.empty()) return p;
    fs::path out;
    bool missing = false;
    for (const auto& part : p) {
        if (missing || part == "/" || part == "." || part == ".." || part.empty()) {
            out /= part;
            continue;
        }
        fs::path candidate = out.empty() ? part : out / part;
        if (present(candidate)) {
            out = candidate;
            continue;
        }
        // Look for the component in its folder without regard to letter case.
        std::error_code ec;
        fs::path folder = out.empty() ? fs::path(".") : out;
        bool found = false;
        const std::string want = part.string();
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::string name = it->path().filename().string();
            if (sameIgnoringCase(name, want)) {
                out = out.empty() ? fs::path(name) : out / name;
                found = true;
                break;
            }
        }
        if (!found) {
            missing = true;
            out = candidate;
        }
    }
    return out;
}

fs::path mapPath(std::string_view name) {
    std::string s(name);
    for (auto& c : s) {
        if (c == '\\') c = '/';
    }
    bool drive = s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':';
    if (drive) {
        // "C:\ZTEMP", "c:ztemp": every drive stands for the root on this platform.
        s.erase(0, 2);
        while (!s.empty() && s[0] == '/') s.erase(0, 1);
        return findExisting(exchangeRoot() / s);
    }
    bool rooted = !name.empty() && name[0] == '\\';
    if (rooted) {
        while (!s.empty() && s[0] == '/') s.erase(0, 1);
        return findExisting(exchangeRoot() / s);
    }
    return findExisting(fs::path(s));
}

bool fileExists(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(findExisting(p), ec);
}

bool folderExists(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(findExisting(p), ec);
}

fs::path ztemp() { return mapPath("\\ZTEMP"); }

fs::path ztempFile(std::string_view fileName) {
    return mapPath("\\ZTEMP\\" + std::string(fileName));
}

}  // namespace tz::tables
