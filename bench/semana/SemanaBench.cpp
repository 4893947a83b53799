// Timings of the week grid and the report over a large school (run offscreen or under Xvfb;
// not a test).
//
//   semana_bench --build BUILD [--work DIR] [--runs N] [--lecciones N] [--captura FILE.png]
//
// The school is made once in --work (default /tmp/tz-semana-bench) as the jobs benchmark makes
// its ten-times school: tz_gen writes 3,000 teachers, 15,000 subjects and 1,500 groups, the
// batch's exportar reads them, tz_gen writes a SOLUC of --lecciones lessons (default 120,000)
// and the batch's importar builds the export tables. Then one teacher, GRAN, gets 2,000
// periods more, spread over Monday to Friday and the 20 hours of the default bell schedule
// (twenty to a cell) with the times of its hour, one in twenty with blank codes, each with its
// group.
//
// Timed: the week of GRAN and of an ordinary teacher built (semana::construye, no Qt); the
// week window opened from the adjustment window; the next teacher, 60 times, with the week
// window following (until it has been rebuilt and painted); moving to GRAN; a code typed into
// GRAN's type 2 grid until the week has followed, 20 times; the week repainted. The report:
// its content over every teacher, and the whole PDF written once. Prints the median and the
// largest time of each, the budgets, and exits with status 1 when one is not met. --captura
// saves a picture of the week window showing GRAN.
#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "base/RunState.h"
#include "base/UserPort.h"
#include "tables/Dataset.h"
#include "tables/FileIo.h"
#include "tables/Paths.h"
#include "timetable/AjustaXEL.h"
#include "timetable/Informe.h"
#include "timetable/Timetable.h"
#include "timetable/gui/DataGrid.h"
#include "timetable/gui/SemanaProfesor.h"
#include "timetable/gui/TAjustaXEL.h"
#include "timetable/qt/InformePdf.h"

namespace fs = std::filesystem;
using namespace tz;
using tables::Dataset;
using tables::OpenMode;

namespace {

using Clock = std::chrono::steady_clock;

// Wall time and the process's CPU time: on a machine shared with other work the budgets are
// judged on the CPU time, the wall time printed beside it.
struct Marca {
    Clock::time_point wall;
    double cpu;
};
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}
Marca marca() { return {Clock::now(), cpuMs()}; }
struct Tiempo {
    double wall, cpu;
};
Tiempo msSince(const Marca& t0) {
    return {std::chrono::duration<double, std::milli>(Clock::now() - t0.wall).count(),
            cpuMs() - t0.cpu};
}

struct Stats {
    double median = 0, max = 0, wallMedian = 0, wallMax = 0;
};
Stats stats(const std::vector<Tiempo>& t) {
    if (t.empty()) return {};
    auto of = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        const double m =
            v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
        return std::pair{m, v.back()};
    };
    std::vector<double> cpu, wall;
    for (const Tiempo& x : t) cpu.push_back(x.cpu), wall.push_back(x.wall);
    const auto [m, mx] = of(cpu);
    const auto [wm, wmx] = of(wall);
    return {m, mx, wm, wmx};
}

void settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents();
    }
}

struct QuietPort : base::UserPort {
    void message(const std::string&) override {}
    bool confirm(const std::string&) override { return false; }
    void errorBox(const std::string& t) override { std::fprintf(stderr, "error: %s\n", t.c_str()); }
    void setBusy(bool) override {}
    void showCentrePanel(bool) override {}
    void showLevelsPanel(bool) override {}
    void showVolverNiveles(bool) override {}
    void runBellScheduleCheck() override {}
    void runAdjustment(base::Adjustment&) override {}
    void closeMainWindow() override {}
};

void sh(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(2);
    }
}

constexpr const char* kGran = "GRAN";
constexpr int kGranPeriodos = 2000;

