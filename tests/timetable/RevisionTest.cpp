#include <gtest/gtest.h>

#include <array>
#include <set>

#include "School.h"
#include "tables/Catalogue.h"
#include "tables/TableFiles.h"
#include "timetable/Revision.h"
#include "timetable/Timetable.h"

using namespace tz;
using namespace tz::timetable::revision;
using tz::testing::School;

namespace {

// One finding as "FIELD kind" with a trailing "?" when only possible.
std::vector<std::string> brief(const std::vector<Hallazgo>& hs) {
    std::vector<std::string> out;
    for (const Hallazgo& h : hs) {
        static const char* const kinds[] = {"blanco",    "catalogo", "asig-o-activ", "control",
                                            "plantilla", "novalido", "sincolocar"};
        out.push_back(h.campo + " " + kinds[static_cast<int>(h.falta)] + (h.posible ? "?" : ""));
    }
    return out;
}

Catalogos catalogos() {
    Catalogos c;
    c.tiptar.emplace();
    (*c.tiptar)["101"] = Lectiva::Si;
    (*c.tiptar)["BIB"] = Lectiva::No;
    (*c.tiptar)["RAR"] = Lectiva::Desconocida;
    c.tipdoc.emplace(std::initializer_list<std::string>{"1", "2"});
    c.grupniv.emplace(std::initializer_list<std::string>{"ESO"});
    c.asignat.emplace(std::initializer_list<std::string>{"1004"});
    c.idioma.emplace(std::initializer_list<std::string>{"02"});
    c.otract.emplace(std::initializer_list<std::string>{"300"});
    c.horas = timetable::validacion::Horas{1, 2, 3};
    return c;
}

// A complete teaching period; each case changes some fields.
Fila2 completa() {
    return {"1",  "ABC", "11111111H", "02",    "3",     "101", "ESO", "1004",
            "02", "",    "ABC 302",   "09:00", "10:00", " ",   "A11"};
}

}  // namespace

TEST(Revision, OtractivFlagReading) {
    const struct {
        const char* flag;
        Lectiva expected;
    } cases[] = {{"N", Lectiva::Si},          {"n", Lectiva::Si},
                 {"0", Lectiva::Si},          {"S", Lectiva::No},
                 {"s", Lectiva::No},          {"1", Lectiva::No},
                 {" S ", Lectiva::No},        {"", Lectiva::Desconocida},
                 {"X", Lectiva::Desconocida}, {"NS", Lectiva::Desconocida}};
    for (const auto& c : cases) EXPECT_EQ(leeOtractiv(c.flag), c.expected) << c.flag;
}

