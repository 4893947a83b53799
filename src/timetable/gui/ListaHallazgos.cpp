#include "timetable/gui/ListaHallazgos.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>

#include "tables/qt/DatasetModel.h"

namespace tz::timetable::gui {

using tables::qt::decodeCp1252;

ListaHallazgos::ListaHallazgos(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("ListaHallazgos"));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHeaderLabels({QStringLiteral("Profesor"), QStringLiteral("Día"), QStringLiteral("Sesión"),
                     QStringLiteral("Tipo"), QStringLiteral("Columna"), QStringLiteral("Falta")});
    const QFontMetrics fm(font());
    const int widths[] = {8, 5, 7, 5, 16};
    for (int c = 0; c < 5; ++c) setColumnWidth(c, fm.averageCharWidth() * widths[c] + 12);
    header()->setStretchLastSection(true);
    connect(this, &QTreeWidget::itemActivated, this, &ListaHallazgos::activa);
}

void ListaHallazgos::muestra(const std::vector<revision::Hallazgo>& hallazgos) {
    // The row shown stays current when it is still there.
    const int was = currentItem() ? indexOfTopLevelItem(currentItem()) : -1;
    hallazgos_ = hallazgos;
    setUpdatesEnabled(false);
    clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<int>(hallazgos_.size()));
    for (const auto& h : hallazgos_) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, decodeCp1252(h.profesor));
        item->setText(1, decodeCp1252(h.dia));
        item->setText(2, decodeCp1252(h.sesion));
        item->setText(3, h.tipo == 3 ? QStringLiteral("3 (%1)").arg(decodeCp1252(h.grupo))
                                     : QStringLiteral("2"));
        item->setText(4, QString::fromStdString(h.columna()));
        item->setText(5, QString::fromStdString(h.descripcion()));
        item->setToolTip(5, QString::fromStdString(h.linea()));
        if (h.posible) item->setForeground(5, QColor(150, 90, 0));
        items.append(item);
    }
    addTopLevelItems(items);
    if (!items.isEmpty()) setCurrentItem(items.value(std::clamp(was, 0, int(items.size()) - 1)));
    setUpdatesEnabled(true);
}

void ListaHallazgos::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && currentItem()) {
        activa(currentItem());
        e->accept();
        return;
    }
    QTreeWidget::keyPressEvent(e);
}

void ListaHallazgos::activa(QTreeWidgetItem* item) {
    const int i = item ? indexOfTopLevelItem(item) : -1;
    if (i < 0 || i >= static_cast<int>(hallazgos_.size())) return;
    // A copy: going there may check the tables again and replace the list.
    const revision::Hallazgo h = hallazgos_[static_cast<std::size_t>(i)];
    emit irA(h);
}

}  // namespace tz::timetable::gui
