#pragma once
#include <QStyledItemDelegate>

namespace tz::intake::gui {

// Editor for cells of a DatasetModel: a line edit that takes at most the field width and only
// characters that Windows-1252 can hold, or a drop-down when the column has a pick list.
class DatasetDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
};

}  // namespace tz::intake::gui
