#pragma once
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVector>
#include <functional>

#include "base/gui/DatasetDelegate.h"
#include "base/gui/DatasetGrid.h"
#include "tables/qt/DatasetModel.h"

class QToolButton;
class QTreeWidget;

namespace tz::timetable::gui {

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
};

// A data-bound grid: two-line titles, the row indicator at the left, columns as wide as their
// fields (at least their title's longest word), Enter moving to the next cell like Tab, and no
// keys that add or delete rows. F4, Alt+Down or a click on a codable cell's button open its list.
class DataGrid : public base::gui::DatasetGrid {
    Q_OBJECT
  public:
    DataGrid(GridModel* model, QWidget* parent);
    GridModel* gridModel() const { return model_; }
    // Its cell editors; a codable column gets its catalogue list in `lookups`.
    base::gui::DatasetDelegate* cellDelegate() const { return delegate_; }
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
    base::gui::DatasetDelegate* delegate_;
};

// Shows the standard error box for an error that ended a user action.
void showErrorBox(QWidget* parent, const std::string& text);

}  // namespace tz::timetable::gui
