// Production indexes as a Delphi-style dataset engine of the dBase IV family reads them: Free
// Pascal's TDbf opens the table with its .MDX, must list every tag, and walking each tag must
// visit every record once, in key order, with the row's own value. Tables of one key width to
// the widest, numeric keys, from one leaf to trees with full interior levels, built in one go
// and changed entry by entry.
#include <gtest/gtest.h>

#include <random>

#include "MdxSupport.h"
#include "tables/Dataset.h"
#include "tables/MdxMaintenance.h"
#include "tables/MdxReader.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"

namespace tz::tables::mdx {
namespace {

namespace fs = std::filesystem;
using testing::DiskTable;
using testing::expectedEntries;
using testing::readFile;
using testing::tdbfWalk;

std::string trimRight(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// TDbf finds every tag and walks each over every record (deleted ones too: their keys stay
// until the table is packed) in the order the keys give, reading the row's value.
void expectTdbfAgrees(const fs::path& dbf, const std::vector<std::string>& tags) {
    SCOPED_TRACE(dbf.filename().string());
    DiskTable t(dbf);
    auto w = tdbfWalk(dbf);
    ASSERT_EQ(w.tags, tags) << "tags TDbf found in the index";
    for (const auto& name : tags) {
        SCOPED_TRACE("tag " + name);
        const auto& f = t.field(name);
        auto want = expectedEntries(t, f);
        const auto& got = w.walks[name];
        EXPECT_FALSE(got.looped) << "the walk did not end";
        ASSERT_EQ(got.rows.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i) {
            ASSERT_EQ(got.rows[i].first, want[i].recno) << "row " << i;
            if (f.type == 'N') {
                std::string text = trimRight(want[i].key);
                ASSERT_EQ(got.rows[i].second.empty(), text.find_first_not_of(' ') == text.npos);
                if (!got.rows[i].second.empty()) {
                    ASSERT_EQ(std::strtod(got.rows[i].second.c_str(), nullptr),
                              std::strtod(text.c_str(), nullptr))
                        << "row " << i;
                }
            } else {
                ASSERT_EQ(trimRight(got.rows[i].second), trimRight(want[i].key)) << "row " << i;
            }
        }
    }
}

// One field per key width: 1, 4 and 7 bytes (the catalogue's own), 15, the widest character
// key, and a 32-bit integer (a 12-byte numeric key).
const std::vector<FieldDef>& widthsFields() {
    static const std::vector<FieldDef> f = {
        charField("INI", 1),     charField("ABREV", 4), charField("CLAVE", 7), charField("DOC", 15),
        charField("ANCHO", 100), integerField("HORA"),  charField("OTRO", 3)};
    return f;
}
const std::vector<std::string> kTags = {"INI", "ABREV", "CLAVE", "DOC", "ANCHO", "HORA"};

std::vector<std::string> randomRow(std::mt19937& rng, int distinct) {
    auto pick = [&] { return static_cast<int>(rng() % static_cast<unsigned>(distinct)); };
    static const char* const stems[] = {"ARR", "IBA\xD1", "ZUB", "\xC1LV", "KO", "", "ETX"};
    std::vector<std::string> v;
    for (const auto& f : widthsFields()) {
        if (f.type == FieldType::Numeric) {
            v.push_back(std::to_string(pick() - distinct / 4));
        } else {
            std::string s = stems[pick() % 7];
            if (!s.empty()) s += std::to_string(pick());
            v.push_back(s.substr(0, static_cast<std::size_t>(f.width)));
        }
    }
    return v;
}

struct Case {
    const char* what;
    int bulkRows;  // appended held exclusively: the index is built whole at close
    int appends;   // then, shared: every change kept entry by entry, written in place
    int edits;
    int deletes;
    int distinct;
};

TEST(MdxTdbf, EveryTagOfEveryKeyWidthIsWalkedInKeyOrder) {
    const Case cases[] = {
        {"empty table", 0, 0, 0, 0, 1},
        {"one leaf each", 0, 40, 10, 5, 30},
        {"entry by entry, a level of interior nodes", 0, 1900, 300, 120, 60},
        // 17,000 keys fill every interior node the bulk build makes, up to three levels.
        {"built whole, then changed entry by entry", 17000, 300, 400, 200, 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::ScratchDir root;
        setRootOverride(root.path());
        fs::path dbf = root.path() / "ANCHOS.DBF";
        createTable(dbf, widthsFields(), kTags);
        std::mt19937 rng(static_cast<unsigned>(c.bulkRows + c.appends));
        if (c.bulkRows > 0) {
            Dataset d;
            d.open(dbf, OpenMode::Exclusive);
            for (int r = 0; r < c.bulkRows; ++r) d.appendRecord(randomRow(rng, c.distinct));
        }
        {
            Dataset d;
            d.open(dbf, OpenMode::Shared);
            for (int r = 0; r < c.appends; ++r) d.appendRecord(randomRow(rng, c.distinct));
            d.setIndex("DOC");
            for (int i = 0; i < c.edits && !d.isEmpty(); ++i) {
                d.moveTo(static_cast<int>(rng() % static_cast<unsigned>(d.recordCount())));
                d.edit();
                auto v = randomRow(rng, c.distinct);
                for (std::size_t f = 0; f < v.size(); ++f) d.setText(static_cast<int>(f), v[f]);
                d.post();
            }
            for (int i = 0; i < c.deletes && !d.isEmpty(); ++i) {
                d.moveTo(static_cast<int>(rng() % static_cast<unsigned>(d.recordCount())));
                d.remove();
            }
        }
        expectTdbfAgrees(dbf, kTags);
        MdxReader reader(readFile(indexFileFor(dbf)));
        auto problems = reader.check();
        EXPECT_TRUE(problems.empty()) << problems.front();
        setRootOverride({});
    }
}

// The index of a table that another program wrote with another language driver carries that
// driver, so engines that compare the two still open it.
TEST(MdxTdbf, IndexTakesTheLanguageDriverOfTheTable) {
    testing::ScratchDir root;
    setRootOverride(root.path());
    fs::path dbf = root.path() / "OTRO.DBF";
    createTable(dbf, {charField("ABREV", 4)}, {"ABREV"});
    std::string bytes = readFile(dbf);
    bytes[29] = '\x58';  // Windows ANSI, Western Europe
    testing::writeFile(dbf, bytes);
    {
        Dataset d;
        d.open(dbf, OpenMode::Shared);
        for (const char* k : {"ZUB", "ARR", "KO"}) d.appendRecord({k});
    }
    EXPECT_EQ(MdxReader(readFile(indexFileFor(dbf))).info().languageDriver, 0x58);
    expectTdbfAgrees(dbf, {"ABREV"});
    setRootOverride({});
}

}  // namespace
}  // namespace tz::tables::mdx
