// The adjustment window's completeness check: the summary line, the findings list that goes to
// a finding's cell, and the type 2 grid's "Sólo registros incompletos".
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <optional>

#include "tables/Paths.h"
#include "timetable/AjustaXEL.h"
#include "timetable/gui/DataGrid.h"
#include "timetable/gui/ListaHallazgos.h"
#include "timetable/gui/RevisionAjuste.h"
#include "timetable/gui/TAjustaXEL.h"

namespace tz::timetable::gui {

namespace {

int columnaDe(const GridModel* m, const std::string& field) {
    for (int c = 0; c < m->columns().size(); ++c)
        if (m->columns()[c].field == QLatin1String(field.c_str())) return c;
    return -1;
}

}  // namespace

void TAjustaXEL::montaRevision(int top) {
    rev_ = std::make_unique<RevisionAjuste>();
    RevisionAjuste& r = *rev_;

    r.soloIncompletos = new QCheckBox(QStringLiteral("Sólo registros &incompletos"), this);
    r.soloIncompletos->setObjectName(QStringLiteral("CheckBoxIncompletos"));
    r.soloIncompletos->setGeometry(480, 240, 238, 18);
    connect(r.soloIncompletos, &QCheckBox::toggled, this, [this] { aplicaFiltro(); });

    auto* titulo = new QLabel(QStringLiteral("&REVISIÓN de Códigos XEL"), this);
    QFont bold = titulo->font();
    bold.setBold(true);
    titulo->setFont(bold);
    QPalette pal = titulo->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 160));
    titulo->setPalette(pal);
    titulo->setGeometry(8, top, 200, 16);
    r.resumen = new QLabel(this);
    r.resumen->setObjectName(QStringLiteral("LabelResumen"));
    r.resumen->setFont(bold);
    r.resumen->setGeometry(210, top, 508, 16);
    r.lista = new ListaHallazgos(this);
    r.lista->setGeometry(8, top + 18, 710, 130);
    titulo->setBuddy(r.lista);
    connect(r.lista, &ListaHallazgos::irA, this,
            [this](const revision::Hallazgo& h) { irAHallazgo(h); });
    setTabOrder(salir_, r.lista);

    // Own cursors over the export tables, and the catalogues as the lists have them.
    logic_.guarded([&] {
        try {
            r.h2.open(tables::mapPath("C:\\ZTEMP\\CUADROH2.DBF"), tables::OpenMode::Shared);
            r.h3.open(tables::mapPath("C:\\ZTEMP\\CUADROH3.DBF"), tables::OpenMode::Shared);
        } catch (const std::exception& e) {
            r.h2.close(), r.h3.close();
            r.error = e.what();  // the views' own opening has reported it already
        }
    });
    // The bell schedule's hours, for the sessions; without it they are checked for their form.
    tables::Dataset plantilla;
    try {
        plantilla.open(tables::mapPath("C:\\ZTEMP\\PLANTILLA.DBF"), tables::OpenMode::ReadOnly);
    } catch (const std::exception&) {
    }
    r.revision = revision::Revision(revision::leeCatalogos(
        {&logic_.catalogo(Catalogo::TIPDOC), &logic_.catalogo(Catalogo::TIPTAR),
         &logic_.catalogo(Catalogo::GRUPNIV), &logic_.catalogo(Catalogo::ASIGNAT),
         &logic_.catalogo(Catalogo::IDIOMA), &logic_.catalogo(Catalogo::OTRACT), &plantilla}));
    r.revision.anotaLecciones(logic_.sinColocar);
    for (tables::Dataset* ds : {&r.h2, &r.h3})
        if (ds->isOpen()) revision::enOrdenDeClave(*ds);
    // Stored rows, and rows left while being edited, are checked again on their own.
    auto aviso = [this] { programaRevision(); };
    if (r.h2.isOpen()) r.cambios2 = std::make_unique<FilasCambiadas>(r.h2, aviso);
    if (r.h3.isOpen()) r.cambios3 = std::make_unique<FilasCambiadas>(r.h3, aviso);
    r.edicion2 = std::make_unique<EdicionSeguida>(logic_.wwTableCUADROH2(), aviso);
    r.edicion3 = std::make_unique<EdicionSeguida>(logic_.wwTableCUADROH3(), aviso);

    // A new teacher's rows are filtered as they appear.
    connect(tipo2_->gridModel(), &QAbstractItemModel::modelReset, this, [this] { aplicaFiltro(); });
    revisa();
}

