#pragma once
#include <array>
#include <cstdint>
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

enum class Falta : std::uint8_t {
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

// Appends the findings of one row to `out`, fields in column order.
void revisaFila(const Fila2& f, tables::Bookmark registro, const Catalogos& c,
                std::vector<Hallazgo>& out);
void revisaFila(const Fila3& f, tables::Bookmark registro, std::vector<Hallazgo>& out);

// The findings of the export tables, kept row by row so that a change is checked again by
// reading only the rows it touched. The findings are in slot key order, type 2 before type 3,
// then by row, fields in column order. A finding is made into a Hallazgo when asked for: the
// rows keep only their identity and what they lack, so a check with findings on every row of
// a large timetable stays small.
//
// `h2` and `h3` are open cursors over CUADROH2 and CUADROH3 (no link or filter; visited in
// PROF_DIA_SES order they need no sorting). `pendiente2`/`pendiente3`, when given and editing
// a row of the same table, supply that row's values as typed but not yet stored. A table that
// lacks a field the check reads is an engine error, and the findings stay those of before.
class Revision {
  public:
    Revision() = default;
    explicit Revision(Catalogos c) : catalogos_(std::move(c)) {}
    const Catalogos& catalogos() const { return catalogos_; }

    // Checks every row of both tables, one pass over each.
    void revisaTodo(const tables::Dataset& h2, const tables::Dataset& h3,
                    const tables::Dataset* pendiente2 = nullptr,
                    const tables::Dataset* pendiente3 = nullptr);
    // Checks these rows of one table again (`tipo` 2: CUADROH2, 3: CUADROH3); a row no longer
    // in the table loses its findings.
    void revisaFilas(int tipo, const tables::Dataset& tabla,
                     const std::vector<tables::Bookmark>& filas,
                     const tables::Dataset* pendiente = nullptr);

    std::size_t size() const { return total_; }
    bool empty() const { return total_ == 0; }
    Hallazgo hallazgo(std::size_t i) const;  // 0 <= i < size()
    std::vector<Hallazgo> hallazgos() const;

    // The row has findings.
    bool incompleta(int tipo, tables::Bookmark registro) const;
    // A type 3 row of that slot key has findings.
    bool grupoIncompleto(std::string_view clave) const;
    Resumen resumen() const { return resumen_; }

    // What one row lacks, and the rows as kept (public for the check's helpers only).
    struct Falla {
        std::uint8_t campo = 0;  // position among the checked fields, in column order
        Falta falta = Falta::EnBlanco;
        bool posible = false;
        std::uint16_t valor = 0;  // NoEnCatalogo: length of the code, kept after the identity
    };
    struct Fila {
        std::size_t texto = 0;  // where the row's texts start in textos_
        // Lengths of clave, profesor, dia, sesion, grupo and tarea, side by side from `texto`.
        std::array<std::uint16_t, 6> largo{};
        tables::Bookmark registro = 0;
        std::uint8_t tipo = 2, n = 0;
        std::array<Falla, 7> fallas{};
    };

  private:
    std::string_view clave(const Fila& f) const;
    bool menor(const Fila& a, const Fila& b) const;
    Hallazgo hallazgo(const Fila& f, int k) const;
    void cuenta(const Fila& f, int signo);
    void indexa();
    void compacta();

    Catalogos catalogos_;
    std::vector<Fila> filas_;  // rows with findings, in order
    std::string textos_;       // the rows' texts; rows checked again leave theirs behind
    std::size_t textosVivos_ = 0;
    std::vector<std::size_t> inicio_;            // first finding of each row
    std::size_t total_ = 0;                      // findings
    std::vector<std::uint32_t> porRegistro_[2];  // by bookmark: row index + 1, 0 none
    Resumen resumen_;
};

// Selects the PROF_DIA_SES index of an open CUADROH2 or CUADROH3 cursor when the table has it,
// so that its rows come in the order of the findings and need no sorting.
void enOrdenDeClave(tables::Dataset& ds);

// The whole check as one list (the tables as for Revision::revisaTodo).
std::vector<Hallazgo> revisa(const tables::Dataset& h2, const tables::Dataset& h3,
                             const Catalogos& c, const tables::Dataset* pendiente2 = nullptr,
                             const tables::Dataset* pendiente3 = nullptr);

// The check over the exchange folder's tables, as the adjustment window names them: CUADROH2
// and CUADROH3 must open (else the engine error is thrown); catalogues that do not open are
// left out and named in `sinCatalogo` ("xelASIGNAT", ...).
Revision revisaCarpeta(std::vector<std::string>* sinCatalogo = nullptr);

}  // namespace tz::timetable::revision
