#include "intake/gui/Panels.h"

#include <algorithm>
#include <stdexcept>

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableView>

#include "intake/CentroNiveles.h"
#include "intake/gui/DatasetDelegate.h"
#include "tables/qt/DatasetModel.h"

namespace tz::intake::gui {

namespace {

using tables::qt::DatasetColumn;
using tables::qt::DatasetModel;

// Colours of the panels and grids.
const QColor kCentreBackground(157, 185, 235);  // inactive-caption gradient colour
const QColor kLevelsBackground(216, 228, 248);  // inactive-caption text colour
const char* const kGridStyle =
    "QTableView { background: rgb(255,255,225); gridline-color: rgb(192,192,192);"
    " selection-background-color: rgb(10,36,106); selection-color: white; }"
    "QHeaderView::section { background: rgb(255,251,240); color: blue; font-weight: bold;"
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

QLabel* label(QWidget* parent, const QString& text, const QColor& colour, int x, int y,
              bool underline = false) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setBold(true);
    f.setUnderline(underline);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    l->adjustSize();
    l->move(x, y);
    return l;
}

QPushButton* button(QWidget* parent, const QString& text, QRect geometry, bool okGlyph) {
    auto* b = new QPushButton(text, parent);
    if (okGlyph) b->setIcon(b->style()->standardIcon(QStyle::SP_DialogOkButton));
    b->setGeometry(geometry);
    return b;
}

// A data-bound grid: titles, widths in characters (at least the title's), current row bound.
QTableView* grid(QWidget* parent, const char* name, DatasetModel* model, QRect geometry) {
    auto* view = new QTableView(parent);
    view->setObjectName(name);
    view->setModel(model);
    model->setParent(view);
    view->setItemDelegate(new DatasetDelegate(view));
    view->setStyleSheet(kGridStyle);
    view->setSelectionBehavior(QAbstractItemView::SelectItems);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(20);
    view->horizontalHeader()->setFixedHeight(21);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->horizontalHeader()->setHighlightSections(false);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setGeometry(geometry);
    QFont bold = view->font();
    bold.setBold(true);
    const QFontMetrics cell(view->font()), title(bold);
    for (int c = 0; c < model->columns().size(); ++c) {
        const DatasetColumn& col = model->columns()[c];
        int w = cell.horizontalAdvance(QLatin1Char('W')) / 2 + cell.averageCharWidth() * col.width;
        w = std::max(w, title.horizontalAdvance(col.title)) + 10;
        view->setColumnWidth(c, w);
    }
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
    label(panel, QStringLiteral("Aceptar o Corregir sus Datos del Centro:"), Qt::blue, 9, 5);
    auto* model = new DatasetModel(&logic.centro(),
                                   {{"CODCENTRO", QStringLiteral("Código CENTRO"), 6, true, {}},
                                    {"ANOACAD", QStringLiteral("Año Académico"), 4, true, {}},
                                    {"VERSION", QStringLiteral("Versión"), 5, true, {}}});
    reportErrors(model, logic);
    auto* view = grid(panel, "wwDBGridCentro", model, QRect(7, 42, 258, 43));
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
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
    label(panel, QStringLiteral("NIVELES DE ESTUDIOS"), QColor(128, 0, 0), 10, 6, true);
    label(
        panel,
        QStringLiteral("Escriba las Abreviaturas (hasta 5 caracteres) en Castellano y/o Euskera."),
        Qt::blue, 161, 5);
    auto* model = new DatasetModel(&logic.niveles(),
                                   {{"COD", QStringLiteral("COD"), 3, false, {}},
                                    {"DESCCASTR", QStringLiteral("Descr.Cast."), 20, false, {}},
                                    {"ABREVCAST", QStringLiteral("ABREV.Cast."), 5, true, {}},
                                    {"DESCEUSKR", QStringLiteral("Descr.Eusk."), 20, false, {}},
                                    {"ABREVEUSK", QStringLiteral("ABREV.Eusk."), 5, true, {}}});
    reportErrors(model, logic);
    auto* view = grid(panel, "wwDBGridNIVIMP", model, QRect(46, 42, 477, 199));
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
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

void focusLevelsGrid(QWidget* levelsPanel) {
    if (!levelsPanel) return;
    if (auto* view = levelsPanel->findChild<QTableView*>("wwDBGridNIVIMP")) view->setFocus();
}

}  // namespace tz::intake::gui
