// The XEL → Zandrix job in a batch run: the sequence, then the centre panel's "OK" and the
// levels panel's "Aceptar" with the abbreviations of --niveles.
#include <string>

#include "base/Texts.h"
#include "cli/Batch.h"
#include "cli/BatchRegistro.h"

namespace tz::cli {

void fillCentre(app::Jobs& jobs, const CentroDatos& c) {
    tables::Dataset& ds = jobs.centro().centro();
    if (!ds.isOpen()) return;
    ds.first();
    ds.edit();  // an empty table begins a new row
    ds.setText("CODCENTRO", c.codigo);
    ds.setText("ANOACAD", c.anoacad);
    ds.setText("VERSION", c.version);
}

namespace {

// Sets both abbreviations of every level row with that code, as typed into the grid.
void fillNiveles(app::Jobs& jobs, const BatchOptions& o, BatchPort& port) {
    tables::Dataset& ds = jobs.centro().niveles();
    if (!ds.isOpen()) return;
    for (const NivelAbrev& n : o.nivelesDatos) {
        bool found = false;
        for (ds.first(); !ds.isEmpty() && !ds.eof(); ds.next()) {
            if (ds.text("COD") != n.cod) continue;
            found = true;
            ds.edit();
            ds.setText("ABREVCAST", n.abrevCast);
            ds.setText("ABREVEUSK", n.abrevEusk);
            ds.post();
        }
        if (!found) port.note("No existe el nivel " + n.cod + ": se omite");
    }
    ds.first();
}

}  // namespace

int runExportar(const BatchOptions& o, BatchPort& port) {
    app::Jobs jobs(port);
    jobs.registro().porLotes();
    jobs.state().idioma = o.idioma;
    jobs.BExportarClick(o.textos);
    bool waits = false;
    if (port.errors == 0 && port.centreVisible) {
        if (o.centro && !jobs.guarded([&] { fillCentre(jobs, *o.centro); }))
            return cierraRegistro(jobs, exitStatus(port, jobs.state(), false));
        jobs.BitBtn1Click();
        if (port.errors == 0 && port.levelsVisible) {
            jobs.wwDBGridNIVIMPEnter();
            if (jobs.guarded([&] { fillNiveles(jobs, o, port); })) {
                jobs.FinalRecogida();
                // A repeated abbreviation keeps the panel for the user to correct.
                waits = port.errors == 0 && port.levelsVisible && jobs.state().EstadoPaso == 1;
            }
        }
    }
    return cierraRegistro(jobs, exitStatus(port, jobs.state(), waits));
}

}  // namespace tz::cli
