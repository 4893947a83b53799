#include "intake/gui/DatasetDelegate.h"

#include <QComboBox>
#include <QLineEdit>

#include "tables/qt/DatasetModel.h"

namespace tz::intake::gui {

using tables::qt::Cp1252Validator;
using tables::qt::DatasetModel;

QWidget* DatasetDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                       const QModelIndex& index) const {
    const int maxLength = index.data(DatasetModel::MaxLengthRole).toInt();
    const QStringList picks = index.data(DatasetModel::PickListRole).toStringList();
    if (!picks.isEmpty()) {
        auto* box = new QComboBox(parent);
        box->setEditable(true);
        box->addItems(picks);
        box->lineEdit()->setValidator(new Cp1252Validator(maxLength, box));
        return box;
    }
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    if (maxLength > 0) edit->setMaxLength(maxLength);
    edit->setValidator(new Cp1252Validator(maxLength, edit));
    return edit;
}

void DatasetDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    const QString value = index.data(Qt::EditRole).toString();
    if (auto* box = qobject_cast<QComboBox*>(editor))
        box->setCurrentText(value);
    else if (auto* edit = qobject_cast<QLineEdit*>(editor))
        edit->setText(value);
}

void DatasetDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                   const QModelIndex& index) const {
    QString value;
    if (auto* box = qobject_cast<QComboBox*>(editor))
        value = box->currentText();
    else if (auto* edit = qobject_cast<QLineEdit*>(editor))
        value = edit->text();
    else
        return;
    if (value != index.data(Qt::EditRole).toString()) model->setData(index, value, Qt::EditRole);
}

}  // namespace tz::intake::gui
