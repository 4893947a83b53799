#include <string>
#include <unordered_map>
#include <vector>

#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"
#include "timetable/AjustaXEL.h"
#include "timetable/Texto.h"
#include "timetable/Timetable.h"

namespace tz::timetable {

using tables::Dataset;
using tables::OpenMode;

const std::string& preguntaConservar() {
    static const std::string text =
        "Si Conserva los Datos de la Exportación Anterior,\r"
        "estos se ajustarán a los cambios hechos en el horario,\r"
        "pero se conservarán los Códigos XEL puestos anteriormente.\r"
        "¿Desea Conservar los Datos de la Exportación Anterior?";
    return text;
}

const std::string& preguntaCodificar() {
    static const std::string text =
        "Si desea acceder directamente a la Codificación XEL, pulse SÍ.\r" + std::string(61, ' ') +
        "\rSi desea Exportar Nuevamente Conservando Datos, pulse NO.";
    return text;
}

void CreaTablasCuadro() {
    namespace cat = tables::catalogue;
    tables::deleteTableFiles(tables::ztempFile("CUADROH2.DBF"));
    tables::createTable(tables::ztemp(), cat::CUADROH2());
    tables::deleteTableFiles(tables::ztempFile("CUADROH3.DBF"));
    tables::createTable(tables::ztemp(), cat::CUADROH3());
}

std::string claveSesion(std::string_view prof, std::string_view dia, std::int64_t hora) {
    std::string h = std::to_string(hora);
    if (h.size() != 2) h = "0" + h;
    return fitted(prof, 4) + std::string(dia) + h;
}

namespace {

// The main window's fixed definitions of the timetabler's tables name "c:\ztemp".
std::filesystem::path mainWindowTable(const char* name) {
    return tables::mapPath(std::string("c:\\ztemp\\") + name);
}

struct Grupo {
    std::string nivel, codigo, alumnos;
};
struct Horas {
    std::string ini, fin;
};

// Sets a field only while it is blank, so that codes entered earlier survive a kept export.
void setIfBlank(Dataset& ds, const char* field, const std::string& value) {
    if (blank(ds.text(field))) ds.setText(field, value);
}

// Positions `ds` on the row of slot key `key` and begins editing it, or begins a new row.
void editOrAppend(Dataset& ds, const std::string& key) {
    if (ds.findKey(key))
        ds.edit();
    else
        ds.append();
}

// Deletes the rows still marked "N", then marks every remaining row "N".
void cleanUp(Dataset& ds) {
    const int regMod = ds.fieldIndex("REG_MOD");
    if (regMod < 0)
        throw tables::EngineError("El campo REG_MOD no existe en la tabla " + ds.tableName());
    std::vector<tables::Bookmark> gone;
    const int n = ds.recordCount();
    for (int i = 0; i < n; ++i)
        if (ds.textAt(i, regMod) == "N") gone.push_back(ds.bookmarkAt(i));
    for (auto b : gone) {
        ds.gotoBookmark(b);
        ds.remove();
    }
    if (ds.isEmpty()) return;
    for (ds.first(); !ds.eof(); ds.next()) {
        if (ds.text(regMod) == "N") continue;
        ds.edit();
        ds.setText(regMod, "N");
        ds.post();
    }
}

}  // namespace

void ExportaCuadros() {
    Dataset soluc, grupos, profes, asignas;
    soluc.open(mainWindowTable("SOLUC"), OpenMode::Exclusive);
    grupos.open(mainWindowTable("GRUPOST"), OpenMode::Exclusive);
    profes.open(mainWindowTable("PROFT"), OpenMode::Exclusive);
    profes.setIndex("ABREV");
    asignas.open(mainWindowTable("ASIGNOMT"), OpenMode::Exclusive);

    Dataset h2, h3, plantilla;
    h2.open(tables::ztempFile("CUADROH2.DBF"), OpenMode::Shared);
    h2.setIndex("PROF_DIA_SES");
    h3.open(tables::ztempFile("CUADROH3.DBF"), OpenMode::Shared);
    h3.setIndex("PROF_DIA_SES");
    plantilla.open(tables::ztempFile("PLANTILLA.DBF"), OpenMode::Shared);
    plantilla.setIndex("HORA");

    // First rows by key, read once: the group and subject look-ups take the first row in file
    // order whose abbreviation matches exactly, and the hours the first row of each hour number.
    std::unordered_map<std::string, Grupo> grupoDe;
    for (grupos.first(); !grupos.isEmpty() && !grupos.eof(); grupos.next())
        grupoDe.try_emplace(grupos.text("ABREV"),
                            Grupo{fitted(grupos.text("NIVELXEL"), 3), grupos.text("CODGRUXEL"),
                                  grupos.text("NUMALUMN")});
    std::unordered_map<std::string, std::string> asignaturaDe;
    for (asignas.first(); !asignas.isEmpty() && !asignas.eof(); asignas.next())
        asignaturaDe.try_emplace(asignas.text("COD"), fitted(asignas.text("CODIGOXEL"), 4));
    std::unordered_map<std::int64_t, Horas> horasDe;
    for (plantilla.first(); !plantilla.isEmpty() && !plantilla.eof(); plantilla.next())
        horasDe.try_emplace(plantilla.integer("HORA"),
                            Horas{plantilla.text("HORAINI"), plantilla.text("HORAFIN")});

    for (soluc.first(); !soluc.isEmpty() && !soluc.eof(); soluc.next()) {
        const std::string prof = soluc.text("PROF");
        const std::int64_t dia = soluc.integer("DIA");
        if (dia == 0 || prof.empty()) continue;
        const std::string diaTexto = soluc.text("DIA");
        const std::int64_t hora = soluc.integer("HORA");
        const std::int64_t sesiones = soluc.integer("SESIONES");
        const std::string codGrupo = soluc.text("CODGRUPO");
        const std::string asig = soluc.text("ASIG");
        const std::string tareaLeccion = soluc.text("TAREA");
        const std::string aula = soluc.text("AULA");

        // Teacher: a missing one is added with its abbreviation alone.
        std::string dni, tipoDni;
        if (profes.findKey(prof)) {
            dni = profes.text("DNI");
            tipoDni = profes.text("TIPODNI");
        } else {
            profes.append();
            profes.setText("ABREV", prof);
            profes.setText("NOMBRE", "");
            profes.setText("DEPART", "");
            profes.setText("DNI", "");
            profes.post();
        }

        const std::string clave = fitted(claveSesion(prof, diaTexto, hora), 7);
        const std::string abrevProf = clave.substr(0, 4);
        const std::string diaSem = clave.substr(4, 1);
        const std::string diaSes = clave.substr(4, 3);
        const std::string numSesion = clave.substr(5, 2);

        // SESIONES counts the lesson's consecutive hours: it ends with its last hour.
        std::string horaIni, horaFin;
        if (auto it = horasDe.find(hora); it != horasDe.end()) horaIni = it->second.ini;
        const std::int64_t ultima = sesiones <= 1 ? hora : hora + sesiones - 1;
        if (auto it = horasDe.find(ultima); it != horasDe.end()) horaFin = it->second.fin;

        const auto grupoIt = grupoDe.find(codGrupo);
        const bool grupoHallado = grupoIt != grupoDe.end();
        const Grupo grupo = grupoHallado ? grupoIt->second : Grupo{};

        std::string codAsig;
        if (auto it = asignaturaDe.find(asig); it != asignaturaDe.end()) codAsig = it->second;

        std::string tarea = tareaLeccion;
        if (blank(tarea)) tarea = grupoHallado ? "101" : "";

        editOrAppend(h2, clave);
        h2.setText("TIPREG", "2");
        setIfBlank(h2, "TIPDOC", tipoDni);
        h2.setText("ABREVPROF", abrevProf);
        setIfBlank(h2, "DOC", dni);
        h2.setText("NUMSESION", numSesion);
        h2.setText("DIASEM", diaSem);
        setIfBlank(h2, "TIPTAR", tarea);
        h2.setText("HORAINI", horaIni);
        h2.setText("HORAFIN", horaFin);
        setIfBlank(h2, "GRUPNIV", grupo.nivel);
        h2.setText("ABREVASIG", asig);
        h2.setText("CODASIG", codAsig);
        h2.setText("TIPASIG", " ");
        h2.setText("IDIOMA", "02");
        h2.setText("AULA_OBS", fitted(aula, 30));
        h2.setText("TIP_ACTIV", "   ");
        h2.setText("PROF_DIA_SES", clave);
        h2.setText("DIA_SES", diaSes);
        h2.setText("REG_MOD", "S");
        h2.post();

        if (blank(codGrupo)) continue;
        const bool nueva = !h3.findKey(clave);
        if (nueva)
            h3.append();
        else
            h3.edit();
        h3.setText("TIPREG", "3");
        const std::string antes = h3.text("ABREVGRUP");
        h3.setText("ABREVGRUP", codGrupo);
        if (nueva || h3.text("ABREVGRUP") != antes) h3.setText("CODGRUPO", grupo.codigo);
        setIfBlank(h3, "TIPDOC", tipoDni);
        h3.setText("ABREVPROF", abrevProf);
        setIfBlank(h3, "DOC", dni);
        h3.setText("NUMSESGRUP", numSesion);
        h3.setText("DIASEM", diaSem);
        if (blank(h3.text("NUMALUM")) || !blank(grupo.alumnos))
            h3.setText("NUMALUM", grupo.alumnos);
        h3.setText("PROF_DIA_SES", clave);
        h3.setText("REG_MOD", "S");
        h3.post();
    }

    soluc.close();
    grupos.close();
    profes.close();
    asignas.close();

    cleanUp(h2);
    cleanUp(h3);
    h2.close();
    h3.close();
}

void Importar2(app::RunState& state, app::UserPort& port) {
    if (!tables::tableExists(tables::ztempFile("CUADROH2.DBF"))) {
        CreaTablasCuadro();
        state.EstadoPaso = 1;
    } else if (!port.confirm(preguntaConservar())) {
        CreaTablasCuadro();
        state.EstadoPaso = 1;
    }

    bool exportar = true;
    if (state.EstadoPaso == 0 && port.confirm(preguntaCodificar())) {
        state.EstadoPaso = 0;
        exportar = false;
    }
    if (exportar) ExportaCuadros();

    {
        AjustaXEL ajuste(state, port);
        port.runAdjustment(ajuste);
        // Any way out other than "&Salir" counts as the close box.
        if (!ajuste.salirCerro()) ajuste.FormClose();
    }

    if (state.EstadoPaso != 4) state.EstadoPaso = 0;
    port.setBusy(false);
    state.EstadoTransformado = 1;
    port.message(state.EstadoPaso == 4 ? "!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente"
                                       : "Proceso finalizado");
    if (state.hosted()) port.closeMainWindow();
}

}  // namespace tz::timetable
