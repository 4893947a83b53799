#include "help/ChmArchive.h"

#include <chm_lib.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tz::help {
namespace {

std::uint32_t dword(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

std::uint16_t word(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}

// A record's text: up to its first NUL.
std::string cString(std::string_view data) { return std::string(data.substr(0, data.find('\0'))); }

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool endsWithNoCase(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && lower(s.substr(s.size() - tail.size())) == tail;
}

bool isPage(std::string_view path) {
    return endsWithNoCase(path, ".htm") || endsWithNoCase(path, ".html");
}

std::string withLeadingSlash(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == '\\') c = '/';
    if (out.empty() || out.front() != '/') out.insert(out.begin(), '/');
    return out;
}

}  // namespace

ChmSystemInfo parseSystem(std::string_view b) {
    ChmSystemInfo info;
    std::size_t at = 4;  // version DWORD
    while (at + 4 <= b.size()) {
        const std::uint16_t code = word(b, at);
        const std::uint16_t length = word(b, at + 2);
        at += 4;
        if (length > b.size() - at) break;  // damaged record: stop
        const std::string_view data = b.substr(at, length);
        switch (code) {
            case 0:
                info.contentsFile = cString(data);
                break;
            case 1:
                info.indexFile = cString(data);
                break;
            case 2:
                info.defaultTopic = cString(data);
                break;
            case 3:
                info.title = cString(data);
                break;
            case 4:
                if (data.size() >= 4) info.lcid = dword(data, 0);
                break;
            default:
                break;
        }
        at += length;
    }
    return info;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> parseIvb(std::string_view b) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    if (b.size() < 4) return pairs;
    const std::size_t declared = dword(b, 0);
    const std::size_t usable = std::min(declared, b.size() - 4);
    for (std::size_t at = 4; at + 8 <= 4 + usable; at += 8)
        pairs.emplace_back(dword(b, at), dword(b, at + 4));
    return pairs;
}

std::string stringAt(std::string_view strings, std::uint32_t offset) {
    if (offset >= strings.size()) return {};
    return cString(strings.substr(offset));
}

std::optional<std::string> resolveStoredTopic(
    std::string_view stored, const std::function<bool(const std::string&)>& exists) {
    std::string name(stored);
    std::string fragment;
    if (const auto hash = name.find('#'); hash != std::string::npos) {
        fragment = name.substr(hash);
        name.erase(hash);
    }
    std::string candidate = withLeadingSlash(name);
    if (candidate.size() <= 1) return std::nullopt;
    for (;;) {
        if (exists(candidate)) return candidate + fragment;
        const auto next = candidate.find('/', 1);
        if (next == std::string::npos || next + 1 >= candidate.size()) return std::nullopt;
        candidate.erase(0, next);
    }
}

std::unique_ptr<ChmArchive> ChmArchive::open(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return nullptr;
    // chmlib trusts values of the file that a damaged archive gets wrong: checked first.
    auto check = ChmCheck::inspect(file);
    if (!check) return nullptr;
    chmFile* h = chm_open(file.c_str());
    if (!h) return nullptr;
    return std::unique_ptr<ChmArchive>(new ChmArchive(h, file, *check));
}

ChmArchive::ChmArchive(chmFile* handle, std::filesystem::path file, ChmCheck check)
    : handle_(handle), file_(std::move(file)), check_(std::move(check)) {
    if (const auto sys = read("/#SYSTEM")) system_ = parseSystem(*sys);
}

ChmArchive::~ChmArchive() { chm_close(handle_); }

bool ChmArchive::contains(const std::string& path) const {
    if (path.empty() || path.size() > CHM_MAX_PATHLEN) return false;
    chmUnitInfo ui{};
    return chm_resolve_object(handle_, path.c_str(), &ui) == CHM_RESOLVE_SUCCESS;
}

