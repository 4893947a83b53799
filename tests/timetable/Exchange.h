#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/TempFolder.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"

// A throw-away exchange root for one test: ROOT/ZTEMP and a text folder ROOT/textos/.
namespace tz::testing {

namespace fs = std::filesystem;

class Exchange {
  public:
    Exchange() {
        root = makeTempFolder("tz-timetable");
        fs::create_directories(root / "ZTEMP");
        fs::create_directories(root / "textos");
        tables::setRootOverride(root);
    }
    ~Exchange() {
        tables::setRootOverride({});
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    fs::path ztemp(const std::string& file) const { return root / "ZTEMP" / file; }
    std::string textos() const { return (root / "textos").string() + "/"; }

    // Creates a catalogue table with these rows (values in field order).
    void table(const tables::TableLayout& layout,
               const std::vector<std::vector<std::string>>& rows = {}) const {
        tables::createTable(root / "ZTEMP", layout);
        fill(ztemp(layout.fileName), rows);
    }
    static void fill(const fs::path& file, const std::vector<std::vector<std::string>>& rows) {
        tables::Dataset ds;
        ds.open(file, tables::OpenMode::Shared);
        for (const auto& r : rows) ds.appendRecord(r);
        ds.close();
    }

    // The timetabler's SOLUC: PROF, DIA, HORA, SESIONES, CODGRUPO, ASIG, TAREA, AULA.
    static std::vector<tables::FieldDef> solucFields() {
        using namespace tables;
        return {charField("PROF", 4),        numericField("DIA", 2),   numericField("HORA", 3),
                numericField("SESIONES", 2), charField("CODGRUPO", 4), charField("ASIG", 4),
                charField("TAREA", 3),       charField("AULA", 4)};
    }
    void soluc(const std::vector<std::vector<std::string>>& rows) const {
        tables::createTable(ztemp("SOLUC.DBF"), solucFields(), {});
        fill(ztemp("SOLUC.DBF"), rows);
    }

    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void write(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }

    // Every row of a table in index order (or file order), the named fields joined by "|".
    static std::vector<std::string> rows(const fs::path& file,
                                         const std::vector<std::string>& fields,
                                         const std::string& index = "") {
        tables::Dataset ds;
        ds.open(file, tables::OpenMode::ReadOnly);
        if (!index.empty()) ds.setIndex(index);
        std::vector<std::string> out;
        for (ds.first(); !ds.isEmpty() && !ds.eof(); ds.next()) {
            std::string line;
            for (std::size_t i = 0; i < fields.size(); ++i)
                line += (i ? "|" : "") + ds.text(fields[i]);
            out.push_back(line);
        }
        return out;
    }

    fs::path root;
};

}  // namespace tz::testing
