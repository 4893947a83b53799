// The adjustment window's completeness check without its window: what it follows, which rows
// it checks again, and that checking only those rows keeps the findings of a whole check.
#include <gtest/gtest.h>

#include <algorithm>

#include "School.h"
#include "support/RecordingPort.h"
#include "tables/Catalogue.h"
#include "timetable/AjustaXEL.h"
#include "timetable/RevisionAjuste.h"
#include "timetable/Timetable.h"

using namespace tz;
using namespace tz::timetable::revision;
using tz::testing::School;
using Lines = std::vector<std::string>;
using Marks = std::vector<tables::Bookmark>;

namespace {

Marks distinct(Marks m) {
    std::sort(m.begin(), m.end());
    m.erase(std::unique(m.begin(), m.end()), m.end());
    return m;
}

Lines lines(const Revision& r) {
    Lines out;
    for (const Hallazgo& h : r.hallazgos()) out.push_back(h.linea());
    return out;
}

// A CUADROH3 table with `rows` rows and two cursors over it.
class Seguidores : public ::testing::Test {
  protected:
    void fill(int rows) {
        tables::createTable(s.ztemp(""), tables::catalogue::CUADROH3());
        a.open(s.ztemp("CUADROH3.DBF"), tables::OpenMode::Shared);
        b.open(s.ztemp("CUADROH3.DBF"), tables::OpenMode::Shared);
        for (int i = 0; i < rows; ++i)
            a.appendRecord({"3", "1A", "", "1", "ABC", "", "01", "1", "25", "ABC 101", "N"});
        a.first();
        b.first();
    }
    void edit(tables::Dataset& ds, int row) {
        ds.moveTo(row);
        ds.edit();
        ds.setText("CODGRUPO", "01ESA");
    }

    School s;
    tables::Dataset a, b;
    int avisos = 0;
    std::function<void()> aviso = [this] { ++avisos; };
};

}  // namespace

TEST_F(Seguidores, StoredRowsAreCollectedWhicheverCursorStoredThem) {
    fill(5);
    FilasCambiadas cambios(a, aviso);
    edit(b, 2);
    b.post();
    edit(a, 4);
    a.post();
    // The follower's own cursor tells of its pending row too: a row may come twice.
    EXPECT_EQ(distinct(cambios.filas), (Marks{b.bookmarkAt(2), a.bookmarkAt(4)}));
    EXPECT_FALSE(cambios.todas);
    EXPECT_GE(avisos, 2);
    // A row that comes means everything is checked again.
    b.appendRecord({"3", "1B", "", "1", "JLM", "", "02", "1", "20", "JLM 102", "N"});
    EXPECT_TRUE(cambios.todas);
    cambios.olvida();
    EXPECT_TRUE(cambios.filas.empty());
    EXPECT_FALSE(cambios.todas);
}

TEST_F(Seguidores, LeavingTheRowCheckedWhileEditedAsksForACheck) {
    fill(4);
    const struct {
        const char* name;
        void (*leave)(tables::Dataset&);
        bool asks;
    } cases[] = {
        {"still editing it", [](tables::Dataset& ds) { ds.setText("NUMALUM", "30"); }, false},
        {"stored", [](tables::Dataset& ds) { ds.post(); }, true},
        {"cancelled", [](tables::Dataset& ds) { ds.cancel(); }, true},
        {"moved off", [](tables::Dataset& ds) { ds.moveTo(0); }, true},
    };
    for (const auto& c : cases) {
        EdicionSeguida edicion(a, aviso);
        edit(a, 2);
        edicion.revisada = a.bookmark();
        avisos = 0;
        c.leave(a);
        EXPECT_EQ(avisos > 0, c.asks) << c.name;
        if (a.state() == tables::DatasetState::Edit) a.cancel();
    }
    // Nothing was checked while being edited: moving on asks nothing.
    EdicionSeguida edicion(a, aviso);
    avisos = 0;
    a.moveTo(3);
    EXPECT_EQ(avisos, 0);
}

