#pragma once
#include <QDialog>

#include "timetable/ControlPlantilla.h"

class QPushButton;

namespace tz::timetable::gui {

class DataGrid;

// The bell-schedule check window: the grid over "C:\ZTEMP\plantilla" with its navigator, the
// instruction and "Aceptar". Engine errors end the action with the standard error box. Esc (once
// no cell is being typed into: there it gives the cell back) and the close box do what
// "Aceptar" does, so what was typed is stored and the job goes on.
class TControlPlantilla : public QDialog {
    Q_OBJECT
  public:
    explicit TControlPlantilla(QWidget* owner);
    ~TControlPlantilla() override;

    DataGrid* PlantiHorDBGrid() const { return grid_; }
    QPushButton* BitBtn1() const { return aceptar_; }
    ControlPlantilla& logic() { return logic_; }

    // Esc and the close box: as "Aceptar".
    void reject() override;

  protected:
    void paintEvent(QPaintEvent* e) override;
    void showEvent(QShowEvent* e) override;

  private:
    void BitBtn1Click();
    void focusMoved(QWidget* from, QWidget* to);
    bool guarded(const std::function<void()>& action);

    ControlPlantilla logic_;
    DataGrid* grid_ = nullptr;
    QPushButton* aceptar_ = nullptr;
};

}  // namespace tz::timetable::gui
