#pragma once
#include "tables/Dataset.h"

namespace tz::timetable {

// The logic of the bell-schedule check window (TControlPlantilla), without Qt: its view over
// the table "plantilla" of "C:\ZTEMP" (no index, rows in file order) and the handlers of the
// grid and of "Aceptar". Engine errors propagate.
class ControlPlantilla {
  public:
    // The grid receives the focus: opens the table if it is closed and puts the current row
    // into editing (unless a row is already being edited).
    void PlantiHorDBGridEnter();
    // The grid loses the focus: stores a pending row (a new row nobody typed into is dropped).
    void PlantiHorDBGridExit();
    // "Aceptar": closes the table; the window then closes.
    void BitBtn1Click();

    tables::Dataset& plantilla() { return plantilla_; }

  private:
    tables::Dataset plantilla_;
};

}  // namespace tz::timetable
