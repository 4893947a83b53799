#pragma once
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tables/Dataset.h"

// The completeness check of the export tables: which administration codes are still blank or
// not in their catalogue, so that no blank code reaches fCUADROS.txt unnoticed. No Qt.
namespace tz::timetable::revision {

// How a task type's OTRACTIV flag reads: "N" (or "0") a teaching ("Lectiva") task, "S" (or "1")
// another activity, anything else (blank included) unknown.
enum class Lectiva { Si, No, Desconocida };
Lectiva leeOtractiv(std::string_view flag);

// A set of codes looked up by string_view without building a string.
struct HashCodigo {
    using is_transparent = void;
    std::size_t operator()(std::string_view v) const { return std::hash<std::string_view>{}(v); }
};
using Codigos = std::unordered_set<std::string, HashCodigo, std::equal_to<>>;

// The codes of each catalogue. A catalogue that could not be read is absent: its codes are
// then not checked (and, for xelTIPTAR, no task is known to be teaching or not).
struct Catalogos {
    std::optional<std::unordered_map<std::string, Lectiva, HashCodigo, std::equal_to<>>>
        tiptar;  // COD → OTRACTIV
    std::optional<Codigos> tipdoc, grupniv, asignat, idioma, otract;
};

// Reads the catalogues from open datasets (nullptr or closed: absent). xelOTRACT codes are cut
// to the 3 characters of TIP_ACTIV, as a code picked from its list is stored.
struct FuentesCatalogo {
    const tables::Dataset *tipdoc = nullptr, *tiptar = nullptr, *grupniv = nullptr,
                          *asignat = nullptr, *idioma = nullptr, *otract = nullptr;
};
Catalogos leeCatalogos(const FuentesCatalogo& fuentes);

enum class Falta {
    EnBlanco,      // the field is blank
    NoEnCatalogo,  // the code is not in its catalogue
    AsigOActiv     // neither subject nor activity, and the task is not known to be teaching or not
};

struct Hallazgo {
    int tipo = 2;                              // record type: 2 (CUADROH2) or 3 (CUADROH3)
    std::string profesor, dia, sesion, clave;  // ABREVPROF, DIASEM, session, PROF_DIA_SES
    std::string grupo;                         // type 3: ABREVGRUP
    std::string campo;                         // the field, e.g. "CODASIG"
    std::string valor;                         // NoEnCatalogo: the code found
    std::string tarea;                         // possible findings: the task code
    Falta falta = Falta::EnBlanco;
    bool posible = false;           // depends on how the task's OTRACTIV flag reads
    tables::Bookmark registro = 0;  // the row in its table

    // The column title in the window ("Cód.ASIG") and what is missing, in Spanish.
    std::string columna() const;
    std::string descripcion() const;
    // One line: "Profesor ABC, día 3, sesión 05, Cód.ASIG: en blanco (posible: ...)".
    std::string linea() const;
};

// Rows with findings, and how many findings are only possible.
struct Resumen {
    int tipo2 = 0, tipo3 = 0, posibles = 0;
    int registros() const { return tipo2 + tipo3; }
};
Resumen resume(const std::vector<Hallazgo>& hallazgos);
// "Registros por codificar: N (X de tipo 2, Y de tipo 3)", or that none is left.
std::string textoResumen(const Resumen& r);

// The values of one row that the check reads.
struct Fila2 {
    std::string_view TIPDOC, ABREVPROF, DOC, NUMSESION, DIASEM, TIPTAR, GRUPNIV, CODASIG, IDIOMA,
        TIP_ACTIV, PROF_DIA_SES;
};
struct Fila3 {
    std::string_view ABREVGRUP, CODGRUPO, ABREVPROF, NUMSESGRUP, DIASEM, PROF_DIA_SES;
};
// Appends the findings of one row to `out`.
void revisaFila(const Fila2& f, tables::Bookmark registro, const Catalogos& c,
                std::vector<Hallazgo>& out);
void revisaFila(const Fila3& f, tables::Bookmark registro, std::vector<Hallazgo>& out);

// The whole check, one pass over each table. `h2` and `h3` are open cursors over CUADROH2 and
// CUADROH3 (any index, no link or filter). `pendiente2`/`pendiente3`, when given and editing a
// row, supply that row's values as typed but not yet stored. The findings come sorted by slot
// key, type 2 before type 3, fields in column order. Throws the engine's error for a table
// that lacks a field the check reads.
std::vector<Hallazgo> revisa(const tables::Dataset& h2, const tables::Dataset& h3,
                             const Catalogos& c, const tables::Dataset* pendiente2 = nullptr,
                             const tables::Dataset* pendiente3 = nullptr);

// The check over the exchange folder's tables, as the adjustment window names them: CUADROH2
// and CUADROH3 must open (else the engine error is thrown); catalogues that do not open are
// left out and named in `sinCatalogo` ("xelASIGNAT", ...).
std::vector<Hallazgo> revisaCarpeta(std::vector<std::string>* sinCatalogo = nullptr);

}  // namespace tz::timetable::revision
