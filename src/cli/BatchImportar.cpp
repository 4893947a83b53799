// The Zandrix → XEL job in a batch run: the bell schedule accepted as it stands, the centre
// data from --centro when the centre table had to be made, the two questions answered from
// --nueva and --solo-codificar, the documents of --documentos typed into the teachers grid,
// then "&Salir" (a teacher still without a document is answered "&No").
#include <string>

#include "cli/Batch.h"
#include "cli/BatchRegistro.h"
#include "timetable/AjustaXEL.h"
#include "timetable/Timetable.h"

namespace tz::cli {
namespace {

// `typeCentro`: the centre panel did not take --centro (the centre table existed), so the
// data go into the adjustment window's centre boxes instead.
void adjust(timetable::AjustaXEL& a, const BatchOptions& o, BatchPort& port, bool typeCentro) {
    if (typeCentro && o.centro) {
        a.guarded([&] {
            if (!a.wwTablexelCENTRO().isOpen()) return;
            a.setCentro("CODCENTRO", o.centro->codigo);
            a.setCentro("ANOACAD", o.centro->anoacad);
            a.setCentro("VERSION", o.centro->version);
            a.DBEditCODECENTROExit();
        });
    }
    for (const Documento& d : o.documentosDatos) {
        const bool ok = a.guarded([&] {
            tables::Dataset& prof = a.wwTableProfesor();
            if (!prof.isOpen() || !prof.findKey(d.abrev)) {
                port.note("No existe el profesor " + d.abrev + ": se omite");
                return;
            }
            a.editaProfesor(timetable::ColTipoDni, d.tipoDni);
            a.wwDBGridPROFTColExit(timetable::ColTipoDni);
            a.editaProfesor(timetable::ColDni, d.dni);
            a.wwDBGridPROFTColExit(timetable::ColDni);
        });
        if (!ok) break;
    }
    a.guarded([&] { a.BitBtn1Click(); });
    // A failed "&Salir" leaves the window open; nobody is there to try again.
    if (!a.salirCerro()) a.FormClose();
}

}  // namespace

int runImportar(const BatchOptions& o, BatchPort& port) {
    port.answer = [&o](const std::string& text) {
        if (text == timetable::preguntaConservar()) return !o.nueva;
        if (text == timetable::preguntaCodificar()) return o.soloCodificar;
        return false;  // a teacher without a document: go on without correcting
    };
    bool centroPorPanel = false;
    port.onAdjustment = [&](timetable::AjustaXEL& a) { adjust(a, o, port, !centroPorPanel); };

    app::Jobs jobs(port);
    jobs.registro().porLotes();
    jobs.BImportarClick(o.textos);
    bool waits = false;
    if (port.errors == 0 && port.centreVisible) {
        // The centre table had to be made: the panel waits for the centre data.
        if (!o.centro) {
            waits = true;
        } else {
            centroPorPanel = true;
            if (jobs.guarded([&] { fillCentre(jobs, *o.centro); })) {
                jobs.BitBtn1Click();
                waits = port.errors == 0 && port.centreVisible;  // incomplete centre data
            }
        }
    }
    return cierraRegistro(jobs, exitStatus(port, jobs.state(), waits));
}

}  // namespace tz::cli