TEST_F(Seguidores, RowsToCheckAgain) {
    fill(6);
    FilasCambiadas cambios(a, aviso);
    EdicionSeguida edicion(b, aviso);
    // No follower (the table did not open), or rows that came or went: everything.
    EXPECT_FALSE(filasPorRevisar(nullptr, edicion, b));
    cambios.todas = true;
    EXPECT_FALSE(filasPorRevisar(&cambios, edicion, b));
    cambios.olvida();
    EXPECT_EQ(filasPorRevisar(&cambios, edicion, b), Marks{});
    // The stored rows, the row edited at the last check and the one being edited now.
    edit(a, 1);
    a.post();
    edicion.revisada = b.bookmarkAt(3);
    edit(b, 5);
    const auto filas = filasPorRevisar(&cambios, edicion, b);
    ASSERT_TRUE(filas);
    EXPECT_EQ(distinct(*filas), (Marks{a.bookmarkAt(1), b.bookmarkAt(3), b.bookmarkAt(5)}));
}

TEST_F(Seguidores, ManyRowsAreCheckedInOnePass) {
    fill(400);  // a quarter of the rows and 64: 164
    const struct {
        std::optional<std::size_t> filas;
        bool muchas;
    } cases[] = {{std::nullopt, true}, {0, false}, {1, false}, {164, false}, {165, true}};
    for (const auto& c : cases) {
        std::optional<Marks> filas;
        if (c.filas) filas = Marks(*c.filas, 0);
        EXPECT_EQ(muchasFilas(filas, a), c.muchas) << (c.filas ? int(*c.filas) : -1);
    }
    tables::Dataset vacia;  // a closed table counts as empty: 64
    EXPECT_FALSE(muchasFilas(Marks(64, 0), vacia));
    EXPECT_TRUE(muchasFilas(Marks(65, 0), vacia));
}

namespace {

// The school of the adjustment tests with its export made: ABC teaches 3 periods, JLM (no
// document) 1, MIR 1.
class Ajuste : public ::testing::Test {
  protected:
    void SetUp() override {
        s.soluc({{"ABC", "1", "1", "1", "1A", "MAT", "", "R1"},
                 {"ABC", "1", "2", "1", "1B", "LEN", "", ""},
                 {"ABC", "2", "1", "1", "", "MAT", "201", ""},
                 {"JLM", "3", "3", "1", "1A", "LEN", "", ""},
                 {"MIR", "4", "1", "1", "2A", "LEN", "", ""}});
        timetable::CreaTablasCuadro();
        timetable::ExportaCuadros();
        state.CarpetaTextos = s.textos();
    }

    School s;
    base::RunState state;
    tz::testing::RecordingPort port;
    int avisos = 0;
};

}  // namespace

TEST_F(Ajuste, RowsCheckedAgainKeepTheFindingsOfAWholeCheck) {
    timetable::AjustaXEL a(state, port);
    RevisionAjuste r(a, [this] { ++avisos; });
    ASSERT_TRUE(r.disponible()) << r.error();
    r.revisaTodo();
    r.asienta();
    ASSERT_EQ(lines(r.revision()), lines(a.revisa()));
    const auto sinDocumento = [&] {
        int n = 0;
        for (const Hallazgo& h : r.revision().hallazgos())
            n += h.profesor == "JLM" && h.campo == "DOC";
        return n;
    };
    ASSERT_GT(sinDocumento(), 0);
    // Nothing changed: no rows to check.
    ASSERT_TRUE(r.cambios());
    EXPECT_TRUE(r.cambios()->vacio());

    // JLM's document carried into his rows, stored through the views.
    ASSERT_TRUE(a.wwTableProfesor().findKey("JLM"));
    a.editaProfesor(timetable::ColTipoDni, "1");
    a.editaProfesor(timetable::ColDni, "22222222J");
    a.wwTableProfesor().post();
    EXPECT_GT(avisos, 0);
    auto c = r.cambios();
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->tipo2.empty());
    EXPECT_FALSE(c->tipo3.empty());
    r.revisaFilas(*c);
    r.asienta();
    EXPECT_EQ(sinDocumento(), 0);
    EXPECT_EQ(lines(r.revision()), lines(a.revisa()));
    EXPECT_TRUE(r.cambios()->vacio());

    // A type 2 row being edited is checked with its pending values, and again once left.
    tables::Dataset& grid = a.wwTableCUADROH2();
    grid.edit();
    grid.setText("GRUPNIV", "");
    c = r.cambios();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->tipo2, Marks{grid.bookmark()});
    r.revisaFilas(*c);
    r.asienta();
    EXPECT_EQ(lines(r.revision()), lines(a.revisa()));
    avisos = 0;
    grid.cancel();
    EXPECT_GT(avisos, 0);
    c = r.cambios();
    ASSERT_TRUE(c);
    r.revisaFilas(*c);
    r.asienta();
    EXPECT_EQ(lines(r.revision()), lines(a.revisa()));

    // Closed: nothing is followed, no rows are offered.
    r.cierra();
    EXPECT_TRUE(r.cerrada());
    EXPECT_FALSE(r.cambios());
}