TEST(Revision, TypeTwoRowsFindEachKindOfGap) {
    const Catalogos cat = catalogos();
    const struct {
        const char* name;
        void (*change)(Fila2&);
        std::vector<std::string> expected;
    } cases[] = {
        {"complete teaching period", [](Fila2&) {}, {}},
        {"complete other activity",
         [](Fila2& f) { f.TIPTAR = "BIB", f.CODASIG = "", f.TIP_ACTIV = "300"; },
         {}},
        {"blank document type", [](Fila2& f) { f.TIPDOC = ""; }, {"TIPDOC blanco"}},
        {"document type not in catalogue", [](Fila2& f) { f.TIPDOC = "9"; }, {"TIPDOC catalogo"}},
        {"blank document", [](Fila2& f) { f.DOC = "   "; }, {"DOC blanco"}},
        {"blank task, subject present", [](Fila2& f) { f.TIPTAR = ""; }, {"TIPTAR blanco"}},
        {"blank task and no subject or activity",
         [](Fila2& f) { f.TIPTAR = "", f.CODASIG = ""; },
         {"TIPTAR blanco", "CODASIG asig-o-activ?"}},
        {"task not in catalogue", [](Fila2& f) { f.TIPTAR = "ZZZ"; }, {"TIPTAR catalogo"}},
        {"blank level group", [](Fila2& f) { f.GRUPNIV = ""; }, {"GRUPNIV blanco"}},
        {"level group not in catalogue", [](Fila2& f) { f.GRUPNIV = "BAC"; }, {"GRUPNIV catalogo"}},
        {"teaching without subject", [](Fila2& f) { f.CODASIG = ""; }, {"CODASIG blanco?"}},
        {"teaching without language", [](Fila2& f) { f.IDIOMA = ""; }, {"IDIOMA blanco?"}},
        {"subject not in catalogue", [](Fila2& f) { f.CODASIG = "9999"; }, {"CODASIG catalogo"}},
        {"language not in catalogue", [](Fila2& f) { f.IDIOMA = "07"; }, {"IDIOMA catalogo"}},
        {"other activity without activity",
         [](Fila2& f) { f.TIPTAR = "BIB", f.CODASIG = ""; },
         {"TIP_ACTIV blanco?"}},
        {"activity not in catalogue",
         [](Fila2& f) { f.TIPTAR = "BIB", f.TIP_ACTIV = "999"; },
         {"TIP_ACTIV catalogo"}},
        {"unknown flag, neither subject nor activity",
         [](Fila2& f) { f.TIPTAR = "RAR", f.CODASIG = ""; },
         {"CODASIG asig-o-activ?"}},
        {"unknown flag with a subject", [](Fila2& f) { f.TIPTAR = "RAR"; }, {}},
        // What the file cannot carry as it stands.
        {"line end inside the document", [](Fila2& f) { f.DOC = "1111\r1111H"; }, {"DOC control"}},
        {"control character as document type",
         [](Fila2& f) { f.TIPDOC = "\r"; },
         {"TIPDOC control"}},
        {"tab in the room", [](Fila2& f) { f.AULA_OBS = "A\t1"; }, {"AULA_OBS control"}},
        {"control character in a time",
         [](Fila2& f) {
             f.HORAINI =
                 "09\x01"
                 "00";
         },
         {"HORAINI control"}},
        {"control character in the task: its kind is unknown",
         [](Fila2& f) { f.TIPTAR = "10\x01", f.CODASIG = ""; },
         {"TIPTAR control", "CODASIG asig-o-activ?"}},
        {"control character in the subject, not judged against its catalogue",
         [](Fila2& f) { f.CODASIG = "10\n4"; },
         {"CODASIG control"}},
        {"day beyond the week", [](Fila2& f) { f.DIASEM = "9"; }, {"DIASEM plantilla"}},
        {"blank day", [](Fila2& f) { f.DIASEM = ""; }, {"DIASEM blanco"}},
        {"session of one digit", [](Fila2& f) { f.NUMSESION = "2"; }, {"NUMSESION plantilla"}},
        {"session not in the bell schedule",
         [](Fila2& f) { f.NUMSESION = "05"; },
         {"NUMSESION plantilla"}},
        {"session 00", [](Fila2& f) { f.NUMSESION = "00"; }, {"NUMSESION plantilla"}},
        {"everything blank",
         [](Fila2& f) {
             f = {"", "ABC", "", "02", "3", "", "", "", "", "", "ABC 302", "", "", "", ""};
         },
         {"TIPDOC blanco", "DOC blanco", "TIPTAR blanco", "GRUPNIV blanco",
          "CODASIG asig-o-activ?"}},
    };
    for (const auto& c : cases) {
        Fila2 f = completa();
        c.change(f);
        std::vector<Hallazgo> out;
        revisaFila(f, 7, cat, out);
        EXPECT_EQ(brief(out), c.expected) << c.name;
        for (const Hallazgo& h : out) {
            EXPECT_EQ(h.tipo, 2);
            EXPECT_EQ(h.registro, 7u);
            EXPECT_EQ(h.profesor, "ABC");
            EXPECT_EQ(h.clave, "ABC 302");
        }
    }
}

TEST(Revision, AbsentCataloguesCheckOnlyBlanks) {
    Catalogos none;  // no catalogue could be read
    Fila2 f = completa();
    f.TIPDOC = "9", f.TIPTAR = "ZZZ", f.CODASIG = "", f.GRUPNIV = "BAC";
    std::vector<Hallazgo> out;
    revisaFila(f, 0, none, out);
    // The task's kind is unknown, yet it has neither subject nor activity.
    EXPECT_EQ(brief(out), (std::vector<std::string>{"CODASIG asig-o-activ?"}));
}

