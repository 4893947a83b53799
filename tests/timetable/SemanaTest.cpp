// The week grid of a teacher on crafted export tables: where periods sit, lessons of several
// hours, two lessons in one slot, periods outside the bell schedule or the week, the groups of
// a slot, what is missing, and pending edits followed.
#include <gtest/gtest.h>

#include "Exchange.h"
#include "tables/Catalogue.h"
#include "timetable/Revision.h"
#include "timetable/Semana.h"

using namespace tz;
using tz::tables::Dataset;
using tz::tables::OpenMode;
namespace semana = tz::timetable::semana;
namespace revision = tz::timetable::revision;
namespace cat = tz::tables::catalogue;

namespace {

// A type 2 row: teacher, day, session, start, end, task, subject code; the rest as an export
// leaves them with every code known.
struct P2 {
    std::string prof, dia, ses, ini, fin, tarea = "101", codasig = "0101";
    std::string clave = "";  // default: teacher fitted to 4, day, session
};
struct P3 {
    std::string clave, grupo, codigo;
};

std::string claveDe(const P2& p) {
    if (!p.clave.empty()) return p.clave;
    std::string k = p.prof;
    k.resize(4, ' ');
    return k + p.dia + p.ses;
}

class SemanaTest : public ::testing::Test {
  protected:
    tz::testing::Exchange ex;
    std::vector<semana::Franja> bell;
    revision::Catalogos catalogos;

    void SetUp() override {
        ex.table(cat::PLANTILLA(), {{"1", "08:00", "09:00"},
                                    {"2", "09:00", "10:00"},
                                    {"3", "10:00", "11:00"},
                                    {"4", "11:30", "12:30"},
                                    {"6", "13:30", "14:30"},
                                    {"7", "00:00", "01:00"}});  // after midnight, as hours 17-20
        Dataset p;
        p.open(ex.ztemp("PLANTILLA.DBF"), OpenMode::ReadOnly);
        bell = semana::leePlantilla(p);
        catalogos.tiptar.emplace();
        catalogos.tiptar->emplace("101", revision::Lectiva::Si);
        catalogos.asignat = revision::Codigos{"0101"};
    }

    void tablas(const std::vector<P2>& rows2, const std::vector<P3>& rows3 = {}) {
        std::vector<std::vector<std::string>> r2, r3;
        for (const P2& p : rows2) {
            const std::string k = claveDe(p);
            r2.push_back({"2", "1", p.prof, "11111111H", p.ses, p.dia, p.tarea, p.ini, p.fin, "ESO",
                          "MAT", p.codasig, " ", "02", "A1", "   ", k, k.substr(4), "N"});
        }
        for (const P3& g : rows3)
            r3.push_back({"3", g.grupo, g.codigo, "1", g.clave.substr(0, 4), "11111111H",
                          g.clave.substr(5), g.clave.substr(4, 1), "20", g.clave, "N"});
        ex.table(cat::CUADROH2(), r2);
        ex.table(cat::CUADROH3(), r3);
    }

    // The week of `prof` from cursors of its own, as the report reads it.
    semana::Semana semanaDe(const std::string& prof, const Dataset* pendiente3 = nullptr,
                            Dataset* h2Propio = nullptr) {
        Dataset h2, h3;
        Dataset& d2 = h2Propio ? *h2Propio : h2;
        if (!h2Propio) {
            h2.open(ex.ztemp("CUADROH2.DBF"), OpenMode::Shared);
            h2.setIndex("ABREVPROF");
        }
        h3.open(ex.ztemp("CUADROH3.DBF"), OpenMode::Shared);
        h3.setIndex("PROF_DIA_SES");
        int desde = -1, hasta = -1;
        for (int i = 0; i < d2.recordCount(); ++i)
            if (d2.textAt(i, d2.fieldIndex("ABREVPROF")) == prof) {
                if (desde < 0) desde = i;
                hasta = i + 1;
            }
        semana::Fuentes f;
        f.tipo2 = &d2;
        f.desde = desde < 0 ? 0 : desde;
        f.hasta = desde < 0 ? 0 : hasta;
        f.tipo3 = &h3;
        f.pendiente3 = pendiente3;
        f.plantilla = &bell;
        f.catalogos = &catalogos;
        return semana::construye(f);
    }

