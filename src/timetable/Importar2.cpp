#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/KeyMap.h"
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
    char h[24];
    const std::size_t nh = static_cast<std::size_t>(std::to_chars(h, h + sizeof h, hora).ptr - h);
    std::string k;
    k.reserve(5 + dia.size() + nh);
    k.append(prof.substr(0, 4));
    k.append(4 - std::min<std::size_t>(prof.size(), 4), ' ');
    k.append(dia);
    if (nh != 2) k += '0';
    k.append(h, nh);
    return k;
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
void setIfBlank(Dataset& ds, int f, std::string_view value) {
    if (blank(ds.textView(f))) ds.setText(f, value);
}

// The rows of a table by the value of one character field, as findKey on an index of that
// field finds them: values compared as space-padded to the field's width (a longer one cut), the
// first row of each value in the file's order. Kept up to date by the caller as rows are added,
// it spares the table an index kept in order through every append of a step.
class PrimeraFila {
  public:
    // `nuevas`: about how many rows the step may add.
    PrimeraFila(const Dataset& ds, int field, int nuevas) : ds_(ds) {
        width_ = static_cast<std::size_t>(ds.fields()[static_cast<std::size_t>(field)].width);
        const int n = ds.recordCount();
        filas_.reserve(static_cast<std::size_t>(n) + static_cast<std::size_t>(nuevas));
        for (int i = 0; i < n; ++i) filas_.tryEmplace(ds.textViewAt(i, field), ds.bookmarkAt(i));
    }
    // The row of that value, if any.
    std::optional<tables::Bookmark> busca(std::string_view value) const {
        if (const tables::Bookmark* b = filas_.find(clave(value))) return *b;
        return std::nullopt;
    }
    void prefetch(std::string_view value) const { filas_.prefetch(clave(value)); }
    // The row the dataset's last post stored now holds `value`: the first row of that value
    // when it is new.
    void anade(std::string_view value) { filas_.tryEmplace(clave(value), ds_.postedBookmark()); }

  private:
    std::string_view clave(std::string_view value) const {
        return tables::trimmedRight(value.data(), std::min(value.size(), width_));
    }
    const Dataset& ds_;
    std::size_t width_ = 0;
    tables::KeyMap<tables::Bookmark> filas_;
};

// Positions `ds` on the row of slot key `key` and begins editing it, or begins a new row.
// Returns true for a new row.
bool editOrAppend(Dataset& ds, const PrimeraFila& filas, const std::string& key) {
    if (const auto b = filas.busca(key)) {
        ds.gotoBookmark(*b);
        ds.edit();
        return false;
    }
    ds.append();
    return true;
}

// Deletes the rows still marked "N", then marks every remaining row "N".
void cleanUp(Dataset& ds) {
    const int regMod = ds.requireField("REG_MOD");
    ds.removeWhere(regMod, "N");
    ds.setTextOnAll(regMod, "N");
}

}  // namespace

