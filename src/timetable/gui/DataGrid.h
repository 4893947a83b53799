#pragma once
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVector>
#include <functional>

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
    // Opens the list under the cell; choosing a row takes its code and ends the editing.
    void openList();
    QTreeWidget* list() const { return popup_; }
    // Picks the list row `row` as a click would (for tests and keyboard users).
    void pick(int row);

  signals:
    void picked();

  private:
    LookupList list_;
    QLineEdit* edit_;
    QToolButton* button_;
    QTreeWidget* popup_ = nullptr;
};

// Editors for GridModel cells: a text box limited to the field width and to Windows-1252, or
// a LookupEdit on a codable column. Enter in an editor stores the cell and moves on as Tab.
class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
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
// keys that add or delete rows.
class DataGrid : public QTableView {
    Q_OBJECT
  public:
    DataGrid(GridModel* model, QWidget* parent);
    GridModel* gridModel() const { return model_; }
    // The current column counted as the grid shows it, with the row indicator as column 0.
    int currentGridColumn() const;
    // The width that shows every column and the vertical scroll bar.
    int contentWidth() const;
    // Stores the text of an open cell editor into its field and closes the editor.
    void commitEditor();

    // Runs when the current cell leaves a column (the column as currentGridColumn counts it).
    std::function<void(int gridColumn)> columnExit;

  protected:
    void keyPressEvent(QKeyEvent* e) override;

  private:
    GridModel* model_;
};

// Shows the standard error box for an error that ended a user action.
void showErrorBox(QWidget* parent, const std::string& text);

}  // namespace tz::timetable::gui