std::optional<std::string> ChmArchive::read(const std::string& path) const {
    if (path.empty() || path.size() > CHM_MAX_PATHLEN) return std::nullopt;
    chmUnitInfo ui{};
    if (chm_resolve_object(handle_, path.c_str(), &ui) != CHM_RESOLVE_SUCCESS) return std::nullopt;
    if (ui.length > kMaxObjectSize) return std::nullopt;
    if (!check_.objectSafe(ui.space, ui.start, ui.length)) return std::nullopt;
    std::string data(static_cast<std::size_t>(ui.length), '\0');
    if (ui.length == 0) return data;
    const LONGINT64 got =
        chm_retrieve_object(handle_, &ui, reinterpret_cast<unsigned char*>(data.data()), 0,
                            static_cast<LONGINT64>(ui.length));
    if (got <= 0) return std::nullopt;
    data.resize(
        static_cast<std::size_t>(std::min<LONGINT64>(got, static_cast<LONGINT64>(ui.length))));
    return data;
}

std::vector<std::string> ChmArchive::list() const {
    std::vector<std::string> paths;
    auto collect = [](chmFile*, chmUnitInfo* ui, void* context) -> int {
        auto* out = static_cast<std::vector<std::string>*>(context);
        const std::size_t n = strnlen(ui->path, CHM_MAX_PATHLEN);
        std::string p(ui->path, n);
        if (p.size() > 1 && p[0] == '/' && p[1] != '#' && p[1] != '$') out->push_back(std::move(p));
        return CHM_ENUMERATOR_CONTINUE;
    };
    chm_enumerate(handle_, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collect, &paths);
    return paths;
}

std::string ChmArchive::findSitemap(const std::string& named, std::string_view probe,
                                    std::string_view extension) const {
    if (!named.empty()) {
        const std::string path = withLeadingSlash(named);
        if (contains(path)) return path;
    }
    if (contains(std::string(probe))) return std::string(probe);
    for (const std::string& p : list())
        if (endsWithNoCase(p, extension)) return p;
    return {};
}

std::string ChmArchive::contentsPath() const {
    return findSitemap(system_.contentsFile, "/toc.hhc", ".hhc");
}

std::string ChmArchive::indexPath() const {
    return findSitemap(system_.indexFile, "/index.hhk", ".hhk");
}

std::vector<SitemapEntry> ChmArchive::contents() const {
    const std::string path = contentsPath();
    if (path.empty()) return {};
    const auto data = read(path);
    return data ? parseSitemap(*data) : std::vector<SitemapEntry>{};
}

std::vector<SitemapEntry> ChmArchive::index() const {
    const std::string path = indexPath();
    if (path.empty()) return {};
    const auto data = read(path);
    return data ? parseSitemap(*data) : std::vector<SitemapEntry>{};
}

std::string ChmArchive::defaultTopic() const {
    const auto exists = [this](const std::string& p) { return contains(p); };
    if (!system_.defaultTopic.empty()) {
        const ArchiveLink link = resolveArchiveLink(system_.defaultTopic);
        if (!link.external && contains(link.path)) return link.path;
    }
    // The first contents entry that names a page of the archive.
    std::vector<const std::vector<SitemapEntry>*> pending;
    const std::vector<SitemapEntry> toc = contents();
    pending.push_back(&toc);
    while (!pending.empty()) {
        const auto* list = pending.front();
        pending.erase(pending.begin());
        for (const SitemapEntry& e : *list) {
            if (!e.local.empty()) {
                const ArchiveLink link = resolveArchiveLink(e.local);
                if (!link.external && exists(link.path)) return link.path;
            }
            if (!e.children.empty()) pending.push_back(&e.children);
        }
    }
    std::vector<std::string> pages = list();
    std::erase_if(pages, [](const std::string& p) { return !isPage(p); });
    std::sort(pages.begin(), pages.end());
    return pages.empty() ? std::string() : pages.front();
}

std::map<std::uint32_t, std::string> ChmArchive::contextMap() const {
    std::map<std::uint32_t, std::string> map;
    const auto ivb = read("/#IVB");
    const auto strings = read("/#STRINGS");
    if (!ivb || !strings) return map;
    for (const auto& [context, offset] : parseIvb(*ivb)) {
        std::string name = stringAt(*strings, offset);
        if (!name.empty()) map.emplace(context, std::move(name));
    }
    return map;
}

std::optional<std::string> ChmArchive::topicForContext(std::uint32_t context) const {
    const auto map = contextMap();
    const auto it = map.find(context);
    if (it == map.end()) return std::nullopt;
    return resolveStoredTopic(it->second, [this](const std::string& p) { return contains(p); });
}

}  // namespace tz::help
