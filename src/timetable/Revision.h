#pragma once
#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tables/Dataset.h"
#include "tables/KeyMap.h"
#include "timetable/Validacion.h"

// The completeness check of what goes into fCUADROS.txt: which administration codes of the
// export tables are still blank or not in their catalogue, which values break the rules of
// Validacion.h (control characters, a day or session outside the week or the bell schedule, the
// centre data), and which lessons of SOLUC could not be placed, so that nothing malformed
// reaches the file unnoticed. No Qt.
namespace tz::timetable::revision {

// How a task type's OTRACTIV flag reads: "N" (or "0") a teaching ("Lectiva") task, "S" (or "1")
// another activity, anything else (blank included) unknown.
enum class Lectiva { Si, No, Desconocida };
Lectiva leeOtractiv(std::string_view flag);

// Text keys looked up by string_view without building a string.
struct HashCodigo {
    using is_transparent = void;
    std::size_t operator()(std::string_view v) const { return std::hash<std::string_view>{}(v); }
};
class Codigos {
  public:
    Codigos() = default;
    Codigos(std::initializer_list<std::string> codes) {
        for (const std::string& c : codes) insert(c);
    }
    void reserve(std::size_t n) { set_.reserve(n); }
    void insert(std::string_view code) { set_.tryEmplace(code, true); }
    bool contains(std::string_view code) const { return set_.contains(code); }
    std::size_t size() const { return set_.size(); }

  private:
    tables::KeyMap<bool> set_;
};

// The codes of each catalogue. A catalogue that could not be read is absent: its codes are
// then not checked (and, for xelTIPTAR, no task is known to be teaching or not).
struct Catalogos {
    std::optional<std::unordered_map<std::string, Lectiva, HashCodigo, std::equal_to<>>>
        tiptar;  // COD → OTRACTIV
    std::optional<Codigos> tipdoc, grupniv, asignat, idioma, otract;
    // The hours of the bell schedule; absent: sessions are checked for their form only.
    std::optional<validacion::Horas> horas;
};

// Reads the catalogues from open datasets (nullptr or closed: absent). xelOTRACT codes are cut
// to the 3 characters of TIP_ACTIV, as a code picked from its list is stored.
struct FuentesCatalogo {
    const tables::Dataset *tipdoc = nullptr, *tiptar = nullptr, *grupniv = nullptr,
                          *asignat = nullptr, *idioma = nullptr, *otract = nullptr;
    const tables::Dataset* plantilla = nullptr;  // PLANTILLA: the hours of the bell schedule
};
Catalogos leeCatalogos(const FuentesCatalogo& fuentes);

enum class Falta : std::uint8_t {
    EnBlanco,      // the field is blank
    NoEnCatalogo,  // the code is not in its catalogue
    AsigOActiv,    // neither subject nor activity, and the task is not known to be teaching or not
    Control,       // a control character (codes 0 to 31) inside the value
    FueraDePlantilla,  // a day outside the week, a session outside the bell schedule
    NoValido,          // centre data that break their rule
    SinColocar         // a lesson of SOLUC that could not be placed (not exported)
};

struct Hallazgo {
    // Record type: 2 (CUADROH2) or 3 (CUADROH3); 1 the centre data (xelCENTRO), 0 a lesson of
    // SOLUC (profesor, dia, sesion and grupo as the lesson has them, registro its row number
    // from 1, motivo why it was not placed).
    int tipo = 2;
    std::string profesor, dia, sesion, clave;  // ABREVPROF, DIASEM, session, PROF_DIA_SES
    std::string grupo;                         // type 3: ABREVGRUP
    std::string campo;                         // the field, e.g. "CODASIG"
    std::string valor;                         // NoEnCatalogo: the code found
    std::string tarea;                         // possible findings: the task code
    std::string motivo;                        // a lesson not placed: why (Spanish)
    Falta falta = Falta::EnBlanco;
    bool posible = false;           // depends on how the task's OTRACTIV flag reads
    tables::Bookmark registro = 0;  // the row in its table

    // The column title in the window ("Cód.ASIG") and what is missing, in Spanish.
    std::string columna() const;
    std::string descripcion() const;
    // One line: "Profesor ABC, día 3, sesión 05, Cód.ASIG: en blanco (posible: ...)",
    // "Datos del centro, Cód.Centro: ...", "Lección de SOLUC sin colocar (fila 12): ...".
    std::string linea() const;
    // descripcion() appended to `out`.
    void anadeDescripcion(std::string& out) const;
};

// A lesson of SOLUC that the export could not place in the week or the bell schedule.
struct LeccionSinColocar {
    int fila = 0;                                        // row of SOLUC, from 1
    std::string profesor, dia, hora, grupo, asignatura;  // as the lesson has them
    std::string motivo;                                  // Spanish
};
Hallazgo hallazgoLeccion(const LeccionSinColocar& l);
// The centre data's findings (tipo 1): blank or against their rule, a field at most once.
std::vector<Hallazgo> revisaCentro(std::string_view codigo, std::string_view ano,
                                   std::string_view version);

// Rows with findings, how many findings are only possible, the centre data's findings and the
// lessons not placed.
struct Resumen {
    int tipo2 = 0, tipo3 = 0, posibles = 0;
    int centro = 0, lecciones = 0;
    int registros() const { return tipo2 + tipo3; }
};
Resumen resume(const std::vector<Hallazgo>& hallazgos);
// "Registros por codificar: N (X de tipo 2, Y de tipo 3)", the centre data and the lessons not
// placed, or that nothing is left.
std::string textoResumen(const Resumen& r);

// The values of one row that the check reads.
struct Fila2 {
    std::string_view TIPDOC, ABREVPROF, DOC, NUMSESION, DIASEM, TIPTAR, GRUPNIV, CODASIG, IDIOMA,
        TIP_ACTIV, PROF_DIA_SES, HORAINI, HORAFIN, TIPASIG, AULA_OBS;
};
struct Fila3 {
    std::string_view ABREVGRUP, CODGRUPO, ABREVPROF, NUMSESGRUP, DIASEM, PROF_DIA_SES, TIPDOC, DOC,
        NUMALUM;
};

// Appends the findings of one row to `out`, fields in column order.
void revisaFila(const Fila2& f, tables::Bookmark registro, const Catalogos& c,
                std::vector<Hallazgo>& out);
void revisaFila(const Fila3& f, tables::Bookmark registro, const Catalogos& c,
                std::vector<Hallazgo>& out);
inline void revisaFila(const Fila3& f, tables::Bookmark registro, std::vector<Hallazgo>& out) {
    revisaFila(f, registro, Catalogos{}, out);
}

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

