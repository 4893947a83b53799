// The table reader over a fuzzed .DBF: open, every row, every field as text and as number,
// every index selected with a key search, bookmarks and the positions they are at, fields read
// in place as they read copied, a filter; then, on a writable open, one append, one edit and one
// delete, after which the file must still be consistent (header count equal to the records on
// disk) and open again.
//
// Input: one byte choosing the file name (table names of the exchange folder carry their
// indexes), then the table's bytes.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "reliability/TableCheck.h"
#include "tables/Dataset.h"
#include "tables/EngineError.h"

namespace {

namespace fs = std::filesystem;
using tz::tables::Dataset;
using tz::tables::FieldType;
using tz::tables::OpenMode;

const char* const kNames[] = {"PROFT.DBF", "CUADROH2.DBF", "CUADROH3.DBF",  "PLANTILLA.DBF",
                              "SOLUC.DBF", "GRUPOST.DBF",  "xelCENTRO.DBF", "OTRA.DBF"};
constexpr std::size_t kNameCount = sizeof kNames / sizeof kNames[0];

void visit(Dataset& ds, std::string_view probe) {
    const int fields = static_cast<int>(ds.fields().size());
    int rows = 0;
    for (ds.first(); !ds.eof() && !ds.isEmpty(); ds.next()) {
        for (int f = 0; f < fields; ++f) {
            std::string t = ds.text(f);
            const auto& def = ds.fields()[static_cast<std::size_t>(f)];
            (void)ds.number(def.name);
            (void)ds.integer(def.name);
        }
        ++rows;
        TZ_FUZZ_CHECK(rows <= ds.recordCount());
    }
    TZ_FUZZ_CHECK(rows == ds.recordCount());
    if (!ds.isEmpty()) {
        ds.last();
        tz::tables::Bookmark b = ds.bookmark();
        ds.prior();
        ds.gotoBookmark(b);
        TZ_FUZZ_CHECK(ds.bookmark() == b);
        for (int p = 0; p < ds.recordCount() && p < 64; ++p) {
            TZ_FUZZ_CHECK(ds.positionOf(ds.bookmarkAt(p)) == p);
            for (int f = 0; f < fields; ++f) {
                const std::string t = ds.textAt(p, f);
                const std::string_view v = ds.textViewAt(p, f);
                if (ds.fields()[static_cast<std::size_t>(f)].type == FieldType::Character)
                    TZ_FUZZ_CHECK(v == t);
            }
        }
    }
    for (const std::string& idx : ds.indexNames()) {
        ds.setIndex(idx);
        std::string firstKey;
        if (!ds.isEmpty()) firstKey = ds.text(idx);
        int seen = 0;
        for (ds.first(); !ds.eof() && !ds.isEmpty(); ds.next()) ++seen;
        TZ_FUZZ_CHECK(seen == ds.recordCount());
        // Text and key agree for character and numeric fields; the others (a damaged type
        // byte makes an index field a memo) are only searched.
        const auto type = ds.fields()[static_cast<std::size_t>(ds.fieldIndex(idx))].type;
        const bool comparable = type == FieldType::Character || type == FieldType::Numeric ||
                                type == FieldType::Float || type == FieldType::BinaryInt;
        if (!ds.isEmpty() && comparable) {
            TZ_FUZZ_CHECK(ds.findKey(firstKey));
            TZ_FUZZ_CHECK(ds.text(idx) == firstKey);
        }
        (void)ds.findKey(probe);
    }
    ds.setIndex("");
    if (fields > 0) {
        std::string cond = ds.fields()[0].name + " = '" + std::string(probe.substr(0, 8)) + "'";
        try {
            ds.setFilter(cond);
            ds.setFiltered(true);
            for (ds.first(); !ds.eof() && !ds.isEmpty(); ds.next()) (void)ds.text(0);
            ds.setFiltered(false);
        } catch (const tz::tables::EngineError&) {
            // A quote in the probe makes the condition malformed: refused, not misread.
        }
    }
}

void change(Dataset& ds, std::string_view probe) {
    const int fields = static_cast<int>(ds.fields().size());
    ds.append();
    for (int f = 0; f < fields; ++f) {
        try {
            ds.setText(f, probe);
        } catch (const tz::tables::EngineError&) {
            // Not a value of that type.
        }
    }
    ds.post();
    ds.first();
    if (!ds.isEmpty()) {
        ds.edit();
        try {
            ds.setText(0, probe.substr(0, 3));
        } catch (const tz::tables::EngineError&) {
        }
        ds.post();
        ds.remove();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const fs::path dir = tz::fuzz::scratch();
    const fs::path file = dir / kNames[data[0] % kNameCount];
    const bool write = (data[0] / kNameCount) % 2 == 1;
    std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string_view probe = bytes.substr(bytes.size() > 16 ? bytes.size() - 16 : 0);
    tz::fuzz::emptyFolder(dir);
    tz::fuzz::writeFile(file, bytes);

    bool opened = false;
    try {
        Dataset ds;
        ds.open(file, OpenMode::ReadOnly);
        opened = true;
        visit(ds, probe);
    } catch (const tz::tables::EngineError&) {
        // Refused with a message naming the file: the expected answer to a damaged table.
    }
    if (!opened || !write) return 0;

    bool changed = false;
    try {
        Dataset ds;
        ds.open(file, OpenMode::Shared);
        change(ds, probe);
        ds.close();
        changed = true;
    } catch (const tz::tables::EngineError&) {
    }
    // Whatever the table was before, once a row is appended the header counts no row that is
    // missing from the file.
    auto raw = tz::reliability::inspectTable(file);
    if (changed && raw.readable && raw.headerCount > raw.recordsOnDisk) {
        std::fprintf(stderr, "after writing: %s\n", raw.problem.c_str());
        TZ_FUZZ_CHECK(false);
    }
    try {
        Dataset again;
        again.open(file, OpenMode::ReadOnly);
        visit(again, probe);
    } catch (const tz::tables::EngineError&) {
        TZ_FUZZ_CHECK(false);  // it opened before we wrote to it
    }
    return 0;
}
