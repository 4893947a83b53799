// The log of runs: its lines read back, the last 200 kept, writers that do not lose each
// other's records, and what the jobs record (batch and window), an unwritable state folder
// included.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "TempDir.h"
#include "app/Jobs.h"
#include "app/RegistroEjecuciones.h"
#include "app/RegistroJob.h"
#include "base/Texts.h"
#include "cli/Batch.h"
#include "platform/System.h"
#include "support/RecordingPort.h"
#include "tables/Dataset.h"
#include "tables/Paths.h"

namespace {

namespace fs = std::filesystem;
namespace registro = tz::app::registro;
using tz::testing::TempDir;

registro::Ejecucion ejemplo(int n = 0) {
    registro::Ejecucion e;
    e.inicio = "2026-01-0" + std::to_string(1 + n % 9) + " 10:00:" + std::to_string(10 + n % 50);
    e.duracionMs = 1234 + n;
    e.modo = n % 2 ? "exportar" : "importar";
    e.origen = "ventana";
    e.carpeta = "/home/jefa/XEL";
    e.leidos = {{"fPROFES.txt", 27}, {"ZTEMP/SOLUC.DBF", -1}};
    e.escritos = {{"ZTEMP/CUADROH2.DBF", 61}};
    e.mensajes = {"Proceso finalizado"};
    e.resultado = "finalizado";
    e.estadoTransformado = 1;
    e.estadoPaso = 0;
    e.salida = n;
    return e;
}

TEST(RegistroJson, WhatIsWrittenReadsBackTheSame) {
    struct Caso {
        const char* nombre;
        std::function<void(registro::Ejecucion&)> cambia;
    };
    const Caso casos[] = {
        {"plain", [](registro::Ejecucion&) {}},
        {"quotes and backslashes",
         [](registro::Ejecucion& e) { e.carpeta = R"(C:\XEL\"curso" 24\)"; }},
        {"line breaks and control bytes",
         [](registro::Ejecucion& e) {
             e.mensajes = {"línea 1\rlínea 2\nfin\t.", std::string("nul\x01\x1f\x7f", 6)};
         }},
        {"no exit status, empty lists",
         [](registro::Ejecucion& e) {
             e.salida.reset();
             e.leidos.clear();
             e.escritos.clear();
             e.mensajes.clear();
         }},
        {"negative states",
         [](registro::Ejecucion& e) { e.estadoTransformado = -1, e.estadoPaso = 4; }},
        {"accents and symbols", [](registro::Ejecucion& e) { e.carpeta = "/datos/Año €/Ñ 𝄞"; }},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nombre);
        registro::Ejecucion e = ejemplo(3);
        c.cambia(e);
        const std::string line = registro::aJson(e);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        const auto back = registro::deJson(line);
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, e);
    }
}

TEST(RegistroJson, BytesThatAreNotUtf8AreReadAsWindows1252) {
    registro::Ejecucion e = ejemplo();
    e.carpeta = "/datos/A\xf1o";  // a folder named in Windows-1252
    const auto back = registro::deJson(registro::aJson(e));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->carpeta, "/datos/Año");
}

TEST(RegistroJson, LinesThatAreNotRecords) {
    const std::string good = registro::aJson(ejemplo());
    const std::string casos[] = {
        "",
        "{",
        "[]",
        "nada",
        good.substr(0, good.size() - 1),                              // cut short
        good + " x",                                                  // something after it
        R"({"inicio":"2026","modo":"importar","carpeta":"\ud800"})",  // a lone surrogate
        R"({"inicio":"2026","modo":"importar","carpeta":"\x"})",
        R"({"inicio":"2026","modo":"importar","duracion_ms":99999999999999999999})",
        R"({"modo":"importar"})",  // no start
        std::string(100, '[') + std::string(100, ']'),
    };
    for (const std::string& c : casos) EXPECT_FALSE(registro::deJson(c)) << c;
    // Fields it does not know, and spaces, do not matter.
    EXPECT_TRUE(registro::deJson(
        R"( { "inicio" : "x" , "modo" : "exportar", "nuevo" : [1, {"a": null}] } )"));
}

class RegistroFichero : public ::testing::Test {
  protected:
    TempDir dir;
    fs::path log() const { return dir / "estado" / "registro.jsonl"; }
};

