#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "RecordingBackend.h"
#include "app/TempDir.h"
#include "help/HelpSystem.h"
#include "help/VexHtmlHelp.h"
#include "tables/Paths.h"

namespace {

using namespace tz::help;
using tz::testing::RecordingBackend;
using Call = RecordingBackend::Call;

constexpr WindowHandle kWindow = 0x1A2B;
const std::string kExe = "/opt/tz/";

struct ChmCase {
    const char* name;
    bool chm;
};

TEST(ChmFileTest, LastDotDecides) {
    const ChmCase cases[] = {
        {"AYUDA.CHM", true},
        {"XEL.chm", true},
        {"x.ChM", true},
        {"\\ZDXM7\\XEL.CHM", true},
        {".chm", true},
        {"XEL", false},
        {"", false},
        {"XEL.chm.bak", false},
        {"XEL.CHM ", false},
        {"XEL.chmx", false},
        {"dir.chm\\XEL", false},
        {"XEL.hlp", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isChmFile(c.name), c.chm) << c.name;
}

struct ResolveCase {
    const char* requested;
    const char* application;
    const char* expected;
};

TEST(ResolveHelpFileTest, FolderPartDecides) {
    const ResolveCase cases[] = {
        {"", "XEL.CHM", "/opt/tz/XEL.CHM"},
        {"", "\\ZDXM7\\XEL.CHM", "\\ZDXM7\\XEL.CHM"},
        {"AYUDA.CHM", "XEL.CHM", "/opt/tz/AYUDA.CHM"},
        {"C:XEL.CHM", "XEL.CHM", "C:XEL.CHM"},
        {"docs/XEL.CHM", "", "docs/XEL.CHM"},
        {"/usr/share/x.chm", "XEL.CHM", "/usr/share/x.chm"},
        {"", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolveHelpFile(c.requested, c.application, kExe), c.expected)
            << c.requested << " | " << c.application;
}

TEST(TopicFileNameTest, HtmExtensionAddedUnlessPresent) {
    const std::pair<const char*, const char*> cases[] = {
        {"intro", "intro.htm"},
        {"intro.HTML", "intro.HTML"},
        {"intro.htm", "intro.htm"},
        {"intro.HtM", "intro.HtM"},
        {"intro.txt", "intro.txt.htm"},
        {"dir.v2/intro", "dir.v2/intro.htm"},
        {"dir.v2\\intro", "dir.v2\\intro.htm"},
        {"", ".htm"},
    };
    for (const auto& [topic, expected] : cases) EXPECT_EQ(topicFileName(topic), expected) << topic;
}

TEST(SplitHelpUrlTest, FileAndTopic) {
    EXPECT_EQ(splitHelpUrl("/opt/tz/XEL.CHM::/intro.htm"),
              std::make_pair(std::string("/opt/tz/XEL.CHM"), std::string("/intro.htm")));
    EXPECT_EQ(splitHelpUrl("C:\\ZDXM7\\XEL.CHM::intro.htm"),
              std::make_pair(std::string("C:\\ZDXM7\\XEL.CHM"), std::string("/intro.htm")));
    EXPECT_EQ(splitHelpUrl("XEL.CHM"), std::make_pair(std::string("XEL.CHM"), std::string()));
}

// The places a help file is looked for: the named file, the installed copy, the build's copy.
TEST(HelpFileCandidatesTest, NamedThenInstalledThenBesideTheProgram) {
    tz::tables::setRootOverride("/raiz");
    const struct {
        const char* name;
        const char* exe;
        std::vector<std::filesystem::path> places;
    } cases[] = {
        {"\\ZDXM7\\XEL.CHM",
         "/opt/tz/bin/",
         {"/raiz/ZDXM7/XEL.CHM", "/opt/tz/share/transzanderxel/XEL.CHM", "/opt/tz/bin/XEL.CHM"}},
        // The file beside the program is asked for by name: it is not listed twice.
        {"/opt/tz/bin/XEL.CHM",
         "/opt/tz/bin/",
         {"/opt/tz/bin/XEL.CHM", "/opt/tz/share/transzanderxel/XEL.CHM"}},
        {"C:\\Ayuda\\otra.chm",
         "/usr/bin/",
         {"/raiz/Ayuda/otra.chm", "/usr/share/transzanderxel/otra.chm", "/usr/bin/otra.chm"}},
        {"\\ZDXM7\\XEL.CHM", "", {"/raiz/ZDXM7/XEL.CHM"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(helpFileCandidates(c.name, c.exe), c.places) << c.name << " | " << c.exe;
    }
    tz::tables::setRootOverride({});
}

TEST(ExecutableFolderTest, IsTheFolderOfThisTest) {
    const std::string folder = executableFolder();
    ASSERT_FALSE(folder.empty());
#ifdef _WIN32
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / "win_help_tests.exe"));
#else
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / "help_tests"));
#endif
}

// The second place looked in is the copy installed beside the program's folder; a name without a
// file part or an unknown program folder gives none.
TEST(InstalledHelpFileTest, ShareFolderBesideTheProgramsFolder) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"\\ZDXM7\\XEL.CHM", "/usr/bin/", "/usr/share/transzanderxel/XEL.CHM"},
        {"/opt/tz/bin/XEL.CHM", "/opt/tz/bin/", "/opt/tz/share/transzanderxel/XEL.CHM"},
        {"C:AYUDA.CHM", "/usr/local/bin/", "/usr/local/share/transzanderxel/AYUDA.CHM"},
        {"XEL.CHM", "", ""},
        {"\\ZDXM7\\", "/usr/bin/", ""},
        {"", "/usr/bin/", ""},
    };
    for (const auto& [name, exe, expected] : cases) {
        const auto places = helpFileCandidates(name, exe);
        const std::filesystem::path installed = places.size() > 1 ? places[1] : "";
        EXPECT_EQ(installed, std::filesystem::path(expected)) << name << " | " << exe;
    }
}