void TAjustaXEL::programaRevision() {
    if (!rev_ || rev_->programada) return;
    rev_->programada = true;
    // After the edit has settled (an editor closing, the grid moving on).
    QMetaObject::invokeMethod(
        this, [this] { revisaCambios(); }, Qt::QueuedConnection);
}

namespace {

// The rows of `cambios`, the row being edited in `edicion`'s dataset and the one edited at the
// last check; or none when everything must be checked again.
std::optional<std::vector<tables::Bookmark>> filasPorRevisar(FilasCambiadas* cambios,
                                                             EdicionSeguida& edicion,
                                                             tables::Dataset& grid) {
    if (!cambios || cambios->todas) return std::nullopt;
    std::vector<tables::Bookmark> filas = cambios->filas;
    if (edicion.revisada) filas.push_back(*edicion.revisada);
    if (grid.isOpen() && grid.state() == tables::DatasetState::Edit && !grid.isEmpty())
        filas.push_back(grid.bookmark());
    return filas;
}

}  // namespace

void TAjustaXEL::revisaCambios() {
    if (!rev_) return;
    RevisionAjuste& r = *rev_;
    r.programada = false;
    if (!r.edicion2 || !r.edicion3) return;  // closed
    if (!r.error.empty() || !r.h2.isOpen() || !r.h3.isOpen()) return revisa();
    tables::Dataset &grid2 = logic_.wwTableCUADROH2(), &grid3 = logic_.wwTableCUADROH3();
    auto filas2 = filasPorRevisar(r.cambios2.get(), *r.edicion2, grid2);
    auto filas3 = filasPorRevisar(r.cambios3.get(), *r.edicion3, grid3);
    // Many rows at once (or rows that came or went): one pass over everything costs less.
    const auto muchas = [](const auto& filas, const tables::Dataset& ds) {
        return !filas || filas->size() > static_cast<std::size_t>(ds.recordCount() / 4 + 64);
    };
    if (muchas(filas2, r.h2) || muchas(filas3, r.h3)) return revisa();
    if (filas2->empty() && filas3->empty()) return muestraRevision();  // the centre data
    logic_.guarded([&] {
        r.revision.revisaFilas(2, r.h2, *filas2, &grid2);
        r.revision.revisaFilas(3, r.h3, *filas3, &grid3);
    });
    muestraRevision();
}

void TAjustaXEL::revisa() {
    if (!rev_) return;
    RevisionAjuste& r = *rev_;
    r.programada = false;
    if (!r.error.empty() || !r.h2.isOpen() || !r.h3.isOpen()) {
        r.resumen->setText(QStringLiteral("No se pueden revisar los códigos: %1")
                               .arg(QString::fromStdString(r.error)));
        return;
    }
    // A failed check (its error box shown) leaves the findings as they were, or none.
    logic_.guarded([&] {
        r.revision.revisaTodo(r.h2, r.h3, &logic_.wwTableCUADROH2(), &logic_.wwTableCUADROH3());
    });
    muestraRevision();
}

// The findings as they now stand: what was changed has been checked, the rows being edited
// are followed, the summary, the list and the toggle show them.
void TAjustaXEL::muestraRevision() {
    RevisionAjuste& r = *rev_;
    const cuadro::Centro centro = logic_.centroActual();
    r.revision.revisaCentro(centro.CODCENTRO, centro.ANOACAD, centro.VERSION);
    for (auto* c : {r.cambios2.get(), r.cambios3.get()})
        if (c) c->olvida();
    auto pendiente = [](const tables::Dataset& ds) -> std::optional<tables::Bookmark> {
        if (ds.isOpen() && ds.state() == tables::DatasetState::Edit && !ds.isEmpty())
            return ds.bookmark();
        return std::nullopt;
    };
    if (r.edicion2) r.edicion2->revisada = pendiente(logic_.wwTableCUADROH2());
    if (r.edicion3) r.edicion3->revisada = pendiente(logic_.wwTableCUADROH3());

    r.resumen->setText(QString::fromStdString(revision::textoResumen(r.revision.resumen())));
    QPalette pal = r.resumen->palette();
    pal.setColor(QPalette::WindowText, r.revision.empty() ? QColor(0, 120, 0) : QColor(200, 0, 0));
    r.resumen->setPalette(pal);
    r.lista->muestra(&r.revision);
    aplicaFiltro();
}

