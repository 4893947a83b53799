// RecogeProfesores: the teachers of fPROFES.txt into PROFT.DBF.
#include <string>

#include "intake/AbreviaturaUnica.h"
#include "intake/Intake.h"
#include "intake/TextoFijo.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"

namespace tz::intake {

void RecogeProfesores(base::RunState& state, base::UserPort& port) {
    std::filesystem::path file = ficheroTexto(state.CarpetaTextos, "fPROFES.txt");
    if (!tables::fileExists(file)) {
        port.message("No existe archivo de profesores (fPROFES.TXT)");
        state.EstadoTransformado = -1;
        return;
    }
    TextoFijo text(file);
    const tables::TableLayout& layout = tables::catalogue::PROFT();
    std::filesystem::path table = tables::ztempFile(layout.fileName);
    tables::deleteTableFiles(table);
    tables::createTable(tables::ztemp(), layout);
    ListaCodigos given;
    tables::Dataset proft;
    proft.open(table, tables::OpenMode::Shared);
    // The rows reach the file in a few writes when the step has made them all.
    tables::WriteBatch lote({&proft});

    std::string line;
    while (text.next(line)) {
        if (columna(line, 1, 1) == "1") continue;  // header line
        std::string tipoDni(columna(line, 3, 1));  // not trimmed
        std::string dni = campo(line, 4, 15);
        std::string parte1 = campo(line, 19, 40);
        std::string parte2 = campo(line, 59, 40);
        std::string parte3 = campo(line, 99, 20);
        std::string depart = campo(line, 125, 100);

        std::string iniciales;
        for (const std::string* p : {&parte1, &parte2, &parte3})
            if (!p->empty()) iniciales += p->front();
        std::string abrev = AbreviaturaUnica(base::trimControls(iniciales), given);

        proft.append();
        proft.setText("ABREV", abrev);
        proft.setText("NOMBRE", parte1 + " " + parte2 + " " + parte3);
        proft.setText("DEPART", depart);
        proft.setText("DNI", dni);
        proft.setText("TIPODNI", tipoDni);
        proft.post();
    }
    lote.commit();
    proft.close();
}

}  // namespace tz::intake