// An installed program (<prefix>/bin, <prefix>/share/transzanderxel/XEL.CHM) and an exchange
// root that may have its own \ZDXM7\XEL.CHM: the named file wins, the installed one stands in
// when it is missing, and with neither the named (missing) file is what the viewer gets.
TEST(HelpFilePathTest, InstalledFileStandsInForAMissingOne) {
    struct Case {
        const char* what;
        bool named, installed;
        bool besideProgram;  // the name is "XEL.CHM" resolved beside the program, else \ZDXM7
        const char* expected;
    };
    const Case cases[] = {
        {"named file there", true, true, false, "raiz/ZDXM7/XEL.CHM"},
        {"named file missing", false, true, false, "usr/share/transzanderxel/XEL.CHM"},
        {"neither there", false, false, false, "raiz/ZDXM7/XEL.CHM"},
        {"beside the program", true, true, true, "usr/bin/XEL.CHM"},
        {"beside the program missing", false, true, true, "usr/share/transzanderxel/XEL.CHM"},
        {"beside the program, neither", false, false, true, "usr/bin/XEL.CHM"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tz::testing::TempDir dir;
        std::filesystem::create_directories(dir / "usr/bin");
        std::filesystem::create_directories(dir / "raiz/ZDXM7");
        const std::filesystem::path named =
            dir / (c.besideProgram ? "usr/bin/XEL.CHM" : "raiz/ZDXM7/XEL.CHM");
        if (c.named) tz::testing::writeBytes(named, "named");
        if (c.installed) {
            std::filesystem::create_directories(dir / "usr/share/transzanderxel");
            tz::testing::writeBytes(dir / "usr/share/transzanderxel/XEL.CHM", "installed");
        }
        tz::tables::setRootOverride(dir / "raiz");
        const std::string exe = (dir / "usr/bin/").string();
        const std::string name =
            c.besideProgram ? resolveHelpFile("", "XEL.CHM", exe) : "\\ZDXM7\\XEL.CHM";
        EXPECT_EQ(helpFilePath(name, exe), dir / c.expected);
        tz::tables::setRootOverride({});
    }
}

// The help system with the adapter installed over a recording backend, as at start-up.
class RequestTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        viewer = installVexHtmlHelp(system, backend, kExe);
        system.setApplicationHelpFile("XEL.CHM");
        system.setHelpWindow(kWindow);
    }
    std::shared_ptr<RecordingBackend> backend = std::make_shared<RecordingBackend>();
    HelpSystem system;
    std::shared_ptr<TVexHtmlHelpViewer> viewer;
};

