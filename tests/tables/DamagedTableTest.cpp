// Tables whose header's record count disagrees with the records on disk. Whatever the damage,
// writing never costs a stored row: rows beyond the count make the table refuse every write
// (the bytes stay as they were); a count too high, a file cut in a record, a deleted tail left
// by an interrupted append or junk after the end mark get their true count and end with the
// first write. Read as a job's input, every damaged table is reported by name.
#include <gtest/gtest.h>

#include <functional>

#include "TestDir.h"
#include "tables/Dataset.h"
#include "tables/MdxMaintenance.h"
#include "tables/MdxReader.h"
#include "tables/TableFiles.h"

namespace tz::tables {
namespace {

namespace fs = std::filesystem;
using testing::TestDir;

constexpr int kRows = 27;

struct Raw {
    std::uint32_t count = 0, headerLength = 0, recordLength = 0;
    std::string bytes;
    std::size_t at(std::uint32_t r) const { return headerLength + std::size_t(r) * recordLength; }
    std::string record(std::uint32_t r) const { return bytes.substr(at(r), recordLength); }
    void setCount(std::uint32_t n) {
        for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<char>((n >> (8 * i)) & 0xFF);
        count = n;
    }
};

Raw readRaw(const fs::path& p) {
    Raw r;
    r.bytes = testing::readBytes(p);
    auto u = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(r.bytes[i]));
    };
    r.count = u(4) | u(5) << 8 | u(6) << 16 | u(7) << 24;
    r.headerLength = u(8) | u(9) << 8;
    r.recordLength = u(10) | u(11) << 8;
    return r;
}

// 27 teachers, T01 … T27, as the first job leaves them.
fs::path makeTeachers(const TestDir& dir) {
    fs::path p = dir.ztemp() / "PROFT.DBF";
    createTable(p, {charField("ABREV", 4), charField("NOMBRE", 20)}, {"ABREV"});
    Dataset d;
    d.open(p, OpenMode::Exclusive);
    for (int i = 1; i <= kRows; ++i) {
        char abrev[8];
        std::snprintf(abrev, sizeof abrev, "T%02d", i);
        d.appendRecord({abrev, std::string("Profesor ") + abrev});
    }
    return p;
}

enum class Op { Append, Edit, Delete };
const char* nameOf(Op op) {
    return op == Op::Append ? "append" : op == Op::Edit ? "edit" : "delete";
}

struct DamageCase {
    const char* what;
    std::function<void(Raw&)> damage;
    // The records a reader takes (and a write keeps), and whether writes are refused.
    std::uint32_t usable;
    bool refused;
    const char* inputError;  // what checkIntact says after "está dañada: "; "" when intact
};

const DamageCase kCases[] = {
    {"count below the records (5 of 27)", [](Raw& r) { r.setCount(5); }, 5, true,
     "la cabecera indica 5 registros y el archivo contiene 27"},
    {"count below, the rest marked deleted (an interrupted append)",
     [](Raw& r) {
         r.setCount(24);
         for (std::uint32_t i = 24; i < kRows; ++i) r.bytes[r.at(i)] = '*';
     },
     24, false, ""},
    {"count above the records (1000 for 27)", [](Raw& r) { r.setCount(1000); }, kRows, false,
     "la cabecera indica 1000 registros y el archivo contiene 27"},
    {"file cut in the middle of the last record",
     [](Raw& r) { r.bytes.resize(r.at(kRows - 1) + r.recordLength / 2); }, kRows - 1, false,
     "la cabecera indica 27 registros y el archivo contiene 26 y parte de otro"},
    {"file cut after the last whole record, without its end mark",
     [](Raw& r) { r.bytes.resize(r.at(kRows - 3)); }, kRows - 3, false,
     "la cabecera indica 27 registros y el archivo contiene 24"},
    {"junk after the end mark", [](Raw& r) { r.bytes += std::string(60, ' ') + "basura"; }, kRows,
     false, ""},
};

