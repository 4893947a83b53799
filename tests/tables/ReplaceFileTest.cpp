// Replacing a file in one step: the new content whole or the old one kept, never a part.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <filesystem>
#include <fstream>

#include "support/TempFolder.h"
#include "tables/EngineError.h"
#include "tables/FileIo.h"

namespace fs = std::filesystem;
using tz::tables::replaceFile;
using tz::tables::replaceFileOrThrow;

class AtomicWrite : public ::testing::Test {
  protected:
    void SetUp() override { dir = tz::testing::makeTempFolder("tz-write"); }
    void TearDown() override { fs::remove_all(dir); }
    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int filesIn(const fs::path& d) {
        return static_cast<int>(std::distance(fs::directory_iterator(d), fs::directory_iterator()));
    }
    fs::path dir;
};

TEST_F(AtomicWrite, ReplacesTheFileExactly) {
    const auto target = dir / "fCUADROS.txt";
    std::ofstream(target) << "old contents that are longer than the new ones";
    replaceFileOrThrow(target, std::string("1CH\r\n\0x\r\n", 9));
    EXPECT_EQ(read(target), std::string("1CH\r\n\0x\r\n", 9));
    EXPECT_EQ(filesIn(dir), 1);  // no temporary left behind
}

TEST_F(AtomicWrite, FailedRenameKeepsWhatWasThereAndSaysWhy) {
    const auto target = dir / "fCUADROS.txt";
    fs::create_directories(target / "inside");  // a folder cannot be replaced by a file
    try {
        replaceFileOrThrow(target, "new\r\n");
        FAIL() << "no error";
    } catch (const tz::tables::EngineError& e) {
        EXPECT_EQ(
            std::string(e.what()).rfind("Cannot create file \"" + target.string() + "\". ", 0), 0u)
            << e.what();
    }
    EXPECT_TRUE(fs::is_directory(target / "inside"));
    EXPECT_EQ(filesIn(dir), 1);
}

// A file-size limit (setrlimit) makes the write fail part-way: POSIX only; on Windows a
// replacement refused by the system is WindowsFilesTest.ReplacingAFileHeldOpenLeavesItWhole.
#ifndef _WIN32
TEST_F(AtomicWrite, FailedWriteKeepsTheOldFile) {
    const auto target = dir / "fCUADROS.txt";
    const std::string old = "1CH01234520241\r\n";
    std::ofstream(target) << old;
    // A file-size limit makes the write fail part-way, as a full disk would.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        replaceFileOrThrow(target, std::string(200000, 'x'));
    } catch (const tz::tables::EngineError& e) {
        threw = true;
        EXPECT_NE(std::string(e.what()).find("Cannot create file"), std::string::npos);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(threw);
    EXPECT_EQ(read(target), old);
    EXPECT_EQ(filesIn(dir), 1);
}
#endif

TEST_F(AtomicWrite, MissingFolderIsAnError) {
    EXPECT_THROW(replaceFileOrThrow(dir / "nope" / "fCUADROS.txt", "x"), tz::tables::EngineError);
}

TEST_F(AtomicWrite, AbandonedBeforeTheRenameKeepsTheOldFile) {
    const auto target = dir / "Zandrix.ini";
    std::ofstream(target) << "old";
    fs::path seen;
    const std::error_code e = replaceFile(target, "new", [&](const fs::path& temp) {
        seen = temp;
        EXPECT_EQ(read(temp), "new");  // the finished temporary file, in the same folder
        return false;
    });
    EXPECT_TRUE(e);
    EXPECT_EQ(seen.parent_path(), dir);
    EXPECT_EQ(read(target), "old");
    EXPECT_EQ(filesIn(dir), 1);
}

#ifndef _WIN32
TEST_F(AtomicWrite, ALinkIsWrittenThroughAndStaysALink) {
    std::ofstream(dir / "real.txt") << "old";
    fs::create_symlink(dir / "real.txt", dir / "fCUADROS.txt");
    replaceFileOrThrow(dir / "fCUADROS.txt", "new");
    EXPECT_TRUE(fs::is_symlink(dir / "fCUADROS.txt"));
    EXPECT_EQ(read(dir / "real.txt"), "new");
    EXPECT_EQ(filesIn(dir), 2);
}
#endif
