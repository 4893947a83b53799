#pragma once
#include "base/RunState.h"
#include "base/UserPort.h"

// The XEL → Zandrix steps that read the administration's text files. Each step reads
// state.CarpetaTextos (and state.idioma), writes its tables in \ZTEMP, reports a missing file
// through the port and sets state.EstadoTransformado to -1. Engine errors propagate.
namespace tz::intake {

void RecogeCatalogos(base::RunState& state, base::UserPort& port);
void RecogeAsignaturas(base::RunState& state, base::UserPort& port);
void RecogeProfesores(base::RunState& state, base::UserPort& port);
void RecogeGrupos(base::RunState& state, base::UserPort& port);

}  // namespace tz::intake
