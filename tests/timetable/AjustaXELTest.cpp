#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>

#include "School.h"
#include "support/RecordingPort.h"
#include "timetable/AjustaXEL.h"
#include "timetable/Timetable.h"

using namespace tz;
using tz::testing::School;
using Lines = std::vector<std::string>;
using timetable::AjustaXEL;

namespace {

std::size_t codePoints(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

// The school with its export made: ABC (document 11111111H) teaches 3 periods, JLM (none) 1,
// MIR (33333333P) 1; teacher NOP has no periods.
class Ajuste : public ::testing::Test {
  protected:
    void SetUp() override {
        s.soluc({{"ABC", "1", "1", "1", "1A", "MAT", "", "R1"},
                 {"ABC", "1", "2", "1", "1B", "LEN", "", ""},
                 {"ABC", "2", "1", "1", "", "MAT", "201", ""},
                 {"JLM", "3", "3", "1", "1A", "LEN", "", ""},
                 {"MIR", "4", "1", "1", "2A", "LEN", "", ""}});
        s.fill(s.ztemp("PROFT.DBF"), {{"NOP", "Nerea Otxoa", "Música", "44444444A", "1"}});
        timetable::CreaTablasCuadro();
        timetable::ExportaCuadros();
        state.CarpetaTextos = s.textos();
    }
    std::string cuadros() const { return School::read(s.root / "textos" / "fCUADROS.txt"); }
    bool cuadrosExists() const {
        return std::filesystem::exists(s.root / "textos" / "fCUADROS.txt");
    }
    void setDni(const std::string& abrev, const std::string& dni) {
        tables::Dataset p;
        p.open(s.ztemp("PROFT.DBF"));
        p.setIndex("ABREV");
        ASSERT_TRUE(p.findKey(abrev));
        p.edit();
        p.setText("DNI", dni);
        p.post();
    }

    School s;
    base::RunState state;
    tz::testing::RecordingPort port;
};

}  // namespace

TEST_F(Ajuste, OpensOnTheFirstTeacherWithLinkedViews) {
    AjustaXEL a(state, port);
    EXPECT_TRUE(port.only("ERR ").empty());
    EXPECT_EQ(a.wwTableProfesor().text("ABREV"), "ABC");
    EXPECT_EQ(a.wwTableCUADROH2().recordCount(), 3);
    EXPECT_EQ(a.wwTableCUADROH3().recordCount(), 1);
    EXPECT_EQ(a.wwTableCUADROH3AUX().recordCount(), 2);
    EXPECT_EQ(a.CarpetaTextos, s.textos());
    for (auto c : {timetable::Catalogo::TIPDOC, timetable::Catalogo::OTRACT})
        EXPECT_TRUE(a.catalogo(c).isOpen());
}

TEST_F(Ajuste, DocumentColumnsCarryIntoEveryRowOfTheTeacher) {
    AjustaXEL a(state, port);
    a.wwTableCUADROH2().moveTo(1);  // the user is looking at the second period
    const auto h2Mark = a.wwTableCUADROH2().bookmark();
    const auto h3Mark = a.wwTableCUADROH3().isEmpty() ? 0 : a.wwTableCUADROH3().bookmark();

    a.editaProfesor(timetable::ColTipoDni, "2");
    a.editaProfesor(timetable::ColDni, "X1234567L");
    EXPECT_EQ(a.wwTableCUADROH2().bookmark(), h2Mark);
    if (!a.wwTableCUADROH3().isEmpty()) {
        EXPECT_EQ(a.wwTableCUADROH3().bookmark(), h3Mark);
    }
    a.wwTableProfesor().post();

    EXPECT_EQ(s.rows(s.ztemp("CUADROH2.DBF"), {"ABREVPROF", "TIPDOC", "DOC"}, "PROF_DIA_SES"),
              (Lines{"ABC|2|X1234567L", "ABC|2|X1234567L", "ABC|2|X1234567L", "JLM||",
                     "MIR|2|33333333P"}));
    EXPECT_EQ(s.rows(s.ztemp("CUADROH3.DBF"), {"ABREVPROF", "TIPDOC", "DOC"}, "PROF_DIA_SES"),
              (Lines{"ABC|2|X1234567L", "ABC|2|X1234567L", "JLM||", "MIR|2|33333333P"}));
}

TEST_F(Ajuste, OtherColumnsCarryNothing) {
    AjustaXEL a(state, port);
    // The document changed without the grid noticing, then another column is left.
    a.wwTableProfesor().edit();
    a.wwTableProfesor().setText("DNI", "CHANGED");
    for (int column : std::initializer_list<int>{0, timetable::ColAbrev, timetable::ColNombre,
                                                 timetable::ColDepart, 6})
        a.wwDBGridPROFTColExit(column);
    a.editaProfesor(timetable::ColNombre, "Ane Barrena Goñi");
    EXPECT_EQ(s.rows(s.ztemp("CUADROH2.DBF"), {"DOC"}, "PROF_DIA_SES").front(), "11111111H");
    a.wwDBGridPROFTColExit(timetable::ColDni);
    EXPECT_EQ(s.rows(s.ztemp("CUADROH2.DBF"), {"DOC"}, "PROF_DIA_SES").front(), "CHANGED");
}

TEST_F(Ajuste, TeacherWithoutPeriodsChangesNothing) {
    AjustaXEL a(state, port);
    ASSERT_TRUE(a.wwTableProfesor().findKey("NOP"));
    EXPECT_TRUE(a.wwTableCUADROH2().isEmpty());
    const auto before2 = s.h2(), before3 = s.h3();
    a.editaProfesor(timetable::ColDni, "55555555K");
    EXPECT_EQ(s.h2(), before2);
    EXPECT_EQ(s.h3(), before3);
}

TEST_F(Ajuste, SalirAsksOnlyAboutTheFirstTeacherWithoutDocument) {
    setDni("MIR", "   ");  // spaces only: no document
    AjustaXEL a(state, port);
    port.answers = {true};
    a.BitBtn1Click();  // "&Si": correct it
    EXPECT_EQ(port.only("ASK "), (Lines{AjustaXEL::preguntaSinDocumento() + " -> Si"}));
    EXPECT_FALSE(a.salirCerro());
    EXPECT_EQ(a.wwTableProfesor().text("ABREV"), "JLM");
    EXPECT_EQ(a.wwTableCUADROH2().text("ABREVPROF"), "JLM");  // the grids show that teacher
    EXPECT_EQ(state.EstadoPaso, 0);
    EXPECT_FALSE(cuadrosExists());

    a.editaProfesor(timetable::ColDni, "22222222J");
    port.answers = {false};
    a.BitBtn1Click();  // scans again from the first teacher: MIR is next
    ASSERT_EQ(port.only("ASK ").size(), 2u);
    EXPECT_TRUE(a.salirCerro());
    EXPECT_EQ(a.ResultadoAjuste, 4);
    EXPECT_EQ(state.EstadoPaso, 4);
    EXPECT_FALSE(cuadrosExists());
    EXPECT_FALSE(a.wwTableProfesor().isOpen());
    EXPECT_FALSE(a.catalogo(timetable::Catalogo::OTRACT).isOpen());
    EXPECT_TRUE(a.wwTablexelCENTRO().isOpen());  // until the window goes
    // The document typed before "&Salir" was stored and carried.
    EXPECT_EQ(s.rows(s.ztemp("CUADROH2.DBF"), {"DOC"}, "PROF_DIA_SES")[3], "22222222J");
}

TEST_F(Ajuste, SalirWithEveryDocumentWritesTheFile) {
    setDni("JLM", "\t22222222J ");
    state.EstadoPaso = 1;
    AjustaXEL a(state, port);
    a.BitBtn1Click();
    EXPECT_TRUE(port.only("ASK ").empty());
    EXPECT_TRUE(a.salirCerro());
    EXPECT_EQ(a.ResultadoAjuste, 0);
    EXPECT_EQ(state.EstadoPaso, 0);
    EXPECT_EQ(cuadros().substr(0, 16), "1CH01234520241\r\n");
    // 1 header, 5 type 2 and 4 type 3 records, every line 76 or 27 characters and CR LF.
    std::size_t lines = 0, pos = 0;
    const std::string text = cuadros();
    for (std::size_t e; (e = text.find("\r\n", pos)) != std::string::npos; pos = e + 2, ++lines) {
        const auto len = e - pos;
        EXPECT_TRUE(len == 14 || len == 76 || len == 27) << len;
    }
    EXPECT_EQ(pos, text.size());
    EXPECT_EQ(lines, 10u);
}

TEST_F(Ajuste, WriterFollowsTheKeysAndWorksOnItsOwnCursors) {
    // Tables made by hand: type 2 rows out of key order, an orphan type 3 row, a period
    // without groups, blank values and short hand-edited fields.
    timetable::CreaTablasCuadro();
    // TIPREG TIPDOC ABREVPROF DOC NUMSESION DIASEM TIPTAR HORAINI HORAFIN GRUPNIV ABREVASIG
    // CODASIG TIPASIG IDIOMA AULA_OBS TIP_ACTIV PROF_DIA_SES DIA_SES REG_MOD
    s.fill(s.ztemp("CUADROH2.DBF"),
           {{"2", "1", "ABC", "11111111H", "02", "1", "101", "9:00", "", "ESO", "MAT", "0101", "",
             "02", "Aula 1", "", "ABC 102", "102", "N"},
            {"2", "1", "ABC", "11111111H", "01", "1", "", "", "", "", "", "", "", "", "", "",
             "ABC 101", "101", "N"},
            {"2", "2", "MIR", "33333333P", "3", "4", "200", "10:00", "11:00", "", "LEN", "02", "",
             "02", "", "300", "MIR 403", "403", "N"}});
    // TIPREG ABREVGRUP CODGRUPO TIPDOC ABREVPROF DOC NUMSESGRUP DIASEM NUMALUM PROF_DIA_SES
    s.fill(s.ztemp("CUADROH3.DBF"),
           {{"3", "1A", "01ESA", "1", "ABC", "11111111H", "02", "1", "7", "ABC 102", "N"},
            {"3", "ZZ", "ORFAN", "1", "ZZZ", "", "01", "1", "10", "ZZZ 101", "N"},
            {"3", "1B", "", "1", "ABC", "11111111H", "01", "1", "", "ABC 101", "N"},
            {"3", "1C", "01ESC", "2", "MIR", "33333333P", "3", "", "25", "MIR 403", "N"}});
    std::filesystem::remove(s.ztemp("xelCENTRO.DBF"));
    s.table(tables::catalogue::xelCENTRO(), {{"01234", "2024", ""}});
    School::write(s.root / "textos" / "fCUADROS.txt", "old file\r\n");

    AjustaXEL a(state, port);
    ASSERT_TRUE(a.wwTableProfesor().findKey("MIR"));
    a.CreaTXTCuadroHorario();
    const std::string expected =
        "1CH01234 2024 \r\n"
        "2111111111H      011   00:0000:00" +
        std::string(10 + 30 + 3, ' ') +
        "\r\n"
        "3     111111111H      0110"
        "0\r\n"
        "2111111111H      021101"
        "9:000"
        "00:00"
        "ESO"
        "0101"
        " "
        "02"
        "Aula 1" +
        std::string(24, ' ') +
        "   \r\n"
        "301ESA111111111H      0217"
        "0\r\n"
        "2233333333P      34200"
        "10:00"
        "11:00"
        "   "
        "02  "
        " "
        "02" +
        std::string(30, ' ') +
        "300\r\n"
        "301ESC233333333P      325\r\n";
    EXPECT_EQ(cuadros(), expected);
    EXPECT_EQ(a.ResultadoAjuste, 0);
    // The views are as the user left them.
    EXPECT_EQ(a.wwTableProfesor().text("ABREV"), "MIR");
    EXPECT_EQ(a.wwTableCUADROH2().recordCount(), 1);
    EXPECT_EQ(a.wwTableCUADROH3().text("ABREVGRUP"), "1C");
}

// Each type 2 row gets every type 3 row of its slot key, whatever the keys hold: keys that
// differ only below the space, repeated type 2 keys, two groups under one key, groups whose
// key no type 2 row has before and after all others. Checked against a plain search of every
// type 3 row for each type 2 row, in the order of the slot key index.
TEST_F(Ajuste, WriterGivesEachPeriodAllTheGroupsOfItsKey) {
    timetable::CreaTablasCuadro();
    auto h2 = [](const std::string& key, const std::string& doc) {
        return std::vector<std::string>{"2",
                                        "1",
                                        key.substr(0, 4),
                                        doc,
                                        key.substr(5, 2),
                                        key.substr(4, 1),
                                        "101",
                                        "09:00",
                                        "10:00",
                                        "ESO",
                                        "MAT",
                                        "0101",
                                        " ",
                                        "02",
                                        "",
                                        "",
                                        key,
                                        key.substr(4),
                                        "N"};
    };
    auto h3 = [](const std::string& key, const std::string& group) {
        return std::vector<std::string>{
            "3", group, group + "X", "1", key.substr(0, 4), "", key.substr(5, 2), key.substr(4, 1),
            "9", key,   "N"};
    };
    const std::string ctl = std::string("AB\x01 101"), sp = "AB  101", abc = "ABC 101";
    s.fill(s.ztemp("CUADROH2.DBF"),
           {h2(abc, "1"), h2(sp, "2"), h2(ctl, "3"), h2(abc, "4"), h2("AB! 101", "5")});
    s.fill(s.ztemp("CUADROH3.DBF"), {h3("AA  101", "G0"), h3(ctl, "G1"), h3(abc, "G3"),
                                     h3(sp, "G2"), h3(abc, "G4"), h3("ZZ  101", "G9")});
    AjustaXEL a(state, port);
    a.CreaTXTCuadroHorario();

    tables::Dataset d2, d3;
    d2.open(s.ztemp("CUADROH2.DBF"), tables::OpenMode::ReadOnly);
    d2.setIndex("PROF_DIA_SES");
    d3.open(s.ztemp("CUADROH3.DBF"), tables::OpenMode::ReadOnly);
    d3.setIndex("PROF_DIA_SES");
    std::string groups;
    for (int i = 0; i < d2.recordCount(); ++i) {
        groups += d2.textAt(i, d2.requireField("DOC")) + ":";
        for (int j = 0; j < d3.recordCount(); ++j) {
            if (d3.textAt(j, d3.requireField("PROF_DIA_SES")) ==
                d2.textAt(i, d2.requireField("PROF_DIA_SES")))
                groups += d3.textAt(j, d3.requireField("ABREVGRUP"));
        }
        groups += " ";
    }
    // Slot key order: the control byte, then "  ", "! ", "C " (the two C rows in record order).
    EXPECT_EQ(groups, "3:G1 2:G2 5: 1:G3G4 4:G3G4 ");
    // The file: each type 2 record followed by its groups' type 3 records, in that order.
    std::string seen;
    for (std::size_t at = 0, end; (end = cuadros().find("\r\n", at)) != std::string::npos;
         at = end + 2) {
        const std::string line = cuadros().substr(at, end - at);
        if (line[0] == '2') seen += std::string(seen.empty() ? "" : " ") + line.substr(2, 1) + ":";
        if (line[0] == '3') seen += line.substr(1, 2);
    }
    EXPECT_EQ(seen + " ", groups);
}

TEST_F(Ajuste, EmptyTimetableGivesTheHeaderAlone) {
    timetable::CreaTablasCuadro();
    AjustaXEL a(state, port);
    a.CreaTXTCuadroHorario();
    EXPECT_EQ(cuadros(), "1CH01234520241\r\n");
}

TEST_F(Ajuste, MissingTextFolderEndsUnfinished) {
    setDni("JLM", "22222222J");
    state.CarpetaTextos = (s.root / "no-such-folder").string() + "/";
    AjustaXEL a(state, port);
    a.BitBtn1Click();
    EXPECT_EQ(port.messages(), (Lines{"No existe la carpeta"}));
    EXPECT_EQ(a.ResultadoAjuste, 4);
    EXPECT_EQ(state.EstadoPaso, 4);
    EXPECT_TRUE(a.salirCerro());
}

// A file-size limit (setrlimit) makes the write fail part-way: POSIX only; on Windows a
// replacement refused by the system is WindowsFilesTest.ReplacingAFileHeldOpenLeavesItWhole.
#ifndef _WIN32
TEST_F(Ajuste, FailedWriteKeepsTheOldFileAndTheWindowOpen) {
    setDni("JLM", "22222222J");
    const std::string old = "1CHold\r\n";
    School::write(s.root / "textos" / "fCUADROS.txt", old);
    AjustaXEL a(state, port);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 10;  // the new file cannot be written
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = a.guarded([&] { a.BitBtn1Click(); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    const auto errors = port.only("ERR ");
    ASSERT_EQ(errors.size(), 1u);
    const std::string target = (s.root / "textos" / "fCUADROS.txt").string();
    EXPECT_EQ(errors[0].rfind("Cannot create file \"" + target + "\". ", 0), 0u) << errors[0];
    EXPECT_EQ(cuadros(), old);
    EXPECT_FALSE(a.salirCerro());
    EXPECT_EQ(state.EstadoPaso, 0);
    EXPECT_TRUE(a.wwTableProfesor().isOpen());

    a.BitBtn1Click();  // tried again once the disk has room
    EXPECT_TRUE(a.salirCerro());
    EXPECT_EQ(cuadros().substr(0, 16), "1CH01234520241\r\n");
}
#endif

TEST_F(Ajuste, CloseBoxCountsAsNotFinishedAndKeepsTyping) {
    AjustaXEL a(state, port);
    ASSERT_TRUE(a.wwTableProfesor().findKey("JLM"));
    a.wwTableProfesor().edit();
    a.wwTableProfesor().setText("NOMBRE", "Josu Larrañaga");
    a.FormClose();
    a.FormClose();  // once only
    EXPECT_EQ(state.EstadoPaso, 4);
    EXPECT_EQ(a.ResultadoAjuste, 4);
    EXPECT_FALSE(a.salirCerro());
    EXPECT_FALSE(cuadrosExists());
    EXPECT_TRUE(port.shown.empty());
    EXPECT_EQ(s.rows(s.ztemp("PROFT.DBF"), {"NOMBRE"}, "ABREV")[1], "Josu Larrañaga");
}

TEST_F(Ajuste, CentreTypedIntoAnEmptyTableIsStored) {
    std::filesystem::remove(s.ztemp("xelCENTRO.DBF"));
    s.table(tables::catalogue::xelCENTRO());
    AjustaXEL a(state, port);
    a.setCentro("CODCENTRO", "012999");
    a.DBEditCODECENTROExit();
    a.setCentro("ANOACAD", "2025");
    a.DBEditCODECENTROExit();
    EXPECT_EQ(s.rows(s.ztemp("xelCENTRO.DBF"), {"CODCENTRO", "ANOACAD", "VERSION"}),
              (Lines{"012999|2025|"}));
    a.CreaTXTCuadroHorario();
    EXPECT_EQ(cuadros().substr(0, 16), "1CH0129992025 \r\n");
}

TEST_F(Ajuste, ViewThatFailsToOpenLeavesTheLaterOnesClosed) {
    std::filesystem::remove(s.ztemp("xelGRUPNIV.DBF"));
    setDni("JLM", "22222222J");
    AjustaXEL a(state, port);
    ASSERT_EQ(port.only("ERR ").size(), 1u);
    using timetable::Catalogo;
    EXPECT_TRUE(a.catalogo(Catalogo::TIPTAR).isOpen());
    for (auto c : {Catalogo::GRUPNIV, Catalogo::ASIGNAT, Catalogo::IDIOMA, Catalogo::OTRACT})
        EXPECT_FALSE(a.catalogo(c).isOpen());
    a.BitBtn1Click();  // still checks and writes
    EXPECT_TRUE(a.salirCerro());
    EXPECT_TRUE(cuadrosExists());
}

TEST_F(Ajuste, MissingTeacherTableIsReported) {
    std::filesystem::remove(s.ztemp("PROFT.DBF"));
    AjustaXEL a(state, port);
    ASSERT_EQ(port.only("ERR ").size(), 1u);
    EXPECT_TRUE(a.wwTablexelCENTRO().isOpen());
    EXPECT_FALSE(a.wwTableCUADROH2().isOpen());
    // "&Salir" says why no file is written and ends the job unfinished, without an engine error.
    EXPECT_TRUE(a.guarded([&] { a.BitBtn1Click(); }));
    EXPECT_EQ(port.only("ERR ").size(), 1u);
    EXPECT_EQ(port.messages(),
              (Lines{"No se escribe fCUADROS.txt: no se ha podido abrir la tabla PROFT.DBF de la "
                     "carpeta de intercambio (vea el error anterior). Repita el trabajo XEL → "
                     "Zandrix, que la crea de nuevo, y después este trabajo."}));
    EXPECT_TRUE(a.salirCerro());
    EXPECT_EQ(a.ResultadoAjuste, 4);
    EXPECT_EQ(state.EstadoPaso, 4);
    EXPECT_FALSE(cuadrosExists());
}

TEST(SalirQuestion, ThreeLinesOf136Characters) {
    const std::string& q = AjustaXEL::preguntaSinDocumento();
    EXPECT_EQ(codePoints(q), 136u);
    EXPECT_EQ(q, std::string(11, ' ') + "!!!ATENCIÓN!!!" + std::string(17, ' ') +
                     "\rTodavía hay algún Profesor SIN DOCumento(DNI).\r       ¿Desea corregir "
                     "esta incidencia?       ");
}

TEST(Desplegables, SixCodableCells) {
    const auto& d = timetable::desplegables();
    ASSERT_EQ(d.size(), 6u);
    EXPECT_STREQ(d[0].campo, "TIPODNI");
    EXPECT_STREQ(d[3].campo, "CODASIG");
    EXPECT_STREQ(d[3].columnas[0].first, "CODCAST");
    EXPECT_STREQ(d[2].codigo, "NIVEL");
}
