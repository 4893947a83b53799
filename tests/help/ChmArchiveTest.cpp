#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "RecordingBackend.h"
#include "help/ChmArchive.h"
#include "help/HelpSystem.h"
#include "help/VexHtmlHelp.h"

namespace {

using namespace tz::help;
namespace fs = std::filesystem;

std::string le32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    return s;
}
std::string le16(std::uint16_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string record(std::uint16_t code, const std::string& data) {
    return le16(code) + le16(static_cast<std::uint16_t>(data.size())) + data;
}

TEST(ChmFormatTest, SystemRecords) {
    const std::string sys = le32(3) + record(0, std::string("toc.hhc\0", 8)) +
                            record(4, le32(0x0C0A) + le32(0)) + record(9, "HHA Version") +
                            record(2, std::string("intro.htm\0", 10)) +
                            record(3, std::string("Ayuda\0", 6)) + record(1, "index.hhk");
    const ChmSystemInfo info = parseSystem(sys);
    EXPECT_EQ(info.contentsFile, "toc.hhc");
    EXPECT_EQ(info.indexFile, "index.hhk");
    EXPECT_EQ(info.defaultTopic, "intro.htm");
    EXPECT_EQ(info.title, "Ayuda");
    EXPECT_EQ(info.lcid, 0x0C0Au);
}

TEST(ChmFormatTest, DamagedSystemStopsAtTheBadRecord) {
    const std::string good = le32(3) + record(3, std::string("Ayuda\0", 6));
    // A record claiming more bytes than there are.
    const std::string bad = good + le16(2) + le16(0xFFFF) + "intro.htm";
    const ChmSystemInfo info = parseSystem(bad);
    EXPECT_EQ(info.title, "Ayuda");
    EXPECT_EQ(info.defaultTopic, "");
    for (std::size_t n = 0; n < good.size(); ++n) parseSystem(good.substr(0, n));  // no crash
    EXPECT_EQ(parseSystem(le32(3) + record(4, "ab")).lcid, 0u);                    // short LCID
}

TEST(ChmFormatTest, IvbPairsWithinBounds) {
    const std::string ivb = le32(16) + le32(1) + le32(0) + le32(3) + le32(0x18);
    using P = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    EXPECT_EQ(parseIvb(ivb), (P{{1, 0}, {3, 0x18}}));
    EXPECT_EQ(parseIvb(le32(0xFFFFFFF0) + le32(7) + le32(9) + "xyz"), (P{{7, 9}}));  // overlong
    EXPECT_EQ(parseIvb(le32(12) + le32(7) + le32(9) + le32(5)), (P{{7, 9}}));        // half a pair
    EXPECT_TRUE(parseIvb("").empty());
    EXPECT_TRUE(parseIvb("ab").empty());
}

TEST(ChmFormatTest, StringsAtOffsets) {
    const std::string strings("\0/a/intro.htm\0b.htm\0sin fin", 27);
    EXPECT_EQ(stringAt(strings, 1), "/a/intro.htm");
    EXPECT_EQ(stringAt(strings, 14), "b.htm");
    EXPECT_EQ(stringAt(strings, 20), "sin fin");
    EXPECT_EQ(stringAt(strings, 0), "");
    EXPECT_EQ(stringAt(strings, 27), "");
    EXPECT_EQ(stringAt(strings, 0xFFFFFFFF), "");
}

TEST(ChmFormatTest, StoredTopicFallsBackThroughLeadingFolders) {
    const std::set<std::string> objects{"/intro.htm", "/sub/b.htm", "/build/x.htm"};
    const auto exists = [&](const std::string& p) { return objects.count(p) > 0; };
    struct Case {
        const char* stored;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"intro.htm", "/intro.htm"},
        {"/intro.htm", "/intro.htm"},
        {"/home/ana/build/help/intro.htm", "/intro.htm"},
        {"/home/ana/build/help/sub/b.htm", "/sub/b.htm"},  // the longest tail that exists
        {"/home/build/x.htm", "/build/x.htm"},
        {"C:\\proyectos\\ayuda\\intro.htm", "/intro.htm"},
        {"/tmp/ayuda/intro.htm#seccion", "/intro.htm#seccion"},
        {"/tmp/ayuda/falta.htm", std::nullopt},
        {"", std::nullopt},
        {"/", std::nullopt},
        {"//", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resolveStoredTopic(c.stored, exists), c.expected) << c.stored;
}

// The help file compiled at test time from tests/data/help.
class FixtureChmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        archive = ChmArchive::open(TZ_FIXTURE_CHM);
        ASSERT_TRUE(archive) << TZ_FIXTURE_CHM;
    }
    std::unique_ptr<ChmArchive> archive;
};