TEST(Revision, TypeThreeRowsNeedTheirGroupCode) {
    const struct {
        const char* code;
        bool finding;
    } cases[] = {{"", true}, {"   ", true}, {"01ESA", false}};
    for (const auto& c : cases) {
        std::vector<Hallazgo> out;
        revisaFila(Fila3{"1A", c.code, "ABC", "01", "1", "ABC 101", "1", "11111111H", "25"}, 3,
                   out);
        ASSERT_EQ(out.size(), c.finding ? 1u : 0u) << c.code;
        if (c.finding) {
            EXPECT_EQ(out[0].tipo, 3);
            EXPECT_EQ(out[0].linea(),
                      "Profesor ABC, día 1, sesión 01, grupo 1A, Cód.GRUPO: en blanco");
        }
    }
}

TEST(Revision, TypeThreeRowsCarryTheirDocumentAndSlot) {
    const Catalogos cat = catalogos();
    const struct {
        const char* name;
        void (*change)(Fila3&);
        std::vector<std::string> expected;
    } cases[] = {
        {"complete", [](Fila3&) {}, {}},
        {"blank document type: the type 2 row tells it", [](Fila3& f) { f.TIPDOC = ""; }, {}},
        {"document type not in catalogue", [](Fila3& f) { f.TIPDOC = "9"; }, {"TIPDOC catalogo"}},
        {"line end in the document", [](Fila3& f) { f.DOC = "1111111\r1H"; }, {"DOC control"}},
        {"day beyond the week", [](Fila3& f) { f.DIASEM = "8"; }, {"DIASEM plantilla"}},
        {"session not in the bell schedule",
         [](Fila3& f) { f.NUMSESGRUP = "07"; },
         {"NUMSESGRUP plantilla"}},
        {"control character in the pupil count",
         [](Fila3& f) { f.NUMALUM = "2\r"; },
         {"NUMALUM control"}},
        {"control character in the group code",
         [](Fila3& f) { f.CODGRUPO = "\x01"; },
         {"CODGRUPO control"}},
    };
    for (const auto& c : cases) {
        Fila3 f{"1A", "01ESA", "ABC", "01", "1", "ABC 101", "1", "11111111H", "25"};
        c.change(f);
        std::vector<Hallazgo> out;
        revisaFila(f, 4, cat, out);
        EXPECT_EQ(brief(out), c.expected) << c.name;
    }
}

