// Times the completeness check over 120,000 type 2 rows (and one type 3 row each), with every
// catalogue loaded, on two sets of tables: a mix of complete rows, blank codes and codes missing
// from the catalogues; and every code blank (about four findings a row). For each: the whole
// check as the adjustment window keeps it (Revision::revisaTodo), the same as one list of
// findings (revisa, what the batch prints), and a row and a teacher's 2,000 rows checked again
// after a change (Revision::revisaFilas). Prints the median and the best of several runs; the
// whole check must stay under 200 ms (the list is made for printing and is only reported).
//
//   revision_bench [ROWS [RUNS]]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/TableFiles.h"
#include "timetable/Revision.h"

using namespace tz;
namespace fs = std::filesystem;
namespace rv = timetable::revision;

namespace {

constexpr double kLimitMs = 200;

struct Timing {
    double median, best;
};

Timing time(int runs, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

// CUADROH2/CUADROH3 of `rows` periods, 30 a teacher; `blank`: every code left blank.
void creaCuadros(const fs::path& dir, int rows, bool blank) {
    namespace cat = tables::catalogue;
    tables::createTable(dir, cat::CUADROH2());
    tables::createTable(dir, cat::CUADROH3());
    tables::Dataset h2, h3;
    h2.open(dir / "CUADROH2.DBF", tables::OpenMode::Exclusive);
    h3.open(dir / "CUADROH3.DBF", tables::OpenMode::Exclusive);
    char key[16];
    for (int i = 0; i < rows; ++i) {
        const int prof = i / 30, dia = 1 + (i / 6) % 5, ses = 1 + i % 6;
        std::snprintf(key, sizeof key, "%04d%d%02d", prof % 10000, dia, ses);
        const std::string k(key), ab = k.substr(0, 4);
        if (blank) {
            h2.appendRecord({"2", "", ab, "", k.substr(5, 2), k.substr(4, 1), "", "08:00", "09:00",
                             "", "MAT", "", "", "", "Aula", "", k, k.substr(4, 3), "N"});
            h3.appendRecord(
                {"3", "1A", "", "", ab, "", k.substr(5, 2), k.substr(4, 1), "25", k, "N"});
            continue;
        }
        const std::string tarea = i % 17 == 0 ? "" : std::to_string(100 + i % 250);
        const std::string asig = i % 11 == 0 ? "" : std::to_string(1000 + i % 3500);
        h2.appendRecord({"2", "1", ab, i % 29 ? "12345678Z" : "", k.substr(5, 2), k.substr(4, 1),
                         tarea, "08:00", "09:00", i % 13 ? "SEC" : "", "MAT", asig, " ", "EU",
                         "Aula", i % 7 ? "" : "REC", k, k.substr(4, 3), "N"});
        h3.appendRecord({"3", "1A", i % 19 ? "01ESA" : "", "1", ab, "12345678Z", k.substr(5, 2),
                         k.substr(4, 1), "25", k, "N"});
    }
}

void creaCatalogos(const fs::path& dir) {
    namespace cat = tables::catalogue;
    tables::createTable(dir, cat::xelTIPTAR());
    tables::createTable(dir, cat::xelASIGNAT());
    tables::Dataset t, a;
    t.open(dir / "xelTIPTAR.DBF", tables::OpenMode::Exclusive);
    for (int i = 0; i < 200; ++i)
        t.appendRecord({std::to_string(100 + i), "N", i % 3 ? "N" : "S", "Tarea", "Zeregina"});
    a.open(dir / "xelASIGNAT.DBF", tables::OpenMode::Exclusive);
    for (int i = 0; i < 3000; ++i) a.appendRecord({std::to_string(1000 + i), "Asignatura"});
}

// Times the check on one set of tables; false when the whole check is over the limit.
bool mide(const char* name, const fs::path& dir, const rv::Catalogos& cats, int rows, int runs) {
    tables::Dataset h2, h3;
    h2.open(dir / "CUADROH2.DBF", tables::OpenMode::ReadOnly);
    h3.open(dir / "CUADROH3.DBF", tables::OpenMode::ReadOnly);

    rv::Revision r(cats);
    const Timing todo = time(runs, [&] { r.revisaTodo(h2, h3); });
    std::size_t findings = 0;
    const Timing lista = time(runs, [&] { findings = rv::revisa(h2, h3, cats).size(); });

    // One row, then one teacher's 2,000 rows, as after an edit and after a propagation.
    const std::vector<tables::Bookmark> una{static_cast<tables::Bookmark>(rows / 2)};
    std::vector<tables::Bookmark> profesor;
    for (int i = 0; i < 2000 && i < rows; ++i)
        profesor.push_back(static_cast<tables::Bookmark>((rows / 3 + i) % rows));
    const Timing fila = time(runs, [&] { r.revisaFilas(2, h2, una); });
    const Timing filas = time(runs, [&] { r.revisaFilas(2, h2, profesor); });

    std::printf("%s: %d type 2 rows, %zu findings on %d rows (median / best, ms)\n", name, rows,
                findings, r.resumen().registros());
    std::printf("  whole check (window)      %8.1f / %8.1f   limit %.0f\n", todo.median, todo.best,
                kLimitMs);
    std::printf("  whole check as one list   %8.1f / %8.1f\n", lista.median, lista.best);
    std::printf("  one row again             %8.3f / %8.3f\n", fila.median, fila.best);
    std::printf("  2,000 rows again          %8.3f / %8.3f\n", filas.median, filas.best);
    return todo.median < kLimitMs;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 120000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    std::string tmpl = (fs::temp_directory_path() / "tz-revision-bench-XXXXXX").string();
    const fs::path dir = mkdtemp(tmpl.data());
    const fs::path mezcla = dir / "mezcla", blancos = dir / "blancos";
    fs::create_directories(mezcla);
    fs::create_directories(blancos);
    creaCatalogos(dir);
    creaCuadros(mezcla, rows, false);
    creaCuadros(blancos, rows, true);

    bool ok = true;
    {
        tables::Dataset tiptar, asignat;
        tiptar.open(dir / "xelTIPTAR.DBF", tables::OpenMode::ReadOnly);
        asignat.open(dir / "xelASIGNAT.DBF", tables::OpenMode::ReadOnly);
        const auto cats = rv::leeCatalogos({nullptr, &tiptar, nullptr, &asignat});
        ok &= mide("mixed codes", mezcla, cats, rows, runs);
        ok &= mide("every code blank", blancos, cats, rows, runs);
    }
    fs::remove_all(dir);
    return ok ? 0 : 1;
}
