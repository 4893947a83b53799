#include "app/IniFile.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "base/Texts.h"

namespace tz::app {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view trim(std::string_view s) {
    const auto space = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && space(s.front())) s.remove_prefix(1);
    while (!s.empty() && space(s.back())) s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// An existing file whose name differs only in letter case, else `file` itself.
fs::path findIgnoringCase(const fs::path& file) {
    std::error_code ec;
    if (fs::exists(file, ec)) return file;
    fs::path dir = file.parent_path();
    if (dir.empty()) dir = ".";
    const std::string name = file.filename().string();
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (sameName(it->path().filename().string(), name))
            return file.parent_path() / it->path().filename();
    }
    return file;
}

}  // namespace

IniFile IniFile::parse(std::string_view bytes) {
    IniFile ini;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
        Line line{std::string(bytes.substr(start, end - start)), ""};
        if (end < bytes.size()) {
            if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n')
                line.eol = "\r\n";
            else
                line.eol = std::string(1, bytes[end]);
        }
        start = end + line.eol.size();
        ini.lines_.push_back(std::move(line));
    }
    return ini;
}

std::string IniFile::bytes() const {
    std::string out;
    for (const auto& l : lines_) out += l.text + l.eol;
    return out;
}

std::string IniFile::newline() const {
    for (const auto& l : lines_)
        if (!l.eol.empty()) return l.eol;
    return "\r\n";
}

std::string_view IniFile::content(std::size_t line) const {
    std::string_view t = lines_[line].text;
    if (line == 0 && t.substr(0, kBom.size()) == kBom) t.remove_prefix(kBom.size());
    return t;
}

std::optional<std::string> IniFile::sectionOf(std::size_t line) const {
    const std::string_view t = trim(content(line));
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    const auto close = t.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return std::string(trim(t.substr(1, close - 1)));
}

std::optional<std::string> IniFile::keyOf(std::size_t line) const {
    const std::string_view t = trim(content(line));
    if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[') return std::nullopt;
    const auto eq = t.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return std::string(trim(t.substr(0, eq)));
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (auto s = sectionOf(i)) {
            if (inSection) break;  // the first matching section only
            inSection = sameName(*s, section);
            continue;
        }
        if (!inSection) continue;
        if (auto k = keyOf(i); k && sameName(*k, key)) {
            const std::string_view t = lines_[i].text;
            return std::string(trim(t.substr(t.find('=') + 1)));
        }
    }
    return std::nullopt;
}

void IniFile::setValue(std::string_view section, std::string_view key, std::string_view value) {
    const std::string nl = newline();
    std::optional<std::size_t> header;
    std::size_t insertAfter = 0;  // last header or key line of the section
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (auto s = sectionOf(i)) {
            if (header) break;
            if (sameName(*s, section)) header = insertAfter = i;
            continue;
        }
        if (!header) continue;
        if (auto k = keyOf(i)) {
            if (sameName(*k, key)) {
                std::string& t = lines_[i].text;
                std::size_t cut = t.find('=') + 1;
                while (cut < t.size() && (t[cut] == ' ' || t[cut] == '\t')) ++cut;
                t = t.substr(0, cut) + std::string(value);
                return;
            }
            insertAfter = i;
        }
    }
    const Line entry{std::string(key) + "=" + std::string(value), nl};
    if (header) {
        if (lines_[insertAfter].eol.empty()) lines_[insertAfter].eol = nl;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAfter) + 1, entry);
        return;
    }
    if (!lines_.empty()) {
        if (lines_.back().eol.empty()) lines_.back().eol = nl;
        if (!trim(content(lines_.size() - 1)).empty()) lines_.push_back({"", nl});
    }
    lines_.push_back({"[" + std::string(section) + "]", nl});
    lines_.push_back(entry);
}

void writeIniValue(const fs::path& file, std::string_view section, std::string_view key,
                   std::string_view value, const tables::BeforeCommit& beforeCommit) {
    const fs::path target = findIgnoringCase(file);
    const auto fail = [&] { throw std::runtime_error("Unable to write to " + target.string()); };
    std::string old;
    std::error_code ec;
    if (fs::exists(target, ec)) {
        if (!fs::is_regular_file(fs::status(target, ec))) fail();
        std::ifstream in(target, std::ios::binary);
        if (!in) fail();
        old.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) fail();
    }
    IniFile ini = IniFile::parse(old);
    ini.setValue(section, key, value);
    if (tables::replaceFile(target, ini.bytes(), beforeCommit)) fail();
}

void writeRunStatus(const fs::path& file, int estado, const tables::BeforeCommit& beforeCommit) {
    writeIniValue(file, base::texts::kRunStatusSection, base::texts::kRunStatusKey,
                  std::to_string(estado), beforeCommit);
}

}  // namespace tz::app
