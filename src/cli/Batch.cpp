#include "cli/Batch.h"

#include "base/Texts.h"

namespace tz::cli {

int exitStatus(const BatchPort& port, const app::RunState& state, bool waitsForPerson) {
    if (port.errors > 0) return kError;
    if (waitsForPerson) return kEsperaPersona;
    if (port.said(app::texts::kProcesoNoFinalizado)) return kNoFinalizado;
    if (state.EstadoTransformado == -1 || port.said(app::texts::kNoExisteCarpeta))
        return kFaltaEntrada;
    if (port.said(app::texts::kProcesoFinalizado) && state.EstadoTransformado == 1)
        return kFinalizado;
    return kEsperaPersona;
}

}  // namespace tz::cli