TEST(Revision, CentreDataAgainstTheirRules) {
    const struct {
        const char *cod, *ano, *ver;
        std::vector<std::string> lines;
    } cases[] = {
        {"015432", "2024", "1", {}},
        {"-1",
         "-202",
         "-",
         {"Datos del centro, Cód.Centro: \"-1\" no es válido: debe tener 6 cifras",
          "Datos del centro, Año Académico: \"-202\" no es válido: debe tener 4 cifras",
          "Datos del centro, Versión: \"-\" no es válido: debe ser una sola cifra"}},
        {"",
         "",
         "",
         {"Datos del centro, Cód.Centro: en blanco", "Datos del centro, Año Académico: en blanco",
          "Datos del centro, Versión: en blanco"}},
        {"015432",
         "2024",
         "12",
         {"Datos del centro, Versión: \"12\" no es válido: debe ser una sola cifra"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines;
        for (const Hallazgo& h : revisaCentro(c.cod, c.ano, c.ver)) {
            EXPECT_EQ(h.tipo, 1);
            lines.push_back(h.linea());
        }
        EXPECT_EQ(lines, c.lines) << c.cod;
    }
}

// The centre data and the lessons not placed come first; the summary counts them apart.
TEST(Revision, CentreAndLessonsBeforeTheRows) {
    Revision r(catalogos());
    EXPECT_TRUE(r.empty());
    r.revisaCentro("015432", "1999", "1");
    r.anotaLecciones({{4, "ABC", "9", "1", "1A", "MAT", "el día \"9\" no es un día de la semana"},
                      {7, "JLM", "1", "", "", "LEN", "la hora está en blanco o no es un número"}});
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r.hallazgo(0).linea(),
              "Datos del centro, Año Académico: \"1999\" no es válido: debe ser un año de 2000 a "
              "2099");
    EXPECT_EQ(r.hallazgo(1).linea(),
              "Lección de SOLUC sin colocar (fila 4): profesor ABC, día 9, hora 1, grupo 1A: el "
              "día \"9\" no es un día de la semana; no pasa a fCUADROS.txt");
    EXPECT_EQ(r.hallazgo(2).linea(),
              "Lección de SOLUC sin colocar (fila 7): profesor JLM, día 1, hora : la hora está en "
              "blanco o no es un número; no pasa a fCUADROS.txt");
    EXPECT_EQ(r.hallazgos().size(), 3u);
    EXPECT_EQ(textoResumen(r.resumen()),
              "Ningún registro por codificar; datos del centro por corregir; 2 lecciones de SOLUC "
              "sin colocar.");
    // Corrected centre data leave the lessons.
    r.revisaCentro("015432", "2024", "1");
    EXPECT_EQ(r.size(), 2u);
    EXPECT_EQ(r.hallazgo(0).tipo, 0);
    Resumen withRows;
    withRows.tipo2 = 1, withRows.lecciones = 1;
    EXPECT_EQ(textoResumen(withRows),
              "Registros por codificar: 1 (1 de tipo 2, 0 de tipo 3); 1 lección de SOLUC sin "
              "colocar.");
}

TEST(Revision, LinesInSpanish) {
    const Catalogos cat = catalogos();
    const struct {
        void (*change)(Fila2&);
        const char* line;
    } cases[] = {
        {[](Fila2& f) { f.CODASIG = ""; },
         "Profesor ABC, día 3, sesión 02, Cód.ASIG: en blanco (posible: la TAREA \"101\" es "
         "\"Lectiva\")"},
        {[](Fila2& f) { f.TIPTAR = "BIB", f.CODASIG = ""; },
         "Profesor ABC, día 3, sesión 02, ACTIV.: en blanco (posible: la TAREA \"BIB\" NO es "
         "\"Lectiva\")"},
        {[](Fila2& f) { f.GRUPNIV = "B\xC1X"; },  // Windows-1252 Á shown as UTF-8
         "Profesor ABC, día 3, sesión 02, G.NIVEL: el código \"BÁX\" no está en xelGRUPNIV"},
        {[](Fila2& f) { f.DOC = ""; }, "Profesor ABC, día 3, sesión 02, Documento DNI: en blanco"},
        {[](Fila2& f) { f.TIPTAR = "", f.CODASIG = ""; },
         "Profesor ABC, día 3, sesión 02, TAREA: en blanco"},
        {[](Fila2& f) { f.DOC = "1111\r1111H"; },
         "Profesor ABC, día 3, sesión 02, Documento DNI: tiene un carácter de control, retorno de "
         "carro (código 13): \"1111·1111H\""},
        {[](Fila2& f) { f.DIASEM = "9"; },
         "Profesor ABC, día 9, sesión 02, Día: el día \"9\" no es un día de la semana (1 a 7)"},
        {[](Fila2& f) { f.NUMSESION = "07"; },
         "Profesor ABC, día 3, sesión 07, Sesión: la sesión \"07\" no está en la plantilla "
         "horaria"},
        {[](Fila2& f) { f.NUMSESION = "7"; },
         "Profesor ABC, día 3, sesión 7, Sesión: la sesión \"7\" debe ser un número de dos "
         "cifras"},
    };
    for (const auto& c : cases) {
        Fila2 f = completa();
        c.change(f);
        std::vector<Hallazgo> out;
        revisaFila(f, 0, cat, out);
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out[0].linea(), c.line);
    }
}

TEST(Revision, SummaryCountsRowsNotFindings) {
    std::vector<Hallazgo> hs(4);
    hs[0].registro = 1, hs[1].registro = 1, hs[1].posible = true;
    hs[2].registro = 2;
    hs[3].tipo = 3, hs[3].registro = 1;
    const Resumen r = resume(hs);
    EXPECT_EQ(r.tipo2, 2);
    EXPECT_EQ(r.tipo3, 1);
    EXPECT_EQ(r.posibles, 1);
    EXPECT_EQ(textoResumen(r),
              "Registros por codificar: 3 (2 de tipo 2, 1 de tipo 3); 1 hallazgo posible.");
    EXPECT_EQ(textoResumen({}), "Ningún registro por codificar: no falta ningún código XEL.");
}

// The sample tables as the export leaves them.
class RevisionTablas : public ::testing::Test {
  protected:
    void SetUp() override {
        s.soluc({{"ABC", "1", "1", "1", "1A", "MAT", "", "R1"},
                 {"ABC", "2", "1", "1", "", "MAT", "201", ""},
                 {"JLM", "3", "3", "1", "1A", "LEN", "", ""}});
        timetable::CreaTablasCuadro();
        timetable::ExportaCuadros();
    }
    School s;
};

