#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "base/RunState.h"
#include "base/UserPort.h"
#include "timetable/Revision.h"

namespace tz::intake {
class CentroNiveles;
}

// The Zandrix → XEL steps.
namespace tz::timetable {

// Bell schedule: creates \ZTEMP\PLANTILLA.DBF when missing, runs the modal check window,
// sets the busy cursor, and sends the user to the centre panel when xelCENTRO.DBF is missing.
void PlantillaCentro(base::RunState& state, base::UserPort& port, intake::CentroNiveles& centro);
// Creates CUADROH2.DBF and CUADROH3.DBF empty.
void CreaTablasCuadro();
// The timetable export, the adjustment window and the final message.
void Importar2(base::RunState& state, base::UserPort& port);

// The table work of the timetable export: every lesson of SOLUC into CUADROH2.DBF and
// CUADROH3.DBF (teachers missing from PROFT are appended), then the rows of periods that no
// lesson gave any more are deleted and every row is marked "N". Returns the lessons whose day
// or hours do not fit the week and the bell schedule: they are not written. Engine errors
// propagate.
std::vector<revision::LeccionSinColocar> ExportaCuadros();
// The message of lessons not placed: "Hay N lecciones de SOLUC que no se pueden colocar ...".
std::string textoSinColocar(std::size_t n);
// The default rows of a new PLANTILLA.DBF: hour h (1 to 20) → its start and end time.
std::string horaInicioPorDefecto(int h);
std::string horaFinPorDefecto(int h);
// The slot key of a lesson: teacher fitted to 4, the day's text, the hour as two digits
// (a leading "0" unless its decimal text has exactly two characters).
std::string claveSesion(std::string_view prof, std::string_view dia, std::int64_t hora);

// The questions Importar2 asks (lines separated by "\r").
const std::string& preguntaConservar();
const std::string& preguntaCodificar();

}  // namespace tz::timetable