TEST_F(Ajuste, AFindingIsFoundInTheViews) {
    timetable::AjustaXEL a(state, port);
    // A group code left blank in one of ABC's type 3 rows.
    tables::Dataset& d3 = a.wwTableCUADROH3();
    ASSERT_FALSE(d3.isEmpty());
    d3.edit();
    d3.setText("CODGRUPO", "");
    d3.post();
    RevisionAjuste r(a, [] {});
    r.revisaTodo();
    r.asienta();
    const auto hs = r.revision().hallazgos();
    const auto of = [&](int tipo, const char* profesor) {
        for (const Hallazgo& h : hs)
            if (h.tipo == tipo && h.profesor == profesor) return h;
        ADD_FAILURE() << "no type " << tipo << " finding of " << profesor;
        return Hallazgo{};
    };
    const Hallazgo h2 = of(2, "JLM"), h3 = of(3, "ABC");

    ASSERT_TRUE(r.vaAProfesor(h2));
    EXPECT_EQ(a.wwTableProfesor().text("ABREV"), "JLM");
    const int row2 = r.filaTipo2(h2);
    ASSERT_GE(row2, 0);
    EXPECT_EQ(a.wwTableCUADROH2().bookmarkAt(row2), h2.registro);
    EXPECT_TRUE(r.filaIncompleta(row2));
    EXPECT_EQ(r.filaTipo3(h2), -1);  // a type 2 finding has no type 3 row

    // A type 3 finding: a type 2 row of its slot, then its row among that period's groups.
    ASSERT_TRUE(r.vaAProfesor(h3));
    const int slot = r.filaTipo2(h3);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(a.wwTableCUADROH2().textAt(slot, a.wwTableCUADROH2().fieldIndex("PROF_DIA_SES")),
              h3.clave);
    EXPECT_TRUE(r.filaIncompleta(slot));  // its period has a type 3 row with findings
    a.wwTableCUADROH2().moveTo(slot);
    const int row3 = r.filaTipo3(h3);
    ASSERT_GE(row3, 0);
    EXPECT_EQ(d3.bookmarkAt(row3), h3.registro);

    // Rows that do not exist, and a teacher who is not there.
    EXPECT_TRUE(r.filaIncompleta(-1));
    EXPECT_TRUE(r.filaIncompleta(a.wwTableCUADROH2().recordCount()));
    Hallazgo nadie = h2;
    nadie.profesor = "ZZZ";
    EXPECT_FALSE(r.vaAProfesor(nadie));
}

TEST_F(Ajuste, TablesThatDoNotOpenLeaveNoCheck) {
    std::filesystem::remove(s.ztemp("CUADROH3.DBF"));
    timetable::AjustaXEL a(state, port);  // its view reports the missing table
    RevisionAjuste r(a, [] {});
    EXPECT_FALSE(r.disponible());
    EXPECT_NE(r.error().find("CUADROH3"), std::string::npos) << r.error();
    r.cierra();
    EXPECT_FALSE(r.cambios());
}
