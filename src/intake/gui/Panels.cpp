#include "intake/gui/Panels.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableView>

#include "base/gui/DatasetDelegate.h"
#include "base/gui/DatasetGrid.h"
#include "base/gui/Label.h"
#include "intake/CentroNiveles.h"
#include "intake/gui/ButtonCaption.h"
#include "tables/qt/DatasetModel.h"

namespace tz::intake::gui {

namespace {

using base::gui::label;

using base::gui::DatasetDelegate;
using base::gui::DatasetGrid;
using tables::qt::DatasetColumn;
using tables::qt::DatasetModel;

// Colours of the panels and grids.
const QColor kCentreBackground(157, 185, 235);  // inactive-caption gradient colour
const QColor kLevelsBackground(216, 228, 248);  // inactive-caption text colour
const char* const kGridStyle =
    "QTableView { background: rgb(255,255,225); gridline-color: rgb(192,192,192);"
    " selection-background-color: rgb(10,36,106); selection-color: white; }"
    "QHeaderView::section { background: rgb(255,251,240); color: blue;"
    " border: 1px solid rgb(192,192,192); padding: 0 2px; }";

// A panel that presses its default button on Enter, once the grid's editor has let it go.
class Panel : public QWidget {
  public:
    Panel(QWidget* parent, const QColor& background) : QWidget(parent) {
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, background);
        setPalette(pal);
    }
    QPushButton* defaultButton = nullptr;

  protected:
    void keyPressEvent(QKeyEvent* e) override {
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && defaultButton &&
            defaultButton->isVisible() && defaultButton->isEnabled()) {
            defaultButton->setFocus();  // the grid's editor stores its text on losing focus
            defaultButton->click();
            return;
        }
        QWidget::keyPressEvent(e);
    }
};

QPushButton* button(QWidget* parent, const QString& text, QRect geometry, bool okGlyph) {
    auto* b = new QPushButton(text, parent);
    if (okGlyph) b->setIcon(b->style()->standardIcon(QStyle::SP_DialogOkButton));
    b->setGeometry(geometry);
    // A caption wider than the button (fonts differ between platforms) is drawn narrower; when
    // even that does not fit, the button widens leftwards, keeping its right edge.
    if (!fitCaption(b)) {
        const int w = std::max(geometry.width(), b->sizeHint().width());
        b->setGeometry(geometry.right() + 1 - w, geometry.y(), w, geometry.height());
    }
    return b;
}

// Column widths from the characters of each field, at least the title's; when they do not
// fit the grid, the columns wider than their titles give up the excess in proportion.
void fitColumns(QTableView* view, const DatasetModel* model) {
    const int n = static_cast<int>(model->columns().size());
    const int avail = view->width() - 2 * view->frameWidth() -
                      (view->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff
                           ? 0
                           : view->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    // Titles in a smaller size when even they do not fit (fonts wider than the layout's).
    QFont bold = view->font();
    bold.setBold(true);
    for (;;) {
        int titles = 0;
        for (const DatasetColumn& col : model->columns())
            titles += QFontMetrics(bold).horizontalAdvance(col.title) + 8;
        if (titles <= avail || bold.pointSizeF() <= 6) break;
        bold.setPointSizeF(bold.pointSizeF() - 0.5);
    }
    view->setStyleSheet(
        QString::fromLatin1(kGridStyle) +
        QStringLiteral("QHeaderView::section { font-weight: bold; font-size: %1pt; }")
            .arg(bold.pointSizeF()));
    const QFontMetrics cell(view->font()), title(bold);
    std::vector<int> want(static_cast<std::size_t>(n)), least(static_cast<std::size_t>(n));
    int total = 0, slack = 0;
    for (int c = 0; c < n; ++c) {
        const DatasetColumn& col = model->columns()[c];
        const auto i = static_cast<std::size_t>(c);
        least[i] = title.horizontalAdvance(col.title) + 8;
        want[i] = std::max(least[i], cell.averageCharWidth() * col.width + 8);
        total += want[i];
        slack += want[i] - least[i];
    }
    const int excess = total - avail;
    for (int c = 0; c < n; ++c) {
        const auto i = static_cast<std::size_t>(c);
        int w = want[i];
        if (excess > 0 && slack > 0)
            w -= std::min(want[i] - least[i], (excess * (want[i] - least[i]) + slack - 1) / slack);
        view->setColumnWidth(c, w);
    }
}

// A data-bound grid: titles, widths in characters (at least the title's), current row bound.
DatasetGrid* grid(QWidget* parent, const char* name, DatasetModel* model, QRect geometry,
                  Qt::ScrollBarPolicy vertical) {
    auto* view = new DatasetGrid(parent);
    view->setObjectName(name);
    view->setModel(model);
    model->setParent(view);
    view->setItemDelegate(new DatasetDelegate(view));
    view->setStyleSheet(kGridStyle);
    view->setSelectionBehavior(QAbstractItemView::SelectItems);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(20);
    view->horizontalHeader()->setFixedHeight(21);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setStretchLastSection(true);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(vertical);
    view->setGeometry(geometry);
    fitColumns(view, model);
    model->bindSelection(view->selectionModel());
    return view;
}

// Runs the levels grid's Enter handler when the grid (or its editor) receives the focus.
class EnterFilter : public QObject {
  public:
    EnterFilter(QObject* parent, CentroNiveles& logic) : QObject(parent), logic_(logic) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::FocusIn) logic_.ejecuta([this] { logic_.wwDBGridNIVIMPEnter(); });
        return QObject::eventFilter(watched, e);
    }

  private:
    CentroNiveles& logic_;
};

