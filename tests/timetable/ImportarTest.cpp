#include <gtest/gtest.h>

#include <functional>

#include "School.h"
#include "support/RecordingPort.h"
#include "timetable/AjustaXEL.h"
#include "timetable/Timetable.h"

using namespace tz;
using tz::testing::School;
using Rows = std::vector<std::vector<std::string>>;
using Lines = std::vector<std::string>;

namespace {

// Sets fields on every row of a table.
void editAll(const std::filesystem::path& file,
             const std::vector<std::pair<std::string, std::string>>& values) {
    tables::Dataset ds;
    ds.open(file, tables::OpenMode::Shared);
    for (ds.first(); !ds.isEmpty() && !ds.eof(); ds.next()) {
        ds.edit();
        for (const auto& [f, v] : values) ds.setText(f, v);
        ds.post();
    }
}

void exportFresh() {
    timetable::CreaTablasCuadro();
    timetable::ExportaCuadros();
}

}  // namespace

TEST(ClaveSesion, TeacherDayAndTwoDigitHour) {
    struct Case {
        const char* prof;
        const char* dia;
        int hora;
        const char* key;
    };
    const Case cases[] = {
        {"ABC", "3", 5, "ABC 305"}, {"ABC", "3", 12, "ABC 312"}, {"ABCD", "1", 1, "ABCD101"},
        {"A", "5", 10, "A   510"},  {"ABC", "3", 0, "ABC 300"},  {"ABC", "3", 123, "ABC 30123"},
    };
    for (const auto& c : cases) EXPECT_EQ(timetable::claveSesion(c.prof, c.dia, c.hora), c.key);
}

TEST(ExportaCuadros, LessonPassWritesEveryField) {
    School s;
    // PROF, DIA, HORA, SESIONES, CODGRUPO, ASIG, TAREA, AULA
    s.soluc({{"ABC", "3", "5", "1", "1A", "MAT", "", "A12"},   // all found, task from the group
             {"ABC", "3", "12", "1", "", "LEN", "201", "B1"},  // no group: no type 3 row
             {"JLM", "1", "2", "2", "1B", "XXX", "", ""},      // two sessions, unknown subject
             {"NEW", "2", "3", "1", "9Z", "MAT", "", ""},      // unknown teacher and group
             {"ABC", "0", "1", "1", "1A", "MAT", "", ""},      // day 0: skipped
             {"", "1", "1", "1", "1A", "MAT", "", ""},         // no teacher: skipped
             {"MIR", "5", "1", "1", "2A", "LEN", "", "C"},     // group without level: task 101
             {"MIR", "5", "2", "1", "1a", "mat", "", ""}});    // look-ups respect letter case
    timetable::CreaTablasCuadro();
    EXPECT_TRUE(timetable::ExportaCuadros().empty());
    EXPECT_EQ(s.h2(),
              (Lines{
                  "ABC 305|2|1|ABC|11111111H|05|3|101|12:00|13:00|ESO|MAT|0101||02|A12||305|N",
                  "ABC 312|2|1|ABC|11111111H|12|3|201|19:00|20:00||LEN|02||02|B1||312|N",
                  "JLM 102|2||JLM||02|1|101|09:00|11:00|ES|XXX|||02|||102|N",
                  "MIR 501|2|2|MIR|33333333P|01|5|101|08:00|09:00||LEN|02||02|C||501|N",
                  "MIR 502|2|2|MIR|33333333P|02|5||09:00|10:00||mat|||02|||502|N",
                  "NEW 203|2||NEW||03|2||10:00|11:00||MAT|0101||02|||203|N",
              }));
    EXPECT_EQ(s.h3(), (Lines{
                          "ABC 305|3|1A|01ESA|1|ABC|11111111H|05|3|25|N",
                          "JLM 102|3|1B|01ESB||JLM||02|1||N",
                          "MIR 501|3|2A|02ESA|2|MIR|33333333P|01|5|7|N",
                          "MIR 502|3|1a||2|MIR|33333333P|02|5||N",
                          "NEW 203|3|9Z|||NEW||03|2||N",
                      }));
    // The unknown teacher is added once, with its abbreviation alone.
    EXPECT_EQ(
        s.rows(s.ztemp("PROFT.DBF"), {"ABREV", "NOMBRE", "DEPART", "DNI", "TIPODNI"}, "ABREV"),
        (Lines{"ABC|Ane Barrena|Matemáticas|11111111H|1", "JLM|Josu Larra|Lengua||",
               "MIR|Miren Ibarra|Inglés|33333333P|2", "NEW||||"}));
}

