// Writes the seed tables of the table-reader fuzz target with our own engine:
// make_table_seeds <folder>. Each seed is a selector byte (see FuzzTabla.cpp) and a table.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/TableFiles.h"

namespace fs = std::filesystem;
using namespace tz::tables;

namespace {

void seed(const fs::path& out, const std::string& name, unsigned char selector,
          const fs::path& table) {
    std::ifstream in(table, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream o(out / name, std::ios::binary);
    o.put(static_cast<char>(selector));
    o << bytes;
}

fs::path make(const fs::path& dir, const TableLayout& layout,
              const std::vector<std::vector<std::string>>& rows) {
    createTable(dir, layout);
    fs::path file = dir / layout.fileName;
    Dataset ds;
    ds.open(file, OpenMode::Exclusive);
    for (const auto& r : rows) ds.appendRecord(r);
    if (!rows.empty()) {
        ds.first();
        ds.remove();  // one deleted row in each seed
    }
    ds.close();
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_table_seeds <folder>\n";
        return 2;
    }
    fs::path out = argv[1];
    fs::path work = out / ".work";
    fs::create_directories(work);
    namespace c = catalogue;
    auto proft = make(work, c::PROFT(),
                      {{"ZZZ"},
                       {"AGA", "Aitor Garmendia Arana", "Matemáticas", "12345678Z", "D"},
                       {"MLU", "María Luz Urrutia", "Lengua"},
                       {"AGA1", "Ana Gómez"}});
    seed(out, "proft-leer", 0, proft);
    seed(out, "proft-escribir", 8, proft);
    auto h2 = make(work, c::CUADROH2(),
                   {{"2"},
                    {"2", "D", "AGA", "12345678Z", "01", "1", "001", "08:30", "09:25", "ESO", "MAT",
                     "0105", "L", "EU", "Aula 3", "", "AGA 101", "101", "S"},
                    {"2", "", "MLU", "", "02", "3", "001", "09:25", "10:20"}});
    seed(out, "cuadroh2", 1, h2);
    auto h3 = make(
        work, c::CUADROH3(),
        {{"3"}, {"3", "1A", "21000", "D", "AGA", "12345678Z", "01", "1", "25", "AGA 101", "S"}});
    seed(out, "cuadroh3-escribir", 10, h3);
    auto plan = make(work, c::PLANTILLA(),
                     {{"9"}, {"1", "08:30", "09:25"}, {"2", "09:25", "10:20"}, {"-3", "", ""}});
    seed(out, "plantilla", 3, plan);
    auto centro = make(work, c::xelCENTRO(), {});
    seed(out, "centro-vacio", 14, centro);
    fs::remove_all(work);
    return 0;
}
