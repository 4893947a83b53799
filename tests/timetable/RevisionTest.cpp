#include <gtest/gtest.h>

#include "School.h"
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
        static const char* const kinds[] = {"blanco", "catalogo", "asig-o-activ"};
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
    return c;
}

// A complete teaching period; each case changes some fields.
Fila2 completa() {
    return {"1", "ABC", "11111111H", "02", "3", "101", "ESO", "1004", "02", "", "ABC 302"};
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
        {"everything blank",
         [](Fila2& f) { f = {"", "ABC", "", "02", "3", "", "", "", "", "", "ABC 302"}; },
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
        revisaFila(Fila3{"1A", c.code, "ABC", "01", "1", "ABC 101"}, 3, out);
        ASSERT_EQ(out.size(), c.finding ? 1u : 0u) << c.code;
        if (c.finding) {
            EXPECT_EQ(out[0].tipo, 3);
            EXPECT_EQ(out[0].linea(),
                      "Profesor ABC, día 1, sesión 01, grupo 1A, Cód.GRUPO: en blanco");
        }
    }
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

TEST_F(RevisionTablas, TableWithoutACheckedFieldIsAnEngineError) {
    std::filesystem::remove(s.ztemp("CUADROH3.DBF"));
    std::filesystem::remove(s.ztemp("CUADROH3.MDX"));
    tables::createTable(s.ztemp("CUADROH3.DBF"), {tables::charField("TIPREG", 1)}, {});
    EXPECT_THROW(revisaCarpeta(), tables::EngineError);
}
