#include "base/gui/BusquedaLista.h"

#include <QKeyEvent>
#include <QLabel>
#include <QTreeWidget>

namespace tz::base::gui {

BusquedaLista* BusquedaLista::instala(QTreeWidget* list) {
    auto* b = new BusquedaLista(list);
    list->installEventFilter(b);
    return b;
}

BusquedaLista::BusquedaLista(QTreeWidget* list)
    : QObject(list), list_(list), label_(new QLabel(list)) {
    label_->setObjectName(QStringLiteral("busqueda"));
    label_->setStyleSheet(
        QStringLiteral("background: rgb(255,255,225); border: 1px solid gray; padding: 1px 3px;"));
    label_->hide();
}

void BusquedaLista::filtra(const QString& text) {
    texto_ = text;
    const QString needle = text.toCaseFolded();
    QTreeWidgetItem* first = nullptr;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        bool match = needle.isEmpty();
        for (int c = 0; !match && c < list_->columnCount(); ++c)
            match = item->text(c).toCaseFolded().contains(needle);
        // The code written into the cell counts too, when it is no column of its own.
        if (!match) match = item->data(0, Qt::UserRole).toString().toCaseFolded().contains(needle);
        item->setHidden(!match);
        if (match && !first) first = item;
    }
    list_->setCurrentItem(first);
    if (first) list_->scrollToItem(first);
    if (text.isEmpty()) {
        label_->hide();
    } else {
        label_->setText(first ? QStringLiteral("Buscar: %1").arg(text)
                              : QStringLiteral("Buscar: %1 (ninguno)").arg(text));
        label_->adjustSize();
        label_->move(2, list_->height() - label_->height() - 2);
        label_->show();
        label_->raise();
    }
}

bool BusquedaLista::eventFilter(QObject* object, QEvent* event) {
    if (object == list_ && event->type() == QEvent::Show && !texto_.isEmpty()) {
        filtra(QString());  // a list opened again shows every row
        return false;
    }
    if (object != list_ || event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Backspace) {
        if (texto_.isEmpty()) return false;
        filtra(texto_.left(texto_.size() - 1));
        return true;
    }
    const QString t = key->text();
    if (t.isEmpty() || !t.at(0).isPrint() ||
        (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    filtra(texto_ + t);
    return true;
}

}  // namespace tz::base::gui