void reportErrors(DatasetModel* model, CentroNiveles& logic) {
    model->onError = [&logic](const std::string& text) {
        logic.ejecuta([&text] { throw std::runtime_error(text); });
    };
}

}  // namespace

QWidget* createCentrePanel(QWidget* parent, CentroNiveles& logic) {
    auto* panel = new Panel(parent, kCentreBackground);
    panel->setObjectName("PanelCentro");
    panel->resize(289, 143);
    label(panel, QStringLiteral("Aceptar o Corregir sus Datos del Centro:"), Qt::blue,
          QPoint(9, 5));
    auto* model = new DatasetModel(&logic.centro(),
                                   {{"CODCENTRO", QStringLiteral("Código CENTRO"), 6, true, {}},
                                    {"ANOACAD", QStringLiteral("Año Académico"), 4, true, {}},
                                    {"VERSION", QStringLiteral("Versión"), 5, true, {}}});
    reportErrors(model, logic);
    grid(panel, "wwDBGridCentro", model, QRect(7, 42, 258, 43), Qt::ScrollBarAlwaysOff);
    auto* ok = button(panel, QStringLiteral("OK"), QRect(112, 96, 89, 25), true);
    ok->setObjectName("BitBtn1");
    ok->setDefault(true);
    panel->defaultButton = ok;
    QObject::connect(ok, &QPushButton::clicked, panel,
                     [&logic] { logic.ejecuta([&logic] { logic.BitBtn1Click(); }); });
    panel->hide();
    return panel;
}

QWidget* createLevelsPanel(QWidget* parent, CentroNiveles& logic) {
    auto* panel = new Panel(parent, kLevelsBackground);
    panel->setObjectName("PanelNiveles");
    panel->resize(585, 279);
    label(panel, QStringLiteral("NIVELES DE ESTUDIOS"), QColor(128, 0, 0), QPoint(10, 6),
          {.underline = true});
    QLabel* hint = label(
        panel,
        QStringLiteral("Escriba las Abreviaturas (hasta 5 caracteres) en Castellano y/o Euskera."),
        Qt::blue, QPoint(161, 5));
    if (hint->x() + hint->sizeHint().width() > panel->width() - 4) {  // wider fonts: two lines
        hint->setWordWrap(true);
        hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        hint->setGeometry(161, 3, panel->width() - 161 - 4, 36);
    }
    auto* model = new DatasetModel(&logic.niveles(),
                                   {{"COD", QStringLiteral("COD"), 3, false, {}},
                                    {"DESCCASTR", QStringLiteral("Descr.Cast."), 20, false, {}},
                                    {"ABREVCAST", QStringLiteral("ABREV.Cast."), 5, true, {}},
                                    {"DESCEUSKR", QStringLiteral("Descr.Eusk."), 20, false, {}},
                                    {"ABREVEUSK", QStringLiteral("ABREV.Eusk."), 5, true, {}}});
    reportErrors(model, logic);
    auto* view =
        grid(panel, "wwDBGridNIVIMP", model, QRect(46, 42, 477, 199), Qt::ScrollBarAsNeeded);
    auto* enter = new EnterFilter(view, logic);
    view->installEventFilter(enter);
    auto* volver =
        button(panel, QStringLiteral("Volver a Datos Centro"), QRect(352, 248, 115, 25), false);
    volver->setObjectName("Button2");
    auto* aceptar = button(panel, QStringLiteral("Aceptar"), QRect(488, 248, 89, 25), true);
    aceptar->setObjectName("BitBtn2");
    aceptar->setDefault(true);
    panel->defaultButton = aceptar;
    QObject::connect(volver, &QPushButton::clicked, panel,
                     [&logic] { logic.ejecuta([&logic] { logic.Button2Click(); }); });
    QObject::connect(aceptar, &QPushButton::clicked, panel,
                     [&logic] { logic.ejecuta([&logic] { logic.FinalRecogida(); }); });
    panel->hide();
    return panel;
}

void focusGrid(QWidget* panel) {
    auto* view = panel ? panel->findChild<DatasetGrid*>() : nullptr;
    if (!view || !view->isVisibleTo(panel->window())) return;
    const int row = std::max(0, view->currentIndex().row());
    const QModelIndex first = view->firstStop(row);
    if (first.isValid()) view->setCurrentIndex(first);
    view->setFocus(Qt::OtherFocusReason);
}

void focusLevelsGrid(QWidget* levelsPanel) { focusGrid(levelsPanel); }

}  // namespace tz::intake::gui
