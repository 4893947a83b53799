// The job sequences over the recording port: folder step, order of the steps, EstadoPaso reset,
// engine errors escaping a step.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempDir.h"
#include "app/Jobs.h"
#include "support/RecordingPort.h"
#include "tables/EngineError.h"
#include "tables/FileIo.h"
#include "tables/Paths.h"

namespace {

using namespace tz;
using tz::testing::TempDir;

// Steps that only log their names; one may be made to throw.
struct Fixture : ::testing::Test {
    tz::testing::RecordingPort port;
    std::vector<std::string> ran;
    std::string failing;  // step that throws an engine error
    TempDir dir;

    // The exchange root is the test's folder, with its ZTEMP.
    Fixture() {
        std::filesystem::create_directories(dir / "ZTEMP");
        tables::setRootOverride(dir.path);
    }
    ~Fixture() override { tables::setRootOverride({}); }

    app::JobSteps steps() {
        app::JobSteps s;
        auto step = [this](const char* name) {
            return [this, name](base::RunState&, base::UserPort&) { run(name); };
        };
        s.RecogeCatalogos = step("RecogeCatalogos");
        s.RecogeAsignaturas = [this](base::RunState& st, base::UserPort& p) {
            run("RecogeAsignaturas");
            // A step that finds its file missing: message, -1, and the job goes on.
            p.message("No existe el archivo fASIGNAT.txt");
            st.EstadoTransformado = -1;
        };
        s.RecogeProfesores = step("RecogeProfesores");
        s.RecogeGrupos = step("RecogeGrupos");
        s.DatosCentro = [this](intake::CentroNiveles&) { run("DatosCentro"); };
        s.PlantillaCentro = [this](base::RunState& st, base::UserPort& p, intake::CentroNiveles&) {
            run("PlantillaCentro:" + std::to_string(st.EstadoPaso));
            p.setBusy(true);
            st.EstadoPaso = plantillaSets;
        };
        s.Importar2 = [this](base::RunState&, base::UserPort&) { run("Importar2"); };
        return s;
    }
    int plantillaSets = 0;

