// Dataset semantics: states, navigation, keys, bookmarks, links, filters, sharing, writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "TestDir.h"
#include "tables/Dataset.h"
#include "tables/FileIo.h"
#include "tables/Table.h"
#include "tables/TableFiles.h"

namespace tz::tables {
namespace {

using testing::headerCount;
using testing::TestDir;

// Records of a table file marked deleted.
std::uint32_t deletedRows(const std::filesystem::path& p) {
    const std::string b = testing::readBytes(p);
    const auto u16 = [&](int i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(b[i])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(b[i + 1])) << 8;
    };
    const std::uint32_t hl = u16(8), rl = u16(10);
    std::uint32_t n = 0;
    for (std::size_t at = hl; at + rl <= b.size(); at += rl) n += b[at] == '*';
    return n;
}

const std::vector<FieldDef> kFields = {charField("KEY", 4), charField("NAME", 10),
                                       numericField("NUM", 6, 2), logicalField("FLAG")};

std::filesystem::path makeTable(const TestDir& dir, const std::vector<std::string>& rows,
                                const std::string& name = "T.DBF") {
    auto p = dir.ztemp() / name;
    createTable(p, kFields, {"KEY", "NUM"});
    Dataset d;
    d.open(p);
    for (const auto& r : rows) {
        // "KEY:NAME:NUM"
        std::vector<std::string> v;
        std::stringstream ss(r);
        for (std::string part; std::getline(ss, part, ':');) v.push_back(part);
        d.appendRecord(v);
    }
    return p;
}

// A client of a table that only keeps it attached.
struct Quiet final : TableClient {
    void tableChanged(const TableChange&) override {}
};

// The view as "KEY:NAME" items separated by spaces.
std::string view(const Dataset& d) {
    std::string out;
    for (int i = 0; i < d.recordCount(); ++i) {
        if (!out.empty()) out += ' ';
        out += d.textAt(i, 0) + ":" + d.textAt(i, 1);
    }
    return out;
}

char stateChar(DatasetState s) {
    switch (s) {
        case DatasetState::Inactive:
            return 'X';
        case DatasetState::Browse:
            return 'B';
        case DatasetState::Edit:
            return 'E';
        case DatasetState::Insert:
            return 'I';
    }
    return '?';
}

// Runs "op; op; ..." on the dataset and returns a log of find results ("+"/"-").
std::string run(Dataset& d, const std::string& script) {
    std::string log;
    std::stringstream ss(script);
    for (std::string op; std::getline(ss, op, ';');) {
        while (!op.empty() && op.front() == ' ') op.erase(0, 1);
        auto sp = op.find(' ');
        std::string verb = op.substr(0, sp);
        std::string arg = sp == std::string::npos ? "" : op.substr(sp + 1);
        if (verb == "first")
            d.first();
        else if (verb == "next")
            d.next();
        else if (verb == "prior")
            d.prior();
        else if (verb == "last")
            d.last();
        else if (verb == "edit")
            d.edit();
        else if (verb == "append")
            d.append();
        else if (verb == "post")
            d.post();
        else if (verb == "cancel")
            d.cancel();
        else if (verb == "remove")
            d.remove();
        else if (verb == "index")
            d.setIndex(arg);
        else if (verb == "goto")
            d.moveTo(std::stoi(arg));
        else if (verb == "filter")
            d.setFilter(arg);
        else if (verb == "filtered")
            d.setFiltered(arg == "on");
        else if (verb == "find")
            log += d.findKey(arg) ? '+' : '-';
        else if (verb == "setall" || verb == "removewhere") {
            // "setall NAME=x": the count of rows changed goes to the log, like removewhere's.
            auto eq = arg.find('=');
            const int f = d.requireField(arg.substr(0, eq));
            const std::string value = arg.substr(eq + 1);
            log += std::to_string(verb == "setall" ? d.setTextOnAll(f, value)
                                                   : d.removeWhere(f, value));
        } else if (verb == "set") {
            auto eq = arg.find('=');
            d.setText(arg.substr(0, eq), arg.substr(eq + 1));
        } else {
            ADD_FAILURE() << "unknown op " << verb;
        }
    }
    return log;
}

struct ScriptCase {
    const char* what;
    std::vector<std::string> rows;
    const char* script;
    const char* view;     // visible rows afterwards
    const char* current;  // KEY:NAME of the current row ("" when empty)
    char state;
    const char* finds = "";
    int eof = -1;  // 1/0 to check eof()
};

std::ostream& operator<<(std::ostream& o, const ScriptCase& c) { return o << c.what; }

class Script : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(Script, LeavesViewCursorAndState) {
    const auto& c = GetParam();
    TestDir dir;
    auto p = makeTable(dir, c.rows);
    Dataset d;
    d.open(p);
    EXPECT_EQ(run(d, c.script), c.finds);
    EXPECT_EQ(view(d), c.view);
    std::string current = d.isEmpty() && d.state() != DatasetState::Insert
                              ? ""
                              : d.text("KEY") + ":" + d.text("NAME");
    EXPECT_EQ(current, c.current);
    EXPECT_EQ(stateChar(d.state()), c.state);
    if (c.eof >= 0) {
        EXPECT_EQ(d.eof(), c.eof == 1);
    }
    // What was stored is what a fresh open of the file sees in the same order and filter.
    if (d.state() == DatasetState::Browse) {
        std::string index = d.indexName(), filter = d.filter();
        bool filtered = d.filtered();
        d.close();
        Dataset again;
        again.open(p);
        again.setIndex(index);
        again.setFilter(filter);
        again.setFiltered(filtered);
        EXPECT_EQ(view(again), c.view);
    }
}

INSTANTIATE_TEST_SUITE_P(
    States, Script,
    ::testing::Values(
        ScriptCase{"edit on an empty table begins a new row",
                   {},
                   "edit; set KEY=A; next",
                   "A:",
                   "A:",
                   'B'},
        ScriptCase{"untouched new row is dropped on move",
                   {"A:a", "B:b"},
                   "append; first",
                   "A:a B:b",
                   "A:a",
                   'B'},
        ScriptCase{"untouched edit is cancelled on move",
                   {"A:a", "B:b"},
                   "first; edit; next",
                   "A:a B:b",
                   "B:b",
                   'B'},
        ScriptCase{"modified row is stored on move",
                   {"A:a", "B:b"},
                   "first; edit; set NAME=x; next",
                   "A:x B:b",
                   "B:b",
                   'B'},
        ScriptCase{"new row is stored on move",
                   {"A:a", "B:b"},
                   "append; set KEY=C; first",
                   "A:a B:b C:",
                   "A:a",
                   'B'},
        ScriptCase{
            "cancel drops a new row", {"A:a"}, "append; set KEY=C; cancel", "A:a", "A:a", 'B'},
        ScriptCase{"cancel restores an edited row",
                   {"A:a"},
                   "edit; set NAME=z; cancel",
                   "A:a",
                   "A:a",
                   'B'},
        ScriptCase{"pending values are read while editing",
                   {"A:a"},
                   "edit; set NAME=z",
                   "A:z",
                   "A:z",
                   'E'},
        ScriptCase{"edit while editing does nothing",
                   {"A:a"},
                   "edit; set NAME=z; edit",
                   "A:z",
                   "A:z",
                   'E'},
        ScriptCase{"post in browse does nothing", {"A:a"}, "post", "A:a", "A:a", 'B'},
        ScriptCase{
            "remove in insert drops the new row", {"A:a"}, "append; remove", "A:a", "A:a", 'B'},
        ScriptCase{"remove in edit drops the changes and deletes",
                   {"A:a", "B:b"},
                   "edit; set NAME=z; remove",
                   "B:b",
                   "B:b",
                   'B'}));

INSTANTIATE_TEST_SUITE_P(
    Navigation, Script,
    ::testing::Values(
        ScriptCase{"next past the end stays on the last row",
                   {"A:a", "B:b"},
                   "last; next",
                   "A:a B:b",
                   "B:b",
                   'B',
                   "",
                   1},
        ScriptCase{"prior before the start stays on the first row",
                   {"A:a", "B:b"},
                   "first; prior",
                   "A:a B:b",
                   "A:a",
                   'B',
                   "",
                   0},
        ScriptCase{"first clears eof", {"A:a"}, "next; first", "A:a", "A:a", 'B', "", 0},
        ScriptCase{"moveTo clamps", {"A:a", "B:b"}, "goto 9", "A:a B:b", "B:b", 'B'},
        ScriptCase{"delete then next",
                   {"A:a", "B:b", "C:c"},
                   "first; remove; next",
                   "B:b C:c",
                   "C:c",
                   'B',
                   "",
                   0},
        ScriptCase{"deleting the last row goes to the new last row",
                   {"A:a", "B:b", "C:c"},
                   "last; remove",
                   "A:a B:b",
                   "B:b",
                   'B',
                   "",
                   1},
        ScriptCase{"deleting the only row empties the view", {"A:a"}, "remove", "", "", 'B', "", 1},
        ScriptCase{"index orders by key bytes",
                   {"b:1", "B:2", "A:3", "a:4"},
                   "index KEY",
                   "A:3 B:2 a:4 b:1",
                   "A:3",
                   'B'},
        ScriptCase{"numeric index orders by value",
                   {"A:a:10", "B:b:9", "C:c:100", "D:d:"},
                   "index NUM",
                   "D:d B:b A:a C:c",
                   "D:d",
                   'B'},
        ScriptCase{"key edit keeps the record, at its new place",
                   {"A:a", "B:b", "C:c"},
                   "index KEY; first; edit; set KEY=D; post",
                   "B:b C:c D:a",
                   "D:a",
                   'B'},
        ScriptCase{"a new row takes its place in the index",
                   {"B:b", "D:d"},
                   "index KEY; append; set KEY=C; post",
                   "B:b C: D:d",
                   "C:",
                   'B'}));

INSTANTIATE_TEST_SUITE_P(
    FindKey, Script,
    ::testing::Values(ScriptCase{"finds the first of equal keys",
                                 {"A:1", "B:2", "A:3", "A:4"},
                                 "index KEY; last; find A",
                                 "A:1 A:3 A:4 B:2",
                                 "A:1",
                                 'B',
                                 "+"},
                      ScriptCase{"not found leaves the cursor",
                                 {"A:a", "B:b"},
                                 "index KEY; last; find Z",
                                 "A:a B:b",
                                 "B:b",
                                 'B',
                                 "-"},
                      ScriptCase{"character keys compare padded, not as prefixes",
                                 {"AB:x", "A:y"},
                                 "index KEY; first; find A; find ABC; find AB",
                                 "A:y AB:x",
                                 "AB:x",
                                 'B',
                                 "+-+"},
                      ScriptCase{"over-long keys are cut to the width",
                                 {"ABCD:x"},
                                 "index KEY; find ABCDE",
                                 "ABCD:x",
                                 "ABCD:x",
                                 'B',
                                 "+"},
                      ScriptCase{"numeric keys compare by value",
                                 {"A:a:10", "B:b:2.5"},
                                 "index NUM; find 10.00; find 2.5; find 3; find x",
                                 "B:b A:a",
                                 "B:b",
                                 'B',
                                 "++--"},
                      ScriptCase{"a successful find stores a pending row",
                                 {"A:a", "B:b"},
                                 "index KEY; first; edit; set NAME=z; find B",
                                 "A:z B:b",
                                 "B:b",
                                 'B',
                                 "+"},
                      ScriptCase{"a failed find keeps a pending row",
                                 {"A:a"},
                                 "index KEY; edit; set NAME=z; find Q",
                                 "A:z",
                                 "A:z",
                                 'E',
                                 "-"},
                      ScriptCase{"find respects the filter",
                                 {"A:1", "A:2", "B:2"},
                                 "index KEY; filter NAME = '2'; filtered on; find A",
                                 "A:2 B:2",
                                 "A:2",
                                 'B',
                                 "+"}));

INSTANTIATE_TEST_SUITE_P(
    Filter, Script,
    ::testing::Values(ScriptCase{"filter on",
                                 {"A:x", "B:y", "C:x"},
                                 "filter NAME = 'x'; filtered on",
                                 "A:x C:x",
                                 "A:x",
                                 'B'},
                      ScriptCase{"filter off again",
                                 {"A:x", "B:y"},
                                 "filter NAME = 'x'; filtered on; filtered off",
                                 "A:x B:y",
                                 "A:x",
                                 'B'},
                      ScriptCase{"doubled quote inside the value",
                                 {"A:O'Neil", "B:ONeil"},
                                 "filter NAME = 'O''Neil'; filtered on",
                                 "A:O'Neil",
                                 "A:O'Neil",
                                 'B'},
                      ScriptCase{"empty condition accepts all",
                                 {"A:x", "B:y"},
                                 "filter ; filtered on",
                                 "A:x B:y",
                                 "A:x",
                                 'B'},
                      ScriptCase{"numeric field compared as its text",
                                 {"A:a:1", "B:b:2"},
                                 "filter NUM = '2'; filtered on",
                                 "B:b",
                                 "B:b",
                                 'B'},
                      ScriptCase{"a row edited out of the filter leaves the view",
                                 {"A:x", "B:x"},
                                 "filter NAME = 'x'; filtered on; edit; set NAME=y; post",
                                 "B:x",
                                 "B:x",
                                 'B'}));

// A field set on every row of the view, and rows deleted by the value of a field, each as one
// change: what the view held, and nothing else, changes; the cursor stays or goes first.
INSTANTIATE_TEST_SUITE_P(
    EveryRow, Script,
    ::testing::Values(
        ScriptCase{"set on every row, the cursor staying",
                   {"A:x", "B:y", "C:z"},
                   "next; setall NAME=w",
                   "A:w B:w C:w",
                   "B:w",
                   'B',
                   "3"},
        ScriptCase{"rows that already hold the value do not count",
                   {"A:w", "B:y"},
                   "setall NAME=w",
                   "A:w B:w",
                   "A:w",
                   'B',
                   "1"},
        ScriptCase{"a value too long is cut to the field",
                   {"A:x"},
                   "setall NAME=abcdefghijklm",
                   "A:abcdefghij",
                   "A:abcdefghij",
                   'B',
                   "1"},
        ScriptCase{"only the rows of the filter",
                   {"A:x", "B:y", "C:x"},
                   "filter NAME = 'x'; filtered on; setall NAME=q; filtered off",
                   "A:q B:y C:q",
                   "A:q",
                   'B',
                   "2"},
        ScriptCase{"a pending edit is stored first",
                   {"A:x", "B:y"},
                   "edit; set NAME=e; setall KEY=K; index KEY",
                   "K:e K:y",
                   "K:e",
                   'B',
                   "2"},
        ScriptCase{"the indexed field: rows move in the order",
                   {"C:c", "A:a", "B:b"},
                   "index KEY; setall KEY=Z; first",
                   "Z:c Z:a Z:b",
                   "Z:c",
                   'B',
                   "3"},
        ScriptCase{"a numeric field takes the value as a number",
                   {"A:a:1", "B:b:2"},
                   "setall NUM=7.5; filter NUM = '7.5'; filtered on",
                   "A:a B:b",
                   "A:a",
                   'B',
                   "2"},
        ScriptCase{"rows holding the value go, trailing spaces aside",
                   {"A:x", "B:y", "C:x"},
                   "last; removewhere NAME=x",
                   "B:y",
                   "B:y",
                   'B',
                   "2"},
        ScriptCase{"nothing to delete changes nothing",
                   {"A:x", "B:y"},
                   "next; removewhere NAME=q",
                   "A:x B:y",
                   "B:y",
                   'B',
                   "0"},
        ScriptCase{"only the rows of the filter go",
                   {"A:x", "B:x", "C:y"},
                   "index KEY; filter KEY = 'B'; filtered on; removewhere NAME=x; filtered off",
                   "A:x C:y",
                   "A:x",
                   'B',
                   "1"},
        ScriptCase{"every row can go", {"A:x", "B:x"}, "removewhere NAME=x", "", "", 'B', "2", 1}));

TEST(Dataset, ErrorsNameTheTableAndField) {
    TestDir dir;
    auto p = makeTable(dir, {"A:a"});
    Dataset d;
    d.open(p);
    auto message = [&](auto f) {
        try {
            f();
        } catch (const EngineError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([&] { d.text("FOO"); }), "El campo FOO no existe en la tabla T");
    EXPECT_EQ(message([&] { d.setText("NAME", "x"); }), "La tabla T no está en modo de edición");
    EXPECT_EQ(message([&] { d.setIndex("NAME"); }), "La tabla T no tiene el índice NAME");
    EXPECT_EQ(message([&] { d.findKey("A"); }), "La tabla T no tiene un índice seleccionado");
    EXPECT_EQ(message([&] { d.setFilter("NAME 'x'"); }),
              "El filtro \"NAME 'x'\" de la tabla T no es válido");
    EXPECT_EQ(message([&] { d.setFilter("BAR = 'x'"); }), "El campo BAR no existe en la tabla T");
    d.edit();
    EXPECT_EQ(message([&] { d.setText("NUM", "1x"); }),
              "El valor '1x' no es válido para el campo NUM de la tabla T");
    EXPECT_EQ(message([&] { d.setNumber("NUM", 12345); }),
              "El valor 12345 no cabe en el campo NUM de la tabla T");
    d.cancel();
    Dataset missing;
    EXPECT_EQ(message([&] { missing.open(dir.ztemp() / "NADA"); }),
              "La tabla " + (dir.ztemp() / "NADA.DBF").string() + " no existe");
    Dataset ro;
    ro.open(p, OpenMode::ReadOnly);
    EXPECT_EQ(message([&] { ro.edit(); }), "La tabla T está abierta solo para lectura");
    // The one look-up of a field that must exist.
    EXPECT_EQ(d.requireField("name"), 1);
    EXPECT_EQ(message([&] { d.requireField("FOO"); }), "El campo FOO no existe en la tabla T");
    EXPECT_EQ(message([&] { missing.requireField("KEY"); }), "La tabla NADA no está abierta");
    EXPECT_EQ(message([&] { d.setTextOnAll(7, "x"); }),
              "El campo número 7 no existe en la tabla T");
    EXPECT_EQ(message([&] { ro.removeWhere(0, "A"); }),
              "La tabla T está abierta solo para lectura");
}

// Several fields set in one call are the fields set one by one: character values cut and
// padded, a numeric one encoded, on a new row and on a stored one; outside an edit it fails as
// setText does. A RowReader reads every field as textAt does, numbers written plainly or not.
TEST(Dataset, SetTextsAndRowReaderAgreeWithOneFieldAtATime) {
    TestDir dir;
    auto p = makeTable(dir, {"A:a:1"});
    Dataset one, many;
    one.open(p);
    many.open(p);
    const int key = one.requireField("KEY"), name = one.requireField("NAME"),
              num = one.requireField("NUM");
    const struct {
        const char *key, *name, *num;
    } cases[] = {{"B", "longer than ten", "5"},
                 {"", "", ""},
                 {"CCCCC", "x", "-3.5"},
                 {"D", "  lead", "0"},
                 {"E", "e", "120"}};
    for (const auto& c : cases) {
        one.append();
        one.setText(key, c.key);
        one.setText(name, c.name);
        one.setText(num, c.num);
        one.post();
        many.append();
        many.setTexts({{key, c.key}, {name, c.name}, {num, c.num}});
        many.post();
    }
    many.first();
    many.edit();
    many.setTexts({{name, "edited"}, {num, "7"}});
    many.post();
    one.first();
    one.edit();
    one.setText(name, "edited");
    one.setText(num, "7");
    one.post();
    EXPECT_THROW(many.setTexts({{name, "x"}}), EngineError);  // not editing
    one.close();
    many.close();
    Dataset d;
    d.open(p);
    const std::vector<std::string> rows = {
        "A:edited:7", "B:longer tha:5", "::", "CCCC:x:-3.5", "D:  lead:0", "E:e:120"};
    RowReader r(d, {key, name, num});
    ASSERT_EQ(d.recordCount(), static_cast<int>(2 * rows.size() - 1));
    for (int i = 0; i < d.recordCount(); ++i) {
        r.row(i);
        EXPECT_EQ(std::string(r[0]) + ":" + std::string(r[1]) + ":" + std::string(r[2]),
                  d.textAt(i, key) + ":" + d.textAt(i, name) + ":" + d.textAt(i, num))
            << i;
    }
    // Row 0 edited by both; then each case's row by one field at a time and by setTexts.
    auto at = [&](int i) {
        r.row(i);
        return std::string(r[0]) + ":" + std::string(r[1]) + ":" + std::string(r[2]);
    };
    EXPECT_EQ(at(0), rows[0]);
    for (int k = 1; k < static_cast<int>(rows.size()); ++k) {
        EXPECT_EQ(at(2 * k - 1), rows[static_cast<std::size_t>(k)]) << k;
        EXPECT_EQ(at(2 * k), rows[static_cast<std::size_t>(k)]) << k;
    }
}

// Every row of a view read through its bookmarks in one walk (bookmarks, rowOf) is the row read
// by position (bookmarkAt, rowAt): in file order with and without deleted rows, in the order of
// an index, linked to a master, filtered, and with a row being edited.
TEST(Dataset, BookmarksInOneWalkAreThoseOfEachPosition) {
    TestDir dir;
    auto p = makeTable(dir, {"C:x:3", "A:y:1", "B:x:2", "A:x:5", "D:z:4", "B:y:0"});
    Dataset master;
    master.open(makeTable(dir, {"A:m", "B:m"}, "M.DBF"));
    const struct {
        const char* what;
        std::function<void(Dataset&)> set;
    } cases[] = {
        {"file order", [](Dataset&) {}},
        {"file order, a row deleted",
         [](Dataset& d) {
             d.moveTo(1);
             d.remove();
         }},
        {"index KEY", [](Dataset& d) { d.setIndex("KEY"); }},
        {"numeric index", [](Dataset& d) { d.setIndex("NUM"); }},
        {"linked to a master's second row",
         [&](Dataset& d) {
             d.setIndex("KEY");
             d.setMaster(&master, "KEY");
             master.moveTo(1);
         }},
        {"filtered",
         [](Dataset& d) {
             d.setIndex("KEY");
             d.setFilter("NAME = 'x'");
             d.setFiltered(true);
         }},
        {"editing a row",
         [](Dataset& d) {
             d.setIndex("KEY");
             d.moveTo(2);
             d.edit();
             d.setText("NAME", "w");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Dataset d;
        d.open(p);
        c.set(d);
        const std::vector<Bookmark> all = d.bookmarks();
        ASSERT_EQ(all.size(), static_cast<std::size_t>(d.recordCount()));
        for (int i = 0; i < d.recordCount(); ++i) {
            const auto b = all[static_cast<std::size_t>(i)];
            EXPECT_EQ(b, d.bookmarkAt(i)) << i;
            EXPECT_EQ(d.rowOf(b), d.rowAt(i)) << i;
        }
        EXPECT_THROW(d.rowOf(1000), EngineError);
        d.cancel();
        d.setMaster(nullptr, "");
    }
}

// Indexes are sorted when a dataset first selects them (or a key is looked up), never at
// opening: a table read in file order sorts none, and the changes made meanwhile are in the
// order once it is built.
TEST(Dataset, IndexesAreSortedWhenFirstSelected) {
    TestDir dir;
    auto p = makeTable(dir, {"C:c:3", "A:a:1", "B:b:2"});
    Dataset d;
    d.open(p);
    Quiet client;
    auto t = Table::attach(p, OpenMode::ReadOnly, &client);
    const int key = t->findOrder("KEY"), num = t->findOrder("NUM");
    ASSERT_GT(key, 0);
    ASSERT_GT(num, 0);
    EXPECT_EQ(view(d), "C:c A:a B:b");
    for (d.first(); !d.eof(); d.next()) (void)d.text("NAME");
    EXPECT_FALSE(t->orderBuilt(key));
    EXPECT_FALSE(t->orderBuilt(num));
    d.appendRecord({"D", "d", "0"});
    d.first();
    d.edit();
    d.setText("KEY", "E");
    d.post();
    d.setIndex("NUM");
    EXPECT_TRUE(t->orderBuilt(num));
    EXPECT_FALSE(t->orderBuilt(key));
    EXPECT_EQ(view(d), "D:d A:a B:b E:c");
    d.setIndex("KEY");
    EXPECT_EQ(view(d), "A:a B:b D:d E:c");
    t->detach(&client);
}

// A character field takes a value of any length whole up to its width, cut beyond it, over
// whatever the row held before: each length the copy of a short value treats apart.
TEST(Dataset, TextsOfEveryLengthAreStoredWhole) {
    TestDir dir;
    // Fields of every width the fill of a field treats apart, side by side: a value must not
    // reach its neighbours.
    const std::vector<int> widths = {1, 2, 3, 4, 7, 8, 9, 16, 17, 30};
    std::vector<FieldDef> fields;
    for (int w : widths) fields.push_back(charField("F" + std::to_string(w), w));
    const auto p = dir.ztemp() / "W.DBF";
    createTable(p, fields, {});
    Dataset d;
    d.open(p);
    d.appendRecord(std::vector<std::string>(widths.size(), std::string(40, '#')));
    const std::string letters = "0123456789abcdefghijklmnopqrstuvwxyz";
    // Longer and longer, then shorter and shorter: each over the one before.
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 34; ++n) lengths.push_back(n);
    for (std::size_t n = 34; n-- > 0;) lengths.push_back(n);
    for (std::size_t f = 0; f < widths.size(); ++f) {
        const auto w = static_cast<std::size_t>(widths[f]);
        const int field = static_cast<int>(f);
        for (const std::size_t n : lengths) {
            const std::string value = letters.substr(0, n);
            for (const bool many : {false, true}) {
                d.first();
                d.edit();
                if (many)
                    d.setTexts({{field, value}});
                else
                    d.setText(field, value);
                d.post();
                EXPECT_EQ(d.text(field), value.substr(0, w))
                    << "width " << w << ", " << n << (many ? " setTexts" : "");
                // The neighbours keep what they held.
                if (f > 0) {
                    EXPECT_EQ(d.text(field - 1),
                              std::string(static_cast<std::size_t>(widths[f - 1]), '#'));
                }
                if (f + 1 < widths.size()) {
                    EXPECT_EQ(d.text(field + 1),
                              std::string(static_cast<std::size_t>(widths[f + 1]), '#'));
                }
            }
        }
        // Left full, so that the next field's neighbour is known.
        d.first();
        d.edit();
        d.setText(field, std::string(40, '#'));
        d.post();
    }
}

// postedBookmark names the row the last post stored, new or edited, in file order or in an
// index: what bookmark() gives right after the post; nothing before a post or once closed.
TEST(Dataset, PostedBookmarkIsTheRowJustStored) {
    TestDir dir;
    auto p = makeTable(dir, {"C:c:3", "A:a:1", "B:b:2"});
    Dataset d;
    d.open(p);
    EXPECT_EQ(d.postedBookmark(), kNoBookmark);
    for (const char* index : {"", "KEY"}) {
        SCOPED_TRACE(index);
        d.setIndex(index);
        d.append();
        d.setText("KEY", "AA");
        d.setText("NAME", "nueva");
        d.post();
        EXPECT_EQ(d.postedBookmark(), d.bookmark());
        EXPECT_EQ(std::string(d.rowOf(d.postedBookmark()) + 5, 5), "nueva");
        d.moveTo(2);
        const Bookmark edited = d.bookmark();
        d.edit();
        d.setText("NAME", "otra");
        d.post();
        EXPECT_EQ(d.postedBookmark(), edited);
        d.first();  // moving on does not change which row was stored
        EXPECT_EQ(d.postedBookmark(), edited);
    }
    d.close();
    EXPECT_EQ(d.postedBookmark(), kNoBookmark);
}

// An order sorted for the index file (withOrder) is kept built while a dataset has the table
// open and it is large, only as its records when small; either way the changes made after it
// are in the order a dataset then reads, as a sort of the rows as they are finds it.
TEST(Dataset, OrderSortedForTheIndexFileFollowsLaterChanges) {
    for (const int rows : {3, 5000}) {
        SCOPED_TRACE(rows);
        TestDir dir;
        std::vector<std::string> init;
        std::uint32_t draw = 12345;
        auto key = [&] {
            draw = draw * 1103515245u + 12345u;
            return std::string(1, static_cast<char>('A' + (draw >> 16) % 26)) +
                   static_cast<char>('A' + (draw >> 8) % 26);
        };
        for (int i = 0; i < rows; ++i) init.push_back(key() + ":r" + std::to_string(i));
        auto p = makeTable(dir, init);
        Dataset d;
        d.open(p);
        Quiet client;
        auto t = Table::attach(p, OpenMode::ReadOnly, &client);
        const int k = t->findOrder("KEY");
        ASSERT_GT(k, 0);
        t->withOrder(k, [](const OrderedIndex&) {});
        EXPECT_EQ(t->orderBuilt(k), rows >= 4096);
        // An append, a key changed, a row removed.
        d.appendRecord({key(), "nuevo"});
        d.moveTo(1);
        d.edit();
        d.setText("KEY", "MM");
        d.post();
        d.moveTo(0);
        d.remove();
        // What the order must read: the live rows by key, equal keys in file order.
        std::vector<std::pair<std::string, int>> expected;
        for (int i = 0; i < d.recordCount(); ++i)
            expected.emplace_back(d.textAt(i, 0), static_cast<int>(d.bookmarkAt(i)));
        std::sort(expected.begin(), expected.end());
        d.setIndex("KEY");
        ASSERT_EQ(d.recordCount(), static_cast<int>(expected.size()));
        for (int i = 0; i < d.recordCount(); ++i) {
            EXPECT_EQ(d.textAt(i, 0), expected[static_cast<std::size_t>(i)].first) << i;
            EXPECT_EQ(static_cast<int>(d.bookmarkAt(i)),
                      expected[static_cast<std::size_t>(i)].second)
                << i;
        }
        t->detach(&client);
    }
}

// An empty view reads as nothing: empty texts, zero, false; a field the table lacks is still
// an error.
TEST(Dataset, FieldsOfAnEmptyViewReadAsNothing) {
    TestDir dir;
    auto p = makeTable(dir, {"A:a:2"});
    Dataset d;
    d.open(p);
    d.setFilter("KEY = 'Z'");
    d.setFiltered(true);
    ASSERT_TRUE(d.isEmpty());
    EXPECT_EQ(d.text("NAME"), "");
    EXPECT_EQ(d.text(2), "");
    EXPECT_EQ(d.textView(1), "");
    EXPECT_EQ(d.number("NUM"), 0);
    EXPECT_EQ(d.integer("NUM"), 0);
    EXPECT_FALSE(d.logical("FLAG"));
    EXPECT_THROW(d.text("FOO"), EngineError);
    d.setFiltered(false);
    EXPECT_EQ(d.text("NAME"), "a");
    EXPECT_EQ(d.textView(1), "a");
    EXPECT_EQ(d.number("NUM"), 2);
}

TEST(Dataset, NumbersLogicalsAndWidths) {
    TestDir dir;
    auto p = makeTable(dir, {});
    Dataset d;
    d.open(p);
    d.append();
    d.setText("KEY", "ABCDEFG");
    d.setNumber("NUM", 2.5);
    d.setLogical("FLAG", true);
    d.post();
    EXPECT_EQ(d.text("KEY"), "ABCD");
    EXPECT_EQ(d.text("NUM"), "2.5");
    EXPECT_EQ(d.number("NUM"), 2.5);
    EXPECT_EQ(d.integer("NUM"), 3);
    EXPECT_TRUE(d.logical("FLAG"));
    d.edit();
    d.setInteger("NUM", -7);
    d.setText("FLAG", "");
    d.post();
    EXPECT_EQ(d.text("NUM"), "-7");
    EXPECT_EQ(d.text("FLAG"), "");
    EXPECT_FALSE(d.logical("FLAG"));
    // On disk the number is right-justified with the field's decimals.
    EXPECT_NE(testing::readBytes(p).find("ABCD           -7.00 "), std::string::npos);
    d.edit();
    d.setText("NUM", "");
    d.post();
    EXPECT_EQ(d.text("NUM"), "");
    EXPECT_EQ(d.number("NUM"), 0);
}

TEST(Dataset, AppendRecordLeavesMissingValuesEmpty) {
    TestDir dir;
    auto p = makeTable(dir, {"A:alpha"});
    Dataset d;
    d.open(p);
    EXPECT_EQ(d.text("NUM"), "");
    EXPECT_EQ(d.text("FLAG"), "");
    EXPECT_THROW(d.appendRecord({"1", "2", "3", "T", "extra"}), EngineError);
    EXPECT_THROW(d.appendRecord({"B", "b", "junk"}), EngineError);
    EXPECT_EQ(view(d), "A:alpha");
    EXPECT_EQ(d.state(), DatasetState::Browse);
}

TEST(Dataset, Bookmarks) {
    TestDir dir;
    auto p = makeTable(dir, {"C:c", "A:a", "B:b"});
    Dataset d;
    d.open(p);
    d.setIndex("KEY");
    d.last();
    Bookmark c = d.bookmark();
    EXPECT_EQ(c, 0u);  // physical record number
    d.first();
    d.gotoBookmark(c);
    EXPECT_EQ(d.text("KEY"), "C");
    EXPECT_EQ(d.position(), 2);
    EXPECT_EQ(d.bookmarkAt(0), 1u);
    d.remove();
    EXPECT_FALSE(d.bookmarkValid(c));
    EXPECT_THROW(d.gotoBookmark(c), EngineError);
    EXPECT_THROW(d.gotoBookmark(99), EngineError);
    d.setFilter("KEY = 'A'");
    d.setFiltered(true);
    EXPECT_FALSE(d.bookmarkValid(2));  // B is outside the filter
    EXPECT_TRUE(d.bookmarkValid(1));
    Dataset empty;
    empty.open(makeTable(dir, {}, "E.DBF"));
    EXPECT_THROW(empty.bookmark(), EngineError);
}

// textViewAt reads what textAt reads, in every state, without a copy; positionOf finds rows
// in the view by bookmark.
TEST(Dataset, ViewsOfFieldsAndPositionsOfBookmarks) {
    TestDir dir;
    auto p = makeTable(dir, {"C:c  x:1.5", "A:a:2", "B::", "D:d:4"});
    Dataset d;
    d.open(p);
    d.setIndex("KEY");  // A B C D = records 1 2 0 3
    auto views = [&](int field) {
        std::string out;
        for (int i = 0; i < d.recordCount(); ++i) out += std::string(d.textViewAt(i, field)) + "|";
        return out;
    };
    auto texts = [&](int field) {
        std::string out;
        for (int i = 0; i < d.recordCount(); ++i) out += d.textAt(i, field) + "|";
        return out;
    };
    const struct {
        const char* name;
        std::function<void()> step;
        std::string names;  // NAME through textViewAt, row by row
    } steps[] = {
        {"stored rows, trailing spaces gone, inner ones kept", [] {}, "a||c  x|d|"},
        {"a pending edit reads as typed",
         [&] {
             d.moveTo(2);
             d.edit();
             d.setText("NAME", "typed   ");
         },
         "a||typed|d|"},
        {"cancelled: the stored value again", [&] { d.cancel(); }, "a||c  x|d|"},
        {"a new row sits after the last", [&] { d.append(), d.setText("NAME", "new"); },
         "a||c  x|d|"},
    };
    for (const auto& s : steps) {
        s.step();
        EXPECT_EQ(views(1), s.names) << s.name;
        EXPECT_EQ(views(1), texts(1)) << s.name;
    }
    EXPECT_EQ(d.textViewAt(d.recordCount(), 1), "new");
    d.cancel();
    // A numeric field gives its stored bytes, right-aligned as dBase keeps them.
    EXPECT_EQ(d.textViewAt(0, 2), "  2.00");
    EXPECT_EQ(d.textAt(0, 2), "2");
    EXPECT_THROW(d.textViewAt(4, 1), EngineError);
    EXPECT_THROW(d.textViewAt(0, 9), EngineError);

    const struct {
        Bookmark b;
        int position;
    } positions[] = {{1, 0}, {2, 1}, {0, 2}, {3, 3}, {4, -1}, {99, -1}};
    for (const auto& c : positions) EXPECT_EQ(d.positionOf(c.b), c.position) << c.b;
    d.gotoBookmark(2);
    d.remove();
    EXPECT_EQ(d.positionOf(2), -1);  // deleted
    EXPECT_EQ(d.positionOf(0), 1);
    d.setFilter("KEY = 'D'");
    d.setFiltered(true);
    EXPECT_EQ(d.positionOf(0), -1);  // outside the filter
    EXPECT_EQ(d.positionOf(3), 0);
    Dataset closed;
    EXPECT_EQ(closed.positionOf(0), -1);
}

struct Recorder : DatasetObserver {
    std::vector<std::string> events;
    void viewReset() override { events.push_back("reset"); }
    void rowChanged(int p) override { events.push_back("row " + std::to_string(p)); }
    void currentChanged() override { events.push_back("current"); }
    bool has(const std::string& e) const {
        return std::find(events.begin(), events.end(), e) != events.end();
    }
};

// With controls off, a scan that edits rows and comes back tells the observers nothing and
// leaves its details where they were; switching them on tells each observer once: the rows
// that changed and the current row, or a reset when the view changed.
TEST(Dataset, ControlsOffHoldNotificationsUntilSwitchedOn) {
    TestDir dir;
    auto masterFile = makeTable(dir, {"X:m1", "Y:m2", "Z:m3"}, "M.DBF");
    auto detailFile = makeTable(dir, {"Y:d1", "X:d2", "Y:d3"}, "D.DBF");
    Dataset m, d;
    m.open(masterFile);
    d.open(detailFile);
    d.setIndex("KEY");
    d.setMaster(&m, "KEY");
    Recorder rec, detailRec;
    m.addObserver(&rec);
    d.addObserver(&detailRec);
    auto scan = [&]() {
        Bookmark here = m.bookmark();
        for (m.first(); !m.eof(); m.next()) {
            m.edit();
            m.setText("NAME", m.text("NAME") + "!");
            m.post();
        }
        m.gotoBookmark(here);
    };
    m.disableControls();
    m.disableControls();  // nested
    scan();
    m.enableControls();
    EXPECT_TRUE(m.controlsDisabled());
    EXPECT_TRUE(rec.events.empty());
    EXPECT_TRUE(detailRec.events.empty());  // the detail did not follow the scan
    m.enableControls();
    EXPECT_FALSE(m.controlsDisabled());
    EXPECT_EQ(rec.events, (std::vector<std::string>{"row 0", "row 1", "row 2", "current"}));
    EXPECT_TRUE(detailRec.events.empty());  // back on its master's row: nothing to follow
    EXPECT_EQ(view(d), "X:d2");
    EXPECT_EQ(view(m), "X:m1! Y:m2! Z:m3!");

    // A scan that ends elsewhere: the detail follows then, once.
    rec.events.clear();
    m.disableControls();
    m.next();
    m.edit();
    m.setText("KEY", "A");  // the detail now belongs to key A
    m.post();
    m.enableControls();
    EXPECT_EQ(view(d), "");
    EXPECT_EQ(detailRec.events.front(), "reset");
    EXPECT_EQ(std::count(detailRec.events.begin(), detailRec.events.end(), "reset"), 1);
    m.removeObserver(&rec);
    d.removeObserver(&detailRec);
}

// Field names are found whatever their letter case (ASCII letters only) and on their first 10
// characters, as a descriptor stores them.
TEST(Dataset, FieldNamesIgnoreLetterCaseAndCompareOnTenCharacters) {
    TestDir dir;
    auto p = dir.ztemp() / "N.DBF";
    createTable(p, {charField("PROF_DIA_SES", 7), charField("ANO", 4), charField("X", 1)}, {});
    Dataset d;
    d.open(p);
    const std::pair<const char*, int> cases[] = {
        {"PROF_DIA_S", 0}, {"prof_dia_s", 0}, {"Prof_Dia_Ses", 0}, {"PROF_DIA_SX", 0},
        {"PROF_DIA", -1},  {"ano", 1},        {"An\xd3", -1},      {"x", 2},
        {"", -1},          {"XX", -1},
    };
    for (const auto& [name, want] : cases) EXPECT_EQ(d.fieldIndex(name), want) << name;
}

TEST(Dataset, MasterDetailFollowsTheMaster) {
    TestDir dir;
    auto masterFile = makeTable(dir, {"X:m1", "Y:m2", "Z:m3"}, "M.DBF");
    auto detailFile = makeTable(dir, {"Y:d1", "X:d2", "Y:d3", "Q:d4"}, "D.DBF");
    Dataset m, d;
    m.open(masterFile);
    d.open(detailFile);
    d.setIndex("KEY");
    EXPECT_THROW(d.setMaster(&m, "NOPE"), EngineError);
    d.setMaster(&m, "KEY");
    EXPECT_EQ(view(d), "X:d2");
    d.last();
    m.next();
    EXPECT_EQ(view(d), "Y:d1 Y:d3");
    EXPECT_EQ(d.text("NAME"), "d1");  // first row of the new range
    m.next();
    EXPECT_TRUE(d.isEmpty());
    // A new row of the detail gets the master's key.
    d.append();
    d.setText("NAME", "d5");
    m.first();  // the pending detail row is stored before the detail follows
    EXPECT_EQ(view(d), "X:d2");
    m.last();
    EXPECT_EQ(view(d), "Z:d5");
    EXPECT_THROW(d.setIndex(""), EngineError);
    d.setMaster(nullptr, "");
    EXPECT_EQ(d.recordCount(), 5);
    // Removing the master unlinks the detail.
    {
        Dataset m2;
        m2.open(masterFile);
        d.setMaster(&m2, "KEY");
        EXPECT_EQ(view(d), "X:d2");
    }
    EXPECT_EQ(d.master(), nullptr);
    EXPECT_EQ(d.recordCount(), 5);
}

TEST(Dataset, TwoDatasetsOverOneFileSeeEachOther) {
    TestDir dir;
    auto p = makeTable(dir, {"A:a", "B:b"});
    Dataset one, two;
    one.open(p);
    two.open(dir.ztemp() / "t.dbf");  // other spelling, same table
    two.setIndex("KEY");
    Recorder rec;
    two.addObserver(&rec);
    one.append();
    one.setText("KEY", "0");
    one.post();
    EXPECT_EQ(view(two), "0: A:a B:b");
    EXPECT_TRUE(rec.has("reset"));
    rec.events.clear();
    one.last();
    one.edit();
    one.setText("NAME", "zz");
    one.post();  // a value change that does not move the row
    EXPECT_EQ(rec.events, std::vector<std::string>{"row 0"});
    two.last();
    EXPECT_EQ(two.text("KEY"), "B");
    one.first();
    one.next();  // B in physical order
    one.remove();
    // two's current row was deleted: it moves to the row now at its place.
    EXPECT_EQ(two.text("KEY"), "A");
    EXPECT_EQ(two.recordCount(), 2);
    two.removeObserver(&rec);
}

// The current row keeps its identity while another dataset adds, deletes or re-keys rows
// around it (its position is remembered between reads, and must follow those changes).
TEST(Dataset, CurrentRowFollowsChangesMadeThroughAnotherDataset) {
    TestDir dir;
    auto p = makeTable(dir, {"C:c", "E:e", "G:g"});
    Dataset mine, other;
    mine.open(p);
    mine.setIndex("KEY");
    other.open(p);
    other.setIndex("KEY");
    ASSERT_TRUE(mine.findKey("E"));
    EXPECT_EQ(mine.position(), 1);
    struct Step {
        const char* what;
        std::function<void()> change;
        int position;
        const char* view;
    };
    const Step steps[] = {
        {"append before",
         [&] {
             other.appendRecord({"A", "a"});
         },
         2, "A:a C:c E:e G:g"},
        {"append after",
         [&] {
             other.appendRecord({"H", "h"});
         },
         2, "A:a C:c E:e G:g H:h"},
        {"delete before",
         [&] {
             ASSERT_TRUE(other.findKey("C"));
             other.remove();
         },
         1, "A:a E:e G:g H:h"},
        {"re-key before to after",
         [&] {
             ASSERT_TRUE(other.findKey("A"));
             other.edit();
             other.setText("KEY", "Z");
             other.post();
         },
         0, "E:e G:g H:h Z:a"},
        {"re-key it",
         [&] {
             ASSERT_TRUE(other.findKey("E"));
             other.edit();
             other.setText("KEY", "I");
             other.post();
         },
         2, "G:g H:h I:e Z:a"},
    };
    for (const auto& s : steps) {
        s.change();
        EXPECT_EQ(view(mine), s.view) << s.what;
        EXPECT_EQ(mine.text("NAME"), "e") << s.what;
        EXPECT_EQ(mine.position(), s.position) << s.what;
    }
}

TEST(Dataset, ObserversHearMovesAndStates) {
    TestDir dir;
    auto p = makeTable(dir, {"A:a", "B:b"});
    Dataset d;
    Recorder rec;
    d.addObserver(&rec);
    d.open(p);
    EXPECT_EQ(rec.events, (std::vector<std::string>{"reset", "current"}));
    rec.events.clear();
    d.next();
    d.edit();
    d.setText("NAME", "q");
    EXPECT_EQ(rec.events, (std::vector<std::string>{"current", "current", "row 1"}));
    d.close();
    EXPECT_TRUE(rec.has("reset"));
}

TEST(Dataset, SharedPostReachesTheFileAtOnce) {
    TestDir dir;
    auto p = makeTable(dir, {});
    Dataset d;
    d.open(p, OpenMode::Shared);
    for (int i = 0; i < 3; ++i) {
        d.appendRecord({"K" + std::to_string(i)});
        EXPECT_EQ(headerCount(p), static_cast<std::uint32_t>(i + 1));
    }
    std::string bytes = testing::readBytes(p);
    EXPECT_EQ(bytes.size(), 32u + 4 * 32 + 1 + 3 * 22 + 1);
    EXPECT_EQ(static_cast<unsigned char>(bytes.back()), 0x1A);
    d.first();
    d.remove();
    EXPECT_EQ(testing::readBytes(p)[32 + 4 * 32 + 1], '*');
    EXPECT_EQ(headerCount(p), 3u);  // deleted rows stay counted, flagged '*'
}

TEST(Dataset, ExclusiveWritesAreBatchedUntilFlushOrClose) {
    TestDir dir;
    auto p = makeTable(dir, {"A:a"});
    std::string before = testing::readBytes(p);
    Dataset d;
    d.open(p, OpenMode::Exclusive);
    d.appendRecord({"B", "b"});
    d.first();
    d.edit();
    d.setText("NAME", "z");
    d.post();
    EXPECT_EQ(testing::readBytes(p), before);
    d.flush();
    EXPECT_EQ(headerCount(p), 2u);
    d.appendRecord({"C", "c"});
    EXPECT_EQ(headerCount(p), 2u);
    d.close();
    EXPECT_EQ(headerCount(p), 3u);
    Dataset again;
    again.open(p);
    EXPECT_EQ(view(again), "A:z B:b C:c");
}

TEST(Dataset, FailedWriteReportsAndKeepsWhatWasStored) {
    TestDir dir;
    auto p = makeTable(dir, {"A:a"});
    Dataset d;
    d.open(p);
    setFileFaultHook([](std::string_view op, const std::filesystem::path&) {
        return op == "write" ? 28 /* ENOSPC */ : 0;
    });
    d.append();
    d.setText("KEY", "B");
    try {
        d.post();
        ADD_FAILURE() << "post should fail";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find(p.string()), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("no queda espacio en el disco"), std::string::npos)
            << e.what();
    }
    setFileFaultHook({});
    EXPECT_EQ(d.state(), DatasetState::Insert);  // the row is still pending, not lost
    EXPECT_EQ(d.recordCount(), 1);
    d.post();
    EXPECT_EQ(view(d), "A:a B:");
    EXPECT_EQ(headerCount(p), 2u);
}

// The same changes written through (shared), kept until the table closes (exclusive) and kept
// in a write batch while the folder is held (shared): the files end byte for byte the same,
// and in a batch another program reading the file sees it as it was until the batch ends.
class WritePaths : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(WritePaths, EndInTheSameFile) {
    const auto& c = GetParam();
    enum class Path { Through, Exclusive, Batched };
    std::map<Path, std::string> files;
    for (Path path : {Path::Through, Path::Exclusive, Path::Batched}) {
        TestDir dir;
        auto p = makeTable(dir, c.rows);
        const std::string before = testing::readBytes(p);
        ASSERT_TRUE(holdFolder(dir.ztemp()));
        {
            Dataset d;
            d.open(p, path == Path::Exclusive ? OpenMode::Exclusive : OpenMode::Shared);
            std::optional<WriteBatch> batch;
            if (path == Path::Batched) batch.emplace(std::initializer_list<Dataset*>{&d});
            EXPECT_EQ(run(d, c.script), c.finds);
            if (path != Path::Through) {
                EXPECT_EQ(testing::readBytes(p), before);
            }
            if (batch) batch->commit();
            if (path == Path::Batched) {
                // Written whole once the batch ends, the dataset still open.
                EXPECT_EQ(headerCount(p),
                          static_cast<std::uint32_t>(d.recordCount() + deletedRows(p)));
            }
            d.close();
        }
        releaseFolder();
        files[path] = testing::readBytes(p);
    }
    EXPECT_EQ(files[Path::Exclusive], files[Path::Through]);
    EXPECT_EQ(files[Path::Batched], files[Path::Through]);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, WritePaths,
    ::testing::Values(
        ScriptCase{
            "appends", {"A:a"}, "append; set KEY=B; post; append; set KEY=C; post", "", "", 'B'},
        ScriptCase{"edits and deletes",
                   {"A:a", "B:b", "C:c"},
                   "first; edit; set NAME=z; post; next; remove; last; edit; set KEY=D; post",
                   "",
                   "",
                   'B'},
        ScriptCase{"a row appended then deleted",
                   {"A:a"},
                   "append; set KEY=B; post; last; remove; append; set KEY=C; post",
                   "",
                   "",
                   'B'},
        ScriptCase{"edits of new rows",
                   {},
                   "append; set KEY=B; post; edit; set NAME=x; post",
                   "",
                   "",
                   'B'},
        ScriptCase{"every row at once",
                   {"A:a", "B:n", "C:c"},
                   "removewhere NAME=n; setall NAME=n; append; set KEY=D; post",
                   "",
                   "",
                   'B',
                   "12"}));

// A table this process changed, closed and opened again in the folder it holds (kept in memory
// meanwhile): whatever another program did to the file in between is what the next open sees.
struct KeptCase {
    const char* what;
    std::function<void(const std::filesystem::path&)> meanwhile;
    const char* view;
};

std::ostream& operator<<(std::ostream& o, const KeptCase& c) { return o << c.what; }

class KeptTable : public ::testing::TestWithParam<KeptCase> {};

TEST_P(KeptTable, ReopenedAsTheFileIsNow) {
    TestDir dir;
    ASSERT_TRUE(holdFolder(dir.ztemp()));
    auto p = makeTable(dir, {"A:a", "B:b"});  // changed and closed in this process
    GetParam().meanwhile(p);
    // The run log's count, from memory or from the file, is that of the file as it is now.
    const std::string v = GetParam().view;
    EXPECT_EQ(liveRowCount(p), static_cast<long>(std::count(v.begin(), v.end(), ':')));
    {
        Dataset d;
        d.open(p);
        d.setIndex("KEY");
        EXPECT_EQ(view(d), GetParam().view);
        d.setIndex("");
        EXPECT_EQ(view(d), GetParam().view);
    }
    releaseFolder();
}

// Appends a row "C:c" to T.DBF as another program would: its bytes, then the count.
void appendRaw(const std::filesystem::path& p) {
    std::string b = testing::readBytes(p);
    const std::uint32_t n = headerCount(p), hl = 32 + 4 * 32 + 1, rl = 22;
    std::string rec = " C   c" + std::string(rl - 6, ' ');
    b.resize(hl + std::size_t(n) * rl);
    b += rec + '\x1A';
    b[4] = static_cast<char>(n + 1);
    testing::writeBytes(p, b);
}

INSTANTIATE_TEST_SUITE_P(
    Meanwhile, KeptTable,
    ::testing::Values(KeptCase{"nobody touched it", [](const std::filesystem::path&) {}, "A:a B:b"},
                      KeptCase{"another program appended a row", appendRaw, "A:a B:b C:c"},
                      KeptCase{"another program made the table anew",
                               [](const std::filesystem::path& p) {
                                   // Made beside it and renamed over it: another file.
                                   auto other = p.parent_path() / "OTHER.DBF";
                                   createTable(other, kFields, {});
                                   {
                                       Dataset d;
                                       d.open(other);
                                       d.appendRecord({"Z", "z"});
                                   }
                                   std::filesystem::rename(other, p);
                               },
                               "Z:z"},
                      KeptCase{"another program changed a row in place, later",
                               [](const std::filesystem::path& p) {
                                   // Same size: told by the file's times, which move on with the
                                   // clock.
                                   std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                   std::string b = testing::readBytes(p);
                                   b[32 + 4 * 32 + 1 + 5] = 'q';  // NAME of the first row
                                   testing::writeBytes(p, b);
                               },
                               "A:q B:b"}));

TEST(Dataset, ExclusiveAndSharedInOneProcessLockByTheStrongest) {
    TestDir dir;
    auto p = makeTable(dir, {"A:a"});
    Dataset shared, exclusive;
    shared.open(p, OpenMode::Shared);
    exclusive.open(p, OpenMode::Exclusive);
    exclusive.appendRecord({"B"});
    EXPECT_EQ(shared.recordCount(), 2);
    EXPECT_EQ(headerCount(p), 1u);  // batched while held exclusively
    exclusive.close();              // back to shared: batched rows are written
    EXPECT_EQ(headerCount(p), 2u);
    shared.appendRecord({"C"});
    EXPECT_EQ(headerCount(p), 3u);
}

TEST(TableFiles, LongNamesAreStoredCutToTenCharacters) {
    TestDir dir;
    auto p = dir.ztemp() / "LONG.DBF";
    createTable(p, {charField("PROF_DIA_SES", 7), charField("DIA_SES", 3)}, {"PROF_DIA_SES"});
    EXPECT_EQ(testing::readBytes(p).substr(32, 11), std::string("PROF_DIA_S\0", 11));
    Dataset d;
    d.open(p);
    EXPECT_EQ(d.fields()[0].name, "PROF_DIA_S");
    EXPECT_EQ(d.fieldIndex("PROF_DIA_SES"), 0);
    EXPECT_EQ(d.fieldIndex("prof_dia_s"), 0);
    d.setIndex("PROF_DIA_SES");
    d.appendRecord({"ABC 101", "101"});
    EXPECT_TRUE(d.findKey("ABC 101"));
    EXPECT_EQ(d.text("PROF_DIA_SES"), "ABC 101");
}

TEST(TableFiles, CreateReplacesAndDeleteRemoves) {
    TestDir dir;
    auto p = makeTable(dir, {"A:a"});
    testing::writeBytes(dir.ztemp() / "t.mdx", "stale index");
    EXPECT_TRUE(tableExists(dir.ztemp() / "t"));
    createTable(dir.ztemp() / "T", kFields, {"KEY"});
#ifndef _WIN32  // two spellings are two files only where letter case counts
    EXPECT_FALSE(std::filesystem::exists(dir.ztemp() / "t.mdx"));
#endif
    Dataset d;
    d.open(p);
    EXPECT_TRUE(d.isEmpty());
    EXPECT_EQ(d.indexNames(), std::vector<std::string>{"KEY"});
    EXPECT_THROW(createTable(p, kFields, {}), EngineError);  // open in this process
    EXPECT_THROW(deleteTableFiles(p), EngineError);
    d.close();
    EXPECT_TRUE(deleteTableFiles(dir.ztemp() / "t.DBF"));
    EXPECT_FALSE(tableExists(p));
    EXPECT_TRUE(deleteTableFiles(p));  // nothing to delete is fine
    EXPECT_THROW(createTable(p, {charField("BAD NAME", 3)}, {}), EngineError);
    EXPECT_THROW(createTable(p, {charField("ABCDEFGHIJ1", 3), charField("ABCDEFGHIJ2", 3)}, {}),
                 EngineError);  // the same name once cut to 10 characters
    EXPECT_THROW(createTable(p, {charField("A", 0)}, {}), EngineError);
    EXPECT_THROW(createTable(p, {charField("A", 3)}, {"B"}), EngineError);
    EXPECT_THROW(createTable(dir.path() / "nofolder" / "X.DBF", kFields, {}), EngineError);
    EXPECT_FALSE(tableExists(p));
}

}  // namespace
}  // namespace tz::tables
