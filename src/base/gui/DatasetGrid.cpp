#include "base/gui/DatasetGrid.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace tz::base::gui {

namespace {

// The widget inside an editor that receives the keys (a composite editor hands its focus on).
QWidget* keyWidget(QWidget* editor) {
    QWidget* w = editor;
    while (w->focusProxy()) w = w->focusProxy();
    return w;
}

bool isTab(const QKeyEvent* k) { return k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab; }
bool isEnter(const QKeyEvent* k) {
    return (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) &&
           !(k->modifiers() & ~Qt::KeypadModifier);
}
bool tabForward(const QKeyEvent* k) {
    return k->key() == Qt::Key_Tab && !(k->modifiers() & Qt::ShiftModifier);
}

}  // namespace

DatasetGrid::DatasetGrid(QWidget* parent) : QTableView(parent) {
    setTabKeyNavigation(true);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
}

bool DatasetGrid::anyEditableColumn() const {
    const QAbstractItemModel* m = model();
    if (!m || m->rowCount(rootIndex()) == 0) return false;
    for (int c = 0; c < m->columnCount(rootIndex()); ++c)
        if (!isColumnHidden(c) && (m->flags(m->index(0, c, rootIndex())) & Qt::ItemIsEditable))
            return true;
    return false;
}

bool DatasetGrid::takesStop(int row, int column, bool anyEditable) const {
    if (isRowHidden(row) || isColumnHidden(column)) return false;
    return !anyEditable ||
           (model()->flags(model()->index(row, column, rootIndex())) & Qt::ItemIsEditable);
}

QModelIndex DatasetGrid::tabStop(const QModelIndex& from, bool forward) const {
    const QAbstractItemModel* m = model();
    if (!m) return {};
    const int rows = m->rowCount(rootIndex()), cols = m->columnCount(rootIndex());
    if (rows == 0 || cols == 0) return {};
    const bool anyEditable = anyEditableColumn();
    const long long last = static_cast<long long>(rows) * cols;
    long long p = from.isValid() ? static_cast<long long>(from.row()) * cols + from.column()
                                 : (forward ? -1 : last);
    for (p += forward ? 1 : -1; p >= 0 && p < last; p += forward ? 1 : -1) {
        const int r = static_cast<int>(p / cols), c = static_cast<int>(p % cols);
        if (takesStop(r, c, anyEditable)) return m->index(r, c, rootIndex());
    }
    return {};
}

QModelIndex DatasetGrid::firstStop(int row) const {
    const QAbstractItemModel* m = model();
    if (!m || row < 0 || row >= m->rowCount(rootIndex())) return {};
    const bool anyEditable = anyEditableColumn();
    for (int c = 0; c < m->columnCount(rootIndex()); ++c)
        if (!isColumnHidden(c) && takesStop(row, c, anyEditable))
            return m->index(row, c, rootIndex());
    return m->index(row, 0, rootIndex());
}

QWidget* DatasetGrid::openEditor() const {
    QWidget* editor = indexWidget(currentIndex());
    return editor && !editor->property(kClosedProperty).toBool() ? editor : nullptr;
}

bool DatasetGrid::commitEditor() {
    QWidget* editor = openEditor();
    if (!editor) return false;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
    return true;
}

bool DatasetGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    const bool opened = QTableView::edit(index, trigger, event);
    QWidget* editor = opened ? indexWidget(index) : nullptr;
    if (!editor) return opened;
    QWidget* keys = keyWidget(editor);
    // Watched from here on: this filter is installed after the delegate's, so it sees the keys
    // first and moves as the grid does.
    keys->removeEventFilter(this);
    keys->installEventFilter(this);
    // Typing replaced the text with the key; any other way in edits the text as it stands.
    if (trigger != AnyKeyPressed) {
        if (auto* line = qobject_cast<QLineEdit*>(keys)) {
            line->deselect();
            line->end(false);
        }
    }
    return true;
}

void DatasetGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    if (!editor) return;
    // Only an editor the view still holds (a delegate may report one twice).
    const QModelIndex at = indexAt(editor->pos() + QPoint(1, 1));
    if (!at.isValid() || indexWidget(at) != editor) return;
    editor->setProperty(kClosedProperty, true);
    const bool next = hint == QAbstractItemDelegate::EditNextItem;
    const bool previous = hint == QAbstractItemDelegate::EditPreviousItem;
    // Moving on never opens the next cell's editor.
    QTableView::closeEditor(editor, next || previous ? QAbstractItemDelegate::NoHint : hint);
    if (next || previous) step(next);
}

void DatasetGrid::step(bool forward) {
    const QModelIndex to = tabStop(currentIndex(), forward);
    if (to.isValid())
        setCurrentIndex(to);
    else
        leave(forward);
}

void DatasetGrid::leave(bool forward) {
    commitEditor();
    if (!hasFocus()) setFocus(Qt::OtherFocusReason);
    // The widget's own chain, not the grid's Tab navigation.
    QWidget::focusNextPrevChild(forward);
}

void DatasetGrid::initViewItemOption(QStyleOptionViewItem* option) const {
    QTableView::initViewItemOption(option);
    const QWidget* focus = QApplication::focusWidget();
    if (!focus || (focus != this && !isAncestorOf(focus))) {
        option->palette.setColor(QPalette::Highlight, QColor(198, 210, 236));
        option->palette.setColor(QPalette::HighlightedText, Qt::black);
    }
}

void DatasetGrid::focusInEvent(QFocusEvent* e) {
    QTableView::focusInEvent(e);
    viewport()->update();
}

void DatasetGrid::focusOutEvent(QFocusEvent* e) {
    QTableView::focusOutEvent(e);
    viewport()->update();
}

QModelIndex DatasetGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    if (action == MoveNext || action == MovePrevious) {
        const QModelIndex to = tabStop(currentIndex(), action == MoveNext);
        return to.isValid() ? to : currentIndex();
    }
    return QTableView::moveCursor(action, modifiers);
}

void DatasetGrid::keyPressEvent(QKeyEvent* e) {
    if (isTab(e)) {
        if (e->modifiers() & Qt::ControlModifier) {
            leave(tabForward(e));
            e->accept();
            return;
        }
        const QModelIndex to = tabStop(currentIndex(), tabForward(e));
        if (to.isValid()) {
            setCurrentIndex(to);
            e->accept();
        } else {
            e->ignore();  // the focus goes on to the next control
        }
        return;
    }
    if (enterMovesLikeTab && isEnter(e)) {
        step(true);
        e->accept();
        return;
    }
    QTableView::keyPressEvent(e);
}

bool DatasetGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched != this && watched != viewport()) {
        const auto* k = static_cast<QKeyEvent*>(event);
        const bool tab = isTab(k), enter = enterMovesLikeTab && isEnter(k);
        if ((tab || enter) && commitEditor()) {
            if (tab && (k->modifiers() & Qt::ControlModifier))
                leave(tabForward(k));
            else
                step(enter || tabForward(k));
            return true;
        }
    }
    return QTableView::eventFilter(watched, event);
}

}  // namespace tz::base::gui
