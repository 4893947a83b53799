#pragma once
class QWidget;

namespace tz::timetable {
class AjustaXEL;
}

namespace tz::timetable::gui {

// The modal bell-schedule check window (TControlPlantilla); returns when it has closed.
void runControlPlantilla(QWidget* owner);
// The modal adjustment window (TAjustaXEL) over the logic; returns when it has closed.
void runAjustaXEL(QWidget* owner, AjustaXEL& logic);

}  // namespace tz::timetable::gui
