#pragma once
#include "app/RunState.h"
#include "app/UserPort.h"

namespace tz::intake {
class CentroNiveles;
}

// The Zandrix → XEL steps.
namespace tz::timetable {

// Bell schedule: creates \ZTEMP\PLANTILLA.DBF when missing, runs the modal check window,
// sets the busy cursor, and sends the user to the centre panel when xelCENTRO.DBF is missing.
void PlantillaCentro(app::RunState& state, app::UserPort& port, intake::CentroNiveles& centro);
// Creates CUADROH2.DBF and CUADROH3.DBF empty.
void CreaTablasCuadro();
// The timetable export, the adjustment window and the final message.
void Importar2(app::RunState& state, app::UserPort& port);

}  // namespace tz::timetable
