// The sitemap parser (contents .hhc and index .hhk), the help text decoding and the link
// resolver over fuzzed bytes, in memory.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "help/ChmArchive.h"
#include "help/Sitemap.h"

namespace {

void walk(const std::vector<tz::help::SitemapEntry>& entries, int depth) {
    TZ_FUZZ_CHECK(depth <= tz::help::kMaxSitemapDepth + 1);
    for (const auto& e : entries) {
        TZ_FUZZ_CHECK(tz::help::isValidUtf8(e.name));
        const auto link = tz::help::resolveArchiveLink(e.local, "/sub/base.htm");
        if (!link.external && !link.path.empty()) {
            TZ_FUZZ_CHECK(link.path.front() == '/');
            TZ_FUZZ_CHECK(link.path.find("/../") == std::string::npos);
        }
        walk(e.children, depth + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    walk(tz::help::parseSitemap(bytes), 0);
    TZ_FUZZ_CHECK(tz::help::isValidUtf8(tz::help::helpTextToUtf8(bytes)));
    (void)tz::help::decodeEntities(bytes);
    (void)tz::help::parseSystem(bytes);
    const auto pairs = tz::help::parseIvb(bytes);
    TZ_FUZZ_CHECK(pairs.size() * 8 + 4 <= size + 8);
    for (const auto& [context, offset] : pairs) (void)tz::help::stringAt(bytes, offset);
    (void)tz::help::resolveStoredTopic(bytes,
                                       [](const std::string& p) { return p.size() % 3 == 0; });
    return 0;
}
