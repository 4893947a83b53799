#include "intake/CentroNiveles.h"

#include <exception>
#include <string>
#include <unordered_map>

#include "intake/AbreviaturaUnica.h"
#include "intake/TextoFijo.h"
#include "tables/Catalogue.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"

namespace tz::intake {

namespace {

bool editando(const tables::Dataset& ds) {
    return ds.state() == tables::DatasetState::Edit || ds.state() == tables::DatasetState::Insert;
}

std::filesystem::path ficheroCentro() {
    return tables::ztempFile(tables::catalogue::xelCENTRO().fileName);
}
std::filesystem::path ficheroNiveles() {
    return tables::ztempFile(tables::catalogue::xelNIVIMP().fileName);
}

// The value of a field of the current row, or "" on an empty view.
std::string valor(const tables::Dataset& ds, const char* field) {
    return ds.isEmpty() && ds.state() == tables::DatasetState::Browse ? std::string()
                                                                      : ds.text(field);
}

}  // namespace

CentroNiveles::CentroNiveles(base::RunState& state, base::UserPort& port)
    : state_(state), port_(port) {}

CentroNiveles::~CentroNiveles() = default;

void CentroNiveles::ejecuta(const std::function<void()>& action) {
    if (accion) {
        accion(action);
        return;
    }
    try {
        action();
    } catch (const std::exception& e) {
        port_.setBusy(false);
        port_.errorBox(e.what());
    }
}

void CentroNiveles::DatosCentro() {
    if (!tables::tableExists(ficheroCentro())) {
        port_.message("No existe archivo del Centro (xelCENTRO.DBF)");
        state_.EstadoTransformado = -1;
        return;
    }
    if (!centro_.isOpen()) centro_.open(ficheroCentro(), tables::OpenMode::Shared);
    centro_.first();
    port_.setBusy(false);
    port_.showVolverNiveles(false);
    port_.showCentrePanel(true);
    // On an empty table this begins the row the user types the centre data into.
    if (!editando(centro_)) centro_.edit();
}

void CentroNiveles::BitBtn1Click() {
    if (state_.EstadoPaso == 0) {
        DatosNivel();
        return;
    }
    // Zandrix → XEL road: the export needs the three centre fields.
    if (!centro_.isOpen()) centro_.open(ficheroCentro(), tables::OpenMode::Shared);
    centro_.first();
    std::string cod = valor(centro_, "CODCENTRO");
    std::string ano = valor(centro_, "ANOACAD");
    std::string version = valor(centro_, "VERSION");
    if (base::trimControls(cod).empty() || base::trimControls(ano).empty() ||
        base::trimControls(version).empty()) {
        DatosCentro();
        return;
    }
    state_.EstadoPaso = 0;
    port_.showCentrePanel(false);
    centro_.close();
    if (importar2) importar2();
}

void CentroNiveles::DatosNivel() {
    if (centro_.isOpen()) {
        // Stored also when untouched, so an empty table gets its (blank) row.
        if (editando(centro_)) centro_.post();
        centro_.close();
    }
    if (!tables::tableExists(ficheroNiveles())) {
        port_.message("No existe archivo del Centro (xelNIVIMP.DBF)");
        state_.EstadoTransformado = -1;
        return;
    }
    if (!niveles_.isOpen()) niveles_.open(ficheroNiveles(), tables::OpenMode::Shared);
    niveles_.first();
    port_.showCentrePanel(false);
    port_.showLevelsPanel(true);
    port_.focusLevelsGrid();
}

void CentroNiveles::wwDBGridNIVIMPEnter() {
    if (niveles_.isOpen() && !editando(niveles_)) niveles_.edit();
}

void CentroNiveles::Button2Click() {
    state_.EstadoPaso = 0;
    port_.showLevelsPanel(false);
    DatosCentro();
}

void CentroNiveles::Button3Click() { DatosNivel(); }

void CentroNiveles::FinalRecogida() {
    if (!niveles_.isOpen()) niveles_.open(ficheroNiveles(), tables::OpenMode::Shared);
    if (editando(niveles_)) niveles_.post();
    CompruebaAbreviaturas();
    if (state_.EstadoPaso == 1) return;  // the panel stays on the repeated abbreviation
    AplicaAbreviaturasNivel();
    niveles_.close();
    port_.showVolverNiveles(true);
    port_.showLevelsPanel(false);
    port_.setBusy(false);
    port_.message("Proceso finalizado");
    if (state_.hosted()) port_.closeMainWindow();
}

void CentroNiveles::CompruebaAbreviaturas() {
    ListaCodigos cast, eusk;
    state_.EstadoPaso = 0;
    niveles_.first();
    if (niveles_.isEmpty()) return;
    for (; !niveles_.eof(); niveles_.next()) {
        // Values as read: trailing spaces are gone, leading ones count.
        std::string c = niveles_.text("ABREVCAST");
        if (!base::trimControls(c).empty()) {
            if (cast.contiene(c)) {
                port_.message("Abreviatura en Castellano Repetida - Compruébelo.");
                state_.EstadoPaso = 1;
                return;
            }
            cast.anade(c);
        }
        std::string e = niveles_.text("ABREVEUSK");
        if (!base::trimControls(e).empty()) {
            if (eusk.contiene(e)) {
                port_.message("Abreviatura en Euskera Repetida - Compruébelo.");
                state_.EstadoPaso = 1;
                return;
            }
            eusk.anade(e);
        }
    }
}

void CentroNiveles::AplicaAbreviaturasNivel() {
    // The first level of each code, in stored order, and its abbreviation in the chosen
    // language.
    const char* field = state_.euskera() ? "ABREVEUSK" : "ABREVCAST";
    std::unordered_map<std::string, std::string> abrev;
    niveles_.first();
    if (!niveles_.isEmpty())
        for (; !niveles_.eof(); niveles_.next())
            abrev.try_emplace(niveles_.text("COD"), niveles_.text(field));

    tables::Dataset grupos;
    grupos.open(tables::ztempFile(tables::catalogue::GRUPOST().fileName),
                tables::OpenMode::Exclusive);
    grupos.first();
    if (!grupos.isEmpty()) {
        for (; !grupos.eof(); grupos.next()) {
            auto it = abrev.find(grupos.text("NIVEL"));
            if (it == abrev.end() || base::trimControls(it->second).empty()) continue;
            grupos.edit();
            grupos.setText("NIVEL", it->second);
        }
        if (editando(grupos)) grupos.post();
    }
    grupos.close();
}

}  // namespace tz::intake
