// A write that fails (disk full, I/O error) at each write point of both jobs on the sample
// school, injected through the file layer's fault hook. At every point: the job ends with the
// system's reason on the batch's output (or, where the step tolerates the failure, as a clean
// run ends), the tables left behind are consistent, the previous fCUADROS.txt is the old file
// or the complete new one, no temporary file is left, and the next run in the same process
// works.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "app/Jobs.h"
#include "platform/Error.h"
#include "reliability/Sample.h"
#include "support/RecordingPort.h"
#include "tables/FileIo.h"

namespace {

using namespace tz::reliability;
namespace fs = std::filesystem;

struct Point {
    std::string op;
    std::string file;  // file name only
};

// Records every write-type operation of a run.
std::vector<Point> recordPoints(const std::function<void()>& run) {
    std::vector<Point> points;
    tz::tables::setFileFaultHook([&](std::string_view op, const fs::path& file) {
        points.push_back({std::string(op), file.filename().string()});
        return 0;
    });
    run();
    tz::tables::setFileFaultHook({});
    return points;
}

// Fails the n-th write-type operation (0-based) with `err`.
void failAt(std::size_t n, int err) {
    auto count = std::make_shared<std::size_t>(0);
    tz::tables::setFileFaultHook(
        [=](std::string_view, const fs::path&) { return (*count)++ == n ? err : 0; });
}

// What a point writes to, for the report: table creation, posting, index, text file, INI.
std::string kindOf(const Point& p) {
    std::string f = p.file;
    for (auto& c : f) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (f.find("CUADROS.TXT") != std::string::npos) return "fCUADROS.txt " + p.op;
    if (f.find(".MDX") != std::string::npos) return "index " + p.op;
    if (f.find(".INI") != std::string::npos) return "ini " + p.op;
    if (p.op == "write" && f.find(".NEW") == std::string::npos) return "post write";
    return "create/remove " + p.op;
}

// Points worth the slow checks (dbfread): the first and last of each kind and file.
std::set<std::size_t> representatives(const std::vector<Point>& points) {
    std::map<std::string, std::pair<std::size_t, std::size_t>> seen;
    for (std::size_t i = 0; i < points.size(); ++i) {
        auto key = points[i].op + " " + points[i].file;
        auto [it, fresh] = seen.try_emplace(key, i, i);
        if (!fresh) it->second.second = i;
    }
    std::set<std::size_t> out;
    for (const auto& [k, v] : seen) {
        out.insert(v.first);
        out.insert(v.second);
    }
    return out;
}

// Every point when TZ_FAULTS_ALL is set, else every `stride`-th one plus the representatives.
std::vector<std::size_t> pointsToTry(const std::vector<Point>& points, std::size_t stride) {
    std::set<std::size_t> chosen = representatives(points);
    const bool all = std::getenv("TZ_FAULTS_ALL") != nullptr;
    for (std::size_t i = 0; i < points.size(); i += all ? 1 : stride) chosen.insert(i);
    return {chosen.begin(), chosen.end()};
}

// The line lengths of a text file, line ends included.
std::vector<std::size_t> lineLengths(const std::string& text) {
    std::vector<std::size_t> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        out.push_back(end - start);
        start = end;
    }
    return out;
}

bool sameShape(const std::string& a, const std::string& b) {
    return lineLengths(a) == lineLengths(b);
}

class FaultInjection : public ::testing::Test {
  protected:
    void TearDown() override { tz::tables::setFileFaultHook({}); }

