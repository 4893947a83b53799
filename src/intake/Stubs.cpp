// Placeholder bodies until the steps are built (this file is removed then).
#include "intake/CentroNiveles.h"
#include "intake/Intake.h"

namespace tz::intake {
void RecogeCatalogos(app::RunState&, app::UserPort&) {}
void RecogeAsignaturas(app::RunState&, app::UserPort&) {}
void RecogeProfesores(app::RunState&, app::UserPort&) {}
void RecogeGrupos(app::RunState&, app::UserPort&) {}

CentroNiveles::CentroNiveles(app::RunState& state, app::UserPort& port)
    : state_(state), port_(port) {}
CentroNiveles::~CentroNiveles() = default;
void CentroNiveles::DatosCentro() {}
void CentroNiveles::DatosNivel() {}
void CentroNiveles::BitBtn1Click() {}
void CentroNiveles::FinalRecogida() {}
void CentroNiveles::wwDBGridNIVIMPEnter() {}
void CentroNiveles::Button2Click() {}
void CentroNiveles::Button3Click() {}
void CentroNiveles::CompruebaAbreviaturas() {}
void CentroNiveles::AplicaAbreviaturasNivel() {}
}  // namespace tz::intake
