#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "help/ChmCheck.h"
#include "help/Sitemap.h"

struct chmFile;

// Reading a compiled HTML help file (.chm) through chmlib: its objects, the contents and index
// sitemaps, the default topic and title from /#SYSTEM, and context numbers through /#IVB and
// /#STRINGS. Every length read from the file is checked, so a damaged archive yields empty
// answers, never a crash.
namespace tz::help {

// The records of /#SYSTEM that the viewer needs.
struct ChmSystemInfo {
    std::string contentsFile;  // code 0
    std::string indexFile;     // code 1
    std::string defaultTopic;  // code 2
    std::string title;         // code 3
    std::uint32_t lcid = 0;    // code 4, first DWORD
};
ChmSystemInfo parseSystem(std::string_view bytes);
// /#IVB: a DWORD byte length, then (context number, offset into /#STRINGS) pairs.
std::vector<std::pair<std::uint32_t, std::uint32_t>> parseIvb(std::string_view bytes);
// The NUL-terminated string at `offset` of /#STRINGS; empty beyond the end.
std::string stringAt(std::string_view strings, std::uint32_t offset);
// The archive path a stored topic name stands for: "/" + name when that exists, else the name
// with leading folders stripped one at a time until an object exists (compilers that store the
// absolute build path). A "#fragment" is kept. Nothing when no form exists.
std::optional<std::string> resolveStoredTopic(
    std::string_view stored, const std::function<bool(const std::string&)>& exists);

class ChmArchive {
  public:
    // Objects larger than this are refused (a damaged length must not exhaust memory).
    static constexpr std::uint64_t kMaxObjectSize = 64u << 20;

    // Nothing when the file is missing or not a readable compiled help file.
    static std::unique_ptr<ChmArchive> open(const std::filesystem::path& file);
    ~ChmArchive();
    ChmArchive(const ChmArchive&) = delete;
    ChmArchive& operator=(const ChmArchive&) = delete;

    const std::filesystem::path& file() const { return file_; }
    // Paths are absolute inside the archive ("/intro.htm"); letter case is ignored by chmlib.
    bool contains(const std::string& path) const;
    std::optional<std::string> read(const std::string& path) const;
    // Every ordinary file of the archive (no directories, no "#" or "$" system objects).
    std::vector<std::string> list() const;

    const ChmSystemInfo& system() const { return system_; }
    std::string title() const { return system_.title; }
    // Archive paths of the contents and index sitemaps (empty when there is none).
    std::string contentsPath() const;
    std::string indexPath() const;
    std::vector<SitemapEntry> contents() const;
    std::vector<SitemapEntry> index() const;
    // The topic shown first: /#SYSTEM code 2 when it exists, else the first contents entry,
    // else the first page of the archive. Empty for an archive without pages.
    std::string defaultTopic() const;

    // Context number → stored topic name, as compiled.
    std::map<std::uint32_t, std::string> contextMap() const;
    // The archive path for a context number, or nothing when it is unmapped or names no object.
    std::optional<std::string> topicForContext(std::uint32_t context) const;

  private:
    ChmArchive(chmFile* handle, std::filesystem::path file, ChmCheck check);
    std::string findSitemap(const std::string& named, std::string_view probe,
                            std::string_view extension) const;

    chmFile* handle_;
    std::filesystem::path file_;
    ChmCheck check_;  // what chmlib may safely be asked to read
    ChmSystemInfo system_;
};

}  // namespace tz::help