TEST_F(RevisionTablas, WholeTablesSortedBySlotThenColumn) {
    std::vector<std::string> missing;
    const auto hs = revisaCarpeta(&missing).hallazgos();
    EXPECT_TRUE(missing.empty());
    std::vector<std::string> lines;
    for (const auto& h : hs) lines.push_back(h.linea());
    // IDIOMA is "02" and ABC's document is there; "201" is no task type of the catalogue, LEN's
    // code "02" is no subject, JLM has no document, 1A's group code came from the group table.
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Profesor ABC, día 2, sesión 01, TAREA: el código \"201\" no está en "
                         "xelTIPTAR",
                         "Profesor ABC, día 2, sesión 01, G.NIVEL: en blanco",
                         "Profesor JLM, día 3, sesión 03, TipoDOC: en blanco",
                         "Profesor JLM, día 3, sesión 03, Documento DNI: en blanco",
                         "Profesor JLM, día 3, sesión 03, Cód.ASIG: el código \"02\" no está en "
                         "xelASIGNAT",
                     }))
        << ::testing::PrintToString(lines);
}

TEST_F(RevisionTablas, PendingEditAndMissingCatalogue) {
    std::filesystem::remove(s.ztemp("xelASIGNAT.DBF"));
    std::vector<std::string> missing;
    auto hs = revisaCarpeta(&missing).hallazgos();
    EXPECT_EQ(missing, (std::vector<std::string>{"xelASIGNAT"}));
    // Without the subjects catalogue, their codes are not judged.
    for (const auto& h : hs) EXPECT_NE(h.campo, "CODASIG") << h.linea();

    // A value typed into a row not yet stored counts as it stands in the editor.
    tables::Dataset h2, h3, edit;
    h2.open(s.ztemp("CUADROH2.DBF"), tables::OpenMode::Shared);
    h3.open(s.ztemp("CUADROH3.DBF"), tables::OpenMode::Shared);
    edit.open(s.ztemp("CUADROH2.DBF"), tables::OpenMode::Shared);
    edit.setIndex("PROF_DIA_SES");
    ASSERT_TRUE(edit.findKey("JLM 303"));
    edit.edit();
    edit.setText("DOC", "22222222J");
    edit.setText("TIPDOC", "1");
    Catalogos c;
    hs = revisa(h2, h3, c, &edit);
    for (const auto& h : hs) EXPECT_NE(h.profesor, "JLM") << h.linea();
    edit.cancel();
    hs = revisa(h2, h3, c, &edit);
    EXPECT_EQ(resume(hs).tipo2, 2);
}

// revisar also reads the centre row, the bell schedule and SOLUC: what an export would not place
// is listed, and a table that does not open is named, its part of the check left out.
TEST_F(RevisionTablas, CentreLessonsAndBellScheduleOfTheFolder) {
    s.table(tables::catalogue::xelCENTRO(), {{"15432", "2024", "1"}});
    s.soluc({{"ABC", "1", "1", "1", "1A", "MAT", "", "R1"},
             {"ABC", "9", "1", "1", "", "MAT", "201", ""},
             {"JLM", "3", "4", "1", "1A", "LEN", "", ""}});
    std::vector<std::string> missing;
    auto r = revisaCarpeta(&missing);
    EXPECT_TRUE(missing.empty());
    ASSERT_GE(r.size(), 3u);
    EXPECT_EQ(r.hallazgo(0).linea(),
              "Datos del centro, Cód.Centro: \"15432\" no es válido: debe tener 6 cifras");
    EXPECT_EQ(r.hallazgo(1).linea(),
              "Lección de SOLUC sin colocar (fila 2): profesor ABC, día 9, hora 1: el día \"9\" no "
              "es un día de la semana (1 a 7); no pasa a fCUADROS.txt");
    EXPECT_EQ(r.hallazgo(2).linea(),
              "Lección de SOLUC sin colocar (fila 3): profesor JLM, día 3, hora 4, grupo 1A: la "
              "hora 4 no está en la plantilla horaria; no pasa a fCUADROS.txt");
    EXPECT_EQ(r.resumen().lecciones, 2);

    // Hour 3 of the rows made earlier leaves the bell schedule: JLM's rows are outside it.
    tables::Dataset p;
    p.open(s.ztemp("PLANTILLA.DBF"), tables::OpenMode::Shared);
    for (p.first(); !p.eof(); p.next())
        if (p.text("HORA") == "3") {
            p.remove();
            break;
        }
    p.close();
    std::vector<std::string> sesiones;
    for (const Hallazgo& h : revisaCarpeta().hallazgos())
        if (h.falta == Falta::FueraDePlantilla) sesiones.push_back(h.campo + " " + h.clave);
    EXPECT_EQ(sesiones, (std::vector<std::string>{"NUMSESION JLM 303", "NUMSESGRUP JLM 303"}));

    for (const char* t : {"SOLUC.DBF", "PLANTILLA.DBF", "PLANTILLA.MDX", "xelCENTRO.DBF"})
        std::filesystem::remove(s.ztemp(t));
    missing.clear();
    r = revisaCarpeta(&missing);
    EXPECT_EQ(missing, (std::vector<std::string>{"PLANTILLA", "xelCENTRO"}));
    EXPECT_EQ(r.resumen().lecciones, 0);  // no bell schedule: the lessons are not judged
    EXPECT_EQ(r.resumen().centro, 3);     // no centre row: blank centre data
}