// A lesson whose day or hours do not fit is listed and leaves no row; the others go on. The bell
// schedule of the school has hours 1, 2, 3, 5 and 12.
TEST(ExportaCuadros, LessonsThatDoNotFitAreListedInsteadOfWritten) {
    School s;
    s.soluc({{"ABC", "9", "1", "1", "1A", "MAT", "", ""},   // day beyond the week
             {"ABC", "-1", "1", "1", "1A", "MAT", "", ""},  // negative day
             {"ABC", "1", "", "1", "1A", "MAT", "", ""},    // hour blank (or junk)
             {"ABC", "1", "4", "1", "1A", "MAT", "", ""},   // hour not in the bell schedule
             {"NEW", "2", "5", "3", "", "MAT", "", ""},     // ends at hour 7, not in it
             {"JLM", "1", "2", "2", "1B", "LEN", "", ""},   // fits: hours 2 and 3
             {"ABC", "0", "", "", "", "", "", ""}});        // day 0: skipped, not listed
    timetable::CreaTablasCuadro();
    const auto sin = timetable::ExportaCuadros();
    std::vector<std::string> got;
    for (const auto& l : sin)
        got.push_back(std::to_string(l.fila) + " " + l.profesor + " " + l.dia + " " + l.hora +
                      ": " + l.motivo);
    EXPECT_EQ(got, (Lines{
                       "1 ABC 9 1: el día \"9\" no es un día de la semana (1 a 7)",
                       "2 ABC -1 1: el día \"-1\" no es un día de la semana (1 a 7)",
                       "3 ABC 1 : la hora está en blanco o no es un número",
                       "4 ABC 1 4: la hora 4 no está en la plantilla horaria",
                       "5 NEW 2 5: sus 3 sesiones acaban en la hora 7, que no está en la "
                       "plantilla horaria",
                   }));
    ASSERT_EQ(s.h2().size(), 1u);
    EXPECT_EQ(s.h2()[0].substr(0, 7), "JLM 102");
    // No row at an hour 00 or with a day the record cannot carry; a teacher only of lessons
    // left out is not added.
    EXPECT_EQ(s.h3().size(), 1u);
    EXPECT_EQ(s.rows(s.ztemp("PROFT.DBF"), {"ABREV"}, "ABREV"), (Lines{"ABC", "JLM", "MIR"}));
}

TEST(ExportaCuadros, TwoLessonsOnOneSlotShareTheirRows) {
    School s;
    s.soluc({{"ABC", "1", "1", "1", "1A", "MAT", "", "R1"},
             {"ABC", "1", "1", "1", "1B", "LEN", "205", ""}});
    exportFresh();
    // Always-written fields take the later lesson; blank-only fields keep the first value; the
    // type 3 row takes the later group and its code, and keeps its count when none is given.
    EXPECT_EQ(s.h2(),
              (Lines{"ABC 101|2|1|ABC|11111111H|01|1|101|08:00|09:00|ESO|LEN|02||02|||101|N"}));
    EXPECT_EQ(s.h3(), (Lines{"ABC 101|3|1B|01ESB|1|ABC|11111111H|01|1|25|N"}));
}