bool TAjustaXEL::filaIncompleta(int row) const {
    if (!rev_) return true;
    tables::Dataset& ds = logic_.wwTableCUADROH2();
    if (!ds.isOpen() || row < 0 || row >= ds.recordCount()) return true;
    const int key = ds.fieldIndex("PROF_DIA_SES");
    return rev_->revision.incompleta(2, ds.bookmarkAt(row)) ||
           (key >= 0 && rev_->revision.grupoIncompleto(ds.textViewAt(row, key)));
}

void TAjustaXEL::aplicaFiltro() {
    if (!rev_) return;
    const bool solo = rev_->soloIncompletos->isChecked();
    const int n = tipo2_->gridModel()->rowCount();
    int firstVisible = -1;
    for (int row = 0; row < n; ++row) {
        const bool show = !solo || filaIncompleta(row);
        tipo2_->setRowHidden(row, !show);
        if (show && firstVisible < 0) firstVisible = row;
    }
    // The current row does not stay hidden: the grid moves to the first row shown.
    const QModelIndex cur = tipo2_->currentIndex();
    if (firstVisible >= 0 && (!cur.isValid() || tipo2_->isRowHidden(cur.row())))
        tipo2_->setCurrentIndex(
            tipo2_->gridModel()->index(firstVisible, cur.isValid() ? cur.column() : 0));
}

void TAjustaXEL::irAHallazgo(const revision::Hallazgo& h) {
    commitEditors();
    if (h.tipo == 0) return;  // a lesson of SOLUC: nothing in this window to go to
    if (h.tipo == 1) {
        const int box = h.campo == "CODCENTRO" ? 0 : h.campo == "ANOACAD" ? 1 : 2;
        centre_[box]->setFocus(Qt::OtherFocusReason);
        centre_[box]->selectAll();
        return;
    }
    bool found = false;
    logic_.guarded([&] {
        tables::Dataset& prof = logic_.wwTableProfesor();
        if (!prof.isOpen() || !prof.findKey(h.profesor)) return;
        auto* mProf = profesores_->gridModel();
        profesores_->setCurrentIndex(mProf->index(prof.position(), 0));

        // That teacher's periods follow; find the type 2 row of the finding.
        tables::Dataset& d2 = logic_.wwTableCUADROH2();
        auto* m2 = tipo2_->gridModel();
        const int key2 = d2.fieldIndex("PROF_DIA_SES");
        int row2 = -1;
        for (int i = 0; i < d2.recordCount() && row2 < 0; ++i)
            if (h.tipo == 2 ? d2.bookmarkAt(i) == h.registro : d2.textAt(i, key2) == h.clave)
                row2 = i;
        if (row2 < 0) return;
        tipo2_->setRowHidden(row2, false);
        const int col2 = h.tipo == 2 ? std::max(0, columnaDe(m2, h.campo)) : 0;
        tipo2_->setCurrentIndex(m2->index(row2, col2));
        tipo2_->scrollTo(m2->index(row2, col2));
        if (h.tipo == 2) {
            tipo2_->setFocus(Qt::OtherFocusReason);
            found = true;
            return;
        }
        tables::Dataset& d3 = logic_.wwTableCUADROH3();
        auto* m3 = tipo3_->gridModel();
        for (int i = 0; i < d3.recordCount(); ++i) {
            if (d3.bookmarkAt(i) != h.registro) continue;
            const QModelIndex at = m3->index(i, std::max(0, columnaDe(m3, h.campo)));
            tipo3_->setCurrentIndex(at);
            tipo3_->scrollTo(at);
            tipo3_->setFocus(Qt::OtherFocusReason);
            found = true;
            return;
        }
    });
    // A finding the tables no longer hold: the list is brought up to date.
    if (!found) revisa();
}

ListaHallazgos* TAjustaXEL::listaHallazgos() const { return rev_ ? rev_->lista : nullptr; }
QLabel* TAjustaXEL::resumenRevision() const { return rev_ ? rev_->resumen : nullptr; }
QCheckBox* TAjustaXEL::soloIncompletos() const { return rev_ ? rev_->soloIncompletos : nullptr; }

void TAjustaXEL::cierraRevision() {
    if (!rev_) return;
    rev_->lista->muestra(nullptr);  // the findings go before the list
    // Closing the cursors is no change to check.
    rev_->cambios2.reset(), rev_->cambios3.reset();
    rev_->edicion2.reset(), rev_->edicion3.reset();
    rev_->h3.close();
    rev_->h2.close();
}

}  // namespace tz::timetable::gui
