// Every exchange-table layout, field by field, and the centre table operation.
#include <gtest/gtest.h>

#include <sstream>

#include "TestDir.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/TableFiles.h"

namespace tz::tables {
namespace {

struct LayoutCase {
    const TableLayout& (*layout)();
    const char* file;
    const char* fields;  // "NAME T n, ..." with T = C, L or I (32-bit integer)
    const char* indexes;
};

std::ostream& operator<<(std::ostream& o, const LayoutCase& c) { return o << c.file; }

class Layouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Layouts, MatchField_by_field) {
    const auto& c = GetParam();
    const TableLayout& l = c.layout();
    EXPECT_EQ(l.fileName, c.file);
    std::vector<FieldDef> want;
    std::stringstream ss(c.fields);
    for (std::string item; std::getline(ss, item, ',');) {
        std::stringstream is(item);
        std::string name, type;
        int width = 0;
        is >> name >> type >> width;
        if (type == "C") want.push_back(charField(name, width));
        if (type == "L") want.push_back(logicalField(name));
        if (type == "I") want.push_back(integerField(name));
    }
    ASSERT_EQ(l.fields.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(l.fields[i].name, want[i].name) << i;
        EXPECT_EQ(l.fields[i].type, want[i].type) << want[i].name;
        EXPECT_EQ(l.fields[i].width, want[i].width) << want[i].name;
        EXPECT_EQ(l.fields[i].decimals, 0) << want[i].name;
    }
    std::string idx;
    for (const auto& i : l.indexes) idx += (idx.empty() ? "" : ",") + i;
    EXPECT_EQ(idx, c.indexes);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, Layouts,
    ::testing::Values(
        LayoutCase{catalogue::xelTIPTAR, "xelTIPTAR.DBF",
                   "COD C 3, REFUERZO C 1, OTRACTIV C 1, DESCCAST C 250, DESCEUSK C 250", ""},
        LayoutCase{catalogue::xelASIGNAT, "xelASIGNAT.DBF",
                   "COD C 4, DESCCAST C 100, DESCCASTR C 20, CODCAST C 4, DESCEUSK C 100, "
                   "DESCEUSKR C 20, CODEUSK C 4",
                   ""},
        LayoutCase{catalogue::xelOTRACT, "xelOTRACT.DBF",
                   "COD C 4, DESCCAST C 100, DESCEUSK C 100, DESCCASTR C 20, DESCEUSKR C 20", ""},
        LayoutCase{catalogue::xelTIPDOC, "xelTIPDOC.DBF", "COD C 1, DESCCAST C 100, DESCEUSK C 100",
                   ""},
        LayoutCase{catalogue::xelNIVIMP, "xelNIVIMP.DBF",
                   "COD C 3, GRUPNIV C 3, DESCCAST C 100, DESCEUSK C 100, DESCCASTR C 20, "
                   "DESCEUSKR C 20, ABREVCAST C 5, ABREVEUSK C 5",
                   ""},
        LayoutCase{catalogue::xelIDIOMA, "xelIDIOMA.DBF",
                   "IDIOMA C 2, DESCCAST C 100, DESCEUSK C 100, DESCCASTR C 4, DESCEUSKR C 4", ""},
        LayoutCase{catalogue::xelGRUPNIV, "xelGRUPNIV.DBF",
                   "NIVEL C 3, DESCCAST C 50, DESCEUSK C 50, GRUPOPADRE C 3, IDTIPTAREA C 1, "
                   "ORDEN C 50",
                   ""},
        LayoutCase{catalogue::xelCENTRO, "xelCENTRO.DBF", "CODCENTRO C 6, ANOACAD C 4, VERSION C 5",
                   ""},
        LayoutCase{catalogue::ASIGNOMT, "ASIGNOMT.DBF",
                   "COD C 4, CODLARGO C 8, NOMBRE C 40, CODIGOXEL C 4, ESTAREA L", ""},
        LayoutCase{catalogue::PROFT, "PROFT.DBF",
                   "ABREV C 4, NOMBRE C 40, DEPART C 40, DNI C 15, TIPODNI C 1", "ABREV"},
        LayoutCase{catalogue::GRUPOST, "GRUPOST.DBF",
                   "ABREV C 4, TURNO C 1, NIVEL C 5, CURSO C 3, GRUPO C 2, CODGRUXEL C 5, "
                   "ALIASXEL C 30, NIVELXEL C 3, ESPECXEL C 6, TURNOXEL C 2, CURSOXEL C 2, "
                   "NUMALUMN C 2",
                   ""},
        LayoutCase{catalogue::PLANTILLA, "PLANTILLA.DBF", "HORA I, HORAINI C 5, HORAFIN C 5",
                   "HORA"},
        LayoutCase{catalogue::CUADROH2, "CUADROH2.DBF",
                   "TIPREG C 1, TIPDOC C 1, ABREVPROF C 4, DOC C 15, NUMSESION C 2, DIASEM C 1, "
                   "TIPTAR C 3, HORAINI C 5, HORAFIN C 5, GRUPNIV C 3, ABREVASIG C 4, "
                   "CODASIG C 4, TIPASIG C 1, IDIOMA C 2, AULA_OBS C 30, TIP_ACTIV C 3, "
                   "PROF_DIA_SES C 7, DIA_SES C 3, REG_MOD C 1",
                   "ABREVPROF,DOC,PROF_DIA_SES,DIA_SES"},
        LayoutCase{catalogue::CUADROH3, "CUADROH3.DBF",
                   "TIPREG C 1, ABREVGRUP C 4, CODGRUPO C 5, TIPDOC C 1, ABREVPROF C 4, "
                   "DOC C 15, NUMSESGRUP C 2, DIASEM C 1, NUMALUM C 2, PROF_DIA_SES C 7, "
                   "REG_MOD C 1",
                   "ABREVPROF,DOC,PROF_DIA_SES"}));

TEST(Catalogue, AllListsEveryLayoutOnce) {
    const auto& all = catalogue::all();
    ASSERT_EQ(all.size(), 14u);
    EXPECT_EQ(all.front(), &catalogue::xelTIPTAR());
    EXPECT_EQ(all.back(), &catalogue::CUADROH3());
    EXPECT_EQ(catalogue::solucFields(),
              (std::vector<std::string>{"PROF", "DIA", "HORA", "SESIONES", "CODGRUPO", "ASIG",
                                        "TAREA", "AULA"}));
}

TEST(Catalogue, EveryLayoutCreatesAReopenableTableWithItsIndexes) {
    testing::TestDir dir;
    for (const auto* l : catalogue::all()) {
        createTable(ztemp(), *l);
        Dataset d;
        d.open(ztempFile(l->fileName));
        EXPECT_EQ(d.fields().size(), l->fields.size()) << l->fileName;
        EXPECT_EQ(d.indexNames(), l->indexes) << l->fileName;
        EXPECT_EQ(d.path().filename(), l->fileName);
    }
}

TEST(Catalogue, CreaTablaCentroLeavesAnEmptyClosedTable) {
    testing::TestDir dir;
    createTable(ztemp(), catalogue::xelCENTRO());
    {
        Dataset d;
        d.open(mapPath("\\ZTEMP\\xelCENTRO.DBF"));
        d.appendRecord({"012345", "2024", "1"});
    }
    testing::writeBytes(dir.ztemp() / "XELCENTRO.MDX", "old");
    catalogue::CreaTablaCentro();
    EXPECT_FALSE(std::filesystem::exists(dir.ztemp() / "XELCENTRO.MDX"));
    Dataset d;
    d.open(mapPath("C:\\ZTEMP\\XELCENTRO"), OpenMode::Exclusive);  // closed: nobody holds it
    EXPECT_TRUE(d.isEmpty());
    EXPECT_EQ(d.fields().size(), 3u);
    EXPECT_EQ(d.path(), dir.ztemp() / "xelCENTRO.DBF");
}

}  // namespace
}  // namespace tz::tables
