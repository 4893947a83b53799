#include "cli/Batch.h"

#include "base/Texts.h"

namespace tz::cli {

int exitStatus(const BatchPort& port, const base::RunState& state, bool waitsForPerson) {
    if (port.errors > 0) return kError;
    if (waitsForPerson) return kEsperaPersona;
    if (port.said(base::texts::kProcesoNoFinalizado)) return kNoFinalizado;
    if (state.EstadoTransformado == -1 || port.said(base::texts::kNoExisteCarpeta))
        return kFaltaEntrada;
    if (port.said(base::texts::kProcesoFinalizado) && state.EstadoTransformado == 1)
        return kFinalizado;
    return kEsperaPersona;
}

}  // namespace tz::cli