TEST_F(FixtureChmTest, ObjectsAndSystem) {
    EXPECT_EQ(archive->title(), "Ayuda de prueba");
    EXPECT_EQ(archive->system().lcid, 0x0C0Au);
    EXPECT_EQ(archive->defaultTopic(), "/inicio.htm");
    EXPECT_EQ(archive->contentsPath(), "/toc.hhc");
    EXPECT_EQ(archive->indexPath(), "/index.hhk");
    const auto list = archive->list();
    const std::set<std::string> files(list.begin(), list.end());
    for (const char* p : {"/inicio.htm", "/tareas.htm", "/sub/detalle.htm", "/estilo.css",
                          "/sub/punto.png", "/toc.hhc"})
        EXPECT_TRUE(files.count(p)) << p;
    for (const std::string& p : list) EXPECT_TRUE(p[1] != '#' && p[1] != '$') << p;

    const auto page = archive->read("/inicio.htm");
    ASSERT_TRUE(page);
    EXPECT_NE(page->find("Texto de la página de inicio"), std::string::npos);
    const auto png = archive->read("/sub/punto.png");
    ASSERT_TRUE(png);
    EXPECT_EQ(png->substr(1, 3), "PNG");
    EXPECT_TRUE(archive->contains("/SUB/DETALLE.HTM"));  // letter case ignored
    EXPECT_FALSE(archive->read("/falta.htm"));
    EXPECT_FALSE(archive->read(""));
    EXPECT_FALSE(archive->read(std::string(2000, 'a')));
}

TEST_F(FixtureChmTest, ContentsAndIndex) {
    const auto toc = archive->contents();
    ASSERT_EQ(toc.size(), 2u);
    EXPECT_EQ(toc[0].name, "Inicio");
    ASSERT_EQ(toc[0].children.size(), 1u);
    EXPECT_EQ(toc[0].children[0].name, "Detalle & más");
    EXPECT_EQ(toc[0].children[0].local, "sub/detalle.htm");
    EXPECT_EQ(toc[1].name, "Tareas");
    const auto index = archive->index();
    ASSERT_EQ(index.size(), 2u);
    EXPECT_EQ(index[0].name, "Imagen");
}

TEST_F(FixtureChmTest, ContextNumbersToTopics) {
    // chmcmd stores the absolute build path; the reader finds the archive's object.
    const auto map = archive->contextMap();
    ASSERT_EQ(map.size(), 3u);
    EXPECT_EQ(archive->topicForContext(3), "/inicio.htm");
    EXPECT_EQ(archive->topicForContext(1), "/sub/detalle.htm");
    EXPECT_EQ(archive->topicForContext(0x7F), "/tareas.htm");
    EXPECT_EQ(archive->topicForContext(2), std::nullopt);
}

TEST_F(FixtureChmTest, ContextRequestThroughTheAdapter) {
    auto backend = std::make_shared<tz::testing::RecordingBackend>();
    HelpSystem system;
    const fs::path chm(TZ_FIXTURE_CHM);
    installVexHtmlHelp(system, backend, chm.parent_path().string() + "/");
    system.setApplicationHelpFile(chm.filename().string());
    system.contextHelp(1);
    system.showTableOfContents();
    ASSERT_EQ(backend->calls.size(), 2u);
    // What the platform backend would open for each call.
    const auto& context = backend->calls[0];
    EXPECT_EQ(context.command, HH_HELP_CONTEXT);
    const auto opened = ChmArchive::open(helpFilePath(context.file));
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->topicForContext(context.data.number), "/sub/detalle.htm");
    const auto& toc = backend->calls[1];
    EXPECT_EQ(toc.command, HH_DISPLAY_TOC);
    EXPECT_EQ(ChmArchive::open(helpFilePath(toc.file))->defaultTopic(), "/inicio.htm");
}

