// RecogeAsignaturas, RecogeProfesores, RecogeGrupos against the engine.
#include <gtest/gtest.h>

#include "IntakeFixture.h"
#include "intake/Intake.h"
#include "tables/Catalogue.h"

namespace tz::intake::testing {
namespace {

using Pairs = std::vector<std::pair<int, std::string>>;

std::string asignatura(const std::string& xel, const std::string& codCast,
                       const std::string& codEusk, const std::string& nombreCast = "",
                       const std::string& cortoCast = "", const std::string& nombreEusk = "",
                       const std::string& cortoEusk = "") {
    return lineOf({{1, xel},
                   {5, nombreCast},
                   {105, cortoCast},
                   {125, codCast},
                   {129, nombreEusk},
                   {229, cortoEusk},
                   {249, codEusk}});
}

class Asignaturas : public IntakeDir {
  protected:
    void SetUp() override {
        IntakeDir::SetUp();
        makeTable(tables::catalogue::xelTIPTAR(),
                  {{"GUA", "", "", "Guardia de patio y pasillos", "Jolasaldi zaintza"},
                   {"MATE", "", "",
                    "Tarea con el mismo c\xf3"
                    "digo",
                    "Lana"}});
    }
};

TEST_F(Asignaturas, LanguageChoosesTheColumns) {
    write("fASIGNAT.txt", asignatura("0001", "LENG", "EUSK", "Lengua castellana", "Lengua",
                                     "Euskara eta literatura", "Euskara") +
                              "\r\n");
    struct {
        const char* idioma;
        Rows subject;
    } cases[] = {
        {"EUSKERA", {{"EUSK", "Euskara", "Euskara eta literatura", "0001", "F"}}},
        {"CASTELLANO", {{"LENG", "Lengua", "Lengua castellana", "0001", "F"}}},
        {"euskera", {{"LENG", "Lengua", "Lengua castellana", "0001", "F"}}},
        {"", {{"LENG", "Lengua", "Lengua castellana", "0001", "F"}}},
    };
    for (const auto& c : cases) {
        state.idioma = c.idioma;
        RecogeAsignaturas(state, port);
        Rows got = rows("ASIGNOMT.DBF");
        ASSERT_EQ(got.size(), 3u) << c.idioma;
        EXPECT_EQ(Rows(got.begin(), got.begin() + 1), c.subject) << c.idioma;
        const bool eusk = std::string(c.idioma) == "EUSKERA";
        EXPECT_EQ(got[1],
                  (std::vector<std::string>{
                      "GUA", eusk ? "Jolasald" : "Guardia",
                      eusk ? "Jolasaldi zaintza" : "Guardia de patio y pasillos", "GUA", "T"}))
            << c.idioma;
    }
    EXPECT_TRUE(port.shown.empty());
}

TEST_F(Asignaturas, CodesMadeUniqueTasksNotListed) {
    state.idioma = "CASTELLANO";
    std::string longName(100, 'n'), shortName(20, 's');
    write("fASIGNAT.txt", asignatura("0001", "MATE", "") + "\r\n" + asignatura("0002", "MATE", "") +
                              "\r\n" + asignatura("0003", "mate", "") + "\r\n" +
                              asignatura("0004", "", "") + "\r\n" + "\r\n" +
                              asignatura("0006", "MAT1", "", longName, shortName) + "\r\n");
    RecogeAsignaturas(state, port);
    EXPECT_EQ(column("ASIGNOMT.DBF", "COD"),
              (std::vector<std::string>{"MATE", "MAT1", "mat2", "", "1", "MAT3", "GUA", "MAT"}));
    Rows got = rows("ASIGNOMT.DBF");
    EXPECT_EQ(got[4], (std::vector<std::string>{"1", "", "", "", "F"}));  // empty line
    EXPECT_EQ(got[5][1], std::string(8, 's'));
    EXPECT_EQ(got[5][2], std::string(40, 'n'));
    EXPECT_EQ(got[7][4], "T");
}

TEST_F(Asignaturas, EmptyFileGivesOnlyTheTasks) {
    write("fASIGNAT.txt", "");
    RecogeAsignaturas(state, port);
    EXPECT_EQ(column("ASIGNOMT.DBF", "COD"), (std::vector<std::string>{"GUA", "MAT"}));
}

TEST_F(Asignaturas, MissingFileLeavesTheTable) {
    makeTable(tables::catalogue::ASIGNOMT(), {{"OLD"}});
    RecogeAsignaturas(state, port);
    EXPECT_EQ(port.messages(),
              std::vector<std::string>{"No existe archivo de asignaturas (fASIGNAT.TXT)"});
    EXPECT_EQ(state.EstadoTransformado, -1);
    EXPECT_EQ(column("ASIGNOMT.DBF", "COD"), std::vector<std::string>{"OLD"});
}

TEST_F(Asignaturas, MissingTaskTableIsAnEngineErrorAfterTheSubjects) {
    tables::deleteTableFiles(table("xelTIPTAR.DBF"));
    write("fASIGNAT.txt", asignatura("0001", "MATE", "MATE") + "\r\n");
    EXPECT_THROW(RecogeAsignaturas(state, port), tables::EngineError);
    EXPECT_EQ(column("ASIGNOMT.DBF", "COD"), std::vector<std::string>{"MATE"});
    EXPECT_EQ(state.EstadoTransformado, 0);
}

std::string profesor(const std::string& tipo, const std::string& dni, const std::string& p1,
                     const std::string& p2, const std::string& p3, const std::string& dep = "") {
    return lineOf({{1, "2"}, {3, tipo}, {4, dni}, {19, p1}, {59, p2}, {99, p3}, {125, dep}});
}

TEST_F(IntakeDir, ProfesoresInitialsNamesAndDocuments) {
    std::string dep100(100, 'D');
    write("fPROFES.txt",
          "1 cabecera\r\n" +
              profesor("1", " 12345678Z ", "GARCIA", "LOPEZ", "ANA", "Matem\xe1ticas") + "\r\n" +
              profesor("1", "", "GOMEZ", "LARRA", "AITOR") + "\r\n" +
              profesor(" ", "X1", "gil", "lasa", "amaia", dep100) + "\r\n" +
              "1 otra cabecera en medio\r\n" + profesor("2", "", "GARCIA", "", "ANA") + "\r\n" +
              "\r\n" + "\r\n" +
              profesor("1", "", "ETXEBERRIA ZUBIZARRETA", "ARRIOLABENGOA", "JOSE") + "\r\n");
    RecogeProfesores(state, port);
    EXPECT_TRUE(port.shown.empty());
    Rows got = rows("PROFT.DBF");
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[0], (std::vector<std::string>{"GLA", "GARCIA LOPEZ ANA", "Matem\xe1ticas",
                                                "12345678Z", "1"}));
    EXPECT_EQ(got[1][0], "GLA1");
    EXPECT_EQ(got[2][0], "gla2");  // letter case ignored, kept as read
    EXPECT_EQ(got[2][2], std::string(40, 'D'));
    EXPECT_EQ(got[2][4], "");  // a space in column 3
    EXPECT_EQ(got[3][0], "GA");
    EXPECT_EQ(got[3][1], "GARCIA  ANA");
    EXPECT_EQ(got[3][4], "2");
    EXPECT_EQ(got[4], (std::vector<std::string>{"", "", "", "", ""}));  // empty line
    EXPECT_EQ(got[5][0], "1");
    EXPECT_EQ(got[6][0], "EAJ");
    EXPECT_EQ(got[6][1], "ETXEBERRIA ZUBIZARRETA ARRIOLABENGOA JOS");  // cut to 40

