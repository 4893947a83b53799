#pragma once
#include <QLineEdit>
#include <QMap>
#include <QPair>
#include <QStyledItemDelegate>
#include <QVector>

#include "tables/qt/DatasetModel.h"

class QToolButton;
class QTreeWidget;

namespace tz::base::gui {

// A drop-down list of catalogue rows: the columns shown (field, width in characters) and the
// field whose value is written into the cell.
struct LookupList {
    tables::Dataset* catalogue = nullptr;  // may be closed: the list is then empty
    QVector<QPair<QString, int>> columns;
    QString codeField;
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

// The cell editors of every data grid over a DatasetModel: a text box that takes at most the
// field width and only characters that Windows-1252 can hold; a drop-down of values when the
// column has a pick list (DatasetModel::PickListRole); a LookupEdit on a column given a
// catalogue list in `lookups`. Codable cells show their list button also when no editor is
// open. Esc in an editor gives the cell back unchanged; F4 and Alt+Down open the list; Tab and
// Enter are left to the grid (DatasetGrid), which stores the cell and moves on.
class DatasetDelegate : public QStyledItemDelegate {
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

    // Catalogue lists by model column.
    QMap<int, LookupList> lookups;

  protected:
    bool eventFilter(QObject* editor, QEvent* event) override;
};

}  // namespace tz::base::gui