TEST_F(RequestTableTest, RequestsBecomeHtmlHelpCalls) {
    struct Case {
        const char* what;
        std::function<HelpOutcome(HelpSystem&)> request;
        Call expected;
    };
    const Case cases[] = {
        {"table of contents",
         [](HelpSystem& s) { return s.showTableOfContents(); },
         {kWindow, "/opt/tz/XEL.CHM", HH_DISPLAY_TOC, {0, ""}}},
        {"keyword",
         [](HelpSystem& s) { return s.keywordHelp("Idioma"); },
         {kWindow, "/opt/tz/XEL.CHM", HH_DISPLAY_INDEX, {0, "Idioma"}}},
        {"topic",
         [](HelpSystem& s) { return s.topicHelp("intro"); },
         {kWindow, "/opt/tz/XEL.CHM::/intro.htm", HH_DISPLAY_TOPIC, {0, ""}}},
        {"topic .HTML",
         [](HelpSystem& s) { return s.topicHelp("intro.HTML"); },
         {kWindow, "/opt/tz/XEL.CHM::/intro.HTML", HH_DISPLAY_TOPIC, {0, ""}}},
        {"context",
         [](HelpSystem& s) { return s.contextHelp(3); },
         {kWindow, "/opt/tz/XEL.CHM", HH_HELP_CONTEXT, {3, ""}}},
        {"context, named file",
         [](HelpSystem& s) { return s.contextHelp(1, "AYUDA.CHM"); },
         {kWindow, "/opt/tz/AYUDA.CHM", HH_HELP_CONTEXT, {1, ""}}},
        {"topic, named file",
         [](HelpSystem& s) { return s.topicHelp("a", "\\ZDXM7\\A.CHM"); },
         {kWindow, "\\ZDXM7\\A.CHM::/a.htm", HH_DISPLAY_TOPIC, {0, ""}}},
    };
    for (const Case& c : cases) {
        backend->calls.clear();
        EXPECT_EQ(c.request(system), HelpOutcome::Shown) << c.what;
        ASSERT_EQ(backend->calls.size(), 1u) << c.what;
        EXPECT_EQ(backend->calls[0], c.expected) << c.what;
    }
}

TEST_F(RequestTableTest, HelpButtonSwitchesTheFile) {
    system.contextHelp(3);
    system.setApplicationHelpFile("\\ZDXM7\\XEL.CHM");
    system.showTableOfContents();
    system.contextHelp(3);
    ASSERT_EQ(backend->calls.size(), 3u);
    EXPECT_EQ(backend->calls[0].file, "/opt/tz/XEL.CHM");
    EXPECT_EQ(backend->calls[1], (Call{kWindow, "\\ZDXM7\\XEL.CHM", HH_DISPLAY_TOC, {}}));
    EXPECT_EQ(backend->calls[2].file, "\\ZDXM7\\XEL.CHM");
}

