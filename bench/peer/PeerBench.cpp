// The table engine against a peer, shapelib (Debian's C dBase library), and against the floor of
// any table writer, one plain sequential write of the same bytes; each pair measured in the
// same run, taking turns, so that the ratio is of the same machine under the same load.
//
//   peer_bench [ROWS [REPEATS [FOLDER]]]   (default 100000 rows of CUADROH2, 7 repeats)
//   peer_bench floor BYTES [REPEATS [FOLDER]]
//
// The first form times, on the CUADROH2 layout (19 character fields):
//   - creating a table, appending ROWS rows and closing it: ours with its four indexes and the
//     .MDX, ours without indexes, and shapelib (which writes no index);
//   - opening that table, reading every field of every row in file order and closing it: ours
//     (as text, and as views without a copy) and shapelib (DBFReadStringAttribute);
// and prints the median CPU time of each (wall time beside it), the ratios and whether the
// goals are met: create with the .MDX at most 0.5 of shapelib's time, reading at most 1.0.
//
// The second form writes BYTES bytes to a new file in one write, REPEATS times, and prints the
// median CPU and wall time of that write alone: the floor the jobs benchmark measures importar
// against.
//
// Exit status 1 when a goal was not met. No test runs this; nothing asserts on its times.
#include <fcntl.h>
#include <shapefil.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/TableFiles.h"

using namespace tz::tables;
namespace fs = std::filesystem;

namespace {

double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Times several contestants in turns: each repeat runs every one once, `setup` untimed first.
struct Contestant {
    const char* name;
    std::function<void()> setup;
    std::function<void()> body;
    std::vector<double> cpu, wall;
    double medianCpu() const { return median(cpu); }
    double medianWall() const { return median(wall); }
};

void race(std::vector<Contestant*> all, int repeats) {
    for (int r = 0; r < repeats; ++r) {
        for (Contestant* c : all) {
            if (c->setup) c->setup();
            const double w = wallNow(), t = cpuNow();
            c->body();
            c->cpu.push_back(cpuNow() - t);
            c->wall.push_back(wallNow() - w);
        }
    }
}

void line(const Contestant& c) {
    std::printf("  %-44s %9.2f ms cpu %9.2f ms wall\n", c.name, c.medianCpu() * 1e3,
                c.medianWall() * 1e3);
}

std::string pad(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

// Rows of the CUADROH2 layout as a fresh export writes them, in shuffled key order.
std::vector<std::vector<std::string>> makeRows(int n) {
    std::vector<std::vector<std::string>> rows;
    rows.reserve(static_cast<std::size_t>(n));
    std::mt19937 rng(12345);
    for (int i = 0; i < n; ++i) {
        const int teacher = i / 30, day = 1 + (i / 6) % 5, hour = 1 + i % 6;
        char abrev[8], slot[32], dia[16], doc[16], aula[16];
        std::snprintf(abrev, sizeof abrev, "%c%03d", 'A' + teacher % 26, teacher / 26 % 1000);
        std::snprintf(slot, sizeof slot, "%s%d%02d", pad(abrev, 4).c_str(), day, hour);
        std::snprintf(dia, sizeof dia, "%d%02d", day, hour);
        std::snprintf(doc, sizeof doc, "%08uX", static_cast<unsigned>(10000000 + rng() % 90000000));
        std::snprintf(aula, sizeof aula, "Aula %d", i % 40);
        rows.push_back({"2", "1", abrev, doc, std::to_string(hour), std::to_string(day), "001",
                        "08:30", "09:25", "ESO", "MAT", "0001", " ", "02", aula, "   ", slot, dia,
                        "N"});
    }
    std::shuffle(rows.begin(), rows.end(), rng);
    return rows;
}

void appendAll(const fs::path& file, const std::vector<std::vector<std::string>>& rows) {
    Dataset d;
    d.open(file, OpenMode::Exclusive);
    for (const auto& r : rows) d.appendRecord(r);
    d.close();
}

void shapelibCreate(const fs::path& file, const std::vector<FieldDef>& fields,
                    const std::vector<std::vector<std::string>>& rows) {
    DBFHandle h = DBFCreate(file.c_str());
    if (!h) {
        std::perror("DBFCreate");
        std::exit(2);
    }
    for (const auto& f : fields) DBFAddField(h, f.name.c_str(), FTString, f.width, 0);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t f = 0; f < rows[r].size(); ++f) {
            DBFWriteStringAttribute(h, static_cast<int>(r), static_cast<int>(f),
                                    rows[r][f].c_str());
        }
    }
    DBFClose(h);
}

std::size_t oursRead(const fs::path& file, bool views) {
    Dataset d;
    d.open(file, OpenMode::ReadOnly);
    const int nf = static_cast<int>(d.fields().size());
    std::size_t chars = 0;
    for (d.first(); !d.eof(); d.next()) {
        for (int f = 0; f < nf; ++f) chars += views ? d.textView(f).size() : d.text(f).size();
    }
    d.close();
    return chars;
}

std::size_t shapelibRead(const fs::path& file) {
    DBFHandle h = DBFOpen(file.c_str(), "rb");
    if (!h) {
        std::perror("DBFOpen");
        std::exit(2);
    }
    const int nr = DBFGetRecordCount(h), nf = DBFGetFieldCount(h);
    std::size_t chars = 0;
    for (int r = 0; r < nr; ++r) {
        for (int f = 0; f < nf; ++f) chars += std::strlen(DBFReadStringAttribute(h, r, f));
    }
    DBFClose(h);
    return chars;
}

