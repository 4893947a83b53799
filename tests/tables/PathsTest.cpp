// Mapping of program names to real paths, and the choice of the exchange root.
#include <gtest/gtest.h>
#include <map>

#include "TestDir.h"
#include "support/TempFolder.h"
#include "tables/Paths.h"

namespace tz::tables {
namespace {

namespace fs = std::filesystem;
using testing::TestDir;

struct MapCase {
    const char* name;
    const char* expected;  // relative to the root; "=" + path for a native path
};

class MapPath : public ::testing::TestWithParam<MapCase> {};

TEST_P(MapPath, FindsExistingComponentsIgnoringCase) {
    TestDir dir;
    fs::create_directories(dir.path() / "ZDXM7");
    fs::remove(dir.ztemp());  // made anew in another letter case (a rename may keep the old one)
    fs::create_directories(dir.path() / "ZTemp");
    testing::writeBytes(dir.path() / "ZTemp" / "SOLUC.DBF", "x");
    testing::writeBytes(dir.path() / "ZTemp" / "fASIGNAT.txt", "x");
    const auto& c = GetParam();
    std::string e = c.expected;
    fs::path expected = e[0] == '=' ? fs::path(e.substr(1)) : dir.path() / e;
    EXPECT_EQ(mapPath(c.name), expected);
}

const MapCase kMapCases[] = {MapCase{"\\ZTEMP", "ZTemp"},
                             MapCase{"\\ZTEMP\\", "ZTemp/"},
                             MapCase{"C:\\ZTEMP", "ZTemp"},
                             MapCase{"c:\\ztemp", "ZTemp"},
                             MapCase{"c:\\ztemp\\soluc.dbf", "ZTemp/SOLUC.DBF"},
                             MapCase{"\\ZTEMP\\Soluc.DBF", "ZTemp/SOLUC.DBF"},
                             MapCase{"\\ztemp\\FASIGNAT.TXT", "ZTemp/fASIGNAT.txt"},
                             MapCase{"\\ZTEMP\\NUEVA.DBF", "ZTemp/NUEVA.DBF"},
                             MapCase{"\\zdxm7\\XEL.CHM", "ZDXM7/XEL.CHM"},
                             MapCase{"D:\\NADA\\X.DBF", "NADA/X.DBF"},
#ifndef _WIN32  // on Windows a name rooted with "/" is on the current drive too
                             MapCase{"/no/such/place/x", "=/no/such/place/x"},
#endif
                             MapCase{"rel/x", "=rel/x"}};
INSTANTIATE_TEST_SUITE_P(Names, MapPath, ::testing::ValuesIn(kMapCases));

TEST(Paths, FileAndFolderTestsIgnoreCase) {
    TestDir dir;
    testing::writeBytes(dir.ztemp() / "PROFT.DBF", "x");
    EXPECT_TRUE(fileExists(dir.path() / "ztemp" / "proft.dbf"));
    EXPECT_FALSE(fileExists(dir.path() / "ztemp"));
    EXPECT_TRUE(folderExists(dir.path() / "Ztemp"));
    EXPECT_FALSE(folderExists(dir.path() / "ztemp" / "proft.dbf"));
    EXPECT_EQ(ztempFile("proft.dbf"), dir.ztemp() / "PROFT.DBF");
    EXPECT_EQ(ztemp(), dir.ztemp());
}

// Sets or clears environment variables for one test and restores them afterwards.
class Env {
  public:
    void set(const char* name, const std::string& value) {
        save(name);
        tz::testing::setEnvironment(name, value);
    }
    void clear(const char* name) {
        save(name);
        tz::testing::unsetEnvironment(name);
    }
    ~Env() {
        for (auto& [n, v] : saved_) {
            if (v.first) {
                tz::testing::setEnvironment(n, v.second);
            } else {
                tz::testing::unsetEnvironment(n);
            }
        }
    }

