#pragma once
#include <functional>

#include "base/RunState.h"
#include "base/UserPort.h"
#include "tables/Dataset.h"

namespace tz::intake {

// The centre panel and the study levels panel of the main window, without Qt: the two
// datasets the panels' grids are bound to and the operations behind their buttons.
class CentroNiveles {
  public:
    CentroNiveles(base::RunState& state, base::UserPort& port);
    ~CentroNiveles();

    // Runs the timetable export (set by the job sequences; called by BitBtn1Click on the
    // Zandrix → XEL road).
    std::function<void()> importar2;

    // Runs one user action (a panel button, the grid's Enter) with the standard error handling.
    // The job sequences may set their own wrapper; unset, an engine or runtime error restores
    // the cursor and shows the standard error box.
    std::function<void(const std::function<void()>&)> accion;
    void ejecuta(const std::function<void()>& action);

    void DatosCentro();
    void DatosNivel();
    void BitBtn1Click();   // "OK" of the centre panel
    void FinalRecogida();  // "Aceptar" of the levels panel
    void wwDBGridNIVIMPEnter();
    void Button2Click();  // "Volver a Datos Centro"
    void Button3Click();  // "Volver a Niveles Estudios"
    void CompruebaAbreviaturas();
    void AplicaAbreviaturasNivel();

    // \ZTEMP\xelCENTRO.DBF and \ZTEMP\xelNIVIMP.DBF, opened shared while their panel needs them.
    tables::Dataset& centro() { return centro_; }
    tables::Dataset& niveles() { return niveles_; }

  private:
    base::RunState& state_;
    base::UserPort& port_;
    tables::Dataset centro_;
    tables::Dataset niveles_;
};

}  // namespace tz::intake