// The lines written straight from the kept rows (what the batch prints) are those of the
// findings made whole, for every kind of finding.
TEST(Revision, LinesFromTheKeptRowsMatchTheFindings) {
    School s;
    namespace cat = tables::catalogue;
    tables::createTable(s.ztemp(""), cat::CUADROH2());
    tables::createTable(s.ztemp(""), cat::CUADROH3());
    tables::Dataset h2, h3;
    h2.open(s.ztemp("CUADROH2.DBF"), tables::OpenMode::Shared);
    h3.open(s.ztemp("CUADROH3.DBF"), tables::OpenMode::Shared);
    // TIPDOC, DOC, DIASEM, NUMSESION, TIPTAR, GRUPNIV, CODASIG, IDIOMA, TIP_ACTIV
    const std::vector<std::array<const char*, 9>> rows2 = {
        {"1", "11111111H", "3", "02", "101", "ESO", "", "02", ""},        // possible, "Lectiva"
        {"1", "11111111H", "3", "03", "BIB", "ESO", "", "02", ""},        // possible, NO "Lectiva"
        {"1", "11111111H", "3", "01", "RAR", "ESO", "", "02", ""},        // neither, not known
        {"9", "", "3", "02", "", "B\xC1X", "77", "05", "999"},            // blanks and catalogues
        {"1", "1111\r1111H", "9", "07", "101", "ESO", "1004", "02", ""},  // control, plantilla
        {"2", "22222222J", "3", "7", "101", "ESO", "1004", "02", "\x01"},
    };
    int n = 0;
    for (const auto& v : rows2) {
        const std::string prof = n % 2 ? "\xC1\xC1P" : "ABC";
        std::string key = prof;
        key.resize(4, ' ');
        key += std::string(v[2]) + v[3];
        h2.appendRecord({"2", v[0], prof, v[1], v[3], v[2], v[4], "08:00", "09:00", v[5], "MAT",
                         v[6], " ", v[7], "", v[8], key, std::string(v[2]) + v[3], "N"});
        h3.appendRecord({"3", n % 2 ? "1A" : "2\xD1", n % 3 ? "01ESA" : "", v[0], prof, v[1], v[3],
                         v[2], "25", key, "N"});
        ++n;
    }
    Revision r(catalogos());
    r.revisaCentro("-1", "", "12");
    r.anotaLecciones({{4, "ABC", "9", "1", "1A", "MAT", "el día \"9\" no es un día de la semana"}});
    enOrdenDeClave(h2);
    enOrdenDeClave(h3);
    r.revisaTodo(h2, h3);
    std::set<Falta> kinds;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const Hallazgo h = r.hallazgo(i);
        kinds.insert(h.falta);
        std::string kept = "Aviso: ";
        r.anadeLinea(i, kept);
        EXPECT_EQ(kept, "Aviso: " + h.linea()) << i;
    }
    EXPECT_EQ(kinds.size(), 7u);  // every kind of finding was written both ways
}

TEST_F(RevisionTablas, TableWithoutACheckedFieldIsAnEngineError) {
    std::filesystem::remove(s.ztemp("CUADROH3.DBF"));
    std::filesystem::remove(s.ztemp("CUADROH3.MDX"));
    tables::createTable(s.ztemp("CUADROH3.DBF"), {tables::charField("TIPREG", 1)}, {});
    EXPECT_THROW(revisaCarpeta(), tables::EngineError);
}

