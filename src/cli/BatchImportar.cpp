// The Zandrix → XEL job in a batch run: the bell schedule accepted as it stands, the centre
// data from --centro when the centre table had to be made, the two questions answered from
// --nueva and --solo-codificar, the documents of --documentos typed into the teachers grid,
// then "&Salir" (a teacher still without a document is answered "&No").
#include <string>

#include "cli/Batch.h"
#include "cli/BatchRegistro.h"
#include "timetable/AjustaXEL.h"
#include "timetable/Timetable.h"
#include "timetable/Validacion.h"

namespace tz::cli {
namespace {

// The batch cannot type the centre data a person would: it stops, saying which option gives them.
std::string detenidoPorCentro(const std::string& why) {
    return "El trabajo se detiene: " + why +
           ". Indique los datos del centro con --centro COD,AÑO,VERSION";
}

// `typeCentro`: the centre panel did not take --centro (the centre table existed), so the
// data go into the adjustment window's centre boxes instead. `espera` becomes true when the
// job must stop for a person: the centre data are missing and no option gave them.
void adjust(timetable::AjustaXEL& a, const BatchOptions& o, BatchPort& port, bool typeCentro,
            bool& espera) {
    // A table that did not open has been reported; "&Salir" tells that no file is written.
    if (!a.tablasSinAbrir().empty()) {
        a.guarded([&] { a.BitBtn1Click(); });
        if (!a.salirCerro()) a.FormClose();
        return;
    }
    if (typeCentro && o.centro) {
        a.guarded([&] {
            if (!a.wwTablexelCENTRO().isOpen()) return;
            a.setCentro("CODCENTRO", o.centro->codigo);
            a.setCentro("ANOACAD", o.centro->anoacad);
            a.setCentro("VERSION", o.centro->version);
            a.DBEditCODECENTROExit();
        });
    }
    // Blank or unusable centre data would make the header of fCUADROS.txt: a person must act.
    timetable::cuadro::Centro c;
    if (!a.guarded([&] { c = a.centroActual(); })) {
        a.FormClose();
        return;
    }
    if (const std::string regla =
            timetable::validacion::reglaCentro(c.CODCENTRO, c.ANOACAD, c.VERSION);
        !regla.empty()) {
        port.note(detenidoPorCentro("en xelCENTRO.DBF " + regla));
        espera = true;
        a.FormClose();
        return;
    }
    // The documents reach the files together, once every one is entered.
    a.guarded([&] {
        a.enLote([&] {
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
        });
    });
    // What would reach fCUADROS.txt malformed or incomplete, one warning line each. A file
    // that cannot be checked is not written.
    const bool revisado = a.guarded([&] {
        const timetable::revision::Revision r = a.revisa();
        for (std::size_t i = 0; i < r.size(); ++i) {
            port.noteMade([&](std::string& out) {
                out += "Aviso: ";
                r.anadeLinea(i, out);
            });
        }
        if (!r.empty()) port.note("Aviso: " + timetable::revision::textoResumen(r.resumen()));
    });
    if (!revisado) {
        a.FormClose();
        return;
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
    bool centroPorPanel = false, espera = false;
    port.onAdjustment = [&](timetable::AjustaXEL& a) {
        adjust(a, o, port, !centroPorPanel, espera);
    };

    app::Jobs jobs(port);
    jobs.registro().porLotes();
    jobs.BImportarClick(o.textos);
    bool waits = false;
    if (port.errors == 0 && port.centreVisible) {
        // The centre table had to be made: the panel waits for the centre data.
        if (!o.centro) {
            port.note(detenidoPorCentro("no existía xelCENTRO.DBF y faltan los datos del centro"));
            waits = true;
        } else {
            centroPorPanel = true;
            if (jobs.guarded([&] { fillCentre(jobs, *o.centro); })) {
                jobs.BitBtn1Click();
                waits = port.errors == 0 && port.centreVisible;  // incomplete centre data
            }
        }
    }
    return cierraRegistro(jobs, exitStatus(port, jobs.state(), waits || espera));
}

}  // namespace tz::cli
