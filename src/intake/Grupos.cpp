// RecogeGrupos: the groups of fGRUPOS.txt into GRUPOST.DBF and its header line into
// xelCENTRO.DBF.
#include <string>
#include <unordered_map>

#include "intake/AbreviaturaUnica.h"
#include "intake/Intake.h"
#include "intake/TextoFijo.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"

namespace tz::intake {

namespace {

// The list of group keys (level + course + group number, letter case ignored). The first free
// key of a base is remembered: keys are only ever added, so the numbers below it stay taken.
class ClavesGrupo {
  public:
    // The group number character for `nivel` + `curso`, its key added to the list.
    char numera(const std::string& nivel, const std::string& curso) {
        std::string first = nivel + curso + "1";
        if (!keys_.contiene(first)) {
            keys_.anade(first);
            return '1';
        }
        std::string base = nivel + curso;
        int& n = nextFree_[pliegaMayusculas(base)];
        if (n < 1) n = 1;
        std::string key;
        for (;; ++n) {
            key = base + std::to_string(n);
            if (!keys_.contiene(key)) break;
        }
        keys_.anade(key);
        ++n;
        return key.back();
    }

  private:
    ListaCodigos keys_;
    std::unordered_map<std::string, int> nextFree_;
};

void cabecera(std::string_view line) {
    tables::Dataset centro;
    centro.open(tables::ztempFile(tables::catalogue::xelCENTRO().fileName),
                tables::OpenMode::Shared);
    centro.append();
    centro.setText("CODCENTRO", columna(line, 4, 6));
    centro.setText("ANOACAD", columna(line, 10, 4));
    centro.setText("VERSION", columna(line, 14, 1));
    centro.post();
    centro.close();
}

}  // namespace

void RecogeGrupos(base::RunState& state, base::UserPort& port) {
    std::filesystem::path file = ficheroTexto(state.CarpetaTextos, "fGRUPOS.txt");
    if (!tables::fileExists(file)) {
        port.message("No existe archivo de grupos (fGRUPOS.TXT)");
        state.EstadoTransformado = -1;
        return;
    }
    TextoFijo text(file);
    const tables::TableLayout& layout = tables::catalogue::GRUPOST();
    std::filesystem::path table = tables::ztempFile(layout.fileName);
    tables::deleteTableFiles(table);
    tables::createTable(tables::ztemp(), layout);
    tables::catalogue::CreaTablaCentro();

    ListaCodigos given;
    ClavesGrupo claves;
    bool centroEscrito = false;
    tables::Dataset grupos;
    grupos.open(table, tables::OpenMode::Shared);
    // The rows reach the file in a few writes when the step has made them all.
    tables::WriteBatch lote({&grupos});

    std::string line;
    while (text.next(line)) {
        std::string_view tipo = columna(line, 1, 1);
        if (tipo == "1") {
            // The centre table holds one row: a second header line is ignored.
            if (!centroEscrito) cabecera(line);
            centroEscrito = true;
            continue;
        }
        if (tipo != "2") continue;

        std::string turno = campo(line, 46, 1);
        std::string nivelXel = campo(line, 37, 3);
        std::string nivel = nivelXel.empty() ? "NIV" : nivelXel;
        std::string curso = campo(line, 48, 2);
        char grupo = claves.numera(nivel, curso);
        std::string abrev = AbreviaturaUnica(campo(line, 7, 4), given);

        grupos.append();
        grupos.setText("ABREV", abrev);
        grupos.setText("TURNO", turno);
        grupos.setText("NIVEL", nivel);
        grupos.setText("CURSO", curso);
        grupos.setText("GRUPO", std::string(1, grupo));
        grupos.setText("CODGRUXEL", campo(line, 2, 5));
        grupos.setText("ALIASXEL", campo(line, 7, 30));
        grupos.setText("NIVELXEL", nivelXel);
        grupos.setText("ESPECXEL", campo(line, 40, 6));
        grupos.setText("TURNOXEL", campo(line, 46, 2));
        grupos.setText("CURSOXEL", curso);
        grupos.setText("NUMALUMN", campo(line, 211, 2));
        grupos.post();
    }
    lote.commit();
    grupos.close();
}

}  // namespace tz::intake
