#include "timetable/gui/DataGrid.h"

#include "timetable/gui/BusquedaLista.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionToolButton>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>

namespace tz::timetable::gui {

using tables::qt::Cp1252Validator;
using tables::qt::DatasetColumn;
using tables::qt::DatasetModel;
using tables::qt::decodeCp1252;

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

// --- LookupEdit -------------------------------------------------------------------------------

LookupEdit::LookupEdit(const LookupList& list, int maxLength, QWidget* parent)
    : QWidget(parent), list_(list), edit_(new QLineEdit(this)), button_(new QToolButton(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    edit_->setFrame(false);
    if (maxLength > 0) edit_->setMaxLength(maxLength);
    edit_->setValidator(new Cp1252Validator(maxLength, edit_));
    button_->setText(QStringLiteral("▾"));
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setFixedWidth(16);
    row->addWidget(edit_);
    row->addWidget(button_);
    setFocusProxy(edit_);
    setAutoFillBackground(true);
    connect(button_, &QToolButton::clicked, this, &LookupEdit::openList);
}

void LookupEdit::openList() {
    if (!popup_) {
        popup_ = new QTreeWidget(this);
        popup_->setWindowFlags(Qt::Popup);
        popup_->setRootIsDecorated(false);
        popup_->setUniformRowHeights(true);
        popup_->setAllColumnsShowFocus(true);
        QStringList titles;
        for (const auto& c : list_.columns) titles << c.first;
        popup_->setHeaderLabels(titles);
        const QFontMetrics fm(popup_->font());
        int width = 4;
        for (int c = 0; c < list_.columns.size(); ++c) {
            const int w = std::max(fm.averageCharWidth() * list_.columns[c].second,
                                   fm.horizontalAdvance(list_.columns[c].first)) +
                          12;
            popup_->setColumnWidth(c, w);
            width += w;
        }
        tables::Dataset* cat = list_.catalogue;
        if (cat && cat->isOpen()) {
            QVector<int> fields;
            for (const auto& c : list_.columns) fields << cat->fieldIndex(c.first.toStdString());
            const int n = cat->recordCount();
            for (int r = 0; r < n; ++r) {
                auto* item = new QTreeWidgetItem(popup_);
                for (int c = 0; c < fields.size(); ++c)
                    if (fields[c] >= 0) item->setText(c, decodeCp1252(cat->textAt(r, fields[c])));
                const int code = cat->fieldIndex(list_.codeField.toStdString());
                item->setData(0, Qt::UserRole,
                              code >= 0 ? decodeCp1252(cat->textAt(r, code)) : QString());
            }
        }
        popup_->resize(width + 20, 200);
        BusquedaLista::instala(popup_);  // typing narrows the list
        popup_->installEventFilter(this);
        connect(popup_, &QTreeWidget::itemActivated, this,
                [this](QTreeWidgetItem* item) { pick(popup_->indexOfTopLevelItem(item)); });
        connect(popup_, &QTreeWidget::itemClicked, this,
                [this](QTreeWidgetItem* item) { pick(popup_->indexOfTopLevelItem(item)); });
    }
    popup_->move(mapToGlobal(QPoint(0, height())));
    popup_->show();
    popup_->setFocus(Qt::PopupFocusReason);
    if (popup_->topLevelItemCount() > 0 && !popup_->currentItem())
        popup_->setCurrentItem(popup_->topLevelItem(0));
}

void LookupEdit::closeList() {
    if (!popup_ || !popup_->isVisible()) return;
    popup_->hide();
    edit_->setFocus(Qt::PopupFocusReason);
}

bool LookupEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == popup_ && event->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(event);
        const bool alt = k->modifiers() & Qt::AltModifier;
        if (k->key() == Qt::Key_Escape || (k->key() == Qt::Key_F4 && !alt) ||
            (k->key() == Qt::Key_Up && alt)) {
            closeList();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void LookupEdit::pick(int row) {
    if (!popup_ || row < 0 || row >= popup_->topLevelItemCount()) return;
    // The code is cut to the field width, as the text box holds no more.
    edit_->setText(popup_->topLevelItem(row)->data(0, Qt::UserRole).toString());
    popup_->hide();
    emit picked();
}

// --- GridDelegate -----------------------------------------------------------------------------

QRect lookupButtonRect(const QRect& cell) {
    return QRect(cell.right() - 15, cell.top(), 16, cell.height());
}

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    const auto* model = qobject_cast<const GridModel*>(index.model());
    if (!model || !model->lookups.contains(index.column()) ||
        !(model->flags(index) & Qt::ItemIsEditable)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The text leaves room for the button at the right.
    QStyleOptionViewItem text(option);
    text.rect.setRight(text.rect.right() - 16);
    QStyledItemDelegate::paint(painter, text, index);
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    QStyleOptionToolButton button;
    button.initFrom(option.widget);
    button.rect = lookupButtonRect(option.rect).adjusted(1, 1, -1, -1);
    button.state = QStyle::State_Enabled | QStyle::State_Raised;
    style->drawPrimitive(QStyle::PE_PanelButtonTool, &button, painter, option.widget);
    QStyleOption arrow(button);
    arrow.rect = button.rect.adjusted(3, 4, -3, -4);
    style->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, painter, option.widget);
}

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                    const QModelIndex& index) const {
    const int maxLength = index.data(DatasetModel::MaxLengthRole).toInt();
    const auto* model = qobject_cast<const GridModel*>(index.model());
    if (model && model->lookups.contains(index.column())) {
        auto* lookup = new LookupEdit(model->lookups.value(index.column()), maxLength, parent);
        lookup->lineEdit()->installEventFilter(const_cast<GridDelegate*>(this));
        auto* self = const_cast<GridDelegate*>(this);
        connect(lookup, &LookupEdit::picked, self, [self, lookup] {
            if (lookup->property(intake::gui::DatasetGrid::kClosedProperty).toBool()) return;
            lookup->setProperty(intake::gui::DatasetGrid::kClosedProperty, true);
            emit self->commitData(lookup);
            emit self->closeEditor(lookup, QAbstractItemDelegate::NoHint);
        });
        return lookup;
    }
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    if (maxLength > 0) edit->setMaxLength(maxLength);
    edit->setValidator(new Cp1252Validator(maxLength, edit));
    return edit;
}

void GridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    const QString value = index.data(Qt::EditRole).toString();
    if (auto* lookup = qobject_cast<LookupEdit*>(editor))
        lookup->setText(value);
    else if (auto* edit = qobject_cast<QLineEdit*>(editor))
        edit->setText(value);
}

void GridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                const QModelIndex& index) const {
    QString value;
    if (auto* lookup = qobject_cast<LookupEdit*>(editor))
        value = lookup->text();
    else if (auto* edit = qobject_cast<QLineEdit*>(editor))
        value = edit->text();
    else
        return;
    if (value != index.data(Qt::EditRole).toString()) model->setData(index, value, Qt::EditRole);
}

void GridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                        const QModelIndex&) const {
    QRect r = option.rect;
    // A codable cell narrower than its text and button grows to the right.
    if (qobject_cast<LookupEdit*>(editor)) r.setWidth(std::max(r.width(), 44));
    editor->setGeometry(r);
}

bool GridDelegate::eventFilter(QObject* object, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return false;
    // The editor the view knows: the LookupEdit around a list cell's text box.
    QWidget* editor = widget;
    if (auto* lookup = qobject_cast<LookupEdit*>(widget->parentWidget())) editor = lookup;
    auto* lookup = qobject_cast<LookupEdit*>(editor);
    // An editor already handed back to the view sees nothing more.
    if (editor->property(intake::gui::DatasetGrid::kClosedProperty).toBool()) return false;
    auto finish = [&](QAbstractItemDelegate::EndEditHint hint, bool commit = true) {
        editor->setProperty(intake::gui::DatasetGrid::kClosedProperty, true);
        if (commit) emit commitData(editor);
        emit closeEditor(editor, hint);
    };

    // Tab, Enter and Ctrl+Tab are the grid's: it stores the cell and moves on.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
            case Qt::Key_Escape:
                finish(QAbstractItemDelegate::RevertModelCache, false);
                return true;
            case Qt::Key_F4:
                if (lookup) {
                    lookup->openList();
                    return true;
                }
                break;
            case Qt::Key_Down:
                if (lookup && (key->modifiers() & Qt::AltModifier)) {
                    lookup->openList();
                    return true;
                }
                break;
            default:
                break;
        }
        return false;
    }
    if (event->type() == QEvent::FocusOut) {
        if (static_cast<QFocusEvent*>(event)->reason() == Qt::PopupFocusReason) return false;
        if (lookup && lookup->list() && lookup->list()->isVisible()) return false;
        for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
            if (w == editor) return false;
        finish(QAbstractItemDelegate::NoHint);
        return false;
    }
    return false;
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

DataGrid::DataGrid(GridModel* model, QWidget* parent) : DatasetGrid(parent), model_(model) {
    enterMovesLikeTab = true;
    setModel(model);
    model->setParent(this);
    setItemDelegate(new GridDelegate(this));
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
    if (!cur.isValid() || !model_->lookups.contains(cur.column()) ||
        !(model_->flags(cur) & Qt::ItemIsEditable))
        return false;
    if (!indexWidget(cur)) edit(cur);
    auto* lookup = qobject_cast<LookupEdit*>(indexWidget(cur));
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
    if (e->button() == Qt::LeftButton && at.isValid() && model_->lookups.contains(at.column()) &&
        (model_->flags(at) & Qt::ItemIsEditable) &&
        lookupButtonRect(visualRect(at)).contains(e->pos())) {
        setFocus(Qt::MouseFocusReason);
        setCurrentIndex(at);
        if (openLookup()) return e->accept();
    }
    DatasetGrid::mousePressEvent(e);
}

}  // namespace tz::timetable::gui
