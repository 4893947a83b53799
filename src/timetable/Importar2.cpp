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
#include "timetable/Validacion.h"

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

std::string textoSinColocar(std::size_t n) {
    const std::string cuantas =
        n == 1 ? "Hay 1 lección de SOLUC que no se puede colocar"
               : "Hay " + std::to_string(n) + " lecciones de SOLUC que no se pueden colocar";
    return cuantas +
           " en la semana o en la plantilla horaria: " + (n == 1 ? "no pasa" : "no pasan") +
           " a fCUADROS.txt.\rCorrija su día u hora en Zandrix, o añada la hora a la plantilla "
           "horaria, y exporte de nuevo. La revisión de códigos " +
           (n == 1 ? "la muestra." : "las muestra una a una.");
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

// The position of a field the step needs; a table without it is an engine error.
int field(const Dataset& ds, const char* name) {
    const int i = ds.fieldIndex(name);
    if (i < 0)
        throw tables::EngineError("El campo " + std::string(name) + " no existe en la tabla " +
                                  ds.tableName());
    return i;
}

// Sets a field only while it is blank, so that codes entered earlier survive a kept export.
void setIfBlank(Dataset& ds, int f, const std::string& value) {
    if (blank(ds.text(f))) ds.setText(f, value);
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

std::vector<revision::LeccionSinColocar> ExportaCuadros() {
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

    // Field positions, resolved once for the whole run.
    const int sProf = field(soluc, "PROF"), sDia = field(soluc, "DIA"),
              sHora = field(soluc, "HORA"), sSesiones = field(soluc, "SESIONES"),
              sGrupo = field(soluc, "CODGRUPO"), sAsig = field(soluc, "ASIG"),
              sTarea = field(soluc, "TAREA"), sAula = field(soluc, "AULA");
    const int pAbrev = field(profes, "ABREV"), pNombre = field(profes, "NOMBRE"),
              pDepart = field(profes, "DEPART"), pDni = field(profes, "DNI"),
              pTipo = field(profes, "TIPODNI");
    const int d2Tipreg = field(h2, "TIPREG"), d2Tipdoc = field(h2, "TIPDOC"),
              d2Abrev = field(h2, "ABREVPROF"), d2Doc = field(h2, "DOC"),
              d2Sesion = field(h2, "NUMSESION"), d2Dia = field(h2, "DIASEM"),
              d2Tarea = field(h2, "TIPTAR"), d2Ini = field(h2, "HORAINI"),
              d2Fin = field(h2, "HORAFIN"), d2Nivel = field(h2, "GRUPNIV"),
              d2Asig = field(h2, "ABREVASIG"), d2CodAsig = field(h2, "CODASIG"),
              d2TipAsig = field(h2, "TIPASIG"), d2Idioma = field(h2, "IDIOMA"),
              d2Aula = field(h2, "AULA_OBS"), d2Activ = field(h2, "TIP_ACTIV"),
              d2Clave = field(h2, "PROF_DIA_SES"), d2DiaSes = field(h2, "DIA_SES"),
              d2Mod = field(h2, "REG_MOD");
    const int d3Tipreg = field(h3, "TIPREG"), d3Grupo = field(h3, "ABREVGRUP"),
              d3Codigo = field(h3, "CODGRUPO"), d3Tipdoc = field(h3, "TIPDOC"),
              d3Abrev = field(h3, "ABREVPROF"), d3Doc = field(h3, "DOC"),
              d3Sesion = field(h3, "NUMSESGRUP"), d3Dia = field(h3, "DIASEM"),
              d3Alumnos = field(h3, "NUMALUM"), d3Clave = field(h3, "PROF_DIA_SES"),
              d3Mod = field(h3, "REG_MOD");

    // First rows by key, read once: the group and subject look-ups take the first row in file
    // order whose abbreviation matches exactly, and the hours the first row of each hour number.
    std::unordered_map<std::string, Grupo> grupoDe;
    {
        const int gAbrev = field(grupos, "ABREV"), gNivel = field(grupos, "NIVELXEL"),
                  gCodigo = field(grupos, "CODGRUXEL"), gAlumnos = field(grupos, "NUMALUMN");
        for (int i = 0, n = grupos.recordCount(); i < n; ++i)
            grupoDe.try_emplace(grupos.textAt(i, gAbrev),
                                Grupo{fitted(grupos.textAt(i, gNivel), 3),
                                      grupos.textAt(i, gCodigo), grupos.textAt(i, gAlumnos)});
    }
    std::unordered_map<std::string, std::string> asignaturaDe;
    {
        const int aCod = field(asignas, "COD"), aXel = field(asignas, "CODIGOXEL");
        for (int i = 0, n = asignas.recordCount(); i < n; ++i)
            asignaturaDe.try_emplace(asignas.textAt(i, aCod), fitted(asignas.textAt(i, aXel), 4));
    }
    std::unordered_map<std::int64_t, Horas> horasDe;
    validacion::Horas horas;
    {
        const int hHora = field(plantilla, "HORA"), hIni = field(plantilla, "HORAINI"),
                  hFin = field(plantilla, "HORAFIN");
        // In HORA order, equal hours in file order: the first row of each hour wins.
        for (plantilla.first(); !plantilla.isEmpty() && !plantilla.eof(); plantilla.next())
            if (const auto h = validacion::entero(plantilla.text(hHora))) {
                horasDe.try_emplace(*h, Horas{plantilla.text(hIni), plantilla.text(hFin)});
                horas.insert(*h);
            }
    }

    // Lessons whose day or hours do not fit the week and the bell schedule are listed instead:
    // written, they would sit at an hour 00 or a day the file cannot carry, or share the slot
    // of another lesson.
    std::vector<revision::LeccionSinColocar> sinColocar;

    int fila = 0;
    for (soluc.first(); !soluc.isEmpty() && !soluc.eof(); soluc.next()) {
        ++fila;
        const std::string prof = soluc.text(sProf);
        const std::string diaTexto = soluc.text(sDia);
        if (validacion::omitida(prof, diaTexto)) continue;
        const std::string horaTexto = soluc.text(sHora);
        validacion::Colocacion sitio =
            validacion::coloca(diaTexto, horaTexto, soluc.text(sSesiones), horas);
        const std::string codGrupo = soluc.text(sGrupo);
        const std::string asig = soluc.text(sAsig);
        const std::string tareaLeccion = soluc.text(sTarea);
        const std::string aula = soluc.text(sAula);
        if (!sitio.motivo.empty()) {
            sinColocar.push_back(
                {fila, prof, diaTexto, horaTexto, codGrupo, asig, std::move(sitio.motivo)});
            continue;
        }
        const std::int64_t hora = sitio.hora;

        // Teacher: a missing one is added with its abbreviation alone.
        std::string dni, tipoDni;
        if (profes.findKey(prof)) {
            dni = profes.text(pDni);
            tipoDni = profes.text(pTipo);
        } else {
            profes.append();
            profes.setText(pAbrev, prof);
            profes.setText(pNombre, "");
            profes.setText(pDepart, "");
            profes.setText(pDni, "");
            profes.post();
        }

        const std::string clave = fitted(claveSesion(prof, diaTexto, hora), 7);
        const std::string abrevProf = clave.substr(0, 4);
        const std::string diaSem = clave.substr(4, 1);
        const std::string diaSes = clave.substr(4, 3);
        const std::string numSesion = clave.substr(5, 2);

        // SESIONES counts the lesson's consecutive hours: it ends with its last hour. Both
        // hours are in the bell schedule (coloca).
        const std::string horaIni = horasDe.at(hora).ini;
        const std::string horaFin = horasDe.at(sitio.ultima).fin;

        const auto grupoIt = grupoDe.find(codGrupo);
        const bool grupoHallado = grupoIt != grupoDe.end();
        const Grupo grupo = grupoHallado ? grupoIt->second : Grupo{};

        std::string codAsig;
        if (auto it = asignaturaDe.find(asig); it != asignaturaDe.end()) codAsig = it->second;

        std::string tarea = tareaLeccion;
        if (blank(tarea)) tarea = grupoHallado ? "101" : "";

        editOrAppend(h2, clave);
        h2.setText(d2Tipreg, "2");
        setIfBlank(h2, d2Tipdoc, tipoDni);
        h2.setText(d2Abrev, abrevProf);
        setIfBlank(h2, d2Doc, dni);
        h2.setText(d2Sesion, numSesion);
        h2.setText(d2Dia, diaSem);
        setIfBlank(h2, d2Tarea, tarea);
        h2.setText(d2Ini, horaIni);
        h2.setText(d2Fin, horaFin);
        setIfBlank(h2, d2Nivel, grupo.nivel);
        h2.setText(d2Asig, asig);
        h2.setText(d2CodAsig, codAsig);
        h2.setText(d2TipAsig, " ");
        h2.setText(d2Idioma, "02");
        h2.setText(d2Aula, fitted(aula, 30));
        h2.setText(d2Activ, "   ");
        h2.setText(d2Clave, clave);
        h2.setText(d2DiaSes, diaSes);
        h2.setText(d2Mod, "S");
        h2.post();

        if (blank(codGrupo)) continue;
        const bool nueva = !h3.findKey(clave);
        if (nueva)
            h3.append();
        else
            h3.edit();
        h3.setText(d3Tipreg, "3");
        const std::string antes = h3.text(d3Grupo);
        h3.setText(d3Grupo, codGrupo);
        if (nueva || h3.text(d3Grupo) != antes) h3.setText(d3Codigo, grupo.codigo);
        setIfBlank(h3, d3Tipdoc, tipoDni);
        h3.setText(d3Abrev, abrevProf);
        setIfBlank(h3, d3Doc, dni);
        h3.setText(d3Sesion, numSesion);
        h3.setText(d3Dia, diaSem);
        if (blank(h3.text(d3Alumnos)) || !blank(grupo.alumnos))
            h3.setText(d3Alumnos, grupo.alumnos);
        h3.setText(d3Clave, clave);
        h3.setText(d3Mod, "S");
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
    return sinColocar;
}

void Importar2(base::RunState& state, base::UserPort& port) {
    const bool nueva = !tables::tableExists(tables::ztempFile("CUADROH2.DBF")) ||
                       !port.confirm(preguntaConservar());
    const bool exportar = nueva || state.EstadoPaso != 0 || !port.confirm(preguntaCodificar());
    if (exportar) {
        // The export reads these whole (a kept export its own tables too): a damaged one stops
        // the job here, before any table is made anew or changed.
        for (const char* t : {"SOLUC", "PROFT", "GRUPOST", "ASIGNOMT"})
            tables::checkIntact(mainWindowTable(t));
        tables::checkIntact(tables::ztempFile("PLANTILLA.DBF"));
        if (!nueva) {
            tables::checkIntact(tables::ztempFile("CUADROH2.DBF"));
            tables::checkIntact(tables::ztempFile("CUADROH3.DBF"));
        }
    }
    if (nueva) {
        CreaTablasCuadro();
        state.EstadoPaso = 1;
    }
    std::vector<revision::LeccionSinColocar> sinColocar;
    if (exportar) sinColocar = ExportaCuadros();
    if (!sinColocar.empty()) port.message(textoSinColocar(sinColocar.size()));

    {
        AjustaXEL ajuste(state, port);
        ajuste.sinColocar = std::move(sinColocar);
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
