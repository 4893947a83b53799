// RecogeAsignaturas: the subjects of fASIGNAT.txt, then the task types of xelTIPTAR, into
// ASIGNOMT.DBF.
#include <string>

#include "intake/AbreviaturaUnica.h"
#include "intake/Intake.h"
#include "intake/TextoFijo.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"

namespace tz::intake {

void RecogeAsignaturas(base::RunState& state, base::UserPort& port) {
    std::filesystem::path file = ficheroTexto(state.CarpetaTextos, "fASIGNAT.txt");
    if (!tables::fileExists(file)) {
        port.message("No existe archivo de asignaturas (fASIGNAT.TXT)");
        state.EstadoTransformado = -1;
        return;
    }
    TextoFijo text(file);
    const tables::TableLayout& layout = tables::catalogue::ASIGNOMT();
    std::filesystem::path table = tables::ztempFile(layout.fileName);
    tables::deleteTableFiles(table);
    tables::createTable(tables::ztemp(), layout);
    ListaCodigos given;
    tables::Dataset asignomt;
    asignomt.open(table, tables::OpenMode::Shared);
    // The rows reach the file in a few writes when the step has made them all.
    tables::WriteBatch lote({&asignomt});

    // Columns of the chosen language: code, short name, name.
    const bool eusk = state.euskera();
    const int codStart = eusk ? 249 : 125;
    const int shortStart = eusk ? 229 : 105;
    const int nameStart = eusk ? 129 : 5;

    std::string line;
    while (text.next(line)) {
        std::string codXel = campo(line, 1, 4);
        std::string cod = campo(line, codStart, 4);
        std::string corto = campo(line, shortStart, 20);
        std::string nombre = campo(line, nameStart, 100);
        cod = AbreviaturaUnica(cod, given);
        asignomt.append();
        asignomt.setText("COD", cod);
        asignomt.setText("CODLARGO", corto);
        asignomt.setText("NOMBRE", nombre);
        asignomt.setText("CODIGOXEL", codXel);
        asignomt.setLogical("ESTAREA", false);
        asignomt.post();
    }

    tables::Dataset tiptar;
    tiptar.open(tables::ztempFile("xelTIPTAR.DBF"), tables::OpenMode::Shared);
    const char* descField = eusk ? "DESCEUSK" : "DESCCAST";
    for (tiptar.first(); !tiptar.eof() && !tiptar.isEmpty(); tiptar.next()) {
        std::string cod = tiptar.text("COD");
        std::string desc = tiptar.text(descField);
        asignomt.append();
        asignomt.setText("COD", cod);
        asignomt.setText("CODLARGO", std::string_view(desc).substr(0, 8));
        asignomt.setText("NOMBRE", desc);
        asignomt.setText("CODIGOXEL", cod);
        asignomt.setLogical("ESTAREA", true);
        asignomt.post();
    }
    lote.commit();
    asignomt.close();
    tiptar.close();
}

}  // namespace tz::intake