    static std::vector<std::string> titulosFilas(const semana::Semana& s) {
        std::vector<std::string> out;
        for (const auto& f : s.filas()) out.push_back(f.titulo());
        return out;
    }
    static std::vector<std::string> titulosColumnas(const semana::Semana& s) {
        std::vector<std::string> out;
        for (const auto& c : s.columnas()) out.push_back(c.titulo);
        return out;
    }
};

// Where each period lands: the row and column it starts in and the rows it covers.
struct Caso {
    const char* nombre;
    std::vector<P2> filas;
    std::vector<std::array<int, 3>> donde;  // per period, in view order: fila, columna, filas
    std::vector<std::string> columnas, sesiones;
};

TEST_F(SemanaTest, PeriodsSitWhereTheirDayAndSessionPutThem) {
    const std::vector<std::string> lunesAViernes = {"Lunes", "Martes", "Miércoles", "Jueves",
                                                    "Viernes"};
    const Caso casos[] = {
        {"one hour",
         {{"ABC", "3", "02", "09:00", "10:00"}},
         {{1, 2, 1}},
         lunesAViernes,
         {"Sesión 1", "Sesión 2"}},
        // Ends at 11:00: the bell row of 10:00 belongs to it too.
        {"two hours",
         {{"ABC", "1", "02", "09:00", "11:00"}},
         {{1, 0, 2}},
         lunesAViernes,
         {"Sesión 1", "Sesión 2", "Sesión 3"}},
        // A break between 3 and 4 (11:00-11:30) does not stop a lesson ending at 12:30.
        {"across the break",
         {{"ABC", "2", "03", "10:00", "12:30"}},
         {{2, 1, 2}},
         lunesAViernes,
         {"Sesión 1", "Sesión 2", "Sesión 3", "Sesión 4"}},
        // An end time beyond the schedule covers what there is up to the hour after midnight;
        // a missing one covers one row.
        {"end beyond the schedule",
         {{"ABC", "5", "04", "11:30", "23:00"}},
         {{3, 4, 2}},
         lunesAViernes,
         {"Sesión 1", "Sesión 2", "Sesión 3", "Sesión 4", "Sesión 6"}},
        {"no end time",
         {{"ABC", "5", "02", "09:00", ""}},
         {{1, 4, 1}},
         lunesAViernes,
         {"Sesión 1", "Sesión 2"}},
        // Saturday appears only when used; Sunday still not.
        {"saturday",
         {{"ABC", "6", "01", "08:00", "09:00"}},
         {{0, 5, 1}},
         {"Lunes", "Martes", "Miércoles", "Jueves", "Viernes", "Sábado"},
         {"Sesión 1"}},
        // A day out of the week and a session out of the bell schedule get their own column
        // and row, after the others.
        {"out of the week and the schedule",
         {{"ABC", "9", "02", "09:00", "10:00"}, {"ABC", "1", "05", "12:30", "13:30"}},
         {{1, 5, 1}, {2, 0, 1}},
         {"Lunes", "Martes", "Miércoles", "Jueves", "Viernes", "Día 9"},
         {"Sesión 1", "Sesión 2", "Sesión 05 (fuera de la plantilla)"}},
        {"blank session",
         {{"ABC", "1", "", "", ""}},
         {{0, 0, 1}},
         lunesAViernes,
         {"Sesión en blanco (fuera de la plantilla)"}},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nombre);
        tablas(c.filas);
        const semana::Semana s = semanaDe("ABC");
        ASSERT_EQ(s.periodos().size(), c.donde.size());
        for (std::size_t i = 0; i < c.donde.size(); ++i) {
            const auto& p = s.periodos()[i];
            EXPECT_EQ((std::array<int, 3>{p.fila, p.columna, p.filas}), c.donde[i]) << i;
        }
        EXPECT_EQ(titulosColumnas(s), c.columnas);
        EXPECT_EQ(titulosFilas(s), c.sesiones);
    }
}

TEST_F(SemanaTest, ALessonOfTwoHoursTakesBothCellsUnlessAnotherLessonIsThere) {
    tablas({{"ABC", "1", "02", "09:00", "11:00"},
            {"ABC", "2", "02", "09:00", "11:00"},
            {"ABC", "2", "03", "10:00", "11:00"}});
    const semana::Semana s = semanaDe("ABC");
    // Monday: one cell over sessions 2 and 3.
    EXPECT_EQ(s.alto(1, 0), 2);
    EXPECT_EQ(s.alto(2, 0), 0);
    EXPECT_EQ(s.siguen(2, 0), std::vector<int>{0});
    // Tuesday: the lesson of session 3 shares its cell with the one going on from session 2.
    EXPECT_EQ(s.alto(1, 1), 1);
    EXPECT_EQ(s.alto(2, 1), 1);
    EXPECT_EQ(s.enCelda(2, 1), (std::vector<int>{2, 1}));
    const auto lineas = semana::lineasCelda(s, 2, 1, 10);
    ASSERT_EQ(lineas.size(), 3u);
    EXPECT_EQ(lineas.back().tipo, semana::LineaCelda::Sigue);
    EXPECT_EQ(lineas.back().texto, "↳ 101 MAT (0101) (sigue)");
}