TEST_F(RegistroFichero, KeepsTheLast200NewestFirst) {
    for (int i = 0; i < 201; ++i) ASSERT_EQ(registro::anade(ejemplo(i), log()), "") << i;
    const auto all = registro::ultimas(0, log());
    ASSERT_EQ(all.size(), registro::kMaximo);
    EXPECT_EQ(all.front().salida, 200);  // newest
    EXPECT_EQ(all.back().salida, 1);     // the first one is gone
    const auto two = registro::ultimas(2, log());
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].salida, 199);
    // Nothing but the log and its lock in the folder: the replacement left no temporary file.
    int files = 0;
    for (const auto& f : fs::directory_iterator(log().parent_path())) files += f.is_regular_file();
    EXPECT_EQ(files, 2);
}

TEST_F(RegistroFichero, DamagedLinesAreSkippedAndCounted) {
    fs::create_directories(log().parent_path());
    tz::testing::writeBytes(
        log(), registro::aJson(ejemplo(1)) + "\n{roto\n\n" + registro::aJson(ejemplo(2)) + "\r\n");
    std::size_t danadas = 0;
    const auto r = registro::ultimas(0, log(), &danadas);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].salida, 2);
    EXPECT_EQ(danadas, 1u);
    EXPECT_TRUE(registro::ultimas(0, dir / "no-existe.jsonl").empty());
}

TEST_F(RegistroFichero, TwoWritersAtOnceLoseNothing) {
    auto writer = [&](int base) {
        for (int i = 0; i < 40; ++i) EXPECT_EQ(registro::anade(ejemplo(base + i), log()), "");
    };
    std::thread a(writer, 0), b(writer, 1000);
    a.join();
    b.join();
    const auto all = registro::ultimas(0, log());
    ASSERT_EQ(all.size(), 80u);
    std::set<int> seen;
    for (const auto& e : all) seen.insert(*e.salida);
    EXPECT_EQ(seen.size(), 80u);
}

TEST_F(RegistroFichero, AFolderThatCannotBeMadeIsReported) {
    tz::testing::writeBytes(dir / "estado", "a file where the folder should be");
    const std::string error = registro::anade(ejemplo(), log());
    // Named and told in Spanish, as every failure of the system.
    EXPECT_EQ(error, "no se puede crear la carpeta " + tz::platform::utf8(log().parent_path()) +
                         ": una parte de la ruta no es una carpeta");
    EXPECT_EQ(tz::testing::readBytes(dir / "estado"), "a file where the folder should be");
}

// --- What the jobs record -------------------------------------------------------------------

// The sample school in a throw-away root, with the state folder inside it.
class RegistroTrabajos : public ::testing::Test {
  protected:
    TempDir dir;
    fs::path textos, raiz, estado;

    void SetUp() override {
        textos = dir / "textos";
        raiz = dir / "raiz";
        estado = dir / "estado";
        fs::copy(fs::path(TZ_EXAMPLES) / "textos", textos, fs::copy_options::recursive);
        fs::create_directories(raiz / "ZTEMP");
        fs::copy_file(fs::path(TZ_EXAMPLES) / "raiz" / "ZTEMP" / "SOLUC.DBF",
                      raiz / "ZTEMP" / "SOLUC.DBF");
        setenv("XDG_STATE_HOME", estado.c_str(), 1);
        tz::tables::setRootOverride(raiz);
    }
    void TearDown() override {
        tz::tables::setRootOverride({});
        unsetenv("XDG_STATE_HOME");
    }
    fs::path log() const { return estado / "transzanderxel" / "registro.jsonl"; }

