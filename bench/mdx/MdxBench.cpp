// Production index benchmark on the CUADROH2 layout (four tags).
//
//   mdx_bench [ROWS [REPEATS]]   (default 100000 rows, 5 repeats)
//
// In one run, each phase REPEATS times (median wall time and median process CPU time):
//   - the .DBF alone: a new table held exclusively, ROWS appended, closed, with no index file
//     kept (the index hooks switched off);
//   - the same with its .MDX kept;
//   - the .MDX alone: the four tags built from ROWS records and the whole file written;
//   - shared posts (one write-through per post) without and with the .MDX kept: ROWS rows (a
//     bulk load: the index is built once at close) and 2,000 rows (the index written in place
//     after every post).
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/FileIo.h"
#include "tables/MdxIndex.h"
#include "tables/MdxMaintenance.h"
#include "tables/Paths.h"
#include "tables/Table.h"
#include "tables/TableFiles.h"

using namespace tz::tables;
namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::vector<std::string>>;

double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Stats {
    double wall = 0, cpu = 0;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

Stats measure(int repeats, const std::function<void()>& setup, const std::function<void()>& body) {
    std::vector<double> w, c;
    for (int i = 0; i < repeats; ++i) {
        if (setup) setup();
        double w0 = wallNow(), c0 = cpuNow();
        body();
        w.push_back(wallNow() - w0);
        c.push_back(cpuNow() - c0);
    }
    return {median(w), median(c)};
}

// Teachers with 30 periods each, their documents, slots and days: long runs of equal keys.
Rows makeRows(int n) {
    Rows rows;
    std::mt19937 rng(12345);
    for (int i = 0; i < n; ++i) {
        int teacher = i / 30, day = 1 + (i / 6) % 5, hour = 1 + i % 6;
        char abrev[8], slot[16], dia[8], doc[16];
        std::snprintf(abrev, sizeof abrev, "%c%03d", 'A' + teacher % 26, teacher / 26 % 1000);
        std::snprintf(slot, sizeof slot, "%-4s%d%02d", abrev, day, hour);
        std::snprintf(dia, sizeof dia, "%d%02d", day, hour);
        std::snprintf(doc, sizeof doc, "%08uX", 10000000u + static_cast<unsigned>(teacher) * 7919u);
        rows.push_back({"2", "1", abrev, doc, std::to_string(i % 30 + 1), std::to_string(day),
                        "001", "08:30", "09:25", "ESO", "MAT", "0001", "1", "EU", "Aula", "AC1",
                        slot, dia, "S"});
    }
    std::shuffle(rows.begin(), rows.end(), rng);
    return rows;
}

void appendAll(const fs::path& file, const Rows& rows, OpenMode mode) {
    Dataset d;
    d.open(file, mode);
    for (const auto& r : rows) d.appendRecord(r);
    d.close();
}

void hooks(bool on) { setIndexFileHooks(on ? mdx::productionIndexHooks() : IndexFileHooks{}); }

}  // namespace

int main(int argc, char** argv) {
    int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    fs::path root = fs::temp_directory_path() / ("tzmdxbench-" + std::to_string(::getpid()));
    fs::create_directories(root / "ZTEMP");
    setRootOverride(root);
    const TableLayout& layout = catalogue::CUADROH2();
    fs::path file = root / "ZTEMP" / layout.fileName;
    Rows rows = makeRows(n);
    auto fresh = [&](bool on) {
        return [&, on]() {
            hooks(on);
            deleteTableFiles(file);
            createTable(root / "ZTEMP", layout);
        };
    };

    Stats dbfOnly =
        measure(repeats, fresh(false), [&]() { appendAll(file, rows, OpenMode::Exclusive); });
    Stats dbfMdx =
        measure(repeats, fresh(true), [&]() { appendAll(file, rows, OpenMode::Exclusive); });
    std::uintmax_t mdxBytes = fs::file_size(mdx::indexFileFor(file));

    // The index alone, from the rows' key bytes (the table's records) to the file.
    std::vector<std::string> keys(layout.indexes.size());
    std::vector<std::uint32_t> recnos;
    std::vector<mdx::TagSpec> specs;
    std::vector<int> fieldOf;
    for (const auto& name : layout.indexes) {
        for (std::size_t f = 0; f < layout.fields.size(); ++f) {
            if (layout.fields[f].name == name) {
                specs.push_back(*mdx::tagFor(layout.fields[f]));
                fieldOf.push_back(static_cast<int>(f));
            }
        }
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        recnos.push_back(static_cast<std::uint32_t>(r + 1));
        for (std::size_t t = 0; t < specs.size(); ++t) {
            std::string k = rows[r][static_cast<std::size_t>(fieldOf[t])];
            k.resize(static_cast<std::size_t>(specs[t].keyLength), ' ');
            keys[t] += k;
        }
    }
    fs::path mdxFile = root / "ZTEMP" / "ALONE.MDX";
    Stats mdxOnly = measure(repeats, nullptr, [&]() {
        mdx::MdxIndex index("CUADROH2", specs);
        for (std::size_t t = 0; t < specs.size(); ++t) {
            index.build(static_cast<int>(t), keys[t], recnos);
        }
        if (replaceFile(mdxFile, index.image())) std::perror("write");
    });

    Stats sharedDbf =
        measure(repeats, fresh(false), [&]() { appendAll(file, rows, OpenMode::Shared); });
    Stats sharedMdx =
        measure(repeats, fresh(true), [&]() { appendAll(file, rows, OpenMode::Shared); });

    const int few = std::min(n, 2000);
    Rows head(rows.begin(), rows.begin() + few);
    Stats fewDbf =
        measure(repeats, fresh(false), [&]() { appendAll(file, head, OpenMode::Shared); });
    Stats fewMdx =
        measure(repeats, fresh(true), [&]() { appendAll(file, head, OpenMode::Shared); });

    std::printf("%d rows of CUADROH2 (4 tags); index file %ju bytes; %d runs each, medians\n", n,
                mdxBytes, repeats);
    std::printf("%-52s %9s %9s %12s\n", "", "wall s", "cpu s", "rows/s cpu");
    auto line = [&](const char* what, const Stats& s, int rowsDone = 0) {
        double r = rowsDone ? rowsDone : n;
        std::printf("%-52s %9.4f %9.4f %12.0f\n", what, s.wall, s.cpu, s.cpu > 0 ? r / s.cpu : 0);
    };
    line("exclusive append + close, .DBF alone", dbfOnly);
    line("exclusive append + close, .DBF and .MDX", dbfMdx);
    line(".MDX alone: build 4 tags and write the file", mdxOnly);
    line("shared posts, .DBF alone", sharedDbf);
    line("shared posts, .DBF and .MDX (built at close)", sharedMdx);
    line("2,000 shared posts, .DBF alone", fewDbf, few);
    line("2,000 shared posts, .MDX written after each post", fewMdx, few);
    std::printf(
        "index cost: exclusive +%.0f%% cpu, shared +%.0f%% cpu, per-post upkeep +%.0f%% cpu\n",
        100 * (dbfMdx.cpu / dbfOnly.cpu - 1), 100 * (sharedMdx.cpu / sharedDbf.cpu - 1),
        100 * (fewMdx.cpu / fewDbf.cpu - 1));
    setRootOverride({});
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