TEST_F(SemanaTest, TwoLessonsInOneSlotAreBothShown) {
    // Same day and session, two rows (the second's key edited by hand): both go to XEL.
    tablas({{"ABC", "4", "01", "08:00", "09:00"},
            {"ABC", "4", "01", "08:00", "09:00", "101", "", "ABC 499"}},
           {{"ABC 401", "1A", "01ESA"}, {"ABC 499", "1B", ""}});
    const semana::Semana s = semanaDe("ABC");
    EXPECT_EQ(s.empiezan(0, 3), (std::vector<int>{0, 1}));
    EXPECT_EQ(s.maximoEnFila(0), 2);
    EXPECT_EQ(s.alto(0, 3), 1);
    EXPECT_EQ(s.periodos()[0].textoGrupos(), "1A (01ESA)");
    EXPECT_EQ(s.periodos()[1].textoGrupos(), "1B (¿Cód.GRUPO?)");
    // The second lacks its subject (possible: the task is teaching) and its group's code.
    EXPECT_EQ(s.periodos()[0].textoFaltas(), "");
    EXPECT_EQ(s.periodos()[1].textoFaltas(), "Falta: Cód.ASIG?, Cód.GRUPO");
    EXPECT_EQ(s.numHallazgos(), 2);
    // Room for everything, then for one line each.
    EXPECT_EQ(semana::lineasCelda(s, 0, 3, 5).size(), 5u);
    const auto una = semana::lineasCelda(s, 0, 3, 2);
    ASSERT_EQ(una.size(), 2u);
    EXPECT_EQ(una[0].tipo, semana::LineaCelda::Titulo);
    EXPECT_EQ(una[1].tipo, semana::LineaCelda::Incompleto);
}

TEST_F(SemanaTest, ACrowdedCellCountsWhatItCannotShow) {
    std::vector<P2> rows;
    for (int i = 0; i < 7; ++i)
        rows.push_back(
            {"ABC", "1", "01", "08:00", "09:00", "101", "0101", "ABC 1" + std::to_string(i) + "x"});
    tablas(rows);
    const semana::Semana s = semanaDe("ABC");
    const auto l = semana::lineasCelda(s, 0, 0, 4);
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[3].tipo, semana::LineaCelda::Mas);
    EXPECT_EQ(l[3].texto, "+4 más");
    EXPECT_EQ(semana::lineasFila(s, 0), 14);
}

TEST_F(SemanaTest, OnlyTheTeachersRowsAndAvisosForWhatCannotBePlaced) {
    tablas({{"ABC", "1", "01", "08:00", "09:00"},
            {"ZZZ", "1", "01", "08:00", "09:00"},
            {"ZZZ", "0", "08", "", ""}});
    EXPECT_EQ(semanaDe("ABC").periodos().size(), 1u);
    const semana::Semana z = semanaDe("ZZZ");
    ASSERT_EQ(z.periodos().size(), 2u);
    EXPECT_EQ(z.avisos(), (std::vector<std::string>{
                              "Día 0, sesión 08: el día no es de lunes a domingo",
                              "Día 0, sesión 08: la sesión no está en la plantilla horaria"}));
    EXPECT_TRUE(semanaDe("NADIE").vacia());
}

TEST_F(SemanaTest, PendingEditsAreWhatTheGridShows) {
    tablas({{"ABC", "1", "01", "08:00", "09:00"}}, {{"ABC 101", "1A", "01ESA"}});
    // The type 2 row moved to Wednesday and its subject code emptied, not yet stored.
    Dataset h2;
    h2.open(ex.ztemp("CUADROH2.DBF"), OpenMode::Shared);
    h2.setIndex("ABREVPROF");
    h2.edit();
    h2.setText("DIASEM", "3");
    h2.setText("CODASIG", "");
    // The type 3 row's group code typed in another view.
    Dataset v3;
    v3.open(ex.ztemp("CUADROH3.DBF"), OpenMode::Shared);
    v3.edit();
    v3.setText("CODGRUPO", "");
    semana::Semana s = semanaDe("ABC", &v3, &h2);
    ASSERT_EQ(s.periodos().size(), 1u);
    EXPECT_EQ(s.periodos()[0].columna, 2);
    EXPECT_EQ(s.periodos()[0].textoGrupos(), "1A (¿Cód.GRUPO?)");
    EXPECT_EQ(s.periodos()[0].textoFaltas(), "Falta: Cód.ASIG?, Cód.GRUPO");
    // Cancelled: the stored values again.
    h2.cancel();
    v3.cancel();
    s = semanaDe("ABC", &v3, &h2);
    EXPECT_EQ(s.periodos()[0].columna, 0);
    EXPECT_EQ(s.periodos()[0].textoFaltas(), "");
}

