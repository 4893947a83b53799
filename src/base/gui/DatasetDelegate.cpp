#include "base/gui/DatasetDelegate.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionToolButton>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>

#include "base/gui/BusquedaLista.h"
#include "base/gui/DatasetGrid.h"

namespace tz::base::gui {

using tables::qt::Cp1252Validator;
using tables::qt::DatasetModel;
using tables::qt::decodeCp1252;

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

// --- DatasetDelegate -----------------------------------------------------------------------------

QRect lookupButtonRect(const QRect& cell) {
    return QRect(cell.right() - 15, cell.top(), 16, cell.height());
}

void DatasetDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    if (!lookups.contains(index.column()) || !(index.flags() & Qt::ItemIsEditable)) {
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

QWidget* DatasetDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                       const QModelIndex& index) const {
    const int maxLength = index.data(DatasetModel::MaxLengthRole).toInt();
    if (lookups.contains(index.column())) {
        auto* lookup = new LookupEdit(lookups.value(index.column()), maxLength, parent);
        lookup->lineEdit()->installEventFilter(const_cast<DatasetDelegate*>(this));
        auto* self = const_cast<DatasetDelegate*>(this);
        connect(lookup, &LookupEdit::picked, self, [self, lookup] {
            if (lookup->property(DatasetGrid::kClosedProperty).toBool()) return;
            lookup->setProperty(DatasetGrid::kClosedProperty, true);
            emit self->commitData(lookup);
            emit self->closeEditor(lookup, QAbstractItemDelegate::NoHint);
        });
        return lookup;
    }
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
    if (auto* lookup = qobject_cast<LookupEdit*>(editor))
        lookup->setText(value);
    else if (auto* box = qobject_cast<QComboBox*>(editor))
        box->setCurrentText(value);
    else if (auto* edit = qobject_cast<QLineEdit*>(editor))
        edit->setText(value);
}

void DatasetDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                   const QModelIndex& index) const {
    QString value;
    if (auto* lookup = qobject_cast<LookupEdit*>(editor))
        value = lookup->text();
    else if (auto* box = qobject_cast<QComboBox*>(editor))
        value = box->currentText();
    else if (auto* edit = qobject_cast<QLineEdit*>(editor))
        value = edit->text();
    else
        return;
    if (value != index.data(Qt::EditRole).toString()) model->setData(index, value, Qt::EditRole);
}

void DatasetDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex&) const {
    QRect r = option.rect;
    // A codable cell narrower than its text and button grows to the right.
    if (qobject_cast<LookupEdit*>(editor)) r.setWidth(std::max(r.width(), 44));
    editor->setGeometry(r);
}

bool DatasetDelegate::eventFilter(QObject* object, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return false;
    // The editor the view knows: the LookupEdit around a list cell's text box.
    QWidget* editor = widget;
    if (auto* lookup = qobject_cast<LookupEdit*>(widget->parentWidget())) editor = lookup;
    auto* lookup = qobject_cast<LookupEdit*>(editor);
    // An editor already handed back to the view sees nothing more.
    if (editor->property(DatasetGrid::kClosedProperty).toBool()) return false;
    auto finish = [&](QAbstractItemDelegate::EndEditHint hint, bool commit = true) {
        editor->setProperty(DatasetGrid::kClosedProperty, true);
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

}  // namespace tz::base::gui