fs::path workFolder(int argc, char** argv, int at, bool& temporary) {
    temporary = argc <= at;
    if (!temporary) {
        // A folder given that does not exist yet is made (and kept).
        std::error_code ec;
        fs::create_directories(argv[at], ec);
        if (ec) {
            std::fprintf(stderr, "No se puede crear la carpeta %s: %s\n", argv[at],
                         ec.message().c_str());
            std::exit(2);
        }
        return argv[at];
    }
    std::string tmpl = (fs::temp_directory_path() / "tzpeer-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::exit(2);
    return tmpl;
}

int floorMain(int argc, char** argv) {
    const auto bytes = static_cast<std::size_t>(std::atoll(argv[2]));
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
    bool temporary = false;
    const fs::path folder = workFolder(argc, argv, 4, temporary);
    const fs::path file = folder / "floor.bin";
    std::string content(bytes, 'x');
    Contestant write{"one sequential write",
                     [&] { fs::remove(file); },
                     [&] {
                         const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                         std::size_t done = 0;
                         while (fd >= 0 && done < content.size()) {
                             const ssize_t w =
                                 ::write(fd, content.data() + done, content.size() - done);
                             if (w <= 0) break;
                             done += static_cast<std::size_t>(w);
                         }
                         if (fd < 0 || done != content.size()) std::perror("write");
                         if (fd >= 0) ::close(fd);
                     },
                     {},
                     {}};
    race({&write}, repeats);
    // One line for the jobs benchmark to read: bytes, cpu seconds, wall seconds.
    std::printf("floor %zu %.6f %.6f\n", bytes, write.medianCpu(), write.medianWall());
    if (temporary) {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "floor") == 0) return floorMain(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    bool temporary = false;
    const fs::path folder = workFolder(argc, argv, 3, temporary);
    const auto rows = makeRows(n);
    const TableLayout& layout = catalogue::CUADROH2();

    const fs::path ours = folder / "CUADROH2.DBF";
    // Another name: a table called CUADROH2 takes the catalogue's indexes even without an index
    // file.
    const fs::path plain = folder / "SINIDX.DBF";
    const fs::path peer = folder / "peer.dbf";
    Contestant oursMdx{"ours, with its 4 indexes and the .MDX",
                       [&] { deleteTableFiles(ours); },
                       [&] {
                           createTable(folder, layout);
                           appendAll(ours, rows);
                       },
                       {},
                       {}};
    Contestant oursPlain{"ours, no index",
                         [&] { deleteTableFiles(plain); },
                         [&] {
                             createTable(plain, layout.fields, {});
                             appendAll(plain, rows);
                         },
                         {},
                         {}};
    Contestant peerCreate{"shapelib (writes no index)",
                          [&] { fs::remove(peer); },
                          [&] { shapelibCreate(peer, layout.fields, rows); },
                          {},
                          {}};
    race({&oursMdx, &oursPlain, &peerCreate}, repeats);

    std::size_t a = 0, b = 0, c = 0;
    Contestant oursText{"ours, each field as text", {}, [&] { a = oursRead(ours, false); }, {}, {}};
    Contestant oursView{
        "ours, each field as a view", {}, [&] { b = oursRead(ours, true); }, {}, {}};
    Contestant peerRead{
        "shapelib, DBFReadStringAttribute", {}, [&] { c = shapelibRead(ours); }, {}, {}};
    race({&oursText, &oursView, &peerRead}, repeats);

    const double rc = oursMdx.medianCpu() / peerCreate.medianCpu();
    const double rr = oursText.medianCpu() / peerRead.medianCpu();
    std::printf("%d rows of CUADROH2 (19 fields), %ju bytes; medians of %d turns each\n", n,
                static_cast<std::uintmax_t>(fs::file_size(ours)), repeats);
    std::printf("create, append %d rows, close:\n", n);
    line(oursMdx);
    line(oursPlain);
    line(peerCreate);
    std::printf("  ratio ours with .MDX / shapelib %.2fx cpu (%.2fx wall), no index %.2fx cpu\n",
                rc, oursMdx.medianWall() / peerCreate.medianWall(),
                oursPlain.medianCpu() / peerCreate.medianCpu());
    std::printf("open, read every field of every row in file order, close:\n");
    line(oursText);
    line(oursView);
    line(peerRead);
    std::printf("  ratio ours / shapelib %.2fx cpu (%.2fx wall), as views %.2fx cpu\n", rr,
                oursText.medianWall() / peerRead.medianWall(),
                oursView.medianCpu() / peerRead.medianCpu());
    if (a != b || a == 0) std::printf("  the two ways of reading disagree (%zu, %zu)\n", a, b);
    (void)c;  // shapelib also trims leading spaces: its count differs by design
    const bool okCreate = rc <= 0.5, okRead = rr <= 1.0;
    std::printf("goal: create with the .MDX <= 0.5x shapelib: %.2fx  %s\n", rc,
                okCreate ? "met" : "NOT MET");
    std::printf("goal: read every field <= 1.0x shapelib: %.2fx  %s\n", rr,
                okRead ? "met" : "NOT MET");
    if (temporary) {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    return okCreate && okRead && a == b ? 0 : 1;
}
