// Production indexes of tables written through the engine: every indexed table of the catalogue
// created and filled, then posts, key edits, deletes, re-creation and a kept export; after each,
// Perl XBase::Index walks every tag of NAME.MDX and finds each record's key, in order, against
// the .DBF as it is on disk (deleted records included), our checker finds nothing wrong, the
// header flags are set, and python dbfread still reads the rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "MdxSupport.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/FileIo.h"
#include "tables/MdxKey.h"
#include "tables/MdxMaintenance.h"
#include "tables/MdxReader.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"

namespace tz::tables::mdx {
namespace {

namespace fs = std::filesystem;
using testing::DiskTable;
using testing::expectedEntries;
using testing::perlWalk;
using testing::readFile;
using testing::run;
using testing::writeFile;

// The exchange root for one test.
class Root {
  public:
    Root() {
        setRootOverride(dir_.path());
        fs::create_directories(dir_.path() / "ZTEMP");
    }
    ~Root() { setRootOverride({}); }
    fs::path file(const std::string& name) const { return dir_.path() / "ZTEMP" / name; }

  private:
    testing::ScratchDir dir_;
};

// The index beside the table agrees with the table on disk, read by Perl XBase::Index.
void expectIndexAgrees(const fs::path& dbf, const std::vector<std::string>& tags) {
    SCOPED_TRACE(dbf.filename().string());
    DiskTable t(dbf);
    fs::path mdx = indexFileFor(dbf);
    ASSERT_TRUE(fs::exists(mdx)) << mdx;
    EXPECT_EQ(t.flag28, 1);
    for (const auto& f : t.fields) {
        bool indexed = std::find(tags.begin(), tags.end(), f.name) != tags.end();
        EXPECT_EQ(f.mdxFlag, indexed ? 1 : 0) << f.name;
    }
    MdxReader reader(readFile(mdx));
    auto problems = reader.check();
    EXPECT_TRUE(problems.empty()) << problems.front();
    std::string base = dbf.stem().string();
    std::transform(base.begin(), base.end(), base.begin(), ::toupper);
    EXPECT_EQ(reader.info().tableName, base);
    auto perl = perlWalk(mdx);
    ASSERT_EQ(perl.size(), tags.size());
    for (const auto& name : tags) {
        SCOPED_TRACE("tag " + name);
        const auto& f = t.field(name);
        auto want = expectedEntries(t, f);
        const auto& got = perl.at(name).entries;
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i) {
            ASSERT_EQ(got[i].recno, want[i].recno) << "entry " << i;
            if (f.type == 'N') {
                ASSERT_EQ(got[i].key.size(), 12u);
                NumericKey k = numericKey(std::string_view(want[i].key));
                ASSERT_EQ(got[i].key, std::string(reinterpret_cast<const char*>(k.data()), 12));
                double v = std::strtod(want[i].key.c_str(), nullptr);
                ASSERT_EQ(std::strtod(numericKeyText(k.data()).c_str(), nullptr), v);
            } else {
                ASSERT_EQ(got[i].key, want[i].key) << "entry " << i;
            }
        }
    }
}

// python dbfread reads the live rows; returns how many.
int dbfreadRows(const fs::path& dbf) {
    int status = 0;
    std::string out =
        run("/usr/bin/python3 -c \"import dbfread,sys; t=dbfread.DBF(sys.argv[1], "
            "encoding='latin-1'); print(sum(1 for r in t))\" '" +
                dbf.string() + "' 2>&1",
            &status);
    EXPECT_EQ(status, 0) << out;
    return std::atoi(out.c_str());
}

std::vector<std::string> tagsOf(const TableLayout& l) {
    std::vector<std::string> v;
    for (const auto& i : l.indexes) v.push_back(i.substr(0, 10));
    return v;
}

// Values for a row of a layout: few distinct keys, so every tag has long runs of duplicates.
std::vector<std::string> rowFor(const TableLayout& l, int row, std::mt19937& rng) {
    std::vector<std::string> v;
    for (const auto& f : l.fields) {
        if (f.type == FieldType::Numeric) {
            v.push_back(std::to_string(static_cast<int>(rng() % 40) - 5));
        } else if (f.type == FieldType::Logical) {
            v.push_back(row % 2 ? "T" : "F");
        } else {
            static const char* names[] = {"AAA", "IBA\xD1", "ZOE", "MIK", "\xC1LA", "KO", ""};
            std::string s = names[rng() % 7];
            if (f.width > 4) s += std::to_string(rng() % 9);
            v.push_back(s.substr(0, static_cast<std::size_t>(f.width)));
        }
    }
    return v;
}

TEST(MdxTables, EveryIndexedCatalogueTableCreatedAndFilled) {
    Root root;
    std::mt19937 rng(11);
    for (const TableLayout* l : catalogue::all()) {
        createTable(ztemp(), *l);
        fs::path dbf = root.file(l->fileName);
        if (l->indexes.empty()) {
            EXPECT_FALSE(fs::exists(indexFileFor(dbf))) << l->fileName;
            EXPECT_EQ(DiskTable(dbf).flag28, 0) << l->fileName;
            continue;
        }
        expectIndexAgrees(dbf, tagsOf(*l));  // empty tags
        Dataset d;
        d.open(dbf, OpenMode::Shared);
        for (int r = 0; r < 700; ++r) d.appendRecord(rowFor(*l, r, rng));
        // Rows through edit and post, and deletes.
        d.setIndex(l->indexes.front());
        for (int i = 0; i < 50; ++i) {
            d.moveTo(static_cast<int>(rng() % static_cast<unsigned>(d.recordCount())));
            d.edit();
            auto v = rowFor(*l, i, rng);
            for (std::size_t f = 0; f < v.size(); ++f) d.setText(static_cast<int>(f), v[f]);
            d.post();
        }
        for (int i = 0; i < 30; ++i) {
            d.moveTo(static_cast<int>(rng() % static_cast<unsigned>(d.recordCount())));
            d.remove();
        }
        // Shared: the index on disk is already true while the table is open.
        expectIndexAgrees(dbf, tagsOf(*l));
        d.close();
        expectIndexAgrees(dbf, tagsOf(*l));
        EXPECT_EQ(dbfreadRows(dbf), 700 - 30);
    }
}

TEST(MdxTables, LargeTableWithDuplicatesAndDeletedRows) {
    Root root;
    const auto& l = catalogue::CUADROH2();
    createTable(ztemp(), l);
    fs::path dbf = root.file(l.fileName);
    std::mt19937 rng(5);
    {
        Dataset d;
        d.open(dbf, OpenMode::Exclusive);
        for (int r = 0; r < 21000; ++r) d.appendRecord(rowFor(l, r, rng));
        d.setIndex("DOC");
        for (int i = 0; i < 2000; ++i) {
            d.moveTo(static_cast<int>(rng() % static_cast<unsigned>(d.recordCount())));
            d.remove();
        }
        for (int i = 0; i < 1000; ++i) {  // key edits through the grid-like path
            d.moveTo(static_cast<int>(rng() % static_cast<unsigned>(d.recordCount())));
            d.edit();
            d.setText("DOC", std::to_string(rng() % 50));
            d.setText("ABREVPROF", std::to_string(rng() % 20));
            d.post();
        }
    }
    expectIndexAgrees(dbf, tagsOf(l));
    MdxReader reader(readFile(indexFileFor(dbf)));
    int deep = 0;
    for (const auto& t : reader.info().tags) {
        deep = std::max(deep, static_cast<int>(t.sizePages / kPagesPerBlock));
    }
    EXPECT_GT(deep, 400);  // DOC: 21,000 keys of 50 a node, under an interior level
    EXPECT_EQ(dbfreadRows(dbf), 19000);
}

// While an Exclusive table batches its rows, the index on disk stays with the rows on disk.
TEST(MdxTables, ExclusiveTableIndexFollowsItsFlushes) {
    Root root;
    const auto& l = catalogue::PROFT();
    createTable(ztemp(), l);
    fs::path dbf = root.file(l.fileName);
    std::mt19937 rng(9);
    Dataset d;
    d.open(dbf, OpenMode::Exclusive);
    for (int r = 0; r < 300; ++r) d.appendRecord(rowFor(l, r, rng));
    expectIndexAgrees(dbf, {"ABREV"});  // nothing on disk yet: empty table, empty tag
    EXPECT_EQ(DiskTable(dbf).records.size(), 0u);
    d.flush();
    EXPECT_EQ(DiskTable(dbf).records.size(), 300u);
    expectIndexAgrees(dbf, {"ABREV"});
    d.first();
    d.edit();
    d.setText("ABREV", "ZZZZ");
    d.post();
    d.close();
    expectIndexAgrees(dbf, {"ABREV"});
}

TEST(MdxTables, KeptExportReopenedAndExtended) {
    Root root;
    const auto& l = catalogue::CUADROH3();
    createTable(ztemp(), l);
    fs::path dbf = root.file(l.fileName);
    std::mt19937 rng(2);
    for (int session = 0; session < 4; ++session) {
        Dataset d;
        d.open(dbf, session % 2 ? OpenMode::Exclusive : OpenMode::Shared);
        for (int r = 0; r < 150; ++r) d.appendRecord(rowFor(l, r, rng));
        d.setIndex("PROF_DIA_SES");
        for (d.first(); !d.eof(); d.next()) {
            if (rng() % 5 == 0) {
                d.edit();
                d.setText("REG_MOD", "N");
                d.setText("DOC", std::to_string(rng() % 7));
                d.post();
            }
        }
        d.close();
        expectIndexAgrees(dbf, tagsOf(l));
    }
    // Re-created: the table and its index start again empty.
    createTable(ztemp(), l);
    expectIndexAgrees(dbf, tagsOf(l));
    EXPECT_EQ(DiskTable(dbf).records.size(), 0u);
}

// A bulk load into a shared table: the header stops claiming the index while the rows pour
// in, and the index is built once, true, when the table closes.
TEST(MdxTables, SharedBulkLoadIndexIsBuiltAtClose) {
    Root root;
    const auto& l = catalogue::CUADROH3();
    createTable(ztemp(), l);
    fs::path dbf = root.file(l.fileName);
    std::mt19937 rng(6);
    Dataset d;
    d.open(dbf, OpenMode::Shared);
    for (int r = 0; r < 1500; ++r) d.appendRecord(rowFor(l, r, rng));
    expectIndexAgrees(dbf, tagsOf(l));  // still kept after each post
    for (int r = 0; r < 1500; ++r) d.appendRecord(rowFor(l, r, rng));
    EXPECT_EQ(DiskTable(dbf).flag28, 0);  // not claimed while it lags behind
    EXPECT_EQ(DiskTable(dbf).records.size(), 3000u);
    d.setIndex("DOC");
    d.first();
    d.edit();
    d.setText("DOC", "NUEVO");
    d.post();
    d.remove();
    d.close();
    expectIndexAgrees(dbf, tagsOf(l));
    // The next session keeps it entry by entry again.
    d.open(dbf, OpenMode::Shared);
    d.appendRecord(rowFor(l, 0, rng));
    expectIndexAgrees(dbf, tagsOf(l));
}

// A header that claims an index whose file is missing or damaged: the table opens, and the
// next write leaves a correct index file.
TEST(MdxTables, MissingOrDamagedIndexIsRebuiltAtTheNextWrite) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"missing", ""}, {"garbage", std::string(3000, 'x')}, {"truncated", "half"}};
    for (const auto& [what, content] : cases) {
        SCOPED_TRACE(what);
        Root root;
        const auto& l = catalogue::PLANTILLA();
        createTable(ztemp(), l);
        fs::path dbf = root.file(l.fileName);
        std::mt19937 rng(4);
        {
            Dataset d;
            d.open(dbf);
            for (int r = 0; r < 40; ++r) d.appendRecord(rowFor(l, r, rng));
        }
        fs::path mdx = indexFileFor(dbf);
        if (content == "half") {
            std::string b = readFile(mdx);
            writeFile(mdx, b.substr(0, b.size() / 2));
        } else if (content.empty()) {
            fs::remove(mdx);
        } else {
            writeFile(mdx, content);
        }
        Dataset d;
        d.open(dbf);
        EXPECT_EQ(d.recordCount(), 40);
        d.setIndex("HORA");  // indexes come from the data
        d.appendRecord({"-3", "08:00", "08:55"});
        d.close();
        expectIndexAgrees(dbf, {"HORA"});
    }
}

