// The line-preserving INI editor and the atomic run-status write.
#include <gtest/gtest.h>

#include <stdexcept>

#include "TempDir.h"
#include "app/IniFile.h"

namespace {

using tz::app::IniFile;
using namespace tz::testing;

struct EditCase {
    const char* name;
    std::string before;
    std::string section, key, value;
    std::string after;
};

class IniEdit : public ::testing::TestWithParam<EditCase> {};

TEST_P(IniEdit, ChangesOnlyWhatItMust) {
    const auto& c = GetParam();
    IniFile ini = IniFile::parse(c.before);
    ini.setValue(c.section, c.key, c.value);
    EXPECT_EQ(ini.bytes(), c.after);
    EXPECT_EQ(IniFile::parse(ini.bytes()).value(c.section, c.key), c.value);
}

const std::string T = "Transformadores", K = "Transformado";

INSTANTIATE_TEST_SUITE_P(
    Cases, IniEdit,
    ::testing::Values(
        EditCase{"NewFileGetsCrLf", "", T, K, "0", "[Transformadores]\r\nTransformado=0\r\n"},
        EditCase{"ReplacesOnlyTheValue",
                 "; Zandrix\r\n[Transformadores]\r\nTransformado=1\r\nOtro=x\r\n", T, K, "-1",
                 "; Zandrix\r\n[Transformadores]\r\nTransformado=-1\r\nOtro=x\r\n"},
        EditCase{"KeepsSpacesAroundEquals", "[Transformadores]\nTransformado = 7\n", T, K, "1",
                 "[Transformadores]\nTransformado = 1\n"},
        EditCase{"NamesIgnoreCaseAndKeepTheirSpelling", "[TRANSFORMADORES]\ntransformado=5\n", T, K,
                 "1", "[TRANSFORMADORES]\ntransformado=1\n"},
        EditCase{"SpacesAroundNames", "[ Transformadores ]\n  Transformado =2\n", T, K, "0",
                 "[ Transformadores ]\n  Transformado =0\n"},
        EditCase{"LfFileStaysLf", "[Zandrix]\nRuta=C:\\Data\\x\n", T, K, "1",
                 "[Zandrix]\nRuta=C:\\Data\\x\n\n[Transformadores]\nTransformado=1\n"},
        EditCase{"NewSectionAfterOthersCrLf", "[A]\r\nb=1\r\n\r\n", T, K, "0",
                 "[A]\r\nb=1\r\n\r\n[Transformadores]\r\nTransformado=0\r\n"},
        EditCase{"LastLineWithoutEnding", "[A]\r\nb=1", T, K, "0",
                 "[A]\r\nb=1\r\n\r\n[Transformadores]\r\nTransformado=0\r\n"},
        EditCase{"KeyAddedAfterLastKeyOfSection",
                 "[Transformadores]\r\nOtro=1\r\n; nota\r\n\r\n[B]\r\nTransformado=9\r\n", T, K,
                 "1",
                 "[Transformadores]\r\nOtro=1\r\nTransformado=1\r\n; nota\r\n\r\n[B]\r\n"
                 "Transformado=9\r\n"},
        EditCase{"EmptySectionAtEndWithoutEnding", "[X]\r\na=1\r\n[Transformadores]", T, K, "0",
                 "[X]\r\na=1\r\n[Transformadores]\r\nTransformado=0\r\n"},
        EditCase{"CommentThatLooksLikeTheKey", "[Transformadores]\n;Transformado=3\n", T, K, "1",
                 "[Transformadores]\nTransformado=1\n;Transformado=3\n"},
        EditCase{"FirstOfRepeatedKeys", "[Transformadores]\nTransformado=1\nTransformado=2\n", T, K,
                 "0", "[Transformadores]\nTransformado=0\nTransformado=2\n"},
        EditCase{"MixedEndingsKept", "[A]\nx=1\r\n[Transformadores]\r\nTransformado=1\n", T, K, "0",
                 "[A]\nx=1\r\n[Transformadores]\r\nTransformado=0\n"},
        EditCase{"Utf8BomBeforeTheFirstSection",
                 "\xEF\xBB\xBF[Transformadores]\r\nTransformado=1\r\n", T, K, "0",
                 "\xEF\xBB\xBF[Transformadores]\r\nTransformado=0\r\n"},
        EditCase{"SingleByteTextUntouched", "[Centro]\r\nNombre=Ikastola Añorga\xF1\r\n", T, K, "0",
                 "[Centro]\r\nNombre=Ikastola "
                 "Añorga\xF1\r\n\r\n[Transformadores]\r\nTransformado=0\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniValue, ReadsOnlyFromTheFirstMatchingSection) {
    const IniFile ini = IniFile::parse("[a]\nk=1\n[b]\nk=2\n[A]\nk=3\n");
    EXPECT_EQ(ini.value("A", "K"), "1");
    EXPECT_EQ(ini.value("b", "k"), "2");
    EXPECT_EQ(ini.value("c", "k"), std::nullopt);
}

TEST(RunStatus, CreatesTheFileAndLaterKeepsTheRest) {
    TempDir dir;
    tz::app::writeRunStatus(dir / "Zandrix.ini", 0);
    EXPECT_EQ(readBytes(dir / "Zandrix.ini"), "[Transformadores]\r\nTransformado=0\r\n");
    writeBytes(dir / "Zandrix.ini",
               "; host\r\n[Zandrix]\r\nRuta=C:\\H\r\n[Transformadores]\r\nTransformado=0\r\n");
    tz::app::writeRunStatus(dir / "Zandrix.ini", -1);
    EXPECT_EQ(readBytes(dir / "Zandrix.ini"),
              "; host\r\n[Zandrix]\r\nRuta=C:\\H\r\n[Transformadores]\r\nTransformado=-1\r\n");
}

TEST(RunStatus, FindsTheFileWhateverItsLetterCase) {
    TempDir dir;
    writeBytes(dir / "ZANDRIX.INI", "[Transformadores]\nTransformado=1\n");
    tz::app::writeRunStatus(dir / "Zandrix.ini", 0);
#ifndef _WIN32  // two spellings are two files only where letter case counts
    EXPECT_FALSE(std::filesystem::exists(dir / "Zandrix.ini"));
#endif
    EXPECT_EQ(readBytes(dir / "ZANDRIX.INI"), "[Transformadores]\nTransformado=0\n");
}

TEST(RunStatus, MissingFolderFailsWithThePath) {
    TempDir dir;
    const auto file = dir / "no-such-folder" / "Zandrix.ini";
    try {
        tz::app::writeRunStatus(file, 1);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + file.string());
    }
}

TEST(RunStatus, AFileThatIsAFolderFails) {
    TempDir dir;
    std::filesystem::create_directory(dir / "Zandrix.ini");
    EXPECT_THROW(tz::app::writeRunStatus(dir / "Zandrix.ini", 1), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "Zandrix.ini"));
}

TEST(RunStatus, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    TempDir dir;
    const std::string old = "[Transformadores]\r\nTransformado=1\r\n";
    writeBytes(dir / "Zandrix.ini", old);
    std::filesystem::path seen;
    EXPECT_THROW(tz::app::writeRunStatus(dir / "Zandrix.ini", -1,
                                         [&](const std::filesystem::path& tmp) {
                                             seen = tmp;
                                             // The new content is complete before the rename.
                                             EXPECT_EQ(readBytes(tmp),
                                                       "[Transformadores]\r\nTransformado=-1\r\n");
                                             return false;
                                         }),
                 std::runtime_error);
    EXPECT_EQ(seen.parent_path(), dir.path);
    EXPECT_EQ(readBytes(dir / "Zandrix.ini"), old);
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path)) ++files;
    EXPECT_EQ(files, 1);
}

#ifndef _WIN32  // Linux-specific: POSIX permission bits
TEST(RunStatus, KeepsThePermissionsOfTheOldFile) {
    TempDir dir;
    writeBytes(dir / "Zandrix.ini", "[Transformadores]\nTransformado=1\n");
    namespace fs = std::filesystem;
    fs::permissions(dir / "Zandrix.ini",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    tz::app::writeRunStatus(dir / "Zandrix.ini", 0);
    EXPECT_EQ(fs::status(dir / "Zandrix.ini").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
#endif

#ifndef _WIN32  // Linux-specific: symbolic links (which Windows programs do not make)
TEST(RunStatus, WritesThroughASymbolicLink) {
    TempDir dir;
    writeBytes(dir / "real.ini", "[Transformadores]\nTransformado=1\n");
    std::filesystem::create_symlink(dir / "real.ini", dir / "Zandrix.ini");
    tz::app::writeRunStatus(dir / "Zandrix.ini", 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "Zandrix.ini"));
    EXPECT_EQ(readBytes(dir / "real.ini"), "[Transformadores]\nTransformado=0\n");
}
#endif

}  // namespace
