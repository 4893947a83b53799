// Table engine benchmark on the CUADROH2 layout with its four indexes.
//
//   engine_bench [ROWS] [FOLDER]   (default 100000 rows, a temporary folder)
//
// Prints rows/s and bytes/s for: appending ROWS rows to a table held exclusively and closing
// it; the same bytes written plainly in one sequential write; appending with the table opened
// shared (one write per post); reopening; visiting in PROF_DIA_SES order; finding every key;
// and the time per find at 10,000 and at ROWS rows. Ends with the budgets and whether each
// was met (exit status 1 when one was not).
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/TableFiles.h"

using namespace tz::tables;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string pad(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

// Believable rows: teachers, days and hours, keys in no particular order.
std::vector<std::vector<std::string>> makeRows(int n) {
    std::vector<std::vector<std::string>> rows;
    rows.reserve(static_cast<std::size_t>(n));
    std::mt19937 rng(12345);
    for (int i = 0; i < n; ++i) {
        int teacher = i / 30;
        int day = 1 + (i / 6) % 5;
        int hour = 1 + i % 6;
        char abrev[8];
        std::snprintf(abrev, sizeof abrev, "%c%03d", 'A' + teacher % 26, teacher / 26 % 1000);
        char slot[32];
        std::snprintf(slot, sizeof slot, "%s%d%02d", pad(abrev, 4).c_str(), day, hour);
        char dia[16];
        std::snprintf(dia, sizeof dia, "%d%02d", day, hour);
        char doc[16], aula[16];
        std::snprintf(doc, sizeof doc, "%08uX", static_cast<unsigned>(10000000 + rng() % 90000000));
        std::snprintf(aula, sizeof aula, "Aula %d", i % 40);
        rows.push_back({"2", "1", abrev, doc, std::to_string(i % 30 + 1), std::to_string(day),
                        "001", "08:30", "09:25", "ESO", "MAT", "0001", "1", "EU", aula, "AC1", slot,
                        dia, "S"});
    }
    std::shuffle(rows.begin(), rows.end(), rng);
    return rows;
}

struct Result {
    double appendExclusive = 0, plain = 0, appendShared = 0, reopen = 0, visit = 0, findAll = 0;
    std::uintmax_t bytes = 0;
};

double appendAll(const fs::path& file, const std::vector<std::vector<std::string>>& rows,
                 OpenMode mode) {
    createTable(file.parent_path(), catalogue::CUADROH2());
    auto t0 = Clock::now();
    {
        Dataset d;
        d.open(file, mode);
        for (const auto& r : rows) d.appendRecord(r);
        d.close();
    }
    return seconds(t0);
}

double plainWrite(const fs::path& from, const fs::path& to) {
    // The same bytes, already in memory, written in one sequential write.
    std::string bytes;
    {
        FILE* f = std::fopen(from.c_str(), "rb");
        bytes.resize(fs::file_size(from));
        if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::perror("read");
        std::fclose(f);
    }
    auto t0 = Clock::now();
    int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::perror("write");
    }
    ::close(fd);
    return seconds(t0);
}

// Seconds per findKey over every key, in the order the rows were generated.
double perFind(Dataset& d, const std::vector<std::vector<std::string>>& rows, int* found) {
    auto t0 = Clock::now();
    int hits = 0;
    for (const auto& r : rows) hits += d.findKey(r[16]) ? 1 : 0;
    *found = hits;
    return seconds(t0) / static_cast<double>(rows.size());
}

}  // namespace

int main(int argc, char** argv) {
    int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    fs::path folder;
    bool temporary = argc <= 2;
    if (temporary) {
        std::string tmpl = (fs::temp_directory_path() / "tzbench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) return 2;
        folder = tmpl;
    } else {
        folder = argv[2];
    }
    const fs::path file = folder / "CUADROH2.DBF";
    auto rows = makeRows(n);
    Result r;

    r.appendExclusive = appendAll(file, rows, OpenMode::Exclusive);
    r.bytes = fs::file_size(file);
    r.plain = plainWrite(file, folder / "plain.bin");

    r.reopen = 0;
    int found = 0;
    double findLarge = 0;
    {
        auto t0 = Clock::now();
        Dataset d;
        d.open(file, OpenMode::Shared);
        d.setIndex("PROF_DIA_SES");
        r.reopen = seconds(t0);
        t0 = Clock::now();
        std::size_t chars = 0;
        for (d.first(); !d.eof(); d.next()) chars += d.text("PROF_DIA_SES").size();
        r.visit = seconds(t0);
        if (chars == 0) std::puts("nothing visited");
        findLarge = perFind(d, rows, &found);
        r.findAll = findLarge * n;
    }
    double findSmall = 0;
    int foundSmall = 0;
    {
        std::vector<std::vector<std::string>> small(rows.begin(),
                                                    rows.begin() + std::min(n, 10000));
        appendAll(file, small, OpenMode::Exclusive);
        Dataset d;
        d.open(file, OpenMode::Shared);
        d.setIndex("PROF_DIA_SES");
        findSmall = perFind(d, small, &foundSmall);
    }
    r.appendShared = appendAll(file, rows, OpenMode::Shared);

    auto line = [&](const char* what, double secs) {
        std::printf("%-44s %9.3f s  %12.0f rows/s  %8.1f MB/s\n", what, secs, n / secs,
                    static_cast<double>(r.bytes) / secs / 1e6);
    };
    std::printf("%d rows of CUADROH2 (4 indexes), %ju bytes\n", n, r.bytes);
    line("append + close, held exclusively", r.appendExclusive);
    line("same bytes, one plain sequential write", r.plain);
    line("append, opened shared (write per post)", r.appendShared);
    line("reopen and select PROF_DIA_SES", r.reopen);
    line("visit in PROF_DIA_SES order", r.visit);
    line("find every key", r.findAll);
    std::printf("found %d of %d keys; per find: %.3f us at %d rows, %.3f us at %d rows\n", found, n,
                findSmall * 1e6, std::min(n, 10000), findLarge * 1e6, n);

    double ratio = r.appendExclusive / r.plain;
    double sharedRate = n / r.appendShared;
    double growth = findLarge / findSmall;
    bool ok1 = ratio <= 10, ok2 = sharedRate >= 200000, ok3 = growth <= 2;
    std::printf("budget: exclusive append+close within 10x plain write: %.1fx  %s\n", ratio,
                ok1 ? "met" : "NOT MET");
    std::printf("budget: shared posts per second >= 200000: %.0f  %s\n", sharedRate,
                ok2 ? "met" : "NOT MET");
    std::printf("budget: time per find grows <= 2x from 10000 rows: %.2fx  %s\n", growth,
                ok3 ? "met" : "NOT MET");
    if (temporary) {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    return ok1 && ok2 && ok3 && found == n ? 0 : 1;
}
