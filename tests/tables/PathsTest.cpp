// Mapping of program names to real paths, and the choice of the exchange root.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>

#include "TestDir.h"
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
    fs::rename(dir.ztemp(), dir.path() / "ZTemp");
    testing::writeBytes(dir.path() / "ZTemp" / "SOLUC.DBF", "x");
    testing::writeBytes(dir.path() / "ZTemp" / "fASIGNAT.txt", "x");
    const auto& c = GetParam();
    std::string e = c.expected;
    fs::path expected = e[0] == '=' ? fs::path(e.substr(1)) : dir.path() / e;
    EXPECT_EQ(mapPath(c.name), expected);
}

INSTANTIATE_TEST_SUITE_P(Names, MapPath,
                         ::testing::Values(MapCase{"\\ZTEMP", "ZTemp"},
                                           MapCase{"\\ZTEMP\\", "ZTemp/"},
                                           MapCase{"C:\\ZTEMP", "ZTemp"},
                                           MapCase{"c:\\ztemp", "ZTemp"},
                                           MapCase{"c:\\ztemp\\soluc.dbf", "ZTemp/SOLUC.DBF"},
                                           MapCase{"\\ZTEMP\\Soluc.DBF", "ZTemp/SOLUC.DBF"},
                                           MapCase{"\\ztemp\\FASIGNAT.TXT", "ZTemp/fASIGNAT.txt"},
                                           MapCase{"\\ZTEMP\\NUEVA.DBF", "ZTemp/NUEVA.DBF"},
                                           MapCase{"\\zdxm7\\XEL.CHM", "ZDXM7/XEL.CHM"},
                                           MapCase{"D:\\NADA\\X.DBF", "NADA/X.DBF"},
                                           MapCase{"/no/such/place/x", "=/no/such/place/x"},
                                           MapCase{"rel/x", "=rel/x"}));

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
        ::setenv(name, value.c_str(), 1);
    }
    void clear(const char* name) {
        save(name);
        ::unsetenv(name);
    }
    ~Env() {
        for (auto& [n, v] : saved_) {
            if (v.first) {
                ::setenv(n.c_str(), v.second.c_str(), 1);
            } else {
                ::unsetenv(n.c_str());
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

}  // namespace
}  // namespace tz::tables