TEST_F(SemanaTest, AGroupUnderTwoPeriodsOfOneKeyCountsOnce) {
    // Two type 2 rows of one slot key: the text file writes the group after each of them.
    tablas({{"ABC", "1", "01", "08:00", "09:00"}, {"ABC", "1", "01", "08:00", "09:00"}},
           {{"ABC 101", "1A", ""}});
    const semana::Semana s = semanaDe("ABC");
    EXPECT_EQ(s.periodos()[0].textoGrupos(), "1A (¿Cód.GRUPO?)");
    EXPECT_EQ(s.periodos()[1].textoGrupos(), "1A (¿Cód.GRUPO?)");
    Dataset h2, h3;
    h2.open(ex.ztemp("CUADROH2.DBF"), OpenMode::ReadOnly);
    h3.open(ex.ztemp("CUADROH3.DBF"), OpenMode::ReadOnly);
    EXPECT_EQ(s.numHallazgos(), static_cast<int>(revision::revisa(h2, h3, catalogos).size()));
    EXPECT_EQ(s.numHallazgos(), 1);
}

TEST_F(SemanaTest, APeriodReadAgainInPlaceOrNot) {
    tablas({{"ABC", "1", "01", "08:00", "09:00"}, {"ABC", "2", "01", "08:00", "09:00"}});
    Dataset h2, h3;
    h2.open(ex.ztemp("CUADROH2.DBF"), OpenMode::Shared);
    h2.setIndex("ABREVPROF");
    h3.open(ex.ztemp("CUADROH3.DBF"), OpenMode::Shared);
    h3.setIndex("PROF_DIA_SES");
    semana::Fuentes f;
    f.tipo2 = &h2;
    f.tipo3 = &h3;
    f.plantilla = &bell;
    f.catalogos = &catalogos;
    semana::Semana s = semana::construye(f);
    ASSERT_EQ(s.numHallazgos(), 0);
    // A code emptied: read again in place, the finding counted.
    h2.moveTo(1);
    h2.edit();
    h2.setText("CODASIG", "");
    EXPECT_TRUE(s.relee(1, f));
    EXPECT_EQ(s.periodos()[1].codasig, "");
    EXPECT_EQ(s.periodos()[1].textoFaltas(), "Falta: Cód.ASIG?");
    EXPECT_EQ(s.numHallazgos(), 1);
    EXPECT_EQ(s.periodos()[1].columna, 1);
    // Another day: the week must be read again, the period left as it was.
    h2.setText("DIASEM", "4");
    EXPECT_FALSE(s.relee(1, f));
    EXPECT_EQ(s.periodos()[1].dia, "2");
    // A row no longer at its position.
    h2.cancel();
    h2.moveTo(0);
    h2.remove();
    EXPECT_FALSE(s.relee(1, f));
}

TEST_F(SemanaTest, FindingsAreThoseOfTheCompletenessCheck) {
    tablas({{"ABC", "1", "01", "08:00", "09:00", ""},
            {"ABC", "2", "01", "08:00", "09:00", "999", "77"}},
           {{"ABC 101", "1A", ""}});
    const semana::Semana s = semanaDe("ABC");
    Dataset h2, h3;
    h2.open(ex.ztemp("CUADROH2.DBF"), OpenMode::ReadOnly);
    h3.open(ex.ztemp("CUADROH3.DBF"), OpenMode::ReadOnly);
    const auto whole = revision::revisa(h2, h3, catalogos);
    EXPECT_EQ(s.numHallazgos(), static_cast<int>(whole.size()));
    EXPECT_EQ(s.periodos()[1].textoFaltas(), "No en catálogo: TAREA, Cód.ASIG");
    EXPECT_EQ(s.periodos()[0].campoInicial(), "TIPTAR");
}

TEST(SemanaMinutos, ReadsClockTimes) {
    const std::pair<const char*, std::optional<int>> casos[] = {
        {"08:00", 480},          {"8:05", 485},
        {" 24:00 ", 1440},       {"00:00", 0},
        {"08:60", std::nullopt}, {"25:00", std::nullopt},
        {"0800", std::nullopt},  {"08:0", std::nullopt},
        {"", std::nullopt},      {"ab:cd", std::nullopt},
        {":30", std::nullopt}};
    for (const auto& [text, want] : casos) EXPECT_EQ(semana::minutos(text), want) << text;
}

TEST(SemanaPlantilla, HoursInOrderFirstRowOfARepeatedHourWins) {
    tz::testing::Exchange ex;
    ex.table(cat::PLANTILLA(), {{"3", "10:00", "11:00"},
                                {"1", "08:00", "09:00"},
                                {"3", "12:00", "13:00"},
                                {"0", "07:00", "08:00"}});
    Dataset p;
    p.open(ex.ztemp("PLANTILLA.DBF"), OpenMode::ReadOnly);
    const auto f = semana::leePlantilla(p);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].hora, 0);
    EXPECT_EQ(f[1].hora, 1);
    EXPECT_EQ(f[2].inicio, "10:00");
}

}  // namespace
