// Damaged and unusual table files: each reads what is truly there or fails with an engine
// error naming the file; nothing is read or written out of bounds.
#include <gtest/gtest.h>

#include "TestDir.h"
#include "platform/Error.h"
#include "platform/System.h"
#include "tables/Dataset.h"
#include "tables/EngineError.h"
#include "tables/FileIo.h"
#include "tables/TableFiles.h"

namespace tz::tables {
namespace {

namespace fs = std::filesystem;
using testing::TestDir;

struct BadCase {
    const char* file;
    const char* error;  // part of the error text; "" when the table opens
    const char* rows;   // "NAME=QTY;…" in physical order when it opens
};

std::ostream& operator<<(std::ostream& o, const BadCase& c) { return o << c.file; }

std::string rows(Dataset& d) {
    std::string out;
    for (d.first(); !d.eof(); d.next()) {
        out += d.text(0) + (d.fields().size() > 1 ? "=" + d.text(1) : "") + ";";
    }
    return out;
}

fs::path copyFixture(const TestDir& dir, const char* name) {
    fs::path to = dir.ztemp() / name;
    fs::copy_file(fs::path(TZ_TABLE_FIXTURES) / name, to);
    return to;
}

class BadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInput, ReadsWhatIsThereOrNamesTheProblem) {
    const auto& c = GetParam();
    TestDir dir;
    fs::path p = copyFixture(dir, c.file);
    std::string before = testing::readBytes(p);
    Dataset d;
    if (*c.error) {
        try {
            d.open(p);
            ADD_FAILURE() << "opened " << c.file;
        } catch (const EngineError& e) {
            std::string what = e.what();
            EXPECT_NE(what.find("El archivo " + p.string() + " no es una tabla dBase válida: "),
                      std::string::npos)
                << what;
            EXPECT_NE(what.find(c.error), std::string::npos) << what;
        }
        EXPECT_FALSE(d.isOpen());
    } else {
        d.open(p, OpenMode::ReadOnly);
        EXPECT_EQ(rows(d), c.rows);
        d.close();
    }
    EXPECT_EQ(testing::readBytes(p), before);  // reading never writes
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, BadInput,
    ::testing::Values(BadCase{"truncated_in_header.dbf", "termina dentro de la cabecera", ""},
                      BadCase{"truncated_in_record.dbf", "",
                              "ANA=1.5;BE\xD1"
                              "AT=12;"},
                      BadCase{"count_larger_than_file.dbf", "",
                              "ANA=1.5;BE\xD1"
                              "AT=12;IKER=-3.2;"},
                      BadCase{"count_smaller_than_file.dbf", "",
                              "ANA=1.5;BE\xD1"
                              "AT=12;"},
                      BadCase{"extra_header_bytes.dbf", "",
                              "ANA=1.5;BE\xD1"
                              "AT=12;IKER=-3.2;"},
                      BadCase{"no_header_terminator.dbf", "",
                              "ANA=1.5;BE\xD1"
                              "AT=12;IKER=-3.2;"},
                      BadCase{"no_eof_marker.dbf", "",
                              "ANA=1.5;BE\xD1"
                              "AT=12;IKER=-3.2;"},
                      BadCase{"junk_after_eof_marker.dbf", "",
                              "ANA=1.5;BE\xD1"
                              "AT=12;IKER=-3.2;"},
                      BadCase{"numeric_blank_star_junk.dbf", "",
                              "BLANK=;STAR=;JUNK=;NUL=;COMMA=2.5;"},
                      BadCase{"field_name_without_nul.dbf", "", "xyz;"},
                      BadCase{"deleted_rows.dbf", "", "ANA=1.5;IKER=-3.2;"},
                      BadCase{"not_a_table.dbf", "versión desconocida", ""},
                      BadCase{"empty_file.dbf", "demasiado corto", ""},
                      BadCase{"record_length_too_short.dbf", "longitud del registro", ""},
                      BadCase{"header_length_beyond_file.dbf", "termina dentro de la cabecera", ""},
                      BadCase{"dbase7_version.dbf", "versión desconocida (0x04)", ""},
                      BadCase{"no_fields.dbf", "no tiene campos", ""}));

TEST(BadInput, FieldNameWithoutNulIsCutAtElevenBytes) {
    TestDir dir;
    Dataset d;
    d.open(copyFixture(dir, "field_name_without_nul.dbf"));
    ASSERT_EQ(d.fields().size(), 1u);
    EXPECT_EQ(d.fields()[0].name, "ABCDEFGHIJK");
    EXPECT_EQ(d.text("abcdefghijk"), "xyz");
}

TEST(BadInput, JunkNumbersReadAsZero) {
    TestDir dir;
    Dataset d;
    d.open(copyFixture(dir, "numeric_blank_star_junk.dbf"));
    for (d.first(); !d.eof(); d.next()) {
        if (d.text("NAME") != "COMMA") {
            EXPECT_EQ(d.number("QTY"), 0) << d.text("NAME");
        }
    }
}

struct RepairCase {
    const char* file;
    int rowsAfterAppend;  // 0: the append is refused, the table has rows beyond its count
};

class AppendToForeign : public ::testing::TestWithParam<RepairCase> {};

// Appending to an odd file leaves a sound table: true count, end mark, rows where they belong.
TEST_P(AppendToForeign, LeavesASoundTable) {
    const auto& c = GetParam();
    TestDir dir;
    fs::path p = copyFixture(dir, c.file);
    if (c.rowsAfterAppend == 0) {
        const std::string before = testing::readBytes(p);
        Dataset d;
        d.open(p);
        EXPECT_THROW(d.appendRecord({"NUEVO", "7"}), EngineError);
        d.close();
        EXPECT_EQ(testing::readBytes(p), before);
        return;
    }
    {
        Dataset d;
        d.open(p);
        d.appendRecord({"NUEVO", "7"});
    }
    EXPECT_EQ(testing::headerCount(p), static_cast<std::uint32_t>(c.rowsAfterAppend));
    std::string bytes = testing::readBytes(p);
    Dataset d;
    d.open(p);
    d.last();
    EXPECT_EQ(d.text("NAME"), "NUEVO");
    EXPECT_EQ(d.text("QTY"), "7");
    EXPECT_EQ(d.recordCount(), c.rowsAfterAppend);
    auto hlen = static_cast<unsigned char>(bytes[8]) | (static_cast<unsigned char>(bytes[9]) << 8);
    EXPECT_EQ(static_cast<unsigned char>(bytes[hlen + 12 * c.rowsAfterAppend]), 0x1A);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AppendToForeign,
                         ::testing::Values(RepairCase{"no_eof_marker.dbf", 4},
                                           RepairCase{"count_smaller_than_file.dbf", 0},
                                           RepairCase{"count_larger_than_file.dbf", 4},
                                           RepairCase{"truncated_in_record.dbf", 3},
                                           RepairCase{"extra_header_bytes.dbf", 4},
                                           RepairCase{"junk_after_eof_marker.dbf", 4}));

// A failure of the system reaches the message as a reason in Spanish, naming the user's file
// (on Windows the same words come from GetLastError values).
TEST(BadInput, SystemFailuresAreToldInSpanishNamingTheUsersFile) {
    TestDir dir;
    const fs::path missing = dir.path() / "NO-EXISTE";
    try {
        FileIo io(missing / "X.DBF", FileIo::Access::Read);
        ADD_FAILURE() << "opened a file in a missing folder";
    } catch (const EngineError& e) {
        EXPECT_EQ(std::string(e.what()), "No se puede abrir el archivo " +
                                             platform::utf8(missing / "X.DBF") +
                                             ": no existe el archivo o la carpeta");
        EXPECT_TRUE(platform::isNotFound(e.errorSistema()));
    }
    // A table in a folder that does not exist names the folder, not the engine's new file.
    try {
        createTable(missing / "PROFT.DBF", {{"ABREV", FieldType::Character, 4}}, {});
        ADD_FAILURE() << "made a table in a missing folder";
    } catch (const EngineError& e) {
        EXPECT_EQ(std::string(e.what()), "No se puede crear la tabla " +
                                             platform::utf8(missing / "PROFT.DBF") +
                                             ": no existe la carpeta " + platform::utf8(missing));
    }
}

}  // namespace
}  // namespace tz::tables
