// RecogeCatalogos: the seven catalogue text files into the xel catalogue tables.
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "intake/Intake.h"
#include "intake/TextoFijo.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"

namespace tz::intake {

namespace {

struct Columna {
    int start;
    int length;
    const char* field;
};

struct Catalogo {
    const char* file;
    const tables::TableLayout& (*layout)();
    bool selector;  // fTIPTAR.txt: a line is taken only when column 1 is "1"
    std::vector<Columna> columns;
    const char* missing;
};

const std::vector<Catalogo>& catalogos() {
    namespace c = tables::catalogue;
    static const std::vector<Catalogo> list = {
        {"fTIPTAR.txt",
         c::xelTIPTAR,
         true,
         {{2, 3, "COD"},
          {5, 1, "REFUERZO"},
          {6, 1, "OTRACTIV"},
          {7, 250, "DESCCAST"},
          {257, 250, "DESCEUSK"}},
         "No existe archivo de asignaturas (fTIPTAR.TXT)"},
        {"fASIGNAT.txt",
         c::xelASIGNAT,
         false,
         {{1, 4, "COD"},
          {5, 100, "DESCCAST"},
          {105, 20, "DESCCASTR"},
          {125, 4, "CODCAST"},
          {129, 100, "DESCEUSK"},
          {229, 20, "DESCEUSKR"},
          {249, 4, "CODEUSK"}},
         "No existe archivo de asignaturas (fASIGNAT.TXT)"},
        {"fOTRACT.txt",
         c::xelOTRACT,
         false,
         {{1, 3, "COD"},
          {4, 100, "DESCCAST"},
          {104, 100, "DESCEUSK"},
          {204, 20, "DESCCASTR"},
          {224, 20, "DESCEUSKR"}},
         "No existe archivo de asignaturas (fOTRACT.TXT)"},
        {"fTIPDOC.txt",
         c::xelTIPDOC,
         false,
         {{1, 1, "COD"}, {2, 100, "DESCCAST"}, {102, 100, "DESCEUSK"}},
         "No existe archivo de asignaturas (fTIPDOC.TXT)"},
        {"fNIVIMP.txt",
         c::xelNIVIMP,
         false,
         {{1, 3, "COD"},
          {4, 3, "GRUPNIV"},
          {7, 100, "DESCCAST"},
          {107, 100, "DESCEUSK"},
          {207, 20, "DESCCASTR"},
          {227, 20, "DESCEUSKR"}},
         "No existe archivo de asignaturas (fNIVIMP.TXT)"},
        {"fIDIOMA.txt",
         c::xelIDIOMA,
         false,
         {{1, 2, "IDIOMA"},
          {3, 100, "DESCCAST"},
          {103, 100, "DESCEUSK"},
          {203, 4, "DESCCASTR"},
          {207, 4, "DESCEUSKR"}},
         "No existe archivo de asignaturas (fIDIOMA.TXT)"},
        {"fGRUPNIV.txt",
         c::xelGRUPNIV,
         false,
         {{1, 3, "NIVEL"},
          {4, 50, "DESCCAST"},
          {54, 50, "DESCEUSK"},
          {104, 3, "GRUPOPADRE"},
          {107, 1, "IDTIPTAREA"},
          {108, 50, "ORDEN"}},
         "No existe archivo de asignaturas (fGRUPNIV.TXT)"},
    };
    return list;
}

// Deletes one file of the exchange folder when it exists; a failure is ignored.
void borraFichero(const char* name) {
    std::error_code ec;
    std::filesystem::path p = tables::ztempFile(name);
    if (tables::fileExists(p)) std::filesystem::remove(tables::findExisting(p), ec);
}

void recogeCatalogo(const Catalogo& cat, TextoFijo& text) {
    const tables::TableLayout& layout = cat.layout();
    std::filesystem::path table = tables::ztempFile(layout.fileName);
    tables::deleteTableFiles(table);
    tables::createTable(tables::ztemp(), layout);
    tables::Dataset ds;
    ds.open(table, tables::OpenMode::Shared);
    // The rows reach the file in a few writes when the step has made them all.
    tables::WriteBatch lote({&ds});
    std::string line;
    while (text.next(line)) {
        if (cat.selector && base::trimControls(columna(line, 1, 1)) != "1") continue;
        ds.append();
        for (const Columna& col : cat.columns)
            ds.setText(col.field, base::trimControls(columna(line, col.start, col.length)));
        ds.post();
    }
    lote.commit();
    ds.close();
}

}  // namespace

void RecogeCatalogos(base::RunState& state, base::UserPort& port) {
    borraFichero("ASIGT.DBF");
    borraFichero("DIASHORAT.DBF");
    for (const Catalogo& cat : catalogos()) {
        std::filesystem::path file = ficheroTexto(state.CarpetaTextos, cat.file);
        if (!tables::fileExists(file)) {
            port.message(cat.missing);
            state.EstadoTransformado = -1;
            return;
        }
        TextoFijo text(file);
        recogeCatalogo(cat, text);
    }
}

}  // namespace tz::intake
