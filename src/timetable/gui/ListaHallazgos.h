#pragma once
#include <QTreeView>
#include <vector>

#include "timetable/Revision.h"

namespace tz::timetable::gui {

// The findings of the completeness check, one row each: teacher, day, session, column and what
// is missing. Enter or a double-click on a row asks to go to its cell. The rows are a model
// over the findings whose cells are made as the view shows them, so a check with a hundred
// thousand findings costs no more to show than one with ten.
class ListaHallazgos : public QTreeView {
    Q_OBJECT
  public:
    explicit ListaHallazgos(QWidget* parent);
    // Shows the findings of `revision` (nullptr: none), which must outlive the list or be
    // replaced before it goes; shown again after each change. The row shown stays current
    // when it is still there.
    void muestra(const revision::Revision* revision);
    std::vector<revision::Hallazgo> hallazgos() const;

  signals:
    void irA(const tz::timetable::revision::Hallazgo& hallazgo);

  protected:
    void keyPressEvent(QKeyEvent* e) override;

  private:
    class Modelo;
    void activa(const QModelIndex& index);
    const revision::Revision* revision_ = nullptr;
    Modelo* modelo_;
};

}  // namespace tz::timetable::gui
