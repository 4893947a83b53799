#include "timetable/ControlPlantilla.h"

#include "tables/Paths.h"

namespace tz::timetable {

using tables::DatasetState;

void ControlPlantilla::PlantiHorDBGridEnter() {
    if (!plantilla_.isOpen())
        plantilla_.open(tables::mapPath("C:\\ZTEMP\\plantilla"), tables::OpenMode::Shared);
    if (plantilla_.state() != DatasetState::Edit && plantilla_.state() != DatasetState::Insert)
        plantilla_.edit();
}

void ControlPlantilla::PlantiHorDBGridExit() {
    if (!plantilla_.isOpen()) return;
    if (plantilla_.state() == DatasetState::Edit)
        plantilla_.post();
    else if (plantilla_.state() == DatasetState::Insert) {
        // An empty table begins a new row on entering; a blank hour row is not worth keeping.
        if (plantilla_.modified())
            plantilla_.post();
        else
            plantilla_.cancel();
    }
}

void ControlPlantilla::BitBtn1Click() { plantilla_.close(); }

}  // namespace tz::timetable
