#pragma once
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVector>
#include <functional>

#include "intake/gui/DatasetGrid.h"
#include "tables/qt/DatasetModel.h"

class QToolButton;
class QTreeWidget;

namespace tz::timetable::gui {

// A drop-down list of catalogue rows: the columns shown (field, width in characters) and the
// field whose value is written into the cell.
struct LookupList {
    tables::Dataset* catalogue = nullptr;  // may be closed: the list is then empty
    QVector<QPair<QString, int>> columns;
    QString codeField;
};

// A model over a dataset for the grids of these windows: the vertical header is the row
// indicator (a marker on the current row), and a hook runs after a field took a new value.
class GridModel : public tables::qt::DatasetModel {
    Q_OBJECT
  public:
    GridModel(tables::Dataset* dataset, QVector<tables::qt::DatasetColumn> columns,
              QObject* parent = nullptr);
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Runs after an edit reached the row, with the model column that was edited.
    std::function<void(int column)> fieldChanged;
    // Drop-down lists by model column.
    QMap<int, LookupList> lookups;
};

// The cell editor of a codable column: a text box and a button that opens the catalogue list.
class LookupEdit : public QWidget {
    Q_OBJECT
  public:
    LookupEdit(const LookupList& list, int maxLength, QWidget* parent);
    QString text() const { return edit_->text(); }
    void setText(const QString& t) { edit_->setText(t); }
    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* button() const { return button_; }
    // Opens the list under the cell; choosing a row (Enter, a click) takes its code and ends the
    // editing. Esc, F4 or Alt+Up close the list and leave the cell being edited as it was.
    void openList();
    void closeList();
    QTreeWidget* list() const { return popup_; }
    // Picks the list row `row` as a click would (for tests and keyboard users).
    void pick(int row);

  signals:
    void picked();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    LookupList list_;
    QLineEdit* edit_;
    QToolButton* button_;
    QTreeWidget* popup_ = nullptr;
};

// The place of a codable cell's list button within the cell.
QRect lookupButtonRect(const QRect& cell);

// Editors for GridModel cells: a text box limited to the field width and to Windows-1252, or
// a LookupEdit on a codable column. Codable cells show their list button also when no editor
// is open. Esc in an editor gives the cell back unchanged; F4 and Alt+Down open the list.
class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

  protected:
    bool eventFilter(QObject* editor, QEvent* event) override;
};

// A data-bound grid: two-line titles, the row indicator at the left, columns as wide as their
// fields (at least their title's longest word), Enter moving to the next cell like Tab, and no
// keys that add or delete rows. F4, Alt+Down or a click on a codable cell's button open its list.
class DataGrid : public intake::gui::DatasetGrid {
    Q_OBJECT
  public:
    DataGrid(GridModel* model, QWidget* parent);
    GridModel* gridModel() const { return model_; }
    // The current column counted as the grid shows it, with the row indicator as column 0.
    int currentGridColumn() const;
    // The width that shows every column and the vertical scroll bar.
    int contentWidth() const;
    // Opens the list of the current cell (an editor first); false when it has none.
    bool openLookup();

    // Runs when the current cell leaves a column (the column as currentGridColumn counts it).
    std::function<void(int gridColumn)> columnExit;

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

  private:
    GridModel* model_;
};

// Shows the standard error box for an error that ended a user action.
void showErrorBox(QWidget* parent, const std::string& text);

}  // namespace tz::timetable::gui