    tables::Dataset ds;
    ds.open(table("PROFT.DBF"));
    EXPECT_EQ(ds.indexNames(), std::vector<std::string>{"ABREV"});
}

TEST_F(IntakeDir, ProfesoresTenthRepeatAndEmptyFile) {
    std::string text;
    for (int i = 0; i < 11; ++i) text += profesor("1", "", "GARCIA", "LOPEZ", "ANA") + "\r\n";
    write("fPROFES.txt", text);
    RecogeProfesores(state, port);
    EXPECT_EQ(column("PROFT.DBF", "ABREV").back(), "GL10");

    write("fPROFES.txt", "");
    RecogeProfesores(state, port);
    EXPECT_TRUE(rows("PROFT.DBF").empty());
    tables::Dataset ds;
    ds.open(table("PROFT.DBF"));
    EXPECT_EQ(ds.indexNames(), std::vector<std::string>{"ABREV"});
}

TEST_F(IntakeDir, ProfesoresMissingFile) {
    RecogeProfesores(state, port);
    EXPECT_EQ(port.messages(),
              std::vector<std::string>{"No existe archivo de profesores (fPROFES.TXT)"});
    EXPECT_EQ(state.EstadoTransformado, -1);
    EXPECT_FALSE(tables::tableExists(table("PROFT.DBF")));
}

std::string grupo(const std::string& cod, const std::string& alias, const std::string& nivel,
                  const std::string& espec, const std::string& turno, const std::string& curso,
                  const std::string& alumnos = "") {
    return lineOf({{1, "2"},
                   {2, cod},
                   {7, alias},
                   {37, nivel},
                   {40, espec},
                   {46, turno},
                   {48, curso},
                   {211, alumnos}});
}

TEST_F(IntakeDir, GruposNumberingAbbreviationsAndFields) {
    std::string text =
        "1  0123452024"
        "1\r\n"
        "1  9999992099"
        "9\r\n";  // a second header line is ignored
    for (int i = 0; i < 3; ++i)
        text += grupo("1000" + std::to_string(i), "1ESO A", "ESO", "GEN", "M1", "1", "25") + "\r\n";
    text += grupo("20000", "2BACH", "", "", "T", "2", "7") + "\r\n";
    text += grupo("20001", "2BACH", "", "", "T", "2", "07") + "\n";
    text += "3 linea de otro tipo\r\n\r\n";
    write("fGRUPOS.txt", text);
    RecogeGrupos(state, port);
    EXPECT_TRUE(port.shown.empty());
    EXPECT_EQ(
        rows("GRUPOST.DBF"),
        (Rows{{"1ESO", "M", "ESO", "1", "1", "10000", "1ESO A", "ESO", "GEN", "M1", "1", "25"},
              {"1ES1", "M", "ESO", "1", "2", "10001", "1ESO A", "ESO", "GEN", "M1", "1", "25"},
              {"1ES2", "M", "ESO", "1", "3", "10002", "1ESO A", "ESO", "GEN", "M1", "1", "25"},
              {"2BAC", "T", "NIV", "2", "1", "20000", "2BACH", "", "", "T", "2", "7"},
              {"2BA1", "T", "NIV", "2", "2", "20001", "2BACH", "", "", "T", "2", "07"}}));
    EXPECT_EQ(rows("xelCENTRO.DBF"), (Rows{{"012345", "2024", "1"}}));
}

TEST_F(IntakeDir, GruposTenthGroupGetsZero) {
    std::string text;
    for (int i = 0; i < 11; ++i) text += grupo("", "1ESO A", "ESO", "", "M", "1") + "\r\n";
    text += grupo("", "1ESO B", "eso", "", "M", "1") + "\r\n";  // same key, letter case ignored
    write("fGRUPOS.txt", text);
    RecogeGrupos(state, port);
    EXPECT_EQ(
        column("GRUPOST.DBF", "GRUPO"),
        (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "1", "2"}));
    std::vector<std::string> abrev = column("GRUPOST.DBF", "ABREV");
    EXPECT_EQ(abrev[9], "1ES9");
    EXPECT_EQ(abrev[10], "1E10");
    EXPECT_EQ(abrev[11], "1E11");
}