    int batch(tz::cli::BatchOptions::Job job, std::string& err) {
        tz::cli::BatchOptions o;
        o.job = job;
        o.textos = textos.string();
        if (job == tz::cli::BatchOptions::Job::Exportar)
            o.niveles = fs::path(TZ_EXAMPLES) / "expected" / "niveles.txt";
        else
            o.documentos = fs::path(TZ_EXAMPLES) / "documentos.txt";
        EXPECT_EQ(tz::cli::loadInputFiles(o), "");
        std::ostringstream out;
        tz::cli::BatchPort port(out);
        const int status = job == tz::cli::BatchOptions::Job::Exportar
                               ? tz::cli::runExportar(o, port)
                               : tz::cli::runImportar(o, port);
        err = out.str();
        return status;
    }
    static long lines(const fs::path& p) {
        const std::string b = tz::testing::readBytes(p);
        long n = 0;
        for (char c : b) n += c == '\n';
        return n + (!b.empty() && b.back() != '\n');
    }
    static long records(const fs::path& p) {
        tz::tables::Dataset ds;
        ds.open(p, tz::tables::OpenMode::ReadOnly);
        return ds.recordCount();
    }
    static long filasDe(const std::vector<registro::Fichero>& v, const std::string& name) {
        for (const auto& f : v)
            if (f.nombre == name) return f.filas;
        return -2;
    }
};

TEST_F(RegistroTrabajos, EachBatchJobRecordsWhatItReadAndWroteAndHowItEnded) {
    std::string err;
    ASSERT_EQ(batch(tz::cli::BatchOptions::Job::Exportar, err), 0) << err;
    std::map<std::string, long> trasExportar;
    for (const char* t :
         {"PROFT.DBF", "ASIGNOMT.DBF", "GRUPOST.DBF", "xelCENTRO.DBF", "xelTIPTAR.DBF"})
        trasExportar[t] = records(raiz / "ZTEMP" / t);
    ASSERT_EQ(batch(tz::cli::BatchOptions::Job::Importar, err), 0) << err;
    const auto runs = registro::ultimas(0, log());
    ASSERT_EQ(runs.size(), 2u);
    const registro::Ejecucion& imp = runs[0];
    const registro::Ejecucion& exp = runs[1];

    EXPECT_EQ(exp.modo, "exportar");
    EXPECT_EQ(exp.origen, "lotes");
    EXPECT_EQ(exp.carpeta, textos.string());
    EXPECT_EQ(exp.resultado, "finalizado");
    EXPECT_EQ(exp.salida, 0);
    EXPECT_EQ(exp.estadoTransformado, 1);
    // Every text file read, with the lines it has (fASIGNAT.txt is read twice).
    for (const char* f :
         {"fTIPTAR.txt", "fASIGNAT.txt", "fOTRACT.txt", "fTIPDOC.txt", "fNIVIMP.txt", "fIDIOMA.txt",
          "fGRUPNIV.txt", "fPROFES.txt", "fGRUPOS.txt"})
        EXPECT_EQ(filasDe(exp.leidos, f), lines(textos / f)) << f;
    EXPECT_EQ(exp.leidos.size(), 10u);
    for (const auto& [t, n] : trasExportar) EXPECT_EQ(filasDe(exp.escritos, "ZTEMP/" + t), n) << t;
    EXPECT_EQ(filasDe(exp.escritos, "ZTEMP/SOLUC.DBF"), -2);  // read by nobody, written by nobody
    EXPECT_EQ(exp.mensajes, std::vector<std::string>{tz::base::texts::kProcesoFinalizado});

    EXPECT_EQ(imp.modo, "importar");
    EXPECT_EQ(imp.resultado, "finalizado");
    EXPECT_EQ(imp.estadoPaso, 0);
    EXPECT_EQ(filasDe(imp.leidos, "ZTEMP/SOLUC.DBF"), records(raiz / "ZTEMP" / "SOLUC.DBF"));
    EXPECT_EQ(filasDe(imp.escritos, "ZTEMP/CUADROH2.DBF"),
              records(raiz / "ZTEMP" / "CUADROH2.DBF"));
    EXPECT_EQ(filasDe(imp.escritos, "ZTEMP/CUADROH3.DBF"),
              records(raiz / "ZTEMP" / "CUADROH3.DBF"));
    EXPECT_EQ(filasDe(imp.escritos, "fCUADROS.txt"), lines(textos / "fCUADROS.txt"));
    EXPECT_EQ(filasDe(imp.escritos, "ZTEMP/xelTIPTAR.DBF"), -2);  // untouched
    // The substitute missing from PROFT was appended.
    EXPECT_EQ(filasDe(imp.escritos, "ZTEMP/PROFT.DBF"), trasExportar["PROFT.DBF"] + 1);
    EXPECT_TRUE(imp.leidos.size() >= 5u);
    ASSERT_FALSE(imp.mensajes.empty());
    EXPECT_EQ(imp.mensajes.back(), tz::base::texts::kProcesoFinalizado);
    EXPECT_EQ(imp.mensajes.front().rfind("? Si Conserva", 0), std::string::npos);  // fresh export

    // Nothing of the log went into the text folder or ZTEMP.
    for (const fs::path& folder : {textos, raiz / "ZTEMP"})
        for (const auto& f : fs::directory_iterator(folder))
            EXPECT_EQ(f.path().filename().string().find("registro"), std::string::npos) << f.path();
}

