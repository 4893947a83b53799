#pragma once
#include "base/RunState.h"
#include "base/UserPort.h"

// The XEL → Zandrix steps that read the administration's text files. Each step reads
// state.CarpetaTextos (and state.idioma), writes its tables in \ZTEMP, reports a missing file
// through the port and sets state.EstadoTransformado to -1. Engine errors propagate.
namespace tz::intake {

void RecogeCatalogos(app::RunState& state, app::UserPort& port);
void RecogeAsignaturas(app::RunState& state, app::UserPort& port);
void RecogeProfesores(app::RunState& state, app::UserPort& port);
void RecogeGrupos(app::RunState& state, app::UserPort& port);

}  // namespace tz::intake
