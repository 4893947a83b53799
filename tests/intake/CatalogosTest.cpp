// RecogeCatalogos: the seven layouts, read back through the engine, and missing files.
#include <gtest/gtest.h>

#include "IntakeFixture.h"
#include "intake/Intake.h"
#include "tables/Catalogue.h"

namespace tz::intake::testing {
namespace {

const std::vector<std::string> kFiles = {"fTIPTAR.txt", "fASIGNAT.txt", "fOTRACT.txt",
                                         "fTIPDOC.txt", "fNIVIMP.txt",  "fIDIOMA.txt",
                                         "fGRUPNIV.txt"};
const std::vector<std::string> kTables = {"xelTIPTAR.DBF", "xelASIGNAT.DBF", "xelOTRACT.DBF",
                                          "xelTIPDOC.DBF", "xelNIVIMP.DBF",  "xelIDIOMA.DBF",
                                          "xelGRUPNIV.DBF"};

struct LayoutCase {
    const char* name;
    int catalogue;  // index into kFiles
    std::string content;
    Rows expected;
};

std::string crlf(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\r\n";
    return s;
}

const std::string k260(260, 'd');

const std::vector<LayoutCase> kLayouts = {
    {"tiptar_selector_and_columns",
     0,
     crlf({lineOf({{1, "1"},
                   {2, "AUL"},
                   {5, "S"},
                   {6, "N"},
                   {7, "Guardia de aula"},
                   {257, "Ikasgela zaintza"}}),
           lineOf({{1, "0"}, {2, "XXX"}}), lineOf({{1, "2"}, {2, "YYY"}}),
           lineOf({{1, " "}, {2, "1ZZ"}}), "", lineOf({{1, "1"}, {2, " B"}, {7, "  Biblioteca\t"}}),
           lineOf({{1, "1"}, {2, "REF"}, {7, k260}})}),
     {{"AUL", "S", "N", "Guardia de aula", "Ikasgela zaintza"},
      {"B", "", "", "Biblioteca", ""},
      {"REF", "", "", std::string(250, 'd'), std::string(10, 'd')}}},
    {"asignat_short_empty_and_accents",
     1,
     lineOf({{1, "0012"},
             {5, "Matem\xe1ticas"},
             {105, "Matem."},
             {125, "MATE"},
             {129, "Matematika"},
             {229, "Mate."},
             {249, "MATE"}}) +
         "\r\n"
         "AAAAMatem\xe1\r\n"
         "\r\n"
         "0099Ingl\xe9s\n",
     {{"0012", "Matem\xe1ticas", "Matem.", "MATE", "Matematika", "Mate.", "MATE"},
      {"AAAA", "Matem\xe1", "", "", "", "", ""},
      {"", "", "", "", "", "", ""},
      {"0099", "Ingl\xe9s", "", "", "", "", ""}}},
    {"otract_code_three_of_four",
     2,
     crlf({lineOf({{1, "TUT"},
                   {4,
                    "Tutor\xed"
                    "a"},
                   {104, "Tutoretza"},
                   {204, "Tut."},
                   {224, "Tut."}}),
           "ABCD"}),
     {{"TUT",
       "Tutor\xed"
       "a",
       "Tutoretza", "Tut.", "Tut."},
      {"ABC", "D", "", "", ""}}},
    {"tipdoc_ctrl_z_mid_file",
     3,
     lineOf({{1, "1"}, {2, "DNI"}, {102, "NAN"}}) + "\r\n" + lineOf({{1, "2"}, {2, "Pasaporte"}}) +
         "\x1a\r\n3Otro\r\n",
     {{"1", "DNI", "NAN"}, {"2", "Pasaporte", ""}}},
    {"nivimp_abbreviations_start_empty",
     4,
     crlf({lineOf({{1, "ESO"},
                   {4, "SEC"},
                   {7, "Educaci\xf3n Secundaria"},
                   {107, "Bigarren Hezkuntza"},
                   {207, "E.S.O."},
                   {227, "DBH"}})}),
     {{"ESO", "SEC", "Educaci\xf3n Secundaria", "Bigarren Hezkuntza", "E.S.O.", "DBH", "", ""}}},
    {"idioma_lf_only",
     5,
     lineOf({{1, "EU"}, {3, "Euskera"}, {103, "Euskara"}, {203, "EUSK"}, {207, "EUSK"}}) + "\n" +
         lineOf({{1, "CA"}, {3, "Castellano"}, {103, "Gaztelania"}, {203, "CAST"}, {207, "GAZT"}}),
     {{"EU", "Euskera", "Euskara", "EUSK", "EUSK"},
      {"CA", "Castellano", "Gaztelania", "CAST", "GAZT"}}},
    {"grupniv_all_columns",
     6,
     crlf({lineOf({{1, "SEC"},
                   {4, "Secundaria"},
                   {54, "Bigarren Hezkuntza"},
                   {104, "GEN"},
                   {107, "1"},
                   {108, "0002"}}),
           "PRI"}),
     {{"SEC", "Secundaria", "Bigarren Hezkuntza", "GEN", "1", "0002"},
      {"PRI", "", "", "", "", ""}}},
};

class Layouts : public IntakeDir, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(Layouts, RowsReadBackThroughTheEngine) {
    const LayoutCase& c = GetParam();
    for (const auto& f : kFiles) write(f, "");
    write(kFiles[static_cast<std::size_t>(c.catalogue)], c.content);
    RecogeCatalogos(state, port);
    EXPECT_TRUE(port.shown.empty());
    EXPECT_EQ(state.EstadoTransformado, 0);
    for (std::size_t i = 0; i < kTables.size(); ++i) {
        if (static_cast<int>(i) == c.catalogue)
            EXPECT_EQ(rows(kTables[i]), c.expected);
        else
            EXPECT_TRUE(rows(kTables[i]).empty()) << kTables[i];  // empty file, empty table
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogos, Layouts, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

class MissingCatalogue : public IntakeDir, public ::testing::WithParamInterface<int> {};

TEST_P(MissingCatalogue, StopsAtTheMissingFileAndKeepsTheRest) {
    const auto missing = static_cast<std::size_t>(GetParam());
    // An earlier run left every table with one row "OLD".
    for (std::size_t i = 0; i < kTables.size(); ++i) {
        makeTable(*tables::catalogue::all()[i], {{"OLD"}});
        if (i != missing) write(kFiles[i], "1NEW\r\n");
    }
    makeTable({"ASIGT.DBF", {tables::charField("X", 1)}, {}}, {});
    makeTable({"DIASHORAT.DBF", {tables::charField("X", 1)}, {}}, {});
    RecogeCatalogos(state, port);

    std::string upper = kFiles[missing];
    upper.replace(upper.size() - 3, 3, "TXT");
    EXPECT_EQ(port.messages(),
              std::vector<std::string>{"No existe archivo de asignaturas (" + upper + ")"});
    EXPECT_EQ(state.EstadoTransformado, -1);
    EXPECT_FALSE(tables::tableExists(table("ASIGT.DBF")));
    EXPECT_FALSE(tables::tableExists(table("DIASHORAT.DBF")));
    for (std::size_t i = 0; i < kTables.size(); ++i) {
        const tables::FieldDef& f0 = tables::catalogue::all()[i]->fields[0];
        const std::vector<std::string> old{std::string("OLD").substr(0, f0.width)};
        if (i < missing)
            EXPECT_NE(column(kTables[i], f0.name), old) << kTables[i] << " rebuilt";
        else
            EXPECT_EQ(column(kTables[i], f0.name), old) << kTables[i] << " untouched";
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogos, MissingCatalogue, ::testing::Range(0, 7));

TEST_F(IntakeDir, OnlyTheTwoTimetablerTablesAreDeletedNotTheirIndexFiles) {
    makeTable({"ASIGT.DBF", {tables::charField("X", 1)}, {}}, {});
    std::ofstream(root / "ZTEMP" / "ASIGT.MDX") << "x";
    RecogeCatalogos(state, port);  // fTIPTAR.txt missing
    EXPECT_FALSE(fs::exists(root / "ZTEMP" / "ASIGT.DBF"));
    EXPECT_TRUE(fs::exists(root / "ZTEMP" / "ASIGT.MDX"));
    EXPECT_EQ(port.messages(),
              std::vector<std::string>{"No existe archivo de asignaturas (fTIPTAR.TXT)"});
}

TEST_F(IntakeDir, TextFilesAreFoundWhateverTheirLetterCase) {
    for (const auto& f : kFiles) {
        std::string upper = f;
        for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        write(upper, "");
    }
    write("FTIPTAR.TXT", "1ABC\r\n");
    RecogeCatalogos(state, port);
    EXPECT_TRUE(port.shown.empty());
    EXPECT_EQ(column("xelTIPTAR.DBF", "COD"), std::vector<std::string>{"ABC"});
}

}  // namespace
}  // namespace tz::intake::testing
