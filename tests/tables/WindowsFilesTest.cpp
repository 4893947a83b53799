// Windows counterparts of the Linux-only process tests: another program holding a table (here
// another handle, which Windows treats as another holder for locks and share modes), replacing
// a file that is held open, the exchange folder hold, and drive letters.
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "TestDir.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "tables/Dataset.h"
#include "tables/EngineError.h"
#include "tables/FileIo.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"

namespace tz::tables {
namespace {

namespace fs = std::filesystem;
using testing::TestDir;

// A table PROFT.DBF with one row and its production index.
fs::path makeTable(const TestDir& dir) {
    const fs::path p = dir.ztemp() / "PROFT.DBF";
    createTable(p, {{"ABREV", FieldType::Character, 4}, {"NOMBRE", FieldType::Character, 20}},
                {"ABREV"});
    Dataset d;
    d.open(p, OpenMode::Shared);
    d.appendRecord({"ANA", "Ana"});
    return p;
}

std::string bytesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Another holder of a file: a handle of its own with the given share mode.
struct OtherHandle {
    HANDLE h;
    OtherHandle(const fs::path& p, DWORD access, DWORD share)
        : h(CreateFileW(p.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~OtherHandle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    bool lockWhole() {
        OVERLAPPED o{};
        return LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                          MAXDWORD, &o) != 0;
    }
};

bool refusedAsBusy(const std::function<void()>& f) {
    try {
        f();
    } catch (const EngineError& e) {
        return std::string(e.what()).find("siendo usad") != std::string::npos;
    }
    return false;
}

// How each kind of hold by another program meets each use of the table.
struct HoldCase {
    const char* what;
    bool lock;    // an exclusive LockFileEx over the whole file (else a share mode)
    DWORD share;  // the other program's share mode
    OpenMode mode;
    bool refused;
};

class HeldByAnother : public ::testing::TestWithParam<HoldCase> {};

TEST_P(HeldByAnother, RefusesWhatTheHoldExcludes) {
    const HoldCase& c = GetParam();
    TestDir dir;
    const fs::path p = makeTable(dir);
    OtherHandle other(p, GENERIC_READ | (c.lock ? GENERIC_WRITE : 0), c.share);
    ASSERT_NE(other.h, INVALID_HANDLE_VALUE);
    if (c.lock) {
        ASSERT_TRUE(other.lockWhole());
    }
    Dataset d;
    const bool refused = refusedAsBusy([&] { d.open(p, c.mode); });
    EXPECT_EQ(refused, c.refused) << c.what;
    if (!refused) {
        EXPECT_EQ(d.recordCount(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeldByAnother,
    ::testing::Values(HoldCase{"locked whole, shared use", true, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               OpenMode::Shared, true},
                      HoldCase{"locked whole, exclusive use", true,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, OpenMode::Exclusive, true},
                      HoldCase{"deny-write share, shared use", false, FILE_SHARE_READ,
                               OpenMode::Shared, true},
                      HoldCase{"deny-write share, exclusive use", false, FILE_SHARE_READ,
                               OpenMode::Exclusive, true},
                      HoldCase{"deny-write share, reading only", false, FILE_SHARE_READ,
                               OpenMode::ReadOnly, false},
                      HoldCase{"open sharing everything, shared use", false,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, OpenMode::Shared, false}));

TEST(WindowsFiles, OurHoldsKeepAnotherProgramOut) {
    TestDir dir;
    const fs::path p = makeTable(dir);
    Dataset d;
    d.open(p, OpenMode::Exclusive);
    OtherHandle other(p, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(other.h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(other.lockWhole());  // our whole-file lock is in the way
    d.close();
    d.open(p, OpenMode::Shared);
    EXPECT_FALSE(other.lockWhole());  // so is our shared lock on byte 0
    d.close();
    EXPECT_TRUE(other.lockWhole());
}

TEST(WindowsFiles, ReplacingAFileHeldOpenLeavesItWhole) {
    TestDir dir;
    const fs::path f = dir.path() / "fCUADROS.txt";
    testing::writeBytes(f, "anterior");
    {
        OtherHandle other(f, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_NE(other.h, INVALID_HANDLE_VALUE);
        const std::error_code e = replaceFile(f, "nuevo");
        EXPECT_TRUE(platform::isBusy(e)) << e.message();
        EXPECT_EQ(bytesOf(f), "anterior");
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 2u);  // ZTEMP and the file: no temporary left behind
    EXPECT_FALSE(replaceFile(f, "nuevo"));
    EXPECT_EQ(bytesOf(f), "nuevo");
}

// A table made anew while another program holds its table or its index: refused, and the old
// table keeps its rows and its index.
TEST(WindowsFiles, MakingATableAnewNeverLeavesItWithoutItsIndex) {
    for (const char* held : {"PROFT.DBF", "PROFT.MDX"}) {
        TestDir dir;
        const fs::path p = makeTable(dir);
        const fs::path mdx = dir.ztemp() / "PROFT.MDX";
        ASSERT_TRUE(fs::exists(mdx));
        const std::string dbfBefore = bytesOf(p), mdxBefore = bytesOf(mdx);
        {
            OtherHandle other(dir.ztemp() / held, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
            ASSERT_NE(other.h, INVALID_HANDLE_VALUE);
            EXPECT_TRUE(refusedAsBusy([&] {
                createTable(p, {{"ABREV", FieldType::Character, 4}}, {"ABREV"});
            })) << held;
            EXPECT_FALSE(deleteTableFiles(p)) << held;
        }
        EXPECT_EQ(bytesOf(p), dbfBefore) << held;
        EXPECT_EQ(bytesOf(mdx), mdxBefore) << held;
        Dataset d;
        d.open(p, OpenMode::Shared);
        EXPECT_EQ(d.recordCount(), 1) << held;
        d.close();
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.ztemp())) ++files;
        EXPECT_EQ(files, 2u) << held;  // nothing moved aside is left
    }
}

TEST(WindowsFiles, OneTableUnderEverySpelling) {
    TestDir dir;
    const fs::path p = makeTable(dir);
    Dataset a, b, c;
    a.open(dir.ztemp() / "proft.dbf", OpenMode::Shared);
    b.open(dir.ztemp() / "PROFT", OpenMode::Shared);
    c.open(mapPath("c:\\ztemp\\Proft"), OpenMode::Exclusive);  // one table: no conflict
    a.appendRecord({"BEA", "Bea"});
    EXPECT_EQ(b.recordCount(), 2);
    EXPECT_EQ(c.recordCount(), 2);
}

TEST(WindowsFiles, TheExchangeFolderIsHeldOnce) {
    TestDir dir;
    platform::FolderHold first, second;
    ASSERT_FALSE(first.take(dir.ztemp()));
    EXPECT_TRUE(platform::isBusy(second.take(dir.ztemp())));
    EXPECT_TRUE(platform::isBusy(second.take(dir.path() / "ztemp" / ".")));  // another spelling
    first.release();
    EXPECT_FALSE(second.take(dir.ztemp()));
    EXPECT_TRUE(platform::isNotFound(first.take(dir.path() / "NADA")));
}

// Without an override, names follow the drives: "\ZTEMP" on the current drive, which follows
// the text folder; "C:\ZTEMP" on drive C.
TEST(WindowsFiles, NamesFollowTheDrives) {
    setRootOverride({});
    const std::string drive = fs::current_path().root_name().string();
    EXPECT_EQ(mapPath("\\ZTEMP\\SOLUC.DBF"), fs::path(drive + "\\ZTEMP\\SOLUC.DBF"));
    EXPECT_EQ(mapPath("C:\\ZTEMP"), fs::path("C:\\ZTEMP"));
    followTextFolder("C:\\users");
    EXPECT_EQ(mapPath("\\ZTEMP"), fs::path("C:\\ZTEMP"));
    EXPECT_EQ(exchangeRoot(), fs::path("C:\\"));
    followTextFolder(fs::current_path());
    EXPECT_EQ(mapPath("\\ZTEMP"), fs::path(drive + "\\ZTEMP"));
}

// The system's reasons in Spanish: each kind of GetLastError value gets the words its errno
// counterpart gets (the fault hooks and the engine's messages on Linux give those).
TEST(WindowsFiles, SystemReasonsInSpanishAsOnLinux) {
    struct Reason {
        DWORD code;
        int errnoValue;
        const char* text;
    };
    const Reason cases[] = {
        {ERROR_DISK_FULL, ENOSPC, "no queda espacio en el disco"},
        {ERROR_HANDLE_DISK_FULL, ENOSPC, "no queda espacio en el disco"},
        {ERROR_ACCESS_DENIED, EACCES, "permiso denegado"},
        {ERROR_FILE_NOT_FOUND, ENOENT, "no existe el archivo o la carpeta"},
        {ERROR_PATH_NOT_FOUND, ENOENT, "no existe el archivo o la carpeta"},
        {ERROR_WRITE_PROTECT, EROFS, "el disco o la carpeta es de sólo lectura"},
        {ERROR_TOO_MANY_OPEN_FILES, EMFILE, "hay demasiados archivos abiertos"},
        {ERROR_IO_DEVICE, EIO, "error de entrada/salida en el disco"},
        {ERROR_CRC, EIO, "error de entrada/salida en el disco"},
        {ERROR_SHARING_VIOLATION, EBUSY, "el archivo está en uso"},
        {ERROR_LOCK_VIOLATION, EAGAIN, "el archivo está bloqueado por otro programa"},
    };
    for (const Reason& r : cases) {
        const std::error_code windows(static_cast<int>(r.code), std::system_category());
        EXPECT_EQ(platform::errorText(windows), r.text) << r.code;
        EXPECT_EQ(platform::errorText(platform::errnoError(r.errnoValue)), r.text) << r.code;
    }
    // Any other failure says its number and the system's own words.
    const std::string other =
        platform::errorText(std::error_code(ERROR_INVALID_FUNCTION, std::system_category()));
    EXPECT_EQ(other.rfind("error del sistema 1 (", 0), 0u) << other;
    EXPECT_GT(other.size(), std::string("error del sistema 1 ()").size()) << other;
}

}  // namespace
}  // namespace tz::tables