TEST(ExportaCuadros, KeptExportFollowsTheTimetableAndKeepsEnteredCodes) {
    School s;
    s.soluc({{"ABC", "1", "1", "1", "1A", "MAT", "", "R1"},
             {"ABC", "1", "2", "1", "1B", "MAT", "", ""},
             {"JLM", "2", "3", "1", "1A", "LEN", "", ""},
             {"MIR", "4", "1", "1", "1B", "LEN", "", ""}});
    exportFresh();
    editAll(s.ztemp("CUADROH2.DBF"), {{"TIPDOC", "9"},
                                      {"DOC", "USERDOC"},
                                      {"TIPTAR", "999"},
                                      {"GRUPNIV", "USR"},
                                      {"CODASIG", "ZZZZ"},
                                      {"IDIOMA", "01"},
                                      {"TIP_ACTIV", "ACT"},
                                      {"TIPASIG", "X"},
                                      {"HORAINI", "xx"}});
    editAll(s.ztemp("CUADROH3.DBF"),
            {{"CODGRUPO", "USERC"}, {"NUMALUM", "88"}, {"TIPDOC", "9"}, {"DOC", "USERDOC"}});

    s.soluc({{"ABC", "1", "1", "1", "1A", "MAT", "", "R1"},  // same group
             {"ABC", "1", "2", "1", "2A", "MAT", "", ""},    // group changed
             {"MIR", "4", "1", "1", "1B", "LEN", "", ""},    // same group, no count in GRUPOST
             {"MIR", "4", "2", "1", "", "LEN", "", ""}});    // new period; JLM 203 is gone
    tz::testing::RecordingPort port;
    port.answers = {true, false};  // keep the export, then export again
    base::RunState state;
    state.CarpetaTextos = s.textos();
    timetable::Importar2(state, port);

    EXPECT_EQ(s.h2(), (Lines{
                          "ABC 101|2|9|ABC|USERDOC|01|1|999|08:00|09:00|USR|MAT|0101||02|R1||101|N",
                          "ABC 102|2|9|ABC|USERDOC|02|1|999|09:00|10:00|USR|MAT|0101||02|||102|N",
                          "MIR 401|2|9|MIR|USERDOC|01|4|999|08:00|09:00|USR|LEN|02||02|||401|N",
                          "MIR 402|2|2|MIR|33333333P|02|4||09:00|10:00||LEN|02||02|||402|N",
                      }));
    EXPECT_EQ(s.h3(), (Lines{
                          "ABC 101|3|1A|USERC|9|ABC|USERDOC|01|1|25|N",
                          "ABC 102|3|2A|02ESA|9|ABC|USERDOC|02|1|7|N",
                          "MIR 401|3|1B|USERC|9|MIR|USERDOC|01|4|88|N",
                      }));
}

TEST(ExportaCuadros, SolucWithoutTareaIsAnEngineError) {
    School s;
    tables::createTable(s.ztemp("SOLUC.DBF"),
                        {tables::charField("PROF", 4), tables::numericField("DIA", 2),
                         tables::numericField("HORA", 2), tables::numericField("SESIONES", 2),
                         tables::charField("CODGRUPO", 4), tables::charField("ASIG", 4),
                         tables::charField("AULA", 4)},
                        {});
    s.fill(s.ztemp("SOLUC.DBF"), {{"ABC", "1", "1", "1", "1A", "MAT", ""}});
    timetable::CreaTablasCuadro();
    EXPECT_THROW(timetable::ExportaCuadros(), tables::EngineError);
}

// --- The Importar2 sequence -------------------------------------------------------------------

namespace {

const std::string kSalir = timetable::AjustaXEL::preguntaSinDocumento();

struct FlowCase {
    const char* what;
    bool previousExport;
    std::deque<bool> answers;
    Lines asked;
    bool exported;     // SOLUC went into the tables
    int pasoInWindow;  // EstadoPaso while the window is open: 1 after fresh tables
};

}  // namespace