TEST(DamagedTable, WritesKeepEveryStoredRowAndLeaveATrueCount) {
    for (const DamageCase& c : kCases) {
        for (OpenMode mode : {OpenMode::Shared, OpenMode::Exclusive}) {
            for (Op op : {Op::Append, Op::Edit, Op::Delete}) {
                SCOPED_TRACE(std::string(c.what) + ", " + nameOf(op) +
                             (mode == OpenMode::Shared ? ", shared" : ", exclusive"));
                TestDir dir;
                fs::path p = makeTeachers(dir);
                Raw good = readRaw(p);
                Raw damaged = good;
                c.damage(damaged);
                testing::writeBytes(p, damaged.bytes);

                std::string error;
                try {
                    Dataset d;
                    d.open(p, mode);
                    EXPECT_EQ(d.recordCount(), static_cast<int>(c.usable));
                    d.first();
                    if (op == Op::Append) {
                        d.appendRecord({"NEW", "Nueva"});
                    } else if (op == Op::Edit) {
                        d.edit();
                        d.setText("NOMBRE", "Cambiado");
                        d.post();
                    } else {
                        d.remove();
                    }
                    d.close();
                } catch (const EngineError& e) {
                    error = e.what();
                }
                Raw after = readRaw(p);
                if (c.refused) {
                    EXPECT_EQ(error, "La tabla " + p.string() + " está dañada: " + c.inputError);
                    EXPECT_EQ(after.bytes, damaged.bytes) << "a refused write changed the file";
                    continue;
                }
                ASSERT_EQ(error, "");
                const std::uint32_t want = c.usable + (op == Op::Append ? 1 : 0);
                EXPECT_EQ(after.count, want);
                ASSERT_EQ(after.bytes.size(), after.at(want) + 1)
                    << "the file ends after its records";
                EXPECT_EQ(after.bytes.back(), '\x1A');
                for (std::uint32_t r = 0; r < c.usable; ++r) {
                    std::string rec = good.record(r);
                    if (r == 0 && op == Op::Edit) rec.replace(5, 20, "Cambiado            ");
                    if (r == 0 && op == Op::Delete) rec[0] = '*';
                    EXPECT_EQ(after.record(r), rec) << "record " << r + 1;
                }
                if (op == Op::Append) {
                    EXPECT_EQ(after.record(c.usable).substr(0, 4), " NEW");
                }
                // The index follows the records now counted.
                auto index = mdx::MdxReader::open(mdx::indexFileFor(p));
                ASSERT_TRUE(index.has_value());
                EXPECT_EQ(index->walk(0).size(), want);
                EXPECT_NO_THROW(checkIntact(p));
            }
        }
    }
}

TEST(DamagedTable, InputTablesAreReportedByNameAndNotChanged) {
    for (const DamageCase& c : kCases) {
        SCOPED_TRACE(c.what);
        TestDir dir;
        fs::path p = makeTeachers(dir);
        Raw damaged = readRaw(p);
        c.damage(damaged);
        testing::writeBytes(p, damaged.bytes);
        if (*c.inputError) {
            try {
                checkIntact(dir.ztemp() / "proft");  // found whatever its letter case
                ADD_FAILURE() << "not reported";
            } catch (const EngineError& e) {
                EXPECT_EQ(std::string(e.what()),
                          "La tabla " + p.string() + " está dañada: " + c.inputError);
            }
        } else {
            EXPECT_NO_THROW(checkIntact(p));
        }
        // Reading takes the records that are truly there and changes nothing.
        Dataset d;
        d.open(p, OpenMode::ReadOnly);
        EXPECT_EQ(d.recordCount(), static_cast<int>(c.usable));
        // The run log counts the rows from the file, the same ones.
        EXPECT_EQ(liveRowCount(p), d.recordCount());
        d.close();
        EXPECT_EQ(testing::readBytes(p), damaged.bytes);
    }
    TestDir dir;
    EXPECT_NO_THROW(checkIntact(dir.ztemp() / "MISSING.DBF"));
    testing::writeBytes(dir.ztemp() / "BAD.DBF", "not a table at all, not at all");
    EXPECT_THROW(checkIntact(dir.ztemp() / "BAD.DBF"), EngineError);
    EXPECT_EQ(liveRowCount(dir.ztemp() / "MISSING.DBF"), -1);
    EXPECT_EQ(liveRowCount(dir.ztemp() / "BAD.DBF"), -1);
}

// Rows marked deleted are not counted; a table open in this process counts what it holds there,
// rows not yet written included.
TEST(DamagedTable, LiveRowCountLeavesOutDeletedRows) {
    TestDir dir;
    const fs::path p = makeTeachers(dir);
    {
        Dataset d;
        d.open(p, OpenMode::Exclusive);
        for (int i = 0; i < 3; ++i) d.remove();
    }
    EXPECT_EQ(liveRowCount(p), kRows - 3);
    Dataset d;
    d.open(p, OpenMode::Exclusive);
    d.appendRecord({"T99", "Nuevo"});
    EXPECT_EQ(liveRowCount(p), kRows - 2);
    d.close();
    EXPECT_EQ(liveRowCount(dir.ztemp() / "proft"), kRows - 2);
}

}  // namespace
}  // namespace tz::tables