struct HeaderCase {
    const char* name;
    std::string file;
    Rows centre;
    std::size_t groups;
};

class Cabecera : public IntakeDir, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(Cabecera, CentreRowUntrimmed) {
    write("fGRUPOS.txt", GetParam().file);
    RecogeGrupos(state, port);
    EXPECT_EQ(rows("xelCENTRO.DBF"), GetParam().centre);
    EXPECT_EQ(rows("GRUPOST.DBF").size(), GetParam().groups);
}

INSTANTIATE_TEST_SUITE_P(
    Grupos, Cabecera,
    ::testing::Values(
        HeaderCase{"leading_space_kept", "1   123452024A\r\n", {{" 12345", "2024", "A"}}, 0},
        HeaderCase{"stops_at_column_12", "1  ABCDEF202", {{"ABCDEF", "202", ""}}, 0},
        HeaderCase{"no_header", grupo("1", "A", "ESO", "", "M", "1") + "\r\n", {}, 1},
        HeaderCase{"empty_file", "", {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IntakeDir, GruposMissingFileLeavesBothTables) {
    makeTable(tables::catalogue::GRUPOST(), {{"OLD"}});
    makeTable(tables::catalogue::xelCENTRO(), {{"OLD"}});
    RecogeGrupos(state, port);
    EXPECT_EQ(port.messages(),
              std::vector<std::string>{"No existe archivo de grupos (fGRUPOS.TXT)"});
    EXPECT_EQ(state.EstadoTransformado, -1);
    EXPECT_EQ(column("GRUPOST.DBF", "ABREV"), std::vector<std::string>{"OLD"});
    EXPECT_EQ(column("xelCENTRO.DBF", "CODCENTRO"), std::vector<std::string>{"OLD"});
}

}  // namespace
}  // namespace tz::intake::testing