TEST_F(RequestTableTest, HelpStringsAndShowHelp) {
    EXPECT_EQ(viewer->viewerName(), "VexHtmlHelp");
    EXPECT_EQ(viewer->helpStrings("Plantilla"), std::vector<std::string>{"VexHtmlHelp: Plantilla"});
    EXPECT_TRUE(viewer->canShowTableOfContents());
    // Everything up to the first ":" goes, then the spaces around the keyword.
    viewer->showHelp("VexHtmlHelp:   Hora: inicio  ");
    viewer->showHelp("sin dos puntos");
    ASSERT_EQ(backend->calls.size(), 2u);
    EXPECT_EQ(backend->calls[0].data.keyword, "Hora: inicio");
    EXPECT_EQ(backend->calls[1].data.keyword, "sin dos puntos");
    EXPECT_EQ(backend->calls[0].command, HH_DISPLAY_INDEX);
}

TEST_F(RequestTableTest, NotAChmFileShowsNothing) {
    for (const char* file : {"XEL.HLP", "XEL", ""}) {
        system.setApplicationHelpFile(file);
        EXPECT_EQ(viewer->understandsKeyword("x"), 0) << file;
        EXPECT_FALSE(viewer->understandsTopic("x")) << file;
        EXPECT_FALSE(viewer->understandsContext(3, "")) << file;
        EXPECT_EQ(system.contextHelp(3), HelpOutcome::NoViewer) << file;
        EXPECT_EQ(system.keywordHelp("x"), HelpOutcome::NoViewer) << file;
        EXPECT_EQ(system.topicHelp("x"), HelpOutcome::NoViewer) << file;
        system.showTableOfContents();  // asked of the viewer, which shows nothing
    }
    EXPECT_TRUE(backend->calls.empty());
    // A named .chm file is understood even when the application's file is not one.
    EXPECT_TRUE(viewer->understandsContext(3, "AYUDA.CHM"));
    EXPECT_EQ(viewer->understandsKeyword("x"), 0);
}

TEST_F(RequestTableTest, BackendThatFailedToLoadDoesNothing) {
    backend->loaded = false;
    system.showTableOfContents();
    system.contextHelp(3);
    system.keywordHelp("x");
    system.topicHelp("x");
    system.shutDown();
    EXPECT_TRUE(backend->calls.empty());

    HelpSystem other;
    auto noBackend = installVexHtmlHelp(other, nullptr, kExe);
    other.setApplicationHelpFile("XEL.CHM");
    EXPECT_EQ(other.contextHelp(3), HelpOutcome::Shown);  // taken, and nothing happens
    other.showTableOfContents();
}

TEST_F(RequestTableTest, ShutDownClosesAllAndWithdraws) {
    EXPECT_EQ(system.viewerCount(), 1u);
    system.shutDown();
    ASSERT_EQ(backend->calls.size(), 1u);
    EXPECT_EQ(backend->calls[0], (Call{0, "", HH_CLOSE_ALL, {0, ""}}));
    EXPECT_EQ(system.viewerCount(), 0u);
    EXPECT_EQ(system.contextHelp(3), HelpOutcome::NoViewer);
    // Forgot the manager: its own requests have no help file any more.
    EXPECT_EQ(viewer->helpFile(), "");

    backend->calls.clear();
    viewer->softShutDown();
    EXPECT_EQ(backend->calls, (std::vector<Call>{{0, "", HH_CLOSE_ALL, {0, ""}}}));
}

TEST_F(RequestTableTest, ViewerNumberIsRememberedAndReleased) {
    EXPECT_GT(viewer->viewerId(), 0);
    system.release(viewer->viewerId());
    EXPECT_EQ(system.viewerCount(), 0u);
}

