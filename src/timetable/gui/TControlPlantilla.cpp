#include "timetable/gui/TControlPlantilla.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <exception>

#include "base/gui/Label.h"
#include "help/gui/HelpGui.h"
#include "timetable/gui/DataGrid.h"
#include "timetable/gui/DialogHost.h"
#include "timetable/gui/Windows.h"

namespace tz::timetable::gui {

using tables::DatasetState;
using tables::qt::DatasetColumn;

namespace {

using base::gui::label;

bool inside(QWidget* w, QWidget* ancestor) {
    for (; w; w = w->parentWidget())
        if (w == ancestor) return true;
    return false;
}

}  // namespace

TControlPlantilla::TControlPlantilla(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Control de Plantilla Horaria"));
    // The system's dialog text: 8-point sans serif.
    QFont f = font();
    f.setPointSize(8);
    setFont(f);
    setFixedSize(600, 360);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    label(this, QStringLiteral("COMPROBACIÓN DE LA PLANTILLA HORARIA DEL CENTRO"),
          QColor(128, 0, 0), QRect(16, 10, 568, 20));

    auto* model = new GridModel(
        &logic_.plantilla(),
        {DatasetColumn{QStringLiteral("HORA"), QStringLiteral("HORA"), 5, false, {}},
         DatasetColumn{
             QStringLiteral("HORAINI"), QStringLiteral("HORA INICIO CLASE"), 12, true, {}},
         DatasetColumn{
             QStringLiteral("HORAFIN"), QStringLiteral("HORA FINAL CLASE"), 12, true, {}}});
    model->onError = [this](const std::string& e) { showErrorBox(this, e); };
    grid_ = new DataGrid(model, this);
    grid_->setObjectName(QStringLiteral("PlantiHorDBGrid"));
    grid_->setGeometry(16, 40, std::min(290, grid_->contentWidth()), 260);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // The record navigator: no insert or delete button.
    auto* nav = new QWidget(this);
    nav->setObjectName(QStringLiteral("DBNavigator1"));
    nav->setGeometry(16, 304, grid_->width(), 26);
    auto* row = new QHBoxLayout(nav);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    tables::Dataset& t = logic_.plantilla();
    auto move = [&t](int by) {
        return [&t, by] {
            if (!t.isOpen() || t.isEmpty()) return;
            t.moveTo(std::max(0, t.position() + by));
        };
    };
    const struct {
        const char* name;
        const char* glyph;
        const char* tip;
        std::function<void()> action;
    } buttons[] = {
        {"nbFirst", "|◀", "Primero",
         [&t] {
             if (t.isOpen()) t.first();
         }},
        {"nbPriorPage", "◀◀", "10 atrás", move(-10)},
        {"nbPrior", "◀", "Anterior", move(-1)},
        {"nbNext", "▶", "Siguiente", move(1)},
        {"nbNextPage", "▶▶", "10 adelante", move(10)},
        {"nbLast", "▶|", "Último",
         [&t] {
             if (t.isOpen()) t.last();
         }},
        {"nbEdit", "✎", "Editar",
         [&t] {
             if (t.isOpen()) t.edit();
         }},
        {"nbPost", "✔", "Grabar",
         [&t] {
             if (t.isOpen()) t.post();
         }},
        {"nbCancel", "✘", "Cancelar",
         [&t] {
             if (t.isOpen()) t.cancel();
         }},
        {"nbRefresh", "⟳", "Refrescar",
         [&t] {
             if (!t.isOpen()) return;
             const int p = t.position();
             if (t.state() == DatasetState::Browse) t.setIndex("");
             t.moveTo(p);
         }},
    };
    for (const auto& b : buttons) {
        auto* tb = new QToolButton(nav);
        tb->setObjectName(QString::fromLatin1(b.name));
        tb->setText(QString::fromUtf8(b.glyph));
        tb->setToolTip(QString::fromUtf8(b.tip));
        tb->setFocusPolicy(Qt::NoFocus);
        tb->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        row->addWidget(tb);
        auto action = b.action;
        connect(tb, &QToolButton::clicked, this, [this, action] { guarded(action); });
    }

    label(this, QStringLiteral("PLANTILLA HORARIA DEL CENTRO"), QColor(0, 0, 160),
          QRect(326, 60, 258, 20));
    label(this,
          QStringLiteral("Modifique, en caso necesario, las Horas de Inicio y Final de Clase, "
                         "en la presente rejilla. Deben ser iguales que la Plantilla Horaria "
                         "de su Centro."),
          QColor(0, 0, 0), QRect(326, 90, 258, 100), {.wrap = true});

    aceptar_ = new QPushButton(QStringLiteral("&Aceptar"), this);
    aceptar_->setObjectName(QStringLiteral("BitBtn1"));
    aceptar_->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    aceptar_->setGeometry(495, 318, 89, 25);
    aceptar_->setDefault(true);
    connect(aceptar_, &QPushButton::clicked, this, [this] { BitBtn1Click(); });

    help::gui::setHelpContext(this, 1);
    help::gui::setHelpContext(grid_, 1);
    help::gui::setHelpContext(aceptar_, 3);

    setTabOrder(grid_, aceptar_);
    connect(qApp, &QApplication::focusChanged, this, &TControlPlantilla::focusMoved);
}

TControlPlantilla::~TControlPlantilla() {
    disconnect(qApp, &QApplication::focusChanged, this, &TControlPlantilla::focusMoved);
    // The grid's model watches the logic's dataset: it must go before the logic member does.
    qDeleteAll(findChildren<QObject*>(QString(), Qt::FindDirectChildrenOnly));
}

bool TControlPlantilla::guarded(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const std::exception& e) {
        showErrorBox(this, e.what());
    }
    return false;
}

void TControlPlantilla::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    grid_->setFocus(Qt::OtherFocusReason);
    // Offscreen and unmapped windows get no focus events: enter the grid all the same.
    if (!grid_->hasFocus()) guarded([this] { logic_.PlantiHorDBGridEnter(); });
    // Ready to type into the first time of the current row.
    const QModelIndex first = grid_->firstStop(std::max(0, grid_->currentIndex().row()));
    if (first.isValid()) grid_->setCurrentIndex(first);
}

void TControlPlantilla::focusMoved(QWidget* from, QWidget* to) {
    const bool wasIn = inside(from, grid_), isIn = inside(to, grid_);
    if (!wasIn && isIn)
        guarded([this] { logic_.PlantiHorDBGridEnter(); });
    else if (wasIn && !isIn)
        guarded([this] { logic_.PlantiHorDBGridExit(); });
}

void TControlPlantilla::reject() {
    // Esc (outside a cell being typed into) and the close box answer the window as its only
    // button does: what was typed is stored and the job goes on.
    BitBtn1Click();
}

void TControlPlantilla::BitBtn1Click() {
    // The grid lets go first: the cell being typed is stored, then the pending row.
    grid_->commitEditor();
    if (inside(QApplication::focusWidget(), grid_)) aceptar_->setFocus();
    if (!guarded([this] { logic_.PlantiHorDBGridExit(); })) return;
    if (!guarded([this] { logic_.BitBtn1Click(); })) return;
    accept();
}

void TControlPlantilla::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(157, 185, 235));
    g.setColorAt(1, QColor(236, 242, 252));
    p.fillRect(rect(), g);
}

void runControlPlantilla(QWidget* owner) {
    TControlPlantilla w(dialogParent(owner));
    placeDialog(&w, owner);
    // A modal window works with the normal pointer, whatever the job had set.
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    w.exec();
    QGuiApplication::restoreOverrideCursor();
}

}  // namespace tz::timetable::gui
