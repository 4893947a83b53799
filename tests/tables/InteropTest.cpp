// Round trips through independent dBase programs: every catalogue table written by us is read
// back cell for cell by python dbfread and Perl XBase; a table written by python dbf is read by
// us.
#include <gtest/gtest.h>

#include <cstdio>

#include "TestDir.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/TableFiles.h"

namespace tz::tables {
namespace {

namespace fs = std::filesystem;
using testing::TestDir;

std::string output(const std::string& command) {
    std::string out;
    FILE* f = ::popen(command.c_str(), "r");
    if (!f) return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    ::pclose(f);
    return out;
}

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string h;
    for (unsigned char c : bytes) {
        h.push_back(digits[c >> 4]);
        h.push_back(digits[c & 15]);
    }
    return h;
}

// Windows-1252 values with accents and the euro sign.
const std::vector<std::string> kSamples = {
    "\xD1"
    "and\xFA ",
    "Ea\xF1"
    "aut",
    "Zo\xEB Ib\xE1\xF1"
    "ez",
    "Irati \x80 Gar\xE7\xED"
    "a",
    "K",
    "\xC1lava-Araba"};

std::string valueFor(const FieldDef& f, int row, int field) {
    switch (f.type) {
        case FieldType::Logical:
            return row % 3 == 0 ? "T" : (row % 3 == 1 ? "F" : "");
        case FieldType::Numeric:
            return std::to_string((row + 1) * (row % 2 ? -7 : 123457));
        default: {
            std::string v =
                kSamples[static_cast<std::size_t>(row + field) % kSamples.size()] + f.name;
            return v.substr(0, static_cast<std::size_t>(f.width));
        }
    }
}

// The rows as the dump scripts print them.
std::string expectedDump(Dataset& d) {
    std::string out = "fields ";
    for (std::size_t i = 0; i < d.fields().size(); ++i) {
        const auto& f = d.fields()[i];
        out += (i ? "," : "") + f.name + ":" + static_cast<char>(f.type) + ":" +
               std::to_string(f.width) + ":" + std::to_string(f.decimals);
    }
    out += "\n";
    for (d.first(); !d.eof(); d.next()) {
        for (std::size_t i = 0; i < d.fields().size(); ++i) {
            std::string t = d.text(static_cast<int>(i));
            out += (i ? "|" : "") + (d.fields()[i].type == FieldType::Character ? hex(t) : t);
        }
        out += "\n";
    }
    return out;
}

class EveryCatalogueTable : public ::testing::TestWithParam<const TableLayout*> {};

TEST_P(EveryCatalogueTable, IsReadBackByDbfreadAndXBase) {
    const TableLayout& l = *GetParam();
    TestDir dir;
    createTable(ztemp(), l);
    fs::path p = ztempFile(l.fileName);
    std::string expected;
    {
        Dataset d;
        d.open(p);
        for (int r = 0; r < 4; ++r) {
            std::vector<std::string> values;
            for (std::size_t f = 0; f < l.fields.size(); ++f) {
                values.push_back(valueFor(l.fields[f], r, static_cast<int>(f)));
            }
            d.appendRecord(values);
        }
        d.moveTo(1);
        d.remove();  // a deleted row the readers must skip
        d.last();
        d.edit();
        d.setText(0, l.fields[0].type == FieldType::Numeric ? "99" : "\xE9");
        d.post();  // an in-place rewrite
        expected = expectedDump(d);
    }
    EXPECT_EQ(
        output(std::string(TZ_PYTHON) + " " + TZ_INTEROP_SCRIPTS "/dump_dbfread.py " + p.string()),
        expected);
    EXPECT_EQ(output(std::string(TZ_PERL) + " " + TZ_INTEROP_SCRIPTS "/dump_xbase.pl " +
                     p.string() + " 2>&1"),
              expected);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryCatalogueTable, ::testing::ValuesIn(catalogue::all()),
                         [](const auto& info) {
                             std::string n = info.param->fileName;
                             return n.substr(0, n.find('.'));
                         });

TEST(Interop, TableWrittenByPythonDbfIsReadByUs) {
    TestDir dir;
    fs::path p = dir.ztemp() / "ajena.dbf";
    output(std::string(TZ_PYTHON) + " " + TZ_INTEROP_SCRIPTS "/write_pydbf.py " + p.string());
    ASSERT_TRUE(fs::exists(p));
    Dataset d;
    d.open(p, OpenMode::ReadOnly);
    ASSERT_EQ(d.fields().size(), 5u);
    EXPECT_EQ(d.fields()[1].type, FieldType::Numeric);
    EXPECT_EQ(d.fields()[1].decimals, 2);
    EXPECT_EQ(d.fields()[2].type, FieldType::Float);
    EXPECT_EQ(d.fields()[3].type, FieldType::Date);
    std::vector<std::string> rows;
    for (d.first(); !d.eof(); d.next()) {
        std::string r;
        for (int i = 0; i < 5; ++i) r += (i ? "|" : "") + d.text(i);
        rows.push_back(r);
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"I\xF1"
                                              "aki|12.5|3.25|20240131|T",
                                              "Ane|-0.75|1000.125||F", "Zo\xEB|0|0|19991201|"}));
    d.first();
    EXPECT_EQ(d.number("PESO"), 3.25);
    EXPECT_TRUE(d.logical("ACTIVO"));
    // Writing to it keeps it readable by its own library.
    d.close();
    d.open(p, OpenMode::Exclusive);
    d.appendRecord({"Nuevo", "1.5", "2", "20250102", "T"});
    d.close();
    std::string dump =
        output(std::string(TZ_PYTHON) + " " + TZ_INTEROP_SCRIPTS "/dump_dbfread.py " + p.string());
    EXPECT_NE(dump.find(hex("Nuevo") + "|1.5|2|2025-01-02|T"), std::string::npos) << dump;
}

}  // namespace
}  // namespace tz::tables
