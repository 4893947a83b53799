#include "timetable/gui/ListaHallazgos.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>
#include <functional>

#include "tables/qt/DatasetModel.h"

namespace tz::timetable::gui {

using tables::qt::decodeCp1252;

// The findings as rows; a cell's text is made when the view asks for it.
class ListaHallazgos::Modelo : public QAbstractTableModel {
  public:
    Modelo(const revision::Revision* const& revision, QObject* parent)
        : QAbstractTableModel(parent), revision_(revision) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !revision_ ? 0 : static_cast<int>(revision_->size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 6;
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        static const char* const titles[] = {"Profesor", "Día",     "Sesión",
                                             "Tipo",     "Columna", "Falta"};
        if (o != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 5) return {};
        return QString::fromUtf8(titles[section]);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) return {};
        const int c = index.column();
        const bool shown = role == Qt::DisplayRole || (role == Qt::ToolTipRole && c == 5) ||
                           (role == Qt::ForegroundRole && c == 5);
        if (!shown) return {};
        const revision::Hallazgo h = revision_->hallazgo(static_cast<std::size_t>(index.row()));
        if (role == Qt::DisplayRole) {
            switch (c) {
                case 0:
                    return decodeCp1252(h.profesor);
                case 1:
                    return decodeCp1252(h.dia);
                case 2:
                    return decodeCp1252(h.sesion);
                case 3:
                    if (h.tipo == 1) return QStringLiteral("Centro");
                    if (h.tipo == 0) return QStringLiteral("SOLUC");
                    return h.tipo == 3 ? QStringLiteral("3 (%1)").arg(decodeCp1252(h.grupo))
                                       : QStringLiteral("2");
                case 4:
                    return QString::fromStdString(h.columna());
                case 5:
                    return QString::fromStdString(h.descripcion());
            }
        }
        if (role == Qt::ToolTipRole && c == 5) return QString::fromStdString(h.linea());
        if (role == Qt::ForegroundRole && c == 5 && h.posible) return QColor(150, 90, 0);
        return {};
    }
    void reset(const std::function<void()>& change) {
        beginResetModel();
        change();
        endResetModel();
    }

  private:
    const revision::Revision* const& revision_;
};

ListaHallazgos::ListaHallazgos(QWidget* parent)
    : QTreeView(parent), modelo_(new Modelo(revision_, this)) {
    setObjectName(QStringLiteral("ListaHallazgos"));
    setModel(modelo_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    const QFontMetrics fm(font());
    const int widths[] = {8, 5, 7, 7, 16};
    for (int c = 0; c < 5; ++c) setColumnWidth(c, fm.averageCharWidth() * widths[c] + 12);
    header()->setStretchLastSection(true);
    connect(this, &QTreeView::activated, this, &ListaHallazgos::activa);
}

void ListaHallazgos::muestra(const revision::Revision* revision) {
    const int was = currentIndex().isValid() ? currentIndex().row() : -1;
    modelo_->reset([&] { revision_ = revision; });
    const int n = modelo_->rowCount();
    if (n > 0) setCurrentIndex(modelo_->index(std::clamp(was, 0, n - 1), 0));
}

std::vector<revision::Hallazgo> ListaHallazgos::hallazgos() const {
    return revision_ ? revision_->hallazgos() : std::vector<revision::Hallazgo>{};
}

void ListaHallazgos::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        activa(currentIndex());
        e->accept();
        return;
    }
    QTreeView::keyPressEvent(e);
}

void ListaHallazgos::activa(const QModelIndex& index) {
    const int i = index.isValid() ? index.row() : -1;
    if (i < 0 || i >= modelo_->rowCount()) return;
    // A copy: going there may check the tables again and change the list.
    const revision::Hallazgo h = revision_->hallazgo(static_cast<std::size_t>(i));
    emit irA(h);
}

}  // namespace tz::timetable::gui