    // The centre data as they stand (the centre view's current row, pending values included),
    // and the lessons the export could not place; both come before the rows' findings.
    void revisaCentro(std::string_view codigo, std::string_view ano, std::string_view version);
    void anotaLecciones(const std::vector<LeccionSinColocar>& lecciones);

    std::size_t size() const { return aparte_.size() + total_; }
    bool empty() const { return size() == 0; }
    Hallazgo hallazgo(std::size_t i) const;  // 0 <= i < size()
    // hallazgo(i).linea() appended to `out`, without making the Hallazgo.
    void anadeLinea(std::size_t i, std::string& out) const;
    std::vector<Hallazgo> hallazgos() const;

    // The row has findings.
    bool incompleta(int tipo, tables::Bookmark registro) const;
    // A type 3 row of that slot key has findings.
    bool grupoIncompleto(std::string_view clave) const;
    Resumen resumen() const;

    // A field has one finding at most; a type 2 row has 13 fields that reach the file.
    static constexpr std::size_t kMaxFallas = 13;
    // What one row lacks, and the rows as kept (public for the check's helpers only).
    struct Falla {
        std::uint8_t campo = 0;  // position among the checked fields, in column order
        Falta falta = Falta::EnBlanco;
        bool posible = false;
        std::uint16_t valor = 0;  // NoEnCatalogo: length of the code, kept after the identity
    };
    // A row with findings. Its part of textos_, from `texto`: its n Fallas (their bytes), then
    // clave, profesor, dia, sesion, grupo and tarea side by side, then the codes not found. The
    // Fallas live there rather than here so that a row takes the room of its own findings only.
    struct Fila {
        std::size_t texto = 0;
        std::array<std::uint16_t, 6> largo{};  // lengths of clave ... tarea
        tables::Bookmark registro = 0;
        std::uint8_t tipo = 2, n = 0;
        std::uint32_t valores = 0;  // length of the codes not found, together
    };

  private:
    std::string_view clave(const Fila& f) const;
    bool menor(const Fila& a, const Fila& b) const;
    Hallazgo hallazgo(const Fila& f, int k) const;
    void cuenta(const Fila& f, int signo);
    void indexa();
    void compacta();

    Catalogos catalogos_;
    std::vector<Hallazgo> centro_, lecciones_, aparte_;  // aparte_: centre, then lessons
    std::vector<Fila> filas_;                            // rows with findings, in order
    std::string textos_;  // the rows' texts; rows checked again leave theirs behind
    std::size_t textosVivos_ = 0;
    std::vector<std::size_t> inicio_;     // first finding of each row
    mutable std::size_t ultimaFila_ = 0;  // the row of the line written last
    // What names that row in its lines, for the findings of the rows as they were at
    // generacion_ (indexa counts the changes of the rows).
    mutable std::string prefijo_;
    mutable std::size_t prefijoDe_ = ~std::size_t{0};
    mutable std::uint64_t prefijoGeneracion_ = 0;
    std::uint64_t generacion_ = 0;
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

// The hours of the bell schedule in an open PLANTILLA (nothing when `plantilla` is null, closed
// or lacks HORA).
std::optional<validacion::Horas> leeHoras(const tables::Dataset* plantilla);

// The lessons of SOLUC that the export cannot place: the rows with a teacher and a day other
// than 0 (the rows the export skips) whose day, hour or sessions do not fit (validacion::coloca).
// Engine errors propagate.
std::vector<LeccionSinColocar> leccionesSinColocar(const tables::Dataset& soluc,
                                                   const validacion::Horas& horas);

// The check over the exchange folder's tables, as the adjustment window names them: CUADROH2
// and CUADROH3 must open (else the engine error is thrown); the centre row, PLANTILLA, SOLUC and
// the catalogues are read when they open, and those that do not are named in `sinCatalogo`
// ("xelASIGNAT", "xelCENTRO", "PLANTILLA", "SOLUC"...): their part of the check is left out
// (a centre table that does not open checks as blank centre data).
Revision revisaCarpeta(std::vector<std::string>* sinCatalogo = nullptr);

}  // namespace tz::timetable::revision