// Files that are not, or no longer, compiled help files.
TEST(DamagedChmTest, NeverCrashes) {
    const fs::path dir = fs::path(testing::TempDir()) / "damaged-chm";
    fs::create_directories(dir);
    std::ifstream in(TZ_FIXTURE_CHM, std::ios::binary);
    ASSERT_TRUE(in);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string bytes = buffer.str();
    ASSERT_GT(bytes.size(), 1000u);

    EXPECT_FALSE(ChmArchive::open(dir / "no-existe.chm"));
    EXPECT_FALSE(ChmArchive::open(dir));  // a folder

    std::vector<std::string> variants{"", "ITSF", std::string(100, '\0'), "not a help file"};
    for (std::size_t cut : {0x20u, 0x38u, 0x60u, 0x78u, 0x200u, 0x1000u})
        if (cut < bytes.size()) variants.push_back(bytes.substr(0, cut));
    variants.push_back(bytes.substr(0, bytes.size() / 2));
    variants.push_back(bytes.substr(0, bytes.size() - 1));
    // Header lengths and directory entries overwritten with large values.
    for (std::size_t at : {0x08u, 0x48u, 0x50u, 0x58u, 0x60u, 0x80u, 0x9Cu}) {
        std::string v = bytes;
        if (at + 4 <= v.size()) v.replace(at, 4, "\xFF\xFF\xFF\x7F");
        variants.push_back(std::move(v));
    }
    // Bytes changed at random places (fixed seed), compressed content included.
    std::mt19937 rng(20240601);
    for (int k = 0; k < 60; ++k) {
        std::string v = bytes;
        for (int n = 0; n < 6; ++n) v[rng() % v.size()] = static_cast<char>(rng());
        variants.push_back(std::move(v));
    }
    int i = 0;
    for (const std::string& v : variants) {
        const fs::path f = dir / ("damaged" + std::to_string(i++) + ".chm");
        std::ofstream(f, std::ios::binary) << v;
        const auto a = ChmArchive::open(f);
        if (!a) continue;
        // Whatever opens answers without crashing.
        a->list();
        a->contents();
        a->index();
        a->defaultTopic();
        a->contextMap();
        a->topicForContext(3);
        for (const std::string& p : a->list()) a->read(p);
    }
}

// The shipped help file maps every context of its table, 1 and 3 above all, to its topic.
TEST(ShippedHelpFileTest, ContextsMapToExistingTopics) {
    const auto archive = ChmArchive::open(TZ_SHIPPED_CHM);
    ASSERT_TRUE(archive) << TZ_SHIPPED_CHM;
    EXPECT_EQ(archive->topicForContext(3), "/principal.htm");
    EXPECT_EQ(archive->topicForContext(1), "/datos-xel.htm");

    std::ifstream table(TZ_SHIPPED_CONTEXTS);
    ASSERT_TRUE(table);
    std::string line;
    int mapped = 0;
    while (std::getline(table, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string symbol, topic;
        std::uint32_t number = 0;
        fields >> symbol >> number >> topic;
        EXPECT_EQ(archive->topicForContext(number), "/" + topic) << symbol;
        ++mapped;
    }
    EXPECT_GE(mapped, 2);
}

// Every contents entry and every link of every page of the shipped file leads somewhere.
TEST(ShippedHelpFileTest, NoBrokenLinks) {
    const auto archive = ChmArchive::open(TZ_SHIPPED_CHM);
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive->defaultTopic(), "/principal.htm");
    EXPECT_EQ(archive->title(), "Ayuda de transZanderXEL");
    std::vector<const std::vector<SitemapEntry>*> pending;
    const auto toc = archive->contents();
    EXPECT_GE(toc.size(), 5u);
    pending.push_back(&toc);
    while (!pending.empty()) {
        const auto* list = pending.back();
        pending.pop_back();
        for (const auto& e : *list) {
            EXPECT_TRUE(archive->contains(resolveArchiveLink(e.local).path)) << e.name;
            pending.push_back(&e.children);
        }
    }
    for (const auto& e : archive->index())
        EXPECT_TRUE(archive->contains(resolveArchiveLink(e.local).path)) << e.name;

    for (const std::string& page : archive->list()) {
        if (page.size() < 4 || page.substr(page.size() - 4) != ".htm") continue;
        const std::string html = archive->read(page).value_or("");
        for (const char* attr : {"href=\"", "src=\""}) {
            for (auto at = html.find(attr); at != std::string::npos; at = html.find(attr, at + 1)) {
                const auto start = at + std::char_traits<char>::length(attr);
                const std::string link = html.substr(start, html.find('"', start) - start);
                const ArchiveLink l = resolveArchiveLink(link, page);
                if (!l.external) {
                    EXPECT_TRUE(archive->contains(l.path)) << page << ": " << link;
                }
            }
        }
    }
}

}  // namespace
