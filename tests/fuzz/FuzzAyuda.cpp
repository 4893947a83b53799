// The compiled-help reader over a fuzzed archive: the system records, the list of files, the
// contents and index sitemaps, the default topic and every context number. The archive goes
// through chmlib, which reads it from a file.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "fuzz/FuzzSupport.h"
#include "help/ChmArchive.h"

namespace {

std::size_t countEntries(const std::vector<tz::help::SitemapEntry>& entries, int depth) {
    TZ_FUZZ_CHECK(depth <= tz::help::kMaxSitemapDepth + 1);
    std::size_t n = entries.size();
    for (const auto& e : entries) n += countEntries(e.children, depth + 1);
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path file = tz::fuzz::scratch() / "ayuda.chm";
    tz::fuzz::writeFile(file, std::string_view(reinterpret_cast<const char*>(data), size));
    auto chm = tz::help::ChmArchive::open(file);
    if (!chm) return 0;
    (void)chm->title();
    const auto files = chm->list();
    std::size_t reads = 0;
    for (const auto& p : files) {
        if (++reads > 16) break;
        if (auto bytes = chm->read(p))
            TZ_FUZZ_CHECK(bytes->size() <= tz::help::ChmArchive::kMaxObjectSize);
    }
    countEntries(chm->contents(), 0);
    countEntries(chm->index(), 0);
    (void)chm->defaultTopic();
    for (const auto& [context, name] : chm->contextMap()) {
        if (auto topic = chm->topicForContext(context))
            TZ_FUZZ_CHECK(chm->contains(topic->substr(0, topic->find('#'))));
    }
    (void)chm->topicForContext(0);
    return 0;
}