// The ten-times school and GRAN's periods.
void prepara(const fs::path& build, const fs::path& work, int lecciones) {
    if (fs::exists(work / "ready")) return;
    fs::remove_all(work);
    fs::create_directories(work / "raiz" / "ZTEMP");
    const std::string gen = (build / "bench" / "gen" / "tz_gen").string();
    const std::string batch = (build / "src" / "cli" / "transzanderxel-batch").string();
    const std::string w = work.string();
    const std::string env = "XDG_STATE_HOME='" + w + "/estado' ";
    {
        FILE* f = std::fopen((work / "niveles.txt").c_str(), "wb");
        std::fputs("ESO;ESO;DBH\r\nBAC;BACH;BATX\r\n", f);
        std::fclose(f);
    }
    std::printf("making the school (3,000 teachers, %d lessons)...\n", lecciones);
    std::fflush(stdout);
    sh(gen + " textos '" + w + "/textos' --profesores 3000 --asignaturas 15000 --grupos 1500");
    sh(env + batch + " exportar --textos '" + w + "/textos' --raiz '" + w + "/raiz' --niveles '" +
       w + "/niveles.txt' 2>/dev/null");
    sh(gen + " soluc '" + w + "/raiz' --lecciones " + std::to_string(lecciones));
    sh(env + batch + " importar --nueva --textos '" + w + "/textos' --raiz '" + w +
       "/raiz' --documentos '" + w + "/raiz/documentos.txt' 2>/dev/null");

    const fs::path z = work / "raiz" / "ZTEMP";
    Dataset p, h2, h3;
    p.open(z / "PROFT.DBF", OpenMode::Exclusive);
    p.appendRecord({kGran, "Profesor con muchas horas", "Departamento", "99999999R", "1"});
    h2.open(z / "CUADROH2.DBF", OpenMode::Exclusive);
    h3.open(z / "CUADROH3.DBF", OpenMode::Exclusive);
    for (int i = 0; i < kGranPeriodos; ++i) {
        const int day = 1 + i % 5, hour = 1 + (i / 5) % 20;
        char key[16], ses[4];
        std::snprintf(key, sizeof key, "%s%d%02d", kGran, day, hour);
        std::snprintf(ses, sizeof ses, "%02d", hour);
        const bool blank = i % 20 == 7;
        const std::string dia(1, char('0' + day));
        h2.appendRecord({"2", "1", kGran, "99999999R", ses, dia, blank ? "" : "101",
                         timetable::horaInicioPorDefecto(hour), timetable::horaFinPorDefecto(hour),
                         blank ? "" : "ESO", "MAT1", blank ? "" : "1001", " ", "02", "A101", "   ",
                         key, std::string(key).substr(4), "N"});
        h3.appendRecord(
            {"3", "1ESO", blank ? "" : "10001", "1", kGran, "99999999R", ses, dia, "25", key, "N"});
    }
    h3.close();
    h2.close();
    p.close();
    FILE* ready = std::fopen((work / "ready").c_str(), "wb");
    std::fclose(ready);
}

}  // namespace