    void run(const std::string& name) {
        ran.push_back(name);
        if (name.rfind(failing, 0) == 0 && !failing.empty())
            throw tables::EngineError("La tabla PROFT.DBF está en uso por otro programa");
    }
};

struct FolderCase {
    const char* name;
    bool exportar;
    bool hosted;
    int status;
    std::vector<std::string> shown;
};

class MissingFolder : public Fixture, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(MissingFolder, MessageStatusAndClosing) {
    const auto& c = GetParam();
    app::Jobs jobs(port, steps());
    jobs.FormCreate(c.hosted ? std::vector<std::string>{"otra", "1A2B"}
                             : std::vector<std::string>{});
    const std::string folder = (dir / "gone").string();
    c.exportar ? jobs.BExportarClick(folder) : jobs.BImportarClick(folder);
    EXPECT_EQ(port.shown, c.shown);
    EXPECT_EQ(jobs.state().EstadoTransformado, c.status);
    EXPECT_EQ(jobs.state().CarpetaTextos, folder + "/");
    EXPECT_TRUE(ran.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, MissingFolder,
    ::testing::Values(
        FolderCase{"ExportarStandalone", true, false, 0, {"MSG No existe la carpeta"}},
        FolderCase{"ExportarHosted", true, true, -1, {"MSG No existe la carpeta", "CLOSE"}},
        FolderCase{"ImportarStandalone", false, false, 0, {"MSG No existe la carpeta"}},
        FolderCase{"ImportarHosted", false, true, 0, {"MSG No existe la carpeta", "CLOSE"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Fixture, ExportarRunsEveryStepInOrderEvenAfterAMissingFile) {
    app::Jobs jobs(port, steps());
    jobs.BExportarClick(dir.path.string());
    EXPECT_EQ(ran, (std::vector<std::string>{"RecogeCatalogos", "RecogeAsignaturas",
                                             "RecogeProfesores", "RecogeGrupos", "DatosCentro"}));
    EXPECT_EQ(port.shown,
              (std::vector<std::string>{"BUSY on", "MSG No existe el archivo fASIGNAT.txt"}));
    EXPECT_EQ(jobs.state().EstadoTransformado, -1);
    EXPECT_EQ(jobs.state().CarpetaTextos, dir.path.string() + "/");
}

TEST_F(Fixture, ARootFolderGetsASecondSeparator) {
    app::Jobs jobs(port, steps());
    jobs.BImportarClick("/");
    EXPECT_EQ(jobs.state().CarpetaTextos, "//");
    EXPECT_EQ(ran, (std::vector<std::string>{"PlantillaCentro:0", "Importar2"}));
}

TEST_F(Fixture, EachJobStartsWithEstadoPasoZero) {
    app::Jobs jobs(port, steps());
    jobs.state().EstadoPaso = 4;  // left by an unfinished adjustment
    jobs.BImportarClick(dir.path.string());
    EXPECT_EQ(ran, (std::vector<std::string>{"PlantillaCentro:0", "Importar2"}));
    jobs.state().EstadoPaso = 4;
    jobs.BExportarClick(dir.path.string());
    EXPECT_EQ(jobs.state().EstadoPaso, 0);
}

TEST_F(Fixture, CentrePanelPendingStopsBeforeTheExportAndItsOkRunsIt) {
    plantillaSets = 1;
    app::Jobs jobs(port, steps());
    jobs.BImportarClick(dir.path.string());
    EXPECT_EQ(ran, (std::vector<std::string>{"PlantillaCentro:0"}));
    ASSERT_TRUE(jobs.centro().importar2);
    jobs.centro().importar2();  // what the centre panel's OK calls on this road
    EXPECT_EQ(ran.back(), "Importar2");
}

struct ErrorCase {
    const char* name;
    bool exportar;
    std::string failing;
    std::vector<std::string> ran;
    int status;
};

class EscapingError : public Fixture, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(EscapingError, EndsTheActionWithTheErrorBoxAndTheCursorRestored) {
    const auto& c = GetParam();
    failing = c.failing;
    app::Jobs jobs(port, steps());
    c.exportar ? jobs.BExportarClick(dir.path.string()) : jobs.BImportarClick(dir.path.string());
    EXPECT_EQ(ran, c.ran);
    ASSERT_GE(port.shown.size(), 2u);
    EXPECT_EQ(port.shown.back(), "ERR La tabla PROFT.DBF está en uso por otro programa");
    EXPECT_EQ(port.shown[port.shown.size() - 2], "BUSY off");
    EXPECT_FALSE(port.busy);
    EXPECT_FALSE(port.closed);
    EXPECT_EQ(jobs.state().EstadoTransformado, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, EscapingError,
    ::testing::Values(
        ErrorCase{"RecogeProfesores",
                  true,
                  "RecogeProfesores",
                  {"RecogeCatalogos", "RecogeAsignaturas", "RecogeProfesores"},
                  -1},
        ErrorCase{"RecogeCatalogos", true, "RecogeCatalogos", {"RecogeCatalogos"}, 1},
        ErrorCase{"PlantillaCentro", false, "PlantillaCentro", {"PlantillaCentro:0"}, 0},
        ErrorCase{"Importar2", false, "Importar2", {"PlantillaCentro:0", "Importar2"}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Fixture, TheNextActionWorksAfterAnError) {
    failing = "RecogeGrupos";
    app::Jobs jobs(port, steps());
    jobs.BExportarClick(dir.path.string());
    failing.clear();
    ran.clear();
    port.shown.clear();
    jobs.BExportarClick(dir.path.string());
    EXPECT_EQ(ran.back(), "DatosCentro");
    EXPECT_TRUE(port.only("ERR ").empty());
}

TEST_F(Fixture, PanelActionsAreGuardedToo) {
    app::Jobs jobs(port, steps());
    ASSERT_TRUE(jobs.centro().accion);
    port.setBusy(true);
    jobs.centro().ejecuta([] { throw std::runtime_error("Fallo de prueba"); });
    EXPECT_EQ(port.shown.back(), "ERR Fallo de prueba");
    EXPECT_FALSE(port.busy);
}

// Another process, as another copy of the tool: holds `folder` while it lives.
class OtherProcess {
  public:
    explicit OtherProcess(const std::filesystem::path& folder) {
        int ready[2], done[2];
        if (::pipe(ready) != 0 || ::pipe(done) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(done[1]);  // the parent closing its end is the signal to go
            const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
            const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
            if (::write(ready[1], &ok, 1) != 1) ::_exit(2);
            char c;
            while (::read(done[0], &c, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(done[0]);
        char ok = 'n';
        if (::read(ready[0], &ok, 1) != 1) ok = 'n';
        ::close(ready[0]);
        held_ = ok == 'y';
        done_ = done[1];
    }
    ~OtherProcess() {
        ::close(done_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    bool held() const { return held_; }

  private:
    pid_t pid_ = -1;
    int done_ = -1;
    bool held_ = false;
};

// A job holds the exchange folder: another copy is refused while it runs, and afterwards for as
// long as the window wants (a one-job process until it ends, an open window not).
TEST_F(Fixture, AJobHoldsTheExchangeFolder) {
    const std::filesystem::path ztemp = dir.path / "ZTEMP";
    std::filesystem::create_directories(ztemp);
    tables::setRootOverride(dir.path);
    for (const bool keep : {true, false}) {
        tables::releaseFolder();
        bool heldDuring = false;
        app::JobSteps s = steps();
        s.RecogeCatalogos = [&](base::RunState&, base::UserPort&) {
            heldDuring = !OtherProcess(ztemp).held();
        };
        app::Jobs watched(port, s);
        watched.keepFolderHeld(keep);
        watched.BExportarClick(dir.path.string());
        EXPECT_TRUE(heldDuring) << keep;
        EXPECT_EQ(OtherProcess(ztemp).held(), !keep) << keep;
    }
    tables::releaseFolder();

    // Another copy working on it: the job stops before its first step.
    {
        OtherProcess other(ztemp);
        ASSERT_TRUE(other.held());
        app::Jobs jobs(port, steps());
        ran.clear();
        port.shown.clear();
        jobs.BImportarClick(dir.path.string());
        EXPECT_TRUE(ran.empty());
        EXPECT_EQ(port.only("ERR "),
                  (std::vector<std::string>{"La carpeta " + ztemp.string() +
                                            " está siendo usada por otro programa"}));
    }
    tables::setRootOverride({});
}

TEST_F(Fixture, SalirClosesTheWindow) {
    app::Jobs jobs(port, steps());
    jobs.BCloseClick();
    EXPECT_EQ(port.shown, (std::vector<std::string>{"CLOSE"}));
}

}  // namespace
