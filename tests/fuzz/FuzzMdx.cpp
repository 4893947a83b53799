// A fuzzed production index (.MDX) beside a sound table: the table opens and reads the same
// whatever the index file holds, every index of the table visits every row and finds each row's
// key, a row is appended and stored, and the index written then is sound (its structural check
// passes, every tag lists every record) and the table opens again with the new row.
//
// Input: one byte choosing the table (PROFT, CUADROH2, CUADROH3, PLANTILLA), then the .MDX
// bytes.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "reliability/TableCheck.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/EngineError.h"
#include "tables/MdxReader.h"
#include "tables/TableFiles.h"

namespace {

namespace fs = std::filesystem;
using tz::tables::Dataset;
using tz::tables::OpenMode;

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Sound {
    const tz::tables::TableLayout* layout;
    std::string dbf;  // the table's bytes, with rows
    int rows = 0;
};

// The sound tables, made once with our engine (a deleted row in each).
const std::vector<Sound>& sound() {
    static const std::vector<Sound> tables = [] {
        namespace c = tz::tables::catalogue;
        const fs::path dir = tz::fuzz::scratch() / "sanas";
        fs::create_directories(dir);
        const std::vector<
            std::pair<const tz::tables::TableLayout*, std::vector<std::vector<std::string>>>>
            plan = {
                {&c::PROFT(),
                 {{"ZZZ"}, {"AGA", "Aitor", "Mat", "12345678Z", "1"}, {"MLU"}, {"AGA1"}, {"AGA"}}},
                {&c::CUADROH2(),
                 {{"2"},
                  {"2", "1", "AGA", "12345678Z", "01", "1", "101", "08:30", "09:25", "ESO", "MAT",
                   "0105", " ", "02", "A3", "", "AGA 101", "101", "N"},
                  {"2", "", "MLU", "", "02", "3", "", "", "", "", "", "", "", "", "", "", "MLU 302",
                   "302", "N"}}},
                {&c::CUADROH3(),
                 {{"3"},
                  {"3", "1A", "21000", "1", "AGA", "12345678Z", "01", "1", "25", "AGA 101", "N"},
                  {"3", "1B", "", "", "MLU", "", "02", "3", "", "MLU 302", "N"}}},
                {&c::PLANTILLA(), {{"9"}, {"1", "08:30", "09:25"}, {"2"}, {"-3"}, {"1"}}},
            };
        std::vector<Sound> out;
        for (const auto& [layout, rows] : plan) {
            tz::tables::createTable(dir, *layout);
            Dataset ds;
            ds.open(dir / layout->fileName, OpenMode::Shared);
            for (const auto& r : rows) ds.appendRecord(r);
            ds.first();
            ds.remove();
            const int n = ds.recordCount();
            ds.close();
            out.push_back({layout, readBytes(dir / layout->fileName), n});
        }
        return out;
    }();
    return tables;
}

// Every index visits every row and finds each row's key; the rows read the same under each.
void visit(Dataset& ds, int rows) {
    TZ_FUZZ_CHECK(ds.recordCount() == rows);
    for (const std::string& idx : ds.indexNames()) {
        ds.setIndex(idx);
        int seen = 0;
        std::vector<std::string> keys;
        for (ds.first(); !ds.isEmpty() && !ds.eof(); ds.next()) {
            keys.push_back(ds.text(idx));
            ++seen;
        }
        TZ_FUZZ_CHECK(seen == rows);
        for (const std::string& k : keys) {
            TZ_FUZZ_CHECK(ds.findKey(k));
            TZ_FUZZ_CHECK(ds.text(idx) == k);
        }
    }
    ds.setIndex("");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)sound();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const Sound& t = sound()[data[0] % sound().size()];
    const fs::path dir = tz::fuzz::scratch() / "tabla";
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    const fs::path dbf = dir / t.layout->fileName;
    const fs::path mdx = fs::path(dbf).replace_extension(".MDX");
    tz::fuzz::writeFile(dbf, t.dbf);
    tz::fuzz::writeFile(mdx, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

    try {
        Dataset ds;
        ds.open(dbf, OpenMode::ReadOnly);
        visit(ds, t.rows);
    } catch (const tz::tables::EngineError&) {
        // The index file refused with a message: allowed, as long as writing mends it.
    }

    // The first change rebuilds the index from the rows. The table's indexes are the tags the
    // index file names (those of fields that can be tags), so they may be fewer than the layout's.
    std::vector<std::string> indexes;
    {
        Dataset ds;
        ds.open(dbf, OpenMode::Shared);
        std::vector<std::string> row(t.layout->fields.size());
        row[0] = "9";
        ds.appendRecord(row);
        visit(ds, t.rows + 1);
        indexes = ds.indexNames();
        ds.close();
    }
    const auto raw = tz::reliability::inspectTable(dbf);
    TZ_FUZZ_CHECK(raw.readable && raw.headerCount == raw.recordsOnDisk);
    if (!indexes.empty()) {
        const auto reader = tz::tables::mdx::MdxReader::open(mdx);
        TZ_FUZZ_CHECK(reader.has_value());
        for (const std::string& problem : reader->check())
            std::fprintf(stderr, "index after writing: %s\n", problem.c_str());
        TZ_FUZZ_CHECK(reader->check().empty());
        TZ_FUZZ_CHECK(reader->info().tags.size() == indexes.size());
        // Deleted rows keep their keys: every record of the file is in every tag.
        for (int i = 0; i < static_cast<int>(reader->info().tags.size()); ++i)
            TZ_FUZZ_CHECK(static_cast<int>(reader->walk(i).size()) == t.rows + 2);
    } else {
        // No tag survived: dBase programs must not be sent to an index file that is not the
        // table's (header byte 28 clear), whatever is left in it.
        const std::string head = readBytes(dbf).substr(0, 32);
        TZ_FUZZ_CHECK(head.size() == 32 && head[28] == 0);
    }
    Dataset again;
    again.open(dbf, OpenMode::ReadOnly);
    visit(again, t.rows + 1);
    return 0;
}
