#pragma once
#include <string>
#include <string_view>
#include <vector>

// The "sitemap" HTML of compiled help contents (.hhc) and index (.hhk) files: nested
// <UL><LI><OBJECT type="text/sitemap"> with <param name="Name"> and <param name="Local">.
namespace tz::help {

struct SitemapEntry {
    std::string name;   // UTF-8, entities decoded
    std::string local;  // the first Local value as written ("intro.htm", "ms-its:x.chm::/a.htm")
    std::vector<SitemapEntry> children;
};

// Parses a sitemap. Never fails: unknown tags are skipped, a damaged file gives what could be
// read, nesting deeper than kMaxSitemapDepth is flattened into the deepest level.
std::vector<SitemapEntry> parseSitemap(std::string_view bytes);
inline constexpr int kMaxSitemapDepth = 64;

// Bytes of a help text file as UTF-8: kept when they are valid UTF-8, else read as Windows-1252.
std::string helpTextToUtf8(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);
// Decodes HTML character references (&amp; &aacute; &#243; &#xF3; …) into UTF-8; unknown ones
// are kept as written.
std::string decodeEntities(std::string_view text);

// A link inside a help file, resolved to an archive path.
struct ArchiveLink {
    std::string path;       // absolute inside the archive ("/dir/page.htm"); empty for external
    std::string fragment;   // without the "#"
    bool external = false;  // another scheme (http:, mailto: …): not in the archive
};
// Resolves `link` (relative, absolute, or "ms-its:file.chm::/topic") against the folder of the
// archive path `base`. Backslashes count as slashes, "%XX" is decoded, "." and ".." are applied
// (never above the root), a query is dropped.
ArchiveLink resolveArchiveLink(std::string_view link, std::string_view base = "/");

}  // namespace tz::help