TEST(SelectorTest, ChoosesItsOwnEntries) {
    TVexHtmlHelpViewer v(nullptr, kExe);
    using V = std::vector<std::string>;
    EXPECT_EQ(v.selectKeyword(V{"WinHelp: a", "VexHtmlHelp: a"}), 1);
    EXPECT_EQ(v.selectKeyword(V{"VexHtmlHelp: a", "VexHtmlHelp: b"}), 0);
    EXPECT_EQ(v.selectKeyword(V{"VexHtmlHelpX: a", "Otro: VexHtmlHelp"}), 0);
    EXPECT_EQ(v.selectKeyword(V{"Otro: a", "VexHtmlHelp"}), 1);  // no ":" at all: whole text
    EXPECT_EQ(v.selectKeyword(V{}), 0);
    EXPECT_EQ(v.selectTableOfContents(V{"Alfa", "VexHtmlHelp", "Zeta"}), 1);
    EXPECT_EQ(v.selectTableOfContents(V{"Alfa", "VexHtmlHelp: x"}), -1);
}

// A second viewer that offers everything, to see the selector at work.
class OtherViewer : public HelpViewer {
  public:
    int shown = 0;
    std::string viewerName() const override { return "AOtherViewer"; }
    int understandsKeyword(const std::string&) override { return 1; }
    std::vector<std::string> helpStrings(const std::string& k) override {
        return {"AOtherViewer: " + k};
    }
    bool canShowTableOfContents() override { return true; }
    void showTableOfContents() override { ++shown; }
    void showHelp(const std::string&) override { ++shown; }
    void notifyId(int) override {}
    void softShutDown() override {}
    void shutDown() override {}
    void setManager(HelpManager*) override {}
    bool understandsTopic(const std::string&) override { return false; }
    void displayTopic(const std::string&) override {}
    bool understandsContext(int, const std::string&) override { return false; }
    void displayHelpByContext(int, const std::string&) override {}
};

TEST_F(RequestTableTest, SelectorPicksTheAdapterAmongViewers) {
    auto other = std::make_shared<OtherViewer>();
    system.registerViewer(other);
    EXPECT_EQ(system.showTableOfContents(), HelpOutcome::Shown);
    EXPECT_EQ(system.keywordHelp("Centro"), HelpOutcome::Shown);
    EXPECT_EQ(other->shown, 0);
    ASSERT_EQ(backend->calls.size(), 2u);
    EXPECT_EQ(backend->calls[0].command, HH_DISPLAY_TOC);
    EXPECT_EQ(backend->calls[1].data.keyword, "Centro");
}

TEST(WinHelpTesterTest, WinHelpNeverTakesARequest) {
    TVexWinHelpTester t;
    EXPECT_FALSE(t.canShowALink("a", "XEL.HLP"));
    EXPECT_FALSE(t.canShowTopic("a", "XEL.HLP"));
    EXPECT_FALSE(t.canShowContext(3, "XEL.HLP"));
    EXPECT_EQ(t.helpStrings("enlace"), std::vector<std::string>{": enlace"});
    EXPECT_EQ(t.helpPath(), "");
    EXPECT_EQ(t.defaultHelpFile("XEL.HLP"), "");
}

// A tester that would let WinHelp take everything: the adapter then gets nothing.
class GreedyTester : public WinHelpTester {
  public:
    bool canShowALink(const std::string&, const std::string&) override { return true; }
    bool canShowTopic(const std::string&, const std::string&) override { return true; }
    bool canShowContext(int, const std::string&) override { return true; }
    std::vector<std::string> helpStrings(const std::string&) override { return {}; }
    std::string helpPath() override { return {}; }
    std::string defaultHelpFile(const std::string&) override { return {}; }
};

TEST_F(RequestTableTest, TesterDecidesWhatWinHelpTakes) {
    system.setWinHelpTester(std::make_shared<GreedyTester>());
    EXPECT_EQ(system.contextHelp(3), HelpOutcome::WinHelp);
    EXPECT_EQ(system.topicHelp("a"), HelpOutcome::WinHelp);
    EXPECT_EQ(system.keywordHelp("a"), HelpOutcome::WinHelp);
    EXPECT_TRUE(backend->calls.empty());
    system.setWinHelpTester(std::make_shared<TVexWinHelpTester>());
    EXPECT_EQ(system.contextHelp(3), HelpOutcome::Shown);
}

}  // namespace