TEST(MdxTables, IndexFileNameFollowsTheTablesLetterCase) {
    Root root;
    createTable(root.file("proft.dbf"), catalogue::PROFT().fields, {"ABREV"});
    EXPECT_TRUE(fs::exists(root.file("proft.mdx")));
    createTable(root.file("Plant.DBF"), catalogue::PLANTILLA().fields, {"HORA"});
    EXPECT_TRUE(fs::exists(root.file("Plant.MDX")));
    // A stale index in another letter case gives way to one in the table's.
    writeFile(root.file("grupos.MDX"), "old");
    createTable(root.file("grupos.dbf"), catalogue::PROFT().fields, {"ABREV"});
    EXPECT_EQ(indexFileFor(root.file("grupos.dbf")), root.file("grupos.mdx"));
    EXPECT_FALSE(fs::exists(root.file("grupos.MDX")));
    expectIndexAgrees(root.file("grupos.dbf"), {"ABREV"});
}

// When the index cannot be written the row is still stored, byte 28 is cleared so nobody
// trusts a stale index, and the next write repairs both.
TEST(MdxTables, FailedIndexWriteClearsTheFlagUntilRepaired) {
    Root root;
    const auto& l = catalogue::PROFT();
    createTable(ztemp(), l);
    fs::path dbf = root.file(l.fileName);
    std::mt19937 rng(8);
    Dataset d;
    d.open(dbf, OpenMode::Shared);
    setFileFaultHook([](std::string_view op, const fs::path& f) {
        return op == "rename" && f.extension() == ".MDX" ? 28 : 0;  // ENOSPC
    });
    d.appendRecord(rowFor(l, 0, rng));  // the first write builds the whole file: fails
    setFileFaultHook({});
    EXPECT_EQ(DiskTable(dbf).flag28, 0);
    EXPECT_EQ(DiskTable(dbf).records.size(), 1u);
    d.appendRecord(rowFor(l, 1, rng));
    expectIndexAgrees(dbf, {"ABREV"});
    d.close();
    expectIndexAgrees(dbf, {"ABREV"});
}

TEST(MdxTables, TagNamesComeFromTheIndexFile) {
    Root root;
    createTable(root.file("T.DBF"), {charField("A", 3), integerField("N"), charField("B", 2)},
                {"N", "B"});
    auto names = readTagNames(root.file("T.MDX"));
    EXPECT_EQ(names, (std::vector<std::string>{"N", "B"}));
    EXPECT_TRUE(readTagNames(root.file("NONE.MDX")).empty());
    writeFile(root.file("BAD.MDX"), "not an index");
    EXPECT_TRUE(readTagNames(root.file("BAD.MDX")).empty());
}

}  // namespace
}  // namespace tz::tables::mdx