  private:
    void save(const char* name) {
        if (saved_.count(name)) return;
        const char* v = std::getenv(name);
        saved_[name] = {v != nullptr, v ? v : ""};
    }
    std::map<std::string, std::pair<bool, std::string>> saved_;
};

// Linux: HOME and the Wine prefix choose the root; on Windows neither plays any part (the
// drive cases are WindowsFilesTest.NamesFollowTheDrives).
#ifndef _WIN32
TEST(Paths, ExchangeRootPrecedence) {
    TestDir dir;
    setRootOverride({});
    Env env;
    fs::path home = dir.path() / "home";
    fs::create_directories(home / ".wine" / "drive_c");
    env.set("HOME", home.string());
    env.clear("WINEPREFIX");
    env.clear("TRANSZANDERXEL_ROOT");
    EXPECT_EQ(exchangeRoot(), home / ".wine" / "drive_c");
    fs::path prefix = dir.path() / "prefix";
    env.set("WINEPREFIX", prefix.string());
    EXPECT_EQ(exchangeRoot(), home);  // that prefix has no drive_c
    fs::create_directories(prefix / "drive_c");
    EXPECT_EQ(exchangeRoot(), prefix / "drive_c");
    env.set("TRANSZANDERXEL_ROOT", (dir.path() / "r").string());
    EXPECT_EQ(exchangeRoot(), dir.path() / "r");
    setRootOverride(dir.path() / "o");
    EXPECT_EQ(exchangeRoot(), dir.path() / "o");
    EXPECT_EQ(mapPath("\\ZTEMP"), dir.path() / "o" / "ZTEMP");
    setRootOverride({});
    EXPECT_EQ(exchangeRoot(), dir.path() / "r");
}
#endif

// Both systems' mapping, as text, on either system.
struct NameCase {
    const char* name;
    NameRules rules;
    const char* expected;
};

class MapName : public ::testing::TestWithParam<NameCase> {};

TEST_P(MapName, FollowsTheSystemsRules) {
    const NameCase& c = GetParam();
    EXPECT_EQ(mapName(c.name, c.rules), c.expected) << c.name;
}

const NameRules kLinux{false, "/r", ""};
const NameRules kWindows{true, "", "D:"};
const NameRules kWindowsRoot{true, "C:\\run\\raiz", "D:"};

INSTANTIATE_TEST_SUITE_P(
    Names, MapName,
    ::testing::Values(
        // Linux: every drive and the current drive's root are the root folder.
        NameCase{"\\ZTEMP\\SOLUC.DBF", kLinux, "/r/ZTEMP/SOLUC.DBF"},
        NameCase{"C:\\ZTEMP", kLinux, "/r/ZTEMP"}, NameCase{"c:ztemp", kLinux, "/r/ztemp"},
        NameCase{"/home/a/b", kLinux, "/home/a/b"}, NameCase{"rel\\x", kLinux, "rel/x"},
        // Windows: "\ZTEMP" on the current drive, a drive name is a real path already.
        NameCase{"\\ZTEMP\\SOLUC.DBF", kWindows, "D:\\ZTEMP\\SOLUC.DBF"},
        NameCase{"/ZTEMP", kWindows, "D:/ZTEMP"}, NameCase{"C:\\ZTEMP", kWindows, "C:\\ZTEMP"},
        NameCase{"c:\\ztemp\\soluc", kWindows, "c:\\ztemp\\soluc"},
        NameCase{"\\\\srv\\share\\x", kWindows, "\\\\srv\\share\\x"},
        NameCase{"rel\\x", kWindows, "rel\\x"},
        // Windows with a root for every drive: a real path under it is never mapped again.
        NameCase{"\\ZTEMP", kWindowsRoot, "C:\\run\\raiz\\ZTEMP"},
        NameCase{"C:\\ZTEMP\\X.DBF", kWindowsRoot, "C:\\run\\raiz\\ZTEMP\\X.DBF"}));

}  // namespace
}  // namespace tz::tables
