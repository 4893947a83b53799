// The adjustment window's completeness check: the summary line, the findings list that goes to
// a finding's cell, and the type 2 grid's "Sólo registros incompletos".
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>

#include "timetable/AjustaXEL.h"
#include "timetable/RevisionAjuste.h"
#include "timetable/gui/DataGrid.h"
#include "timetable/gui/ListaHallazgos.h"
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
    soloIncompletos_ = new QCheckBox(QStringLiteral("Sólo registros &incompletos"), this);
    soloIncompletos_->setObjectName(QStringLiteral("CheckBoxIncompletos"));
    soloIncompletos_->setGeometry(480, 240, 238, 18);
    connect(soloIncompletos_, &QCheckBox::toggled, this, [this] { aplicaFiltro(); });

    auto* titulo = new QLabel(QStringLiteral("&REVISIÓN de Códigos XEL"), this);
    QFont bold = titulo->font();
    bold.setBold(true);
    titulo->setFont(bold);
    QPalette pal = titulo->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 160));
    titulo->setPalette(pal);
    titulo->setGeometry(8, top, 200, 16);
    resumen_ = new QLabel(this);
    resumen_->setObjectName(QStringLiteral("LabelResumen"));
    resumen_->setFont(bold);
    resumen_->setGeometry(210, top, 508, 16);
    lista_ = new ListaHallazgos(this);
    lista_->setGeometry(8, top + 18, 710, 130);
    titulo->setBuddy(lista_);
    connect(lista_, &ListaHallazgos::irA, this,
            [this](const revision::Hallazgo& h) { irAHallazgo(h); });
    setTabOrder(salir_, lista_);

    // The check's own cursors, catalogues and followers; stored rows and rows left while being
    // edited ask for a check once things have settled.
    rev_ = std::make_unique<revision::RevisionAjuste>(logic_, [this] { programaRevision(); });

    // A new teacher's rows are filtered as they appear.
    connect(tipo2_->gridModel(), &QAbstractItemModel::modelReset, this, [this] { aplicaFiltro(); });
    revisa();
}

void TAjustaXEL::programaRevision() {
    if (!rev_ || revisionProgramada_) return;
    revisionProgramada_ = true;
    // After the edit has settled (an editor closing, the grid moving on).
    QMetaObject::invokeMethod(
        this, [this] { revisaCambios(); }, Qt::QueuedConnection);
}

void TAjustaXEL::revisaCambios() {
    if (!rev_) return;
    revisionProgramada_ = false;
    if (rev_->cerrada()) return;
    if (!rev_->disponible()) return revisa();
    const auto cambios = rev_->cambios();
    if (!cambios) return revisa();
    if (!cambios->vacio()) logic_.guarded([&] { rev_->revisaFilas(*cambios); });
    muestraRevision();  // with no rows to check: the centre data
}

void TAjustaXEL::revisa() {
    if (!rev_) return;
    revisionProgramada_ = false;
    if (!rev_->disponible()) {
        resumen_->setText(QStringLiteral("No se pueden revisar los códigos: %1")
                              .arg(QString::fromStdString(rev_->error())));
        return;
    }
    // A failed check (its error box shown) leaves the findings as they were, or none.
    logic_.guarded([&] { rev_->revisaTodo(); });
    muestraRevision();
}

// The findings as they now stand: what was changed has been checked, the rows being edited
// are followed, the summary, the list and the toggle show them.
void TAjustaXEL::muestraRevision() {
    rev_->asienta();
    const revision::Revision& r = rev_->revision();
    resumen_->setText(QString::fromStdString(revision::textoResumen(r.resumen())));
    QPalette pal = resumen_->palette();
    pal.setColor(QPalette::WindowText, r.empty() ? QColor(0, 120, 0) : QColor(200, 0, 0));
    resumen_->setPalette(pal);
    lista_->muestra(&r);
    aplicaFiltro();
}

void TAjustaXEL::aplicaFiltro() {
    if (!rev_) return;
    const bool solo = soloIncompletos_->isChecked();
    const int n = tipo2_->gridModel()->rowCount();
    int firstVisible = -1;
    for (int row = 0; row < n; ++row) {
        const bool show = !solo || rev_->filaIncompleta(row);
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
    guardaEditores();
    if (h.tipo == 0) return;  // a lesson of SOLUC: nothing in this window to go to
    if (h.tipo == 1) {
        const int box = h.campo == "CODCENTRO" ? 0 : h.campo == "ANOACAD" ? 1 : 2;
        centre_[box]->setFocus(Qt::OtherFocusReason);
        centre_[box]->selectAll();
        return;
    }
    bool found = false;
    logic_.guarded([&] {
        if (!rev_ || !rev_->vaAProfesor(h)) return;
        auto* mProf = profesores_->gridModel();
        profesores_->setCurrentIndex(mProf->index(logic_.wwTableProfesor().position(), 0));

        // That teacher's periods follow; the type 2 row of the finding.
        auto* m2 = tipo2_->gridModel();
        const int row2 = rev_->filaTipo2(h);
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
        // The type 3 rows of that period follow.
        const int row3 = rev_->filaTipo3(h);
        if (row3 < 0) return;
        auto* m3 = tipo3_->gridModel();
        const QModelIndex at = m3->index(row3, std::max(0, columnaDe(m3, h.campo)));
        tipo3_->setCurrentIndex(at);
        tipo3_->scrollTo(at);
        tipo3_->setFocus(Qt::OtherFocusReason);
        found = true;
    });
    // A finding the tables no longer hold: the list is brought up to date.
    if (!found) revisa();
}

void TAjustaXEL::cierraRevision() {
    if (!rev_) return;
    lista_->muestra(nullptr);  // the findings go before the list
    rev_->cierra();
}

}  // namespace tz::timetable::gui
