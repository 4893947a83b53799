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
    void muestra(const std::vector<revision::Hallazgo>& hallazgos);
    const std::vector<revision::Hallazgo>& hallazgos() const { return hallazgos_; }

  signals:
    void irA(const tz::timetable::revision::Hallazgo& hallazgo);

  protected:
    void keyPressEvent(QKeyEvent* e) override;

  private:
    class Modelo;
    void activa(const QModelIndex& index);
    std::vector<revision::Hallazgo> hallazgos_;
    Modelo* modelo_;
};

}  // namespace tz::timetable::gui