TEST(Importar2, QuestionsAndRoads) {
    const std::string q1 = timetable::preguntaConservar(), q2 = timetable::preguntaCodificar();
    const FlowCase cases[] = {
        {"first run: no question", false, {}, {}, true, 1},
        {"answer No: fresh export", true, {false}, {q1 + " -> No"}, true, 1},
        {"kept and exported again", true, {true, false}, {q1 + " -> Si", q2 + " -> No"}, true, 0},
        {"straight to coding", true, {true, true}, {q1 + " -> Si", q2 + " -> Si"}, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        School s;
        s.soluc({{"ABC", "1", "1", "1", "1A", "MAT", "", ""}});
        if (c.previousExport) {
            timetable::CreaTablasCuadro();
            s.fill(s.ztemp("CUADROH2.DBF"), {{"2", "", "OLD", "", "01", "1", "", "", "", "", "", "",
                                              "", "", "", "", "OLD 101", "101", "N"}});
        }
        tz::testing::RecordingPort port;
        port.answers = c.answers;
        base::RunState state;
        state.CarpetaTextos = s.textos();
        int estadoPasoInWindow = -1;
        port.onAdjustment = [&](base::Adjustment& work) {
            auto& a = timetable::AjustaXEL::of(work);
            estadoPasoInWindow = state.EstadoPaso;
            a.BitBtn1Click();  // every teacher there has a document once JLM is given one
        };
        // JLM has no document: give one so that "&Salir" finishes.
        editAll(s.ztemp("PROFT.DBF"), {{"DNI", "22222222J"}});
        timetable::Importar2(state, port);

        EXPECT_EQ(port.only("ASK "), c.asked);
        EXPECT_EQ(estadoPasoInWindow, c.pasoInWindow);
        const auto h2 = s.h2();
        if (c.exported) {
            ASSERT_FALSE(h2.empty());
            EXPECT_EQ(h2.front().substr(0, 7), "ABC 101");
        } else {
            EXPECT_EQ(h2, (Lines{"OLD 101|2||OLD||01|1|||||||||||101|N"}));
        }
        EXPECT_EQ(port.messages(), (Lines{"Proceso finalizado"}));
        EXPECT_EQ(port.shown.back(), "MSG Proceso finalizado");
        EXPECT_EQ(port.shown[port.shown.size() - 2], "BUSY off");
        EXPECT_EQ(state.EstadoPaso, 0);
        EXPECT_EQ(state.EstadoTransformado, 1);
        EXPECT_FALSE(port.closed);
        EXPECT_TRUE(std::filesystem::exists(s.root / "textos" / "fCUADROS.txt"));
    }
}

TEST(Importar2, StraightToCodingOpensNoTimetablerTable) {
    School s;  // no SOLUC at all: opening it would fail
    timetable::CreaTablasCuadro();
    tz::testing::RecordingPort port;
    port.answers = {true, true};
    base::RunState state;
    state.CarpetaTextos = s.textos();
    timetable::Importar2(state, port);
    EXPECT_EQ(port.only("ERR ").size(), 0u);
    EXPECT_EQ(port.messages(), (Lines{"!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente"}));
}

TEST(Importar2, WindowEndsUnfinishedAndHostedRunCloses) {
    struct Case {
        const char* what;
        std::function<void(timetable::AjustaXEL&)> inWindow;
        std::deque<bool> answers;
        const char* message;
    };
    const Case cases[] = {
        {"close box",
         [](timetable::AjustaXEL&) {},
         {},
         "!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente"},
        {"teacher without document, answer No",
         [](timetable::AjustaXEL& a) { a.BitBtn1Click(); },
         {false},
         "!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        School s;
        s.soluc({{"JLM", "1", "1", "1", "1A", "MAT", "", ""}});
        tz::testing::RecordingPort port;
        port.answers = c.answers;
        port.onAdjustment = [&](base::Adjustment& work) {
            c.inWindow(timetable::AjustaXEL::of(work));
        };
        base::RunState state;
        state.NumParametros = 2;
        state.CarpetaTextos = s.textos();
        timetable::Importar2(state, port);
        EXPECT_EQ(state.EstadoPaso, 4);
        EXPECT_EQ(state.EstadoTransformado, 1);
        EXPECT_EQ(port.messages(), (Lines{c.message}));
        EXPECT_EQ(port.shown.back(), "CLOSE");
        EXPECT_FALSE(std::filesystem::exists(s.root / "textos" / "fCUADROS.txt"));
    }
}

TEST(Importar2, ConfirmationTextsAreExact) {
    EXPECT_EQ(timetable::preguntaConservar(),
              "Si Conserva los Datos de la Exportación Anterior,\restos se ajustarán a los cambios "
              "hechos en el horario,\rpero se conservarán los Códigos XEL puestos "
              "anteriormente.\r¿Desea Conservar los Datos de la Exportación Anterior?");
    const std::string q2 = timetable::preguntaCodificar();
    const auto r1 = q2.find('\r'), r2 = q2.rfind('\r');
    EXPECT_EQ(q2.substr(0, r1), "Si desea acceder directamente a la Codificación XEL, pulse SÍ.");
    EXPECT_EQ(q2.substr(r1 + 1, r2 - r1 - 1), std::string(61, ' '));
    EXPECT_EQ(q2.substr(r2 + 1), "Si desea Exportar Nuevamente Conservando Datos, pulse NO.");
}
