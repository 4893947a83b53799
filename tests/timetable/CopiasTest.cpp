#include <gtest/gtest.h>

#include <cstdlib>

#include "School.h"
#include "support/RecordingPort.h"
#include "support/TempFolder.h"
#include "timetable/AjustaXEL.h"
#include "timetable/Copias.h"
#include "timetable/Timetable.h"

using namespace tz;
using namespace tz::timetable::copias;
using tz::testing::School;
namespace fs = std::filesystem;

namespace {

// The variable that places the state folder: XDG_STATE_HOME on Linux, LOCALAPPDATA on Windows.
#ifdef _WIN32
const char* const kStateVariable = "LOCALAPPDATA";
#else
const char* const kStateVariable = "XDG_STATE_HOME";
#endif

// The state folder of each test is its own.
class Copias : public ::testing::Test {
  protected:
    void SetUp() override {
        state = s.root / "estado";
        tz::testing::setEnvironment(kStateVariable, tz::platform::utf8(state));
    }
    void TearDown() override { tz::testing::unsetEnvironment(kStateVariable); }
    fs::path textos() const { return s.root / "textos"; }
    fs::path cuadros() const { return textos() / "fCUADROS.txt"; }

    School s;
    fs::path state;
};

std::string t2(const std::string& doc, const std::string& ses, const std::string& dia,
               const std::string& tarea, const std::string& asig = "0101") {
    // 2, TIPDOC, DOC(15), NUMSESION, DIASEM, TIPTAR(3), times, GRUPNIV, CODASIG, ...
    std::string doc15 = doc;
    doc15.resize(15, ' ');
    std::string tar = tarea;
    tar.resize(3, ' ');
    return "21" + doc15 + ses + dia + tar + "08:0009:00ESO" + asig + " 02" + std::string(30, ' ') +
           "   ";
}

}  // namespace

TEST_F(Copias, StateFolderPerTextFolderOutsideIt) {
    const fs::path a = carpetaCopias(textos());
    EXPECT_EQ(a, carpetaCopias(textos().string() + "/"));  // one folder per text folder
    EXPECT_NE(a, carpetaCopias(s.root / "otros"));
    EXPECT_EQ(a.parent_path(), state / "transzanderxel" / "copias");
    EXPECT_TRUE(a.filename().string().starts_with("textos-"));
#ifndef _WIN32  // the XDG default under HOME
    tz::testing::unsetEnvironment(kStateVariable);
    EXPECT_TRUE(carpetaCopias(textos()).string().find("/.local/state/transzanderxel/") !=
                std::string::npos);
#endif
}

TEST_F(Copias, ReplacedFileIsKeptAndTheEleventhDropsTheOldest) {
    EXPECT_FALSE(guardaAnterior(textos(), cuadros()));  // nothing to keep yet
    for (int i = 0; i < 11; ++i) {
        School::write(cuadros(), "version " + std::to_string(i) + "\r\n");
        EXPECT_TRUE(guardaAnterior(textos(), cuadros()));
    }
    const auto kept = lista(textos());
    ASSERT_EQ(kept.size(), static_cast<std::size_t>(kMaximo));
    EXPECT_EQ(School::read(kept.front().fichero), "version 10\r\n");  // newest first
    EXPECT_EQ(School::read(kept.back().fichero), "version 1\r\n");    // version 0 dropped
    EXPECT_EQ(kept.front().bytes, 12u);
    EXPECT_EQ(kept.front().fecha.size(), 19u);
    // The same version again is not kept twice.
    EXPECT_TRUE(guardaAnterior(textos(), cuadros()));
    EXPECT_EQ(lista(textos()).size(), static_cast<std::size_t>(kMaximo));
    // Nothing went into the text folder but the file itself.
    EXPECT_EQ(std::distance(fs::directory_iterator(textos()), fs::directory_iterator()), 1);
}

TEST_F(Copias, UnwritableStateFolderDoesNotThrow) {
    School::write(cuadros(), "x\r\n");
    School::write(state, "a file where the folder should be");
    EXPECT_FALSE(guardaAnterior(textos(), cuadros()));
    EXPECT_TRUE(lista(textos()).empty());
}

TEST_F(Copias, WriterKeepsThePreviousFile) {
    s.soluc({{"ABC", "1", "1", "1", "1A", "MAT", "", "R1"}});
    timetable::CreaTablasCuadro();
    timetable::ExportaCuadros();
    School::write(cuadros(), "old file\r\n");
    base::RunState run;
    run.CarpetaTextos = s.textos();
    tz::testing::RecordingPort port;
    {
        timetable::AjustaXEL w(run, port);
        w.CreaTXTCuadroHorario();
    }
    const auto kept = lista(textos());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(School::read(kept[0].fichero), "old file\r\n");
    EXPECT_TRUE(School::read(cuadros()).starts_with("1CH012345"));
}

TEST(CopiasDiferencias, PeriodsAddedRemovedAndChangedPerTeacher) {
    const std::string head = "1CH01234520241\r\n";
    const std::string before = head + t2("111", "01", "1", "101") + "\r\n" +
                               "301ESA1111            01125\r\n" + t2("111", "02", "1", "101") +
                               "\r\n" + t2("222", "01", "2", "101") + "\r\n" +
                               t2("222", "03", "2", "101") + "\r\n";
    const std::string after = "1CH01234520251\r\n" + t2("111", "01", "1", "101") + "\r\n" +
                              "301ESB1111            01125\r\n" + t2("111", "02", "1", "GUA") +
                              "\r\n" + t2("222", "01", "2", "101") + "\r\n" +
                              t2("222", "04", "5", "101", "    ") + "\r\n";
    const auto d = diferencias(before, after);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(textoDiferencias(d),
              "Profesor con documento 111: 0 añadidos, 0 quitados, 2 cambiados\n"
              "  * cambiado: día 1, sesión 01: grupos: 01ESA (25 alumnos) → 01ESB (25 alumnos)\n"
              "  * cambiado: día 1, sesión 02: TAREA: 101 → GUA\n"
              "Profesor con documento 222: 1 añadido, 1 quitado, 0 cambiados\n"
              "  - quitado: día 2, sesión 03\n"
              "  + añadido: día 5, sesión 04\n");
    EXPECT_TRUE(diferencias(before, before).empty());
    EXPECT_EQ(textoDiferencias({}), "Sin diferencias en los periodos.\n");
}

TEST(CopiasDiferencias, DamagedAndShortLinesDoNotThrow) {
    const std::string junk = "2\r\n3\r\n\x1A\r\n\r\n2short\n39\n";
    EXPECT_NO_THROW(diferencias(junk, ""));
    EXPECT_NO_THROW(diferencias("", junk));
    EXPECT_FALSE(diferencias(junk, "").empty());
}
