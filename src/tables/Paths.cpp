#include "tables/Paths.h"

#include <cctype>
#include <system_error>

#include "platform/System.h"

namespace tz::tables {
namespace {

namespace fs = std::filesystem;

fs::path& rootOverride() {
    static fs::path root;
    return root;
}

std::string& followedDrive() {
    static std::string drive;
    return drive;
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

std::string envOr(const char* name) { return platform::environment(name).value_or(""); }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The override, or $TRANSZANDERXEL_ROOT: a folder standing for the root of every drive.
fs::path chosenRoot() {
    if (!rootOverride().empty()) return rootOverride();
    if (auto r = envOr("TRANSZANDERXEL_ROOT"); !r.empty()) return platform::pathFromUtf8(r);
    return {};
}

std::string currentDrive() {
    if (!followedDrive().empty()) return followedDrive();
    std::error_code ec;
    return platform::driveOf(fs::current_path(ec));
}

}  // namespace

fs::path exchangeRoot() {
    if (fs::path r = chosenRoot(); !r.empty()) return r;
    if constexpr (platform::kDriveLetters) {
        return platform::pathFromUtf8(currentDrive() + "\\");
    }
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

void followTextFolder(const fs::path& folder) {
    std::error_code ec;
    followedDrive() = platform::driveOf(fs::absolute(folder, ec));
}

std::string mapName(std::string_view name, const NameRules& rules) {
    const bool drive =
        name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
    const bool unc = name.size() >= 2 && isSeparator(name[0]) && isSeparator(name[1]);
    // Linux: only a backslash marks a program's rooted name ("/home/a" is a native path).
    const bool rooted =
        !name.empty() && (rules.driveLetters ? isSeparator(name[0]) && !unc : name[0] == '\\');
    std::string rest(name.substr(drive ? 2 : 0));
    const char sep = rules.driveLetters ? '\\' : '/';
    if (!rules.driveLetters) {
        for (char& c : rest) {
            if (c == '\\') c = '/';  // backslashes are separators in every name
        }
    }
    if (!drive && !rooted) return rules.driveLetters ? std::string(name) : rest;
    if (rules.root.empty()) {
        // A drive name is a real path; a rooted one goes on the current drive.
        if (drive) return std::string(name);
        return rules.currentDrive + rest;
    }
    // Every drive stands for the root ("C:\ZTEMP", "c:ztemp", "\ZTEMP").
    while (!rest.empty() && isSeparator(rest[0])) rest.erase(0, 1);
    std::string out = rules.root;
    if (!out.empty() && !isSeparator(out.back())) out += sep;
    return out + rest;
}

fs::path findExisting(const fs::path& p) {
    if (p.empty()) return p;
    fs::path out;
    bool missing = false;
    for (const auto& part : p) {
        if (missing || part.has_root_name() || part.has_root_directory() || part == "." ||
            part == ".." || part.empty()) {
            out /= part;
            continue;
        }
        fs::path candidate = out.empty() ? part : out / part;
        // Where the file system ignores letter case itself (Windows), the spelling on disk is
        // still looked up below, so that every name shows the file as it is stored.
        if (!platform::kDriveLetters && present(candidate)) {
            out = candidate;
            continue;
        }
        // Look for the component in its folder without regard to letter case.
        std::error_code ec;
        fs::path folder = out.empty() ? fs::path(".") : out;
        bool found = false;
        const std::string want = platform::utf8(part);
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            fs::path name = it->path().filename();
            if (sameIgnoringCase(platform::utf8(name), want)) {
                out = out.empty() ? name : out / name;
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

fs::path mapPath(const ProgramName& name) {
    NameRules rules;
    rules.driveLetters = platform::kDriveLetters;
    const fs::path root = platform::kDriveLetters ? chosenRoot() : exchangeRoot();
    rules.root = platform::utf8(root);
    if (rules.root.empty() && platform::kDriveLetters) rules.currentDrive = currentDrive();
    return findExisting(platform::pathFromUtf8(mapName(name.text(), rules)));
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