// --- Rows checked again after changes ------------------------------------------------------------

namespace {

// Every finding as "type:row:line", in order.
std::string describe(const Revision& r) {
    std::string out;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const Hallazgo h = r.hallazgo(i);
        std::string kept;
        r.anadeLinea(i, kept);
        EXPECT_EQ(kept, h.linea());
        out += std::to_string(h.tipo) + ":" + std::to_string(h.registro) + ":" + h.linea() + "\n";
    }
    return out;
}

// CUADROH2 and CUADROH3 with random codes from small pools (blank, in the catalogue, not in it),
// several rows sharing a slot key, in a shuffled physical order.
class RevisionCambios : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace cat = tables::catalogue;
        tables::createTable(s.ztemp(""), cat::CUADROH2());
        tables::createTable(s.ztemp(""), cat::CUADROH3());
        h2.open(s.ztemp("CUADROH2.DBF"), tables::OpenMode::Shared);
        h3.open(s.ztemp("CUADROH3.DBF"), tables::OpenMode::Shared);
        for (int i = 0; i < 400; ++i) {
            const std::string prof = pick({"ABC", "JLM", "MIR", "ZU"});
            const std::string dia = std::to_string(1 + next() % 5);
            const std::string ses = "0" + std::to_string(1 + next() % 6);
            std::string key = prof;
            key.resize(4, ' ');
            key += dia + ses;
            h2.appendRecord({"2", pick(kTipdoc), prof, pick(kDoc), ses, dia, pick(kTiptar), "08:00",
                             "09:00", pick(kGrupniv), "MAT", pick(kAsig), " ", pick(kIdioma), "",
                             pick(kActiv), key, dia + ses, "N"});
            h3.appendRecord(
                {"3", pick({"1A", "1B"}), pick(kGrupo), "1", prof, "", ses, dia, "25", key, "N"});
        }
    }

    unsigned next() { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFF; }
    std::string pick(const std::vector<std::string>& from) { return from[next() % from.size()]; }

    // Changes `n` random rows of `ds` (through its own cursor), some left pending in `editor`.
    std::vector<tables::Bookmark> change(tables::Dataset& ds, tables::Dataset& editor, int tipo,
                                         int n) {
        std::vector<tables::Bookmark> touched;
        // A row left pending last time is stored or dropped now.
        if (editor.state() == tables::DatasetState::Edit) {
            touched.push_back(editor.bookmark());
            if (next() % 2)
                editor.post();
            else
                editor.cancel();
        }
        for (int k = 0; k < n && ds.recordCount() > 1; ++k) {
            ds.moveTo(static_cast<int>(next() % static_cast<unsigned>(ds.recordCount())));
            touched.push_back(ds.bookmark());
            if (next() % 25 == 0) {
                ds.remove();
                continue;
            }
            ds.edit();
            if (tipo == 3) {
                ds.setText("CODGRUPO", pick(kGrupo));
            } else {
                const char* field = kCodigos[next() % 7];
                const auto& pool = std::string(field) == "DOC" ? kDoc : kTodos;
                ds.setText(field, pick(pool));
            }
            ds.post();
        }
        if (editor.recordCount() > 0) {
            editor.moveTo(static_cast<int>(next() % static_cast<unsigned>(editor.recordCount())));
            editor.edit();
            editor.setText(tipo == 3 ? "CODGRUPO" : "GRUPNIV", pick(tipo == 3 ? kGrupo : kGrupniv));
            touched.push_back(editor.bookmark());
        }
        return touched;
    }

    // The kept findings are those of a whole check made now, row for row.
    void expectAsAWholeCheck(const Revision& kept, const char* when) {
        Revision whole(catalogos());
        whole.revisaTodo(h2, h3, &editor2, &editor3);
        ASSERT_EQ(describe(kept), describe(whole)) << when;
        const Resumen a = kept.resumen(), b = whole.resumen();
        EXPECT_EQ(std::tie(a.tipo2, a.tipo3, a.posibles), std::tie(b.tipo2, b.tipo3, b.posibles))
            << when;
        for (tables::Bookmark m = 0; m < 420; ++m)
            for (int tipo : {2, 3})
                ASSERT_EQ(kept.incompleta(tipo, m), whole.incompleta(tipo, m))
                    << when << " row " << m << " type " << tipo;
        for (const std::string prof : {"ABC ", "JLM ", "MIR ", "ZU  "})
            for (char dia = '1'; dia <= '5'; ++dia)
                for (char ses = '1'; ses <= '6'; ++ses) {
                    const std::string key = prof + dia + "0" + ses;
                    ASSERT_EQ(kept.grupoIncompleto(key), whole.grupoIncompleto(key))
                        << when << " " << key;
                }
    }

    static inline const std::vector<std::string> kTipdoc = {"", "1", "2", "9"},
                                                 kDoc = {"", "11111111H"},
                                                 kTiptar = {"", "101", "BIB", "RAR", "ZZZ"},
                                                 kGrupniv = {"", "ESO", "BAC"},
                                                 kAsig = {"", "1004", "9999"},
                                                 kIdioma = {"", "02", "07"},
                                                 kActiv = {"", "300", "999"},
                                                 kGrupo = {"", "01ESA"},
                                                 kTodos = {"",    "1",    "101", "BIB", "ESO",
                                                           "BAC", "1004", "02",  "300", "999"};
    static constexpr const char* kCodigos[] = {"TIPDOC",  "DOC",    "TIPTAR",   "GRUPNIV",
                                               "CODASIG", "IDIOMA", "TIP_ACTIV"};

    School s;
    tables::Dataset h2, h3, editor2, editor3;
    unsigned seed = 20261209;
};

}  // namespace