TEST_F(RegistroTrabajos, WindowJobsThatStopOrAreLeftAreRecordedToo) {
    tz::testing::RecordingPort port;
    {
        tz::app::Jobs jobs(port);
        jobs.BImportarClick((dir / "no-existe").string());
        // XEL → Zandrix stops at the centre panel; the window then closes.
        jobs.BExportarClick(textos.string());
        ASSERT_TRUE(port.centreVisible);
        jobs.FormClose(dir / "Zandrix.ini");
    }
    const auto runs = registro::ultimas(0, log());
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].resultado, "sin carpeta");
    EXPECT_EQ(runs[1].origen, "ventana");
    EXPECT_FALSE(runs[1].salida);
    EXPECT_EQ(runs[1].mensajes, std::vector<std::string>{tz::base::texts::kNoExisteCarpeta});
    EXPECT_EQ(runs[0].resultado, "sin terminar");
    EXPECT_EQ(runs[0].estadoTransformado, 1);
    EXPECT_EQ(filasDe(runs[0].leidos, "fPROFES.txt"), lines(textos / "fPROFES.txt"));
}

TEST_F(RegistroTrabajos, AHostedRunSaysSoAndIsRecordedBeforeTheWindowCloses) {
    tz::testing::RecordingPort port;
    tz::app::Jobs jobs(port);
    jobs.FormCreate({"importar", "1A2B"});
    ASSERT_TRUE(jobs.state().hosted());
    jobs.BImportarClick((dir / "no-existe").string());
    EXPECT_TRUE(port.closed);
    const auto runs = registro::ultimas(0, log());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].origen, "anfitrión");
    EXPECT_EQ(runs[0].resultado, "sin carpeta");
    EXPECT_EQ(runs[0].estadoTransformado, 0);
}

TEST_F(RegistroTrabajos, AnErrorEndsTheRecordWithItsBox) {
    tz::testing::RecordingPort port;
    tz::app::JobSteps steps = tz::app::JobSteps::real();
    steps.RecogeProfesores = [](tz::base::RunState&, tz::base::UserPort&) {
        throw std::runtime_error("La tabla PROFT está siendo usada por otro programa");
    };
    tz::app::Jobs jobs(port, steps);
    jobs.BExportarClick(textos.string());
    const auto runs = registro::ultimas(0, log());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].resultado, "error");
    EXPECT_EQ(runs[0].mensajes.back(), "La tabla PROFT está siendo usada por otro programa.");
}

TEST_F(RegistroTrabajos, AnUnwritableStateFolderDoesNotStopTheJobsAndIsToldOnce) {
    tz::testing::writeBytes(estado, "not a folder");
    tz::testing::RecordingPort port;
    tz::app::Jobs jobs(port);
    jobs.BImportarClick((dir / "no-existe").string());
    jobs.BImportarClick((dir / "tampoco").string());
    const auto msgs = port.messages();
    ASSERT_EQ(msgs.size(), 3u);
    EXPECT_EQ(msgs[0], tz::base::texts::kNoExisteCarpeta);
    EXPECT_EQ(msgs[1].rfind("No se puede escribir el registro de ejecuciones: ", 0), 0u) << msgs[1];
    EXPECT_EQ(msgs[2], tz::base::texts::kNoExisteCarpeta);

    // A whole batch job still runs to its end.
    std::string err;
    EXPECT_EQ(batch(tz::cli::BatchOptions::Job::Exportar, err), 0);
    EXPECT_NE(err.find("Proceso finalizado"), std::string::npos);
    EXPECT_NE(err.find("No se puede escribir el registro de ejecuciones"), std::string::npos);
    EXPECT_TRUE(fs::exists(raiz / "ZTEMP" / "PROFT.DBF"));
}

}  // namespace
