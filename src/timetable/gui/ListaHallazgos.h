#pragma once
#include <QTreeWidget>
#include <vector>

#include "timetable/Revision.h"

namespace tz::timetable::gui {

// The findings of the completeness check, one row each: teacher, day, session, column and what
// is missing. Enter or a double-click on a row asks to go to its cell.
class ListaHallazgos : public QTreeWidget {
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
    void activa(QTreeWidgetItem* item);
    std::vector<revision::Hallazgo> hallazgos_;
};

}  // namespace tz::timetable::gui
