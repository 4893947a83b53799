#include "timetable/gui/DataGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

namespace tz::timetable::gui {

using tables::qt::DatasetColumn;
using tables::qt::DatasetModel;

void showErrorBox(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("transZanderXEL"),
                    QString::fromStdString(text) + QLatin1Char('.'), QMessageBox::Ok, parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("Aceptar"));
    box.exec();
}

// --- GridModel --------------------------------------------------------------------------------

GridModel::GridModel(tables::Dataset* dataset, QVector<DatasetColumn> columns, QObject* parent)
    : DatasetModel(dataset, std::move(columns), parent) {
    connect(this, &DatasetModel::currentRowChanged, this, [this](int) {
        const int n = rowCount();
        if (n > 0) emit headerDataChanged(Qt::Vertical, 0, n - 1);
    });
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole)
            return section == currentRow() ? QStringLiteral("▶") : QString();
        return {};
    }
    return DatasetModel::headerData(section, orientation, role);
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const bool ok = DatasetModel::setData(index, value, role);
    if (ok && fieldChanged) fieldChanged(index.column());
    return ok;
}

// --- DataGrid ---------------------------------------------------------------------------------

namespace {

const char* const kGridStyle =
    "QTableView { background: rgb(255,255,225); gridline-color: rgb(192,192,192);"
    " selection-background-color: rgb(10,36,106); selection-color: white; }"
    "QHeaderView::section { background: rgb(255,251,240); color: blue; font-weight: bold;"
    " border: 1px solid rgb(192,192,192); padding: 0 1px; }";

// The narrowest width that shows a title on at most two lines, broken at a space.
int twoLineWidth(const QFontMetrics& fm, const QString& title) {
    int best = fm.horizontalAdvance(title);
    for (int i = title.indexOf(QLatin1Char(' ')); i >= 0;
         i = title.indexOf(QLatin1Char(' '), i + 1))
        best = std::min(best, std::max(fm.horizontalAdvance(title.left(i)),
                                       fm.horizontalAdvance(title.mid(i + 1))));
    return best;
}

}  // namespace

DataGrid::DataGrid(GridModel* model, QWidget* parent)
    : DatasetGrid(parent), model_(model), delegate_(new base::gui::DatasetDelegate(this)) {
    enterMovesLikeTab = true;
    setModel(model);
    model->setParent(this);
    setItemDelegate(delegate_);
    setStyleSheet(kGridStyle);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);

    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics cell(font()), title(bold);
    auto* h = horizontalHeader();
    h->setDefaultAlignment(Qt::Alignment::fromInt(Qt::AlignCenter | Qt::TextWordWrap));
    h->setFixedHeight(2 * title.height() + 6);
    h->setSectionResizeMode(QHeaderView::Fixed);
    h->setHighlightSections(false);
    auto* v = verticalHeader();
    v->setSectionResizeMode(QHeaderView::Fixed);
    v->setDefaultSectionSize(cell.height() + 4);
    v->setFixedWidth(14);
    v->setDefaultAlignment(Qt::AlignCenter);
    v->setHighlightSections(false);

    // As wide as the field's characters (digits are wider than the average character), and
    // at least as wide as the title on two lines.
    const int charWidth =
        std::max(cell.averageCharWidth(), cell.horizontalAdvance(QLatin1Char('0')));
    for (int c = 0; c < model->columns().size(); ++c) {
        const DatasetColumn& col = model->columns()[c];
        setColumnWidth(c, std::max(charWidth * col.width, twoLineWidth(title, col.title)) + 10);
    }
    model->bindSelection(selectionModel());
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (previous.isValid() && current.column() != previous.column() && columnExit)
                    columnExit(previous.column() + 1);
            });
}

int DataGrid::contentWidth() const {
    int w = verticalHeader()->width() + 2 * frameWidth() +
            style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    for (int c = 0; c < model()->columnCount(); ++c) w += columnWidth(c);
    return w;
}

int DataGrid::currentGridColumn() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.column() + 1 : 0;
}

bool DataGrid::openLookup() {
    const QModelIndex cur = currentIndex();
    if (!cur.isValid() || !delegate_->lookups.contains(cur.column()) ||
        !(model_->flags(cur) & Qt::ItemIsEditable))
        return false;
    if (!indexWidget(cur)) edit(cur);
    auto* lookup = qobject_cast<base::gui::LookupEdit*>(indexWidget(cur));
    if (!lookup) return false;
    lookup->openList();
    return true;
}

void DataGrid::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_F4:
            if (!(e->modifiers() & ~Qt::KeypadModifier) && openLookup()) return e->accept();
            break;
        case Qt::Key_Down:
            if ((e->modifiers() & Qt::AltModifier) && openLookup()) return e->accept();
            break;
        case Qt::Key_Insert:
        case Qt::Key_Delete:
            e->accept();  // rows are neither added nor deleted from the keyboard
            return;
        default:
            break;
    }
    DatasetGrid::keyPressEvent(e);
}

void DataGrid::mousePressEvent(QMouseEvent* e) {
    const QModelIndex at = indexAt(e->pos());
    if (e->button() == Qt::LeftButton && at.isValid() && delegate_->lookups.contains(at.column()) &&
        (model_->flags(at) & Qt::ItemIsEditable) &&
        base::gui::lookupButtonRect(visualRect(at)).contains(e->pos())) {
        setFocus(Qt::MouseFocusReason);
        setCurrentIndex(at);
        if (openLookup()) return e->accept();
    }
    DatasetGrid::mousePressEvent(e);
}

}  // namespace tz::timetable::gui