int main(int argc, char** argv) {
    fs::path build, work = "/tmp/tz-semana-bench", captura;
    int runs = 5, lecciones = 128000;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--build")
            build = argv[++i];
        else if (a == "--work")
            work = argv[++i];
        else if (a == "--runs")
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--lecciones")
            lecciones = std::max(1000, std::atoi(argv[++i]));
        else if (a == "--captura")
            captura = argv[++i];
    }
    if (build.empty()) {
        std::fprintf(stderr,
                     "usage: semana_bench --build BUILD [--work DIR] [--runs N] [--lecciones N] "
                     "[--captura FILE.png]\n");
        return 2;
    }
    build = fs::absolute(build);
    work = fs::absolute(work);
    prepara(build, work, lecciones);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_STATE_HOME", (work / "estado").string().c_str());
    QApplication app(argc, argv);
    tables::setRootOverride(work / "raiz");
    // The windows open inside the importar job, which holds the exchange folder for the whole
    // job: the tables' writes are batched as they are for a user.
    if (!tables::holdFolder(work / "raiz" / "ZTEMP")) return 2;

    // --- The week without Qt, and the report's content. ---
    std::vector<Tiempo> informes, grande, comun;
    std::size_t profesores = 0, granAt = 0;
    int filas2 = 0;
    for (int r = 0; r < runs; ++r) {
        const Marca t0 = marca();
        timetable::informe::Informe in;
        informes.push_back(msSince(t0));
        profesores = in.profesores().size();
        filas2 = in.totalPeriodos();
        for (std::size_t i = 0; i < in.profesores().size(); ++i)
            if (in.profesores()[i].abrev == kGran) granAt = i;
        const Marca t1 = marca();
        const auto g = in.pagina(granAt, 12);
        grande.push_back(msSince(t1));
        if (g.semana.periodos().size() != std::size_t(kGranPeriodos)) {
            std::fprintf(stderr, "GRAN has %zu periods\n", g.semana.periodos().size());
            return 1;
        }
        const Marca t2 = marca();
        (void)in.pagina(granAt == 0 ? 1 : 0, 12);
        comun.push_back(msSince(t2));
    }
    std::printf("%d type 2 rows, %zu teachers, %d periods for %s\n", filas2, profesores,
                kGranPeriodos, kGran);

    // --- The PDF of everything, once. ---
    Tiempo pdfMs{};
    std::uintmax_t pdfBytes = 0;
    int pdfPaginas = 0;
    {
        timetable::informe::Informe in;
        const fs::path out = work / "informe.pdf";
        const Marca t0 = marca();
        const std::string error = timetable::informe::escribePdf(in, out, [&](int hechas, int) {
            pdfPaginas = hechas;
            return true;
        });
        pdfMs = msSince(t0);
        if (!error.empty()) {
            std::fprintf(stderr, "report: %s\n", error.c_str());
            return 1;
        }
        pdfBytes = fs::file_size(out);
    }

    // --- The week window. ---
    std::vector<Tiempo> abre, mueve, aGran, edita, editaSin, pinta;
    for (int r = 0; r < runs; ++r) {
        base::RunState state;
        state.CarpetaTextos = (work / "textos").string() + "/";
        QuietPort port;
        timetable::AjustaXEL logic(state, port);
        timetable::gui::TAjustaXEL w(nullptr, logic);
        w.show();
        settle();
        const Marca t0 = marca();
        timetable::gui::VentanaSemana* v = timetable::gui::abreSemana(&w, logic);
        settle();
        v->repaint();
        abre.push_back(msSince(t0));

        auto* profes = w.wwDBGridPROFT();
        for (int i = 1; i <= 60; ++i) {
            const Marca t1 = marca();
            profes->setCurrentIndex(profes->model()->index(i, 1));
            settle();
            v->repaint();
            mueve.push_back(msSince(t1));
        }
        Dataset& prof = logic.wwTableProfesor();
        int gran = -1;
        for (int i = 0; i < prof.recordCount() && gran < 0; ++i)
            if (prof.textAt(i, prof.fieldIndex("ABREV")) == kGran) gran = i;
        const Marca t2 = marca();
        profes->setCurrentIndex(profes->model()->index(gran, 1));
        settle();
        v->repaint();
        aGran.push_back(msSince(t2));
        if (v->rejilla()->modelo()->semana().periodos().size() != std::size_t(kGranPeriodos)) {
            std::fprintf(stderr, "the week does not show GRAN\n");
            return 1;
        }
        if (r == 0 && !captura.empty() && !v->grab().save(QString::fromStdString(captura.string())))
            std::fprintf(stderr, "could not save %s\n", captura.c_str());
        // A level code typed into GRAN's rows and taken back.
        auto* m2 = w.DBGridCUADROH2()->model();
        for (int i = 0; i < 20; ++i) {
            const QModelIndex nivel = m2->index(i * 37 % m2->rowCount(), 8);
            const QString before = nivel.data().toString();
            const Marca t3 = marca();
            m2->setData(nivel, before.isEmpty() ? QStringLiteral("ESO") : QString());
            settle();
            w.repaint();
            v->repaint();
            edita.push_back(msSince(t3));
        }
        for (int i = 0; i < 20; ++i) {
            const Marca t4 = marca();
            v->rejilla()->viewport()->repaint();
            pinta.push_back(msSince(t4));
        }
        // The same edits with the week window closed: what the adjustment window costs alone.
        v->close();
        settle();
        for (int i = 0; i < 20; ++i) {
            const QModelIndex nivel = m2->index(i * 37 % m2->rowCount(), 8);
            const QString before = nivel.data().toString();
            const Marca t5 = marca();
            m2->setData(nivel, before.isEmpty() ? QStringLiteral("ESO") : QString());
            settle();
            w.repaint();
            editaSin.push_back(msSince(t5));
        }
        logic.FormClose();
        w.hide();
    }
    tables::releaseFolder();
    tables::setRootOverride({});

    auto line = [](const char* what, const std::vector<Tiempo>& v) {
        const Stats s = stats(v);
        std::printf("%-58s median %6.1f (%6.1f) ms  max %6.1f (%6.1f) ms  (%zu)\n", what, s.median,
                    s.wallMedian, s.max, s.wallMax, v.size());
        return s;
    };
    std::printf("\nCPU time of the process, wall time in brackets\n");
    line("report content over every teacher (Informe)", informes);
    const Stats sg = line("week of GRAN, 2,000 periods (semana::construye)", grande);
    line("week of an ordinary teacher (semana::construye)", comun);
    const Stats sa = line("week window opened", abre);
    const Stats sm = line("next teacher, the week following and painted", mueve);
    const Stats sn = line("to GRAN, the week following and painted", aGran);
    const Stats se = line("a code typed in GRAN's type 2 grid, the week following", edita);
    line("  the same with the week window closed", editaSin);
    const Stats sp = line("GRAN's week repainted", pinta);
    std::printf("%-58s %6.1f (%6.1f) s   %d pages, %.1f MB, %.0f pages/s\n", "whole report as PDF",
                pdfMs.cpu / 1000, pdfMs.wall / 1000, pdfPaginas, double(pdfBytes) / 1e6,
                pdfPaginas / (pdfMs.cpu / 1000));
    bool ok = true;
    auto budget = [&](const char* what, double got, double limit) {
        const bool met = got <= limit;
        ok = ok && met;
        std::printf("budget: %-54s %8.1f ms  %s\n", what, got, met ? "met" : "NOT MET");
    };
    budget("GRAN's week built <= 50 ms (median)", sg.median, 50);
    budget("week window open <= 300 ms (median)", sa.median, 300);
    budget("no stall moving teachers: slowest move <= 100 ms", sm.max, 100);
    budget("to GRAN <= 100 ms (median)", sn.median, 100);
    budget("no stall typing in GRAN's rows: slowest <= 100 ms", se.max, 100);
    budget("GRAN's week painted <= 50 ms (slowest)", sp.max, 50);
    return ok ? 0 : 1;
}