TEST_F(RevisionCambios, OrderDoesNotDependOnTheCursorsIndex) {
    Revision fisico(catalogos());
    fisico.revisaTodo(h2, h3);
    tables::Dataset i2, i3;
    i2.open(s.ztemp("CUADROH2.DBF"), tables::OpenMode::ReadOnly);
    i3.open(s.ztemp("CUADROH3.DBF"), tables::OpenMode::ReadOnly);
    enOrdenDeClave(i2);
    enOrdenDeClave(i3);
    EXPECT_EQ(i2.indexName(), "PROF_DIA_SES");
    Revision clave(catalogos());
    clave.revisaTodo(i2, i3);
    ASSERT_GT(fisico.size(), 300u);
    EXPECT_EQ(describe(fisico), describe(clave));
    // Slot keys ascending; within a key type 2 rows first, then by row.
    const auto hs = fisico.hallazgos();
    for (std::size_t i = 1; i < hs.size(); ++i)
        ASSERT_LE(std::tie(hs[i - 1].clave, hs[i - 1].tipo, hs[i - 1].registro),
                  std::tie(hs[i].clave, hs[i].tipo, hs[i].registro))
            << i;
}

TEST_F(RevisionCambios, RowsCheckedAgainMatchAWholeCheck) {
    editor2.open(s.ztemp("CUADROH2.DBF"), tables::OpenMode::Shared);
    editor3.open(s.ztemp("CUADROH3.DBF"), tables::OpenMode::Shared);
    Revision kept(catalogos());
    kept.revisaTodo(h2, h3);
    expectAsAWholeCheck(kept, "at the start");
    // Small and large batches, with deletions and pending edits; 60 rounds also make the kept
    // texts of rows checked again pile up and be compacted.
    for (int round = 0; round < 60; ++round) {
        const int n = round % 10 == 9 ? 150 : 1 + static_cast<int>(next() % 8);
        const auto t2 = change(h2, editor2, 2, n);
        const auto t3 = change(h3, editor3, 3, n / 2);
        kept.revisaFilas(2, h2, t2, &editor2);
        kept.revisaFilas(3, h3, t3, &editor3);
        expectAsAWholeCheck(kept, ("round " + std::to_string(round)).c_str());
    }
}

TEST_F(RevisionCambios, ATableWithoutACheckedFieldLeavesTheFindings) {
    Revision kept(catalogos());
    kept.revisaTodo(h2, h3);
    const std::string before = describe(kept);
    ASSERT_FALSE(before.empty());
    // CUADROH3 given as the type 2 table lacks DOC, TIPTAR...
    EXPECT_THROW(kept.revisaFilas(2, h3, {0, 1, 2}), tables::EngineError);
    EXPECT_THROW(kept.revisaTodo(h3, h3), tables::EngineError);
    EXPECT_EQ(describe(kept), before);
}