    // Runs `args` on a copy of `start` with a fault at each chosen point, checking what is left.
    void everyPoint(const Scratch& start,
                    const std::function<std::vector<std::string>(const Scratch&)>& args,
                    const std::function<std::vector<std::string>(const Scratch&)>& retry,
                    const std::string& oldCuadros, std::size_t stride) {
        Scratch clean("clean");
        clean.copyFrom(start);
        RunResult expected;
        auto points = recordPoints([&] { expected = runBatch(args(clean)); });
        ASSERT_FALSE(points.empty());
        ASSERT_LE(expected.status, tz::cli::kFaltaEntrada) << expected.err;
        const std::string newCuadros = readBytes(clean.textos / "fCUADROS.txt");
        std::map<std::string, std::string> cleanTables;
        for (const auto& t : tablesIn(clean.ztemp))
            cleanTables[t.filename().string()] = dumpTable(t);

        const auto slow = representatives(points);
        std::map<std::string, int> tried;
        Scratch s("fault");
        for (std::size_t n : pointsToTry(points, stride)) {
            const int err = n % 2 ? EIO : ENOSPC;
            const Point& p = points[n];
            SCOPED_TRACE("point " + std::to_string(n) + ": " + p.op + " " + p.file + " (" +
                         std::strerror(err) + ")");
            s.copyFrom(start);
            failAt(n, err);
            RunResult r = runBatch(args(s));
            tz::tables::setFileFaultHook({});
            ++tried[kindOf(p)];

            if (r.status == tz::cli::kError) {
                EXPECT_NE(r.err.find(tz::platform::errorText(tz::platform::errnoError(err))),
                          std::string::npos)
                    << r.err;
            } else {
                // The step tolerated the failure (a stale file it could not delete): the run
                // must then be as good as a clean one.
                EXPECT_EQ(r.status, expected.status) << r.err;
                for (const auto& [name, rows] : cleanTables)
                    EXPECT_EQ(dumpTable(s.ztemp / name), rows) << name;
            }
            EXPECT_EQ(engineProblems(s.ztemp), "");
            if (slow.count(n)) {
                EXPECT_EQ(dbfreadProblems(s.ztemp), "");
            }
            if (fs::exists(s.textos / "fCUADROS.txt") || !oldCuadros.empty()) {
                const std::string now = readBytes(s.textos / "fCUADROS.txt");
                // After an error in the adjustment window "&Salir" may still write the file
                // from what was stored: then it is whole, record for record as long as the
                // clean one.
                EXPECT_TRUE(now == oldCuadros || now == newCuadros ||
                            (r.status == tz::cli::kError && sameShape(now, newCuadros)))
                    << "fCUADROS.txt is neither the old nor a whole new file (" << now.size()
                    << " bytes)";
            }
            EXPECT_EQ(leftovers(s.textos), std::vector<std::string>{});
            EXPECT_EQ(leftovers(s.ztemp), std::vector<std::string>{});

            // The tool stays usable: the same job again, in this process, without the fault.
            RunResult again = runBatch(retry(s));
            EXPECT_EQ(again.status, expected.status) << again.err;
            if (!newCuadros.empty()) {
                EXPECT_TRUE(readBytes(s.textos / "fCUADROS.txt") == newCuadros)
                    << "the next run did not write the expected fCUADROS.txt";
            }
            if (HasFailure()) break;  // one point's failures are enough to read
        }
        std::string summary;
        std::size_t total = 0;
        for (const auto& [k, v] : tried) {
            summary += "  " + k + ": " + std::to_string(v) + "\n";
            total += static_cast<std::size_t>(v);
        }
        std::printf("%zu of %zu write points tried:\n%s", total, points.size(), summary.c_str());
    }
};

TEST_F(FaultInjection, ExportarAtEveryWritePoint) {
    Scratch start("start");
    everyPoint(
        start, [](const Scratch& s) { return s.exportar(); },
        [](const Scratch& s) { return s.exportar(); }, "", 7);
}

TEST_F(FaultInjection, ImportarAtEveryWritePoint) {
    // After a clean exportar, with an fCUADROS.txt of an earlier run in the text folder.
    Scratch start("start");
    ASSERT_EQ(runBatch(start.exportar()).status, tz::cli::kFinalizado);
    const std::string old = "1CH0000002023A\r\n";
    writeBytes(start.textos / "fCUADROS.txt", old);
    everyPoint(
        start, [](const Scratch& s) { return s.importar(); },
        [](const Scratch& s) { return s.importar(true); }, old, 3);
}

TEST_F(FaultInjection, RunStatusIniAtEveryWritePoint) {
    Scratch s("ini");
    const fs::path ini = s.dir / "Zandrix.ini";
    const std::string old =
        "; host settings\r\n[Otros]\r\nClave=1\r\n[Transformadores]\r\nTransformado=0\r\n";
    writeBytes(ini, old);
    tz::testing::RecordingPort port;
    tz::app::Jobs jobs(port);
    jobs.FormCreate({"exportar", "1A2B"});
    ASSERT_TRUE(jobs.state().hosted());
    jobs.state().EstadoTransformado = 1;
    auto points = recordPoints([&] { jobs.FormClose(ini); });
    const std::string written = readBytes(ini);
    ASSERT_NE(written, old);
    ASSERT_GE(points.size(), 3u);  // create, write, sync, rename of the temporary file

    for (std::size_t n = 0; n < points.size(); ++n) {
        for (int err : {ENOSPC, EIO}) {
            SCOPED_TRACE(points[n].op + " " + std::strerror(err));
            writeBytes(ini, old);
            port.shown.clear();
            failAt(n, err);
            jobs.FormClose(ini);
            tz::tables::setFileFaultHook({});
            EXPECT_EQ(port.only("ERR "),
                      std::vector<std::string>{"Unable to write to " + ini.string()});
            EXPECT_EQ(readBytes(ini), old);
            EXPECT_EQ(leftovers(s.dir), std::vector<std::string>{});
            // The next closing writes it.
            port.shown.clear();
            jobs.FormClose(ini);
            EXPECT_EQ(port.only("ERR "), std::vector<std::string>{});
            EXPECT_EQ(readBytes(ini), written);
        }
    }
}

}  // namespace
