#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/RunState.h"
#include "base/UserPort.h"
#include "tables/Dataset.h"
#include "timetable/CuadroHorario.h"
#include "timetable/Revision.h"

namespace tz::timetable {

// The catalogues behind the drop-down lists of the adjustment window, in opening order.
enum class Catalogo { TIPDOC, TIPTAR, GRUPNIV, ASIGNAT, IDIOMA, OTRACT };

// A codable cell: which grid and field, which catalogue lists its codes, which columns the list
// shows (name, width in characters) and which column holds the code written into the field.
struct Desplegable {
    enum Rejilla { Profesores, Tipo2 } rejilla;
    const char* campo;
    Catalogo catalogo;
    std::vector<std::pair<const char*, int>> columnas;
    const char* codigo;
};
// The six codable cells.
const std::vector<Desplegable>& desplegables();

// Columns of the teachers grid, counting the row indicator as column 0.
enum ColumnaProfesor { ColAbrev = 1, ColTipoDni = 2, ColDni = 3, ColNombre = 4, ColDepart = 5 };
// The PROFT field shown in a teachers-grid column ("" for the indicator or out of range).
const char* campoProfesor(int column);

// The logic of the code adjustment window (TAjustaXEL), without Qt: its table views, the
// handlers of its controls and the timetable text file writer. The window binds its widgets to
// the views and forwards its events here; the batch front end calls the same operations.
//
// Handlers throw the engine's errors (tables::EngineError) and runtime errors; run them through
// guarded() to end the action with the standard error box as the window does.
class AjustaXEL : public base::Adjustment {
  public:
    // The logic behind the work a port was given to show (std::bad_cast for any other work).
    static AjustaXEL& of(base::Adjustment& work) { return dynamic_cast<AjustaXEL&>(work); }

    // FormCreate: opens the eleven views in order. A view that cannot be opened is reported
    // through the port's error box, and the views after it stay closed.
    AjustaXEL(base::RunState& state, base::UserPort& port);
    ~AjustaXEL() override;
    AjustaXEL(const AjustaXEL&) = delete;
    AjustaXEL& operator=(const AjustaXEL&) = delete;

    // Outcome of "&Salir": 0, or 4 when the job did not finish.
    int ResultadoAjuste = 0;
    // The text folder (with its final separator), copied from the run state when the window opens.
    std::string CarpetaTextos;
    // The lessons the export that opened the window could not place, for the check to list.
    std::vector<revision::LeccionSinColocar> sinColocar;

    tables::Dataset& wwTablexelCENTRO() { return centro_; }
    tables::Dataset& wwTableProfesor() { return profesor_; }
    tables::Dataset& wwTableCUADROH2() { return cuadroh2_; }
    tables::Dataset& wwTableCUADROH3() { return cuadroh3_; }
    tables::Dataset& wwTableCUADROH3AUX() { return cuadroh3aux_; }
    tables::Dataset& catalogo(Catalogo c) { return catalogos_[static_cast<int>(c)]; }

    // Centre boxes. Change: a box's text changed (starts editing the centre row). Exit: a box
    // was left (stores the row, a new one included, so centre data typed into an empty centre
    // table are kept). setCentro types a value into a box: Change, then the field is set
    // (without line ends typed or pasted after it).
    void DBEditCODECENTROChange();
    void DBEditCODECENTROExit();
    void setCentro(std::string_view field, std::string_view value);

    // Document propagation: leaving column `column` of the teachers grid ("TipoDOC" = 2 and
    // "DOCUMENTO" = 3 carry the teacher's document into all the teacher's type 2 and type 3
    // rows; other columns do nothing). FieldChanged runs the same with the current column.
    // A document being entered loses the line ends (CR, LF) typed or pasted after it first.
    void wwDBGridPROFTColExit(int column);
    void wwDBGridPROFTFieldChanged(int column);
    // Typing `value` into column `column` of the current teacher row, as the grid does: the row
    // goes into editing, the field takes the value, FieldChanged runs with that column current.
    void editaProfesor(int column, std::string_view value);
    // Runs `action` (many teachers' documents entered one after another) with the teacher
    // table and the export tables batched: what it stores reaches their files together, once
    // it returns (tables::WriteBatch). Throws EngineError when they cannot be written.
    void enLote(const std::function<void()>& action);

    // "&Salir": the document check, the text file, EstadoPaso, the views closed. When it ends
    // with the window to be closed, salirCerro() becomes true; otherwise the window stays open.
    void BitBtn1Click();
    bool salirCerro() const { return salirCerro_; }
    // The window closed any other way (its close box): pending edits are stored, the job counts
    // as not finished (ResultadoAjuste and EstadoPaso 4) and the views are closed. Does nothing
    // after "&Salir" closed the window, or when run again.
    void FormClose();

    // Writes fCUADROS.txt into CarpetaTextos from the centre row, every CUADROH2 row in slot-key
    // order and the CUADROH3 rows of each. Works on cursors of its own, so the views stay as
    // the user left them. A missing folder: "No existe la carpeta", ResultadoAjuste 4.
    void CreaTXTCuadroHorario();

    // The centre view's current row, pending values included (blank when there is none).
    cuadro::Centro centroActual() const;
    // The tables "&Salir" needs that did not open ("xelCENTRO.DBF", "PROFT.DBF", ...).
    std::vector<std::string> tablasSinAbrir() const;

    // The completeness check of what "&Salir" would write, as the window stands: the centre
    // data, the lessons not placed, and every CUADROH2 and CUADROH3 row (pending edits
    // included) against the catalogues of the lists and the bell schedule. Engine errors
    // propagate (export tables that cannot be read).
    revision::Revision revisa() const;

    // Runs one user action; an engine or runtime error ends it with the standard error box.
    // Returns false when the action failed.
    bool guarded(const std::function<void()>& action);

    // The confirmation asked by "&Salir" for a teacher without a document.
    static const std::string& preguntaSinDocumento();

  private:
    void openViews();
    void closeViews();
    void storePending();

    base::RunState& state_;
    base::UserPort& port_;
    // Masters before their details, so that the details go first on destruction.
    tables::Dataset centro_;
    tables::Dataset profesor_;
    tables::Dataset cuadroh2_;
    tables::Dataset cuadroh3_;
    tables::Dataset cuadroh3aux_;
    tables::Dataset catalogos_[6];
    bool salirCerro_ = false;
    bool cerrada_ = false;
};

}  // namespace tz::timetable
