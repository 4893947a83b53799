// The centre and study levels logic through the recording port.
#include "intake/CentroNiveles.h"

#include <gtest/gtest.h>

#include "IntakeFixture.h"
#include "tables/Catalogue.h"

namespace tz::intake::testing {
namespace {

// A level row: COD, GRUPNIV, descriptions, then the two abbreviations.
std::vector<std::string> nivel(const std::string& cod, const std::string& cast,
                               const std::string& eusk) {
    return {cod, "", "", "", cod + " cast", cod + " eusk", cast, eusk};
}

class Paneles : public IntakeDir {
  protected:
    void SetUp() override {
        IntakeDir::SetUp();
        makeTable(tables::catalogue::xelCENTRO(), {{"012345", "2024", "1"}});
        makeTable(tables::catalogue::xelNIVIMP(),
                  {nivel("ESO", "", ""), nivel("BAC", "", ""), nivel("EPA", "", "")});
        makeTable(tables::catalogue::GRUPOST(), {{"1ESO", "M", "ESO"},
                                                 {"2BAC", "M", "BAC"},
                                                 {"1EPA", "T", "EPA"},
                                                 {"eso", "M", "eso"},
                                                 {"X", "M", "OTR"}});
    }
    void setAbrev(const Rows& abrevs) {  // (cast, eusk) per level row, in stored order
        tables::Dataset ds;
        ds.open(table("xelNIVIMP.DBF"));
        ds.first();
        for (const auto& a : abrevs) {
            ds.edit();
            ds.setText("ABREVCAST", a[0]);
            ds.setText("ABREVEUSK", a[1]);
            ds.next();
        }
        ds.close();
    }
    CentroNiveles cn{state, port};
};

TEST_F(Paneles, XelRoadCentreThenLevelsThenFinished) {
    state.EstadoTransformado = 1;
    port.busy = true;
    cn.DatosCentro();
    EXPECT_EQ(port.shown,
              (std::vector<std::string>{"BUSY off", "PANEL volver off", "PANEL centre on"}));
    EXPECT_EQ(cn.centro().state(), tables::DatasetState::Edit);
    cn.centro().setText("VERSION", "2");  // the user corrects the version
    port.shown.clear();
    cn.BitBtn1Click();
    EXPECT_EQ(port.shown, (std::vector<std::string>{"PANEL centre off", "PANEL levels on"}));
    EXPECT_FALSE(cn.centro().isOpen());
    EXPECT_EQ(rows("xelCENTRO.DBF"), (Rows{{"012345", "2024", "2"}}));
    EXPECT_TRUE(cn.niveles().isOpen());

    cn.wwDBGridNIVIMPEnter();
    EXPECT_EQ(cn.niveles().state(), tables::DatasetState::Edit);
    cn.niveles().setText("ABREVEUSK", "DBH");
    port.shown.clear();
    cn.FinalRecogida();
    EXPECT_EQ(port.shown, (std::vector<std::string>{"PANEL volver on", "PANEL levels off",
                                                    "BUSY off", "MSG Proceso finalizado"}));
    EXPECT_FALSE(port.closed);  // standalone
    EXPECT_FALSE(cn.niveles().isOpen());
    EXPECT_EQ(column("GRUPOST.DBF", "NIVEL"),
              (std::vector<std::string>{"DBH", "BAC", "EPA", "eso", "OTR"}));
    EXPECT_EQ(state.EstadoTransformado, 1);
}

TEST_F(Paneles, HostedRunClosesTheWindowKeepingTheStatus) {
    state.NumParametros = 2;
    state.EstadoTransformado = -1;  // a step found its file missing
    cn.DatosCentro();
    cn.BitBtn1Click();
    cn.FinalRecogida();
    EXPECT_EQ(port.shown.back(), "CLOSE");
    EXPECT_EQ(port.messages().back(), "Proceso finalizado");
    EXPECT_EQ(state.EstadoTransformado, -1);
}

TEST_F(Paneles, ZandrixRoadNeedsTheThreeCentreFields) {
    tables::catalogue::CreaTablaCentro();  // new, empty
    int exports = 0;
    cn.importar2 = [&] { ++exports; };
    state.EstadoPaso = 1;
    cn.DatosCentro();
    EXPECT_EQ(cn.centro().state(), tables::DatasetState::Insert);
    port.shown.clear();
    cn.BitBtn1Click();  // nothing typed: the panel again, no message
    EXPECT_EQ(exports, 0);
    EXPECT_TRUE(port.messages().empty());
    EXPECT_EQ(port.shown.back(), "PANEL centre on");
    EXPECT_TRUE(rows("xelCENTRO.DBF").empty());

    cn.centro().setText("CODCENTRO", "012345");
    cn.centro().setText("ANOACAD", "2024");
    cn.BitBtn1Click();  // version still missing
    EXPECT_EQ(exports, 0);
    cn.centro().setText("VERSION", "1");
    cn.BitBtn1Click();
    EXPECT_EQ(exports, 1);
    EXPECT_EQ(state.EstadoPaso, 0);
    EXPECT_FALSE(cn.centro().isOpen());
    EXPECT_FALSE(port.centreVisible);
    EXPECT_EQ(rows("xelCENTRO.DBF"), (Rows{{"012345", "2024", "1"}}));
}

TEST_F(Paneles, XelRoadStoresAnUntouchedBlankCentreRow) {
    tables::catalogue::CreaTablaCentro();
    cn.DatosCentro();
    cn.BitBtn1Click();
    EXPECT_EQ(rows("xelCENTRO.DBF"), (Rows{{"", "", ""}}));
    EXPECT_TRUE(port.levelsVisible);
}

TEST_F(Paneles, MissingTables) {
    tables::deleteTableFiles(table("xelNIVIMP.DBF"));
    cn.DatosCentro();
    cn.BitBtn1Click();
    EXPECT_EQ(port.messages(),
              std::vector<std::string>{"No existe archivo del Centro (xelNIVIMP.DBF)"});
    EXPECT_EQ(state.EstadoTransformado, -1);
    EXPECT_TRUE(port.centreVisible);
    EXPECT_FALSE(port.levelsVisible);
    EXPECT_FALSE(cn.centro().isOpen());  // stored and closed

    tables::deleteTableFiles(table("xelCENTRO.DBF"));
    port.shown.clear();
    cn.DatosCentro();
    EXPECT_EQ(port.shown,
              std::vector<std::string>{"MSG No existe archivo del Centro (xelCENTRO.DBF)"});
}

TEST_F(Paneles, VolverButtons) {
    cn.DatosCentro();
    cn.BitBtn1Click();
    state.EstadoPaso = 4;  // left over from an earlier job
    port.shown.clear();
    cn.Button2Click();
    EXPECT_EQ(state.EstadoPaso, 0);
    EXPECT_EQ(port.shown, (std::vector<std::string>{"PANEL levels off", "BUSY off",
                                                    "PANEL volver off", "PANEL centre on"}));
    cn.BitBtn1Click();  // X → Z road again
    EXPECT_TRUE(port.levelsVisible);
    cn.FinalRecogida();
    EXPECT_TRUE(port.volverVisible);

    // After a finished step: another abbreviation; only groups still on a level code change.
    cn.Button3Click();
    EXPECT_TRUE(port.levelsVisible);
    cn.niveles().first();
    cn.niveles().edit();
    cn.niveles().setText("ABREVCAST", "SEC");
    cn.niveles().next();
    cn.niveles().edit();
    cn.niveles().setText("ABREVCAST", "BACH");
    state.idioma = "CASTELLANO";
    cn.FinalRecogida();
    EXPECT_EQ(column("GRUPOST.DBF", "NIVEL"),
              (std::vector<std::string>{"SEC", "BACH", "EPA", "eso", "OTR"}));
    cn.Button3Click();
    cn.niveles().first();
    cn.niveles().edit();
    cn.niveles().setText("ABREVCAST", "OTRA");
    cn.FinalRecogida();
    EXPECT_EQ(column("GRUPOST.DBF", "NIVEL")[0], "SEC");
}

struct CheckCase {
    const char* name;
    Rows abrevs;        // (cast, eusk) per level
    std::string shown;  // the one message, "" when accepted
    int position;       // where the levels view stays on a repetition
};

class Comprueba : public Paneles, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(Comprueba, RepeatedAbbreviations) {
    const CheckCase& c = GetParam();
    setAbrev(c.abrevs);
    state.idioma = "CASTELLANO";
    cn.DatosCentro();
    cn.BitBtn1Click();
    port.shown.clear();
    cn.FinalRecogida();
    if (c.shown.empty()) {
        EXPECT_EQ(state.EstadoPaso, 0);
        EXPECT_EQ(port.messages(), std::vector<std::string>{"Proceso finalizado"});
        return;
    }
    EXPECT_EQ(port.shown, std::vector<std::string>{"MSG " + c.shown});
    EXPECT_EQ(state.EstadoPaso, 1);
    EXPECT_TRUE(port.levelsVisible);
    EXPECT_EQ(cn.niveles().position(), c.position);
    EXPECT_EQ(column("GRUPOST.DBF", "NIVEL")[0], "ESO");  // nothing written
}

const std::string kCast = "Abreviatura en Castellano Repetida - Compruébelo.";
const std::string kEusk = "Abreviatura en Euskera Repetida - Compruébelo.";

INSTANTIATE_TEST_SUITE_P(
    Niveles, Comprueba,
    ::testing::Values(
        CheckCase{"case_ignored", {{"bach", ""}, {"BACH", ""}, {"", ""}}, kCast, 1},
        CheckCase{"whole_values", {{"BACH1", ""}, {"BACH2", ""}, {"BACH", ""}}, "", 0},
        CheckCase{"languages_separate", {{"BACH", "BACH"}, {"", "X"}, {"X", ""}}, "", 0},
        CheckCase{"cast_and_eusk_rows_apart", {{"BACH", ""}, {"", "BACH"}, {"", ""}}, "", 0},
        CheckCase{"leading_spaces_count", {{" AB", ""}, {"AB", ""}, {"", ""}}, "", 0},
        CheckCase{"trailing_spaces_do_not", {{"AB  ", ""}, {"AB", ""}, {"", ""}}, kCast, 1},
        CheckCase{"euskera_repeat", {{"A", "DBH"}, {"B", "C"}, {"C", "dbh"}}, kEusk, 2},
        CheckCase{"first_found_in_row_order", {{"A", "E"}, {"B", "E"}, {"A", ""}}, kEusk, 1},
        CheckCase{"castilian_before_basque", {{"A", "E"}, {"A", "E"}, {"", ""}}, kCast, 1},
        CheckCase{"accented_case_ignored",
                  {{"\xf1"
                    "a",
                    ""},
                   {"\xd1"
                    "A",
                    ""},
                   {"", ""}},
                  kCast,
                  1},
        CheckCase{"all_blank", {{"", ""}, {"", ""}, {"", ""}}, "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct ApplyCase {
    const char* name;
    const char* idioma;
    Rows abrevs;
    std::vector<std::string> niveles;  // GRUPOST.NIVEL afterwards
};

class Aplica : public Paneles, public ::testing::WithParamInterface<ApplyCase> {};

TEST_P(Aplica, ChosenLanguageExactCode) {
    setAbrev(GetParam().abrevs);
    state.idioma = GetParam().idioma;
    cn.DatosNivel();
    cn.FinalRecogida();
    EXPECT_EQ(column("GRUPOST.DBF", "NIVEL"), GetParam().niveles);
}

INSTANTIATE_TEST_SUITE_P(
    Niveles, Aplica,
    ::testing::Values(ApplyCase{"euskera",
                                "EUSKERA",
                                {{"ESO", "DBH"}, {"BACH", "BATX"}, {"EPA", "HHI"}},
                                {"DBH", "BATX", "HHI", "eso", "OTR"}},
                      ApplyCase{"castellano",
                                "CASTELLANO",
                                {{"ESO", "DBH"}, {"BACH", "BATX"}, {"", "HHI"}},
                                {"ESO", "BACH", "EPA", "eso", "OTR"}},
                      ApplyCase{"lower_case_box_is_castilian",
                                "euskera",
                                {{"SEC", "DBH"}, {"", ""}, {"", ""}},
                                {"SEC", "BAC", "EPA", "eso", "OTR"}},
                      ApplyCase{"blank_keeps_code_no_fallback",
                                "EUSKERA",
                                {{"SEC", ""}, {"", ""}, {"", ""}},
                                {"ESO", "BAC", "EPA", "eso", "OTR"}},
                      ApplyCase{"leading_space_kept",
                                "CASTELLANO",
                                {{" SE", ""}, {"", ""}, {"", ""}},
                                {" SE", "BAC", "EPA", "eso", "OTR"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Paneles, TwoLevelsWithOneCodeTakeTheFirst) {
    makeTable(tables::catalogue::xelNIVIMP(), {nivel("ESO", "PRIM", ""), nivel("ESO", "SEG", "")});
    state.idioma = "CASTELLANO";
    cn.DatosNivel();
    cn.FinalRecogida();
    EXPECT_EQ(column("GRUPOST.DBF", "NIVEL")[0], "PRIM");
}

TEST_F(Paneles, MissingGroupTableEndsTheActionWithAnEngineError) {
    setAbrev({{"SEC", "DBH"}});
    tables::deleteTableFiles(table("GRUPOST.DBF"));
    cn.DatosNivel();
    port.shown.clear();
    cn.ejecuta([&] { cn.FinalRecogida(); });
    ASSERT_EQ(port.only("ERR ").size(), 1u);
    EXPECT_TRUE(port.messages().empty());  // no "Proceso finalizado"
    EXPECT_TRUE(port.levelsVisible);
    EXPECT_EQ(column("xelNIVIMP.DBF", "ABREVEUSK")[0], "DBH");
}

}  // namespace
}  // namespace tz::intake::testing
