#pragma once
#include <QAbstractItemDelegate>
#include <QTableView>

namespace tz::base::gui {

// A data grid that moves and edits as a keyboard user of a desktop program expects:
// - moving into a cell (arrows, Tab, Enter, a click) shows it; no editor opens by itself;
// - typing starts an edit that replaces the cell's text; F2, a double-click or a click on the
//   current cell edit the text in place, the cursor at its end, nothing selected;
// - Tab and Shift+Tab go from one editable cell to the next (read-only columns and hidden rows
//   take no stop) and leave the grid after its last or before its first stop; Ctrl+Tab and
//   Ctrl+Shift+Tab leave it from anywhere, an open editor stored first;
// - with enterMovesLikeTab, Enter does what Tab does (otherwise it is left to the window, whose
//   default button it presses);
// - the current cell is highlighted while the grid has the focus, and only marked without it.
class DatasetGrid : public QTableView {
    Q_OBJECT
  public:
    // Set on an editor once it has been handed back to the view: it must not be closed again.
    static constexpr const char* kClosedProperty = "tzClosed";

    explicit DatasetGrid(QWidget* parent = nullptr);
    using QTableView::edit;

    bool enterMovesLikeTab = false;

    // The cell a Tab (forward) or Shift+Tab stops at after `from` (an invalid `from`: before the
    // first or after the last cell); invalid when there is none.
    QModelIndex tabStop(const QModelIndex& from, bool forward) const;
    // The first cell of `row` that takes a Tab stop (column 0 when none does).
    QModelIndex firstStop(int row) const;
    // Stores the text of an open cell editor into its field and closes the editor. False when
    // no editor was open.
    bool commitEditor();

  protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* e) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void initViewItemOption(QStyleOptionViewItem* option) const override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

  protected slots:
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

  private:
    bool takesStop(int row, int column, bool anyEditable) const;
    bool anyEditableColumn() const;
    // To the next stop, or out of the grid when there is none.
    void step(bool forward);
    // The focus goes to the window's next (previous) control.
    void leave(bool forward);
    QWidget* openEditor() const;
};

}  // namespace tz::base::gui