std::vector<revision::LeccionSinColocar> ExportaCuadros() {
    Dataset soluc, grupos, profes, asignas;
    soluc.open(mainWindowTable("SOLUC"), OpenMode::Exclusive);
    grupos.open(mainWindowTable("GRUPOST"), OpenMode::Exclusive);
    profes.open(mainWindowTable("PROFT"), OpenMode::Exclusive);
    asignas.open(mainWindowTable("ASIGNOMT"), OpenMode::Exclusive);

    // The export tables are visited in the file's order, their rows found by slot key with
    // PrimeraFila: nothing is sorted until the step has stored every row.
    Dataset h2, h3, plantilla;
    h2.open(tables::ztempFile("CUADROH2.DBF"), OpenMode::Shared);
    h3.open(tables::ztempFile("CUADROH3.DBF"), OpenMode::Shared);
    plantilla.open(tables::ztempFile("PLANTILLA.DBF"), OpenMode::Shared);
    plantilla.setIndex("HORA");
    // The export tables reach the file once, when the step has stored every row.
    tables::WriteBatch lote({&h2, &h3});

    // Field positions, resolved once for the whole run.
    const int sProf = soluc.requireField("PROF"), sDia = soluc.requireField("DIA"),
              sHora = soluc.requireField("HORA"), sSesiones = soluc.requireField("SESIONES"),
              sGrupo = soluc.requireField("CODGRUPO"), sAsig = soluc.requireField("ASIG"),
              sTarea = soluc.requireField("TAREA"), sAula = soluc.requireField("AULA");
    const int pAbrev = profes.requireField("ABREV"), pNombre = profes.requireField("NOMBRE"),
              pDepart = profes.requireField("DEPART"), pDni = profes.requireField("DNI"),
              pTipo = profes.requireField("TIPODNI");
    const int d2Tipreg = h2.requireField("TIPREG"), d2Tipdoc = h2.requireField("TIPDOC"),
              d2Abrev = h2.requireField("ABREVPROF"), d2Doc = h2.requireField("DOC"),
              d2Sesion = h2.requireField("NUMSESION"), d2Dia = h2.requireField("DIASEM"),
              d2Tarea = h2.requireField("TIPTAR"), d2Ini = h2.requireField("HORAINI"),
              d2Fin = h2.requireField("HORAFIN"), d2Nivel = h2.requireField("GRUPNIV"),
              d2Asig = h2.requireField("ABREVASIG"), d2CodAsig = h2.requireField("CODASIG"),
              d2TipAsig = h2.requireField("TIPASIG"), d2Idioma = h2.requireField("IDIOMA"),
              d2Aula = h2.requireField("AULA_OBS"), d2Activ = h2.requireField("TIP_ACTIV"),
              d2Clave = h2.requireField("PROF_DIA_SES"), d2DiaSes = h2.requireField("DIA_SES"),
              d2Mod = h2.requireField("REG_MOD");
    const int d3Tipreg = h3.requireField("TIPREG"), d3Grupo = h3.requireField("ABREVGRUP"),
              d3Codigo = h3.requireField("CODGRUPO"), d3Tipdoc = h3.requireField("TIPDOC"),
              d3Abrev = h3.requireField("ABREVPROF"), d3Doc = h3.requireField("DOC"),
              d3Sesion = h3.requireField("NUMSESGRUP"), d3Dia = h3.requireField("DIASEM"),
              d3Alumnos = h3.requireField("NUMALUM"), d3Clave = h3.requireField("PROF_DIA_SES"),
              d3Mod = h3.requireField("REG_MOD");

    // Each lesson adds at most one row to each table.
    PrimeraFila filas2(h2, d2Clave, soluc.recordCount()), filas3(h3, d3Clave, soluc.recordCount());
    // A teacher's document by abbreviation, as a look-up on ABREV finds it.
    struct Documento {
        std::string dni, tipo;
    };
    tables::KeyMap<Documento> documentoDe;
    const std::size_t anchoAbrev =
        static_cast<std::size_t>(profes.fields()[static_cast<std::size_t>(pAbrev)].width);
    auto abrevDe = [&](std::string_view v) {
        return tables::trimmedRight(v.data(), std::min(v.size(), anchoAbrev));
    };
    for (int i = 0, n = profes.recordCount(); i < n; ++i)
        documentoDe.tryEmplace(abrevDe(profes.textViewAt(i, pAbrev)),
                               Documento{profes.textAt(i, pDni), profes.textAt(i, pTipo)});

    // First rows by key, read once: the group and subject look-ups take the first row in file
    // order whose abbreviation matches exactly, and the hours the first row of each hour number.
    tables::KeyMap<std::uint32_t> grupoDe;  // into listaGrupos
    std::vector<Grupo> listaGrupos;
    {
        const int gAbrev = grupos.requireField("ABREV"), gNivel = grupos.requireField("NIVELXEL"),
                  gCodigo = grupos.requireField("CODGRUXEL"),
                  gAlumnos = grupos.requireField("NUMALUMN");
        for (int i = 0, n = grupos.recordCount(); i < n; ++i)
            if (grupoDe
                    .tryEmplace(grupos.textAt(i, gAbrev),
                                static_cast<std::uint32_t>(listaGrupos.size()))
                    .second)
                listaGrupos.push_back(Grupo{fitted(grupos.textAt(i, gNivel), 3),
                                            grupos.textAt(i, gCodigo), grupos.textAt(i, gAlumnos)});
    }
    // CODIGOXEL as the file carries it, four characters; held in the map's own slots (16 bytes
    // each, so that the look-ups of a large catalogue stay in the cache).
    tables::KeyMap<std::array<char, 4>> asignaturaDe;
    {
        const int aCod = asignas.requireField("COD"), aXel = asignas.requireField("CODIGOXEL");
        for (int i = 0, n = asignas.recordCount(); i < n; ++i) {
            std::array<char, 4> xel;
            const std::string c = fitted(asignas.textAt(i, aXel), 4);
            std::copy(c.begin(), c.end(), xel.begin());
            asignaturaDe.tryEmplace(asignas.textAt(i, aCod), xel);
        }
    }
    std::unordered_map<std::int64_t, Horas> horasDe;
    validacion::Horas horas;
    {
        const int hHora = plantilla.requireField("HORA"), hIni = plantilla.requireField("HORAINI"),
                  hFin = plantilla.requireField("HORAFIN");
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

    std::string profesorActual;  // the abbreviation of `documento`
    Documento documento;
    bool hayProfesor = false;
    tables::RowReader leccion(soluc, {sProf, sDia, sHora, sSesiones, sGrupo, sAsig, sTarea, sAula});
    for (int pos = 0, n = soluc.recordCount(); pos < n; ++pos) {
        const int fila = pos + 1;
        leccion.row(pos);
        const std::string_view prof = leccion[0], diaTexto = leccion[1];
        if (validacion::omitida(prof, diaTexto)) continue;
        const std::string_view horaTexto = leccion[2];
        validacion::Colocacion sitio = validacion::coloca(diaTexto, horaTexto, leccion[3], horas);
        const std::string_view codGrupo = leccion[4], asig = leccion[5], tareaLeccion = leccion[6],
                               aula = leccion[7];
        if (!sitio.motivo.empty()) {
            sinColocar.push_back({fila, std::string(prof), std::string(diaTexto),
                                  std::string(horaTexto), std::string(codGrupo), std::string(asig),
                                  std::move(sitio.motivo)});
            continue;
        }
        const std::int64_t hora = sitio.hora;
        // The slot's places in both maps are fetched while the teacher, group and subject are
        // looked up.
        std::string clave = claveSesion(prof, diaTexto, hora);
        if (clave.size() != 7) clave = fitted(clave, 7);
        filas2.prefetch(clave);
        filas3.prefetch(clave);

        // Teacher: a missing one is added with its abbreviation alone. The lessons of one
        // teacher mostly come together: the last one's document is at hand.
        if (const std::string_view abrev = abrevDe(prof); !hayProfesor || abrev != profesorActual) {
            auto [doc, nuevo] = documentoDe.tryEmplace(abrev);
            if (nuevo) {
                profes.append();
                profes.setText(pAbrev, prof);
                profes.setText(pNombre, "");
                profes.setText(pDepart, "");
                profes.setText(pDni, "");
                profes.post();
            }
            // Copied: adding a teacher may move the map's values.
            documento = *doc;
            profesorActual.assign(abrev);
            hayProfesor = true;
        }
        const std::string& dni = documento.dni;
        const std::string& tipoDni = documento.tipo;

        const std::string_view claveVista(clave);
        const std::string_view abrevProf = claveVista.substr(0, 4);
        const std::string_view diaSem = claveVista.substr(4, 1);
        const std::string_view diaSes = claveVista.substr(4, 3);
        const std::string_view numSesion = claveVista.substr(5, 2);

        // SESIONES counts the lesson's consecutive hours: it ends with its last hour. Both
        // hours are in the bell schedule (coloca).
        const std::string& horaIni = horasDe.at(hora).ini;
        const std::string& horaFin = horasDe.at(sitio.ultima).fin;

        static const Grupo sinGrupo;
        const std::uint32_t* grupoHallado = grupoDe.find(codGrupo);
        const Grupo& grupo = grupoHallado ? listaGrupos[*grupoHallado] : sinGrupo;

        std::string_view codAsig;
        if (const auto* c = asignaturaDe.find(asig))
            codAsig = std::string_view(c->data(), c->size());

        std::string_view tarea = tareaLeccion;
        if (blank(tarea)) tarea = grupoHallado ? "101" : "";

        const bool nueva2 = editOrAppend(h2, filas2, clave);
        if (nueva2) {
            // A new row is blank: every field is set.
            h2.setTexts(
                {{d2Tipdoc, tipoDni}, {d2Doc, dni}, {d2Tarea, tarea}, {d2Nivel, grupo.nivel}});
        } else {
            setIfBlank(h2, d2Tipdoc, tipoDni);
            setIfBlank(h2, d2Doc, dni);
            setIfBlank(h2, d2Tarea, tarea);
            setIfBlank(h2, d2Nivel, grupo.nivel);
        }
        h2.setTexts({{d2Tipreg, "2"},
                     {d2Abrev, abrevProf},
                     {d2Sesion, numSesion},
                     {d2Dia, diaSem},
                     {d2Ini, horaIni},
                     {d2Fin, horaFin},
                     {d2Asig, asig},
                     {d2CodAsig, codAsig},
                     {d2TipAsig, " "},
                     {d2Idioma, "02"},
                     {d2Aula, aula.substr(0, 30)},
                     {d2Activ, "   "},
                     {d2Clave, clave},
                     {d2DiaSes, diaSes},
                     {d2Mod, "S"}});
        h2.post();
        if (nueva2) filas2.anade(clave);

        if (blank(codGrupo)) continue;
        const bool nueva = editOrAppend(h3, filas3, clave);
        if (nueva) {
            h3.setTexts({{d3Tipreg, "3"},
                         {d3Grupo, codGrupo},
                         {d3Codigo, grupo.codigo},
                         {d3Tipdoc, tipoDni},
                         {d3Abrev, abrevProf},
                         {d3Doc, dni},
                         {d3Sesion, numSesion},
                         {d3Dia, diaSem},
                         {d3Alumnos, grupo.alumnos},
                         {d3Clave, clave},
                         {d3Mod, "S"}});
        } else {
            // A row kept from before keeps the codes and documents entered since.
            h3.setText(d3Tipreg, "3");
            const std::string antes(h3.textView(d3Grupo));
            h3.setText(d3Grupo, codGrupo);
            if (h3.text(d3Grupo) != antes) h3.setText(d3Codigo, grupo.codigo);
            setIfBlank(h3, d3Tipdoc, tipoDni);
            h3.setText(d3Abrev, abrevProf);
            setIfBlank(h3, d3Doc, dni);
            h3.setText(d3Sesion, numSesion);
            h3.setText(d3Dia, diaSem);
            if (blank(h3.text(d3Alumnos)) || !blank(grupo.alumnos))
                h3.setText(d3Alumnos, grupo.alumnos);
            h3.setText(d3Clave, clave);
            h3.setText(d3Mod, "S");
        }
        h3.post();
        if (nueva) filas3.anade(clave);
    }

    soluc.close();
    grupos.close();
    profes.close();
    asignas.close();

    cleanUp(h2);
    cleanUp(h3);
    lote.commit();
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
