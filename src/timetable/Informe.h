#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "tables/Dataset.h"
#include "timetable/Revision.h"
#include "timetable/Semana.h"

// What the printable report "Informe del horario para XEL" says: the centre, every teacher with
// their periods and findings, and each teacher's week. Read from the exchange folder's tables
// as they stand, so that it shows what fCUADROS.txt would carry. No Qt: a renderer draws it.
namespace tz::timetable::informe {

inline constexpr const char* kTitulo = "Informe del horario para XEL";

struct Centro {
    std::string codigo, ano, version;  // Windows-1252 bytes, as in xelCENTRO
};

struct Profesor {
    std::string abrev, nombre, departamento, tipodni, dni;  // Windows-1252 bytes
    bool enProft = true;       // false: it has periods or findings but no PROFT row
    int periodos = 0;          // its CUADROH2 rows
    int hallazgos = 0;         // what the completeness check finds in its rows
    int desde = 0, hasta = 0;  // its rows in the report's type 2 cursor (ABREVPROF order)
};

// One teacher's page.
struct Pagina {
    Profesor profesor;
    semana::Semana semana;
    std::vector<std::string> hallazgos;  // the first findings as lines (UTF-8)
    int masHallazgos = 0;                // findings not given as lines
    std::vector<std::string> avisos;     // periods the grid cannot place (UTF-8)
};

class Informe {
  public:
    // Opens its own cursors over the exchange folder's tables (C:\ZTEMP), read-only: CUADROH2
    // and CUADROH3 must open, or the engine error is thrown; xelCENTRO, PROFT, PLANTILLA and the
    // catalogues may be missing, which avisos() then tells. Teachers are those of PROFT in ABREV
    // order, with any teacher of CUADROH2 or of a finding that PROFT lacks put in its place.
    Informe();
    Informe(const Informe&) = delete;
    Informe& operator=(const Informe&) = delete;

    const Centro& centro() const { return centro_; }
    const std::vector<Profesor>& profesores() const { return profesores_; }
    int totalPeriodos() const { return totalPeriodos_; }
    // Findings of the whole check, as "revisar" lists them.
    std::size_t totalHallazgos() const { return revision_.size(); }
    const revision::Revision& revision() const { return revision_; }
    // Tables that could not be read (UTF-8 lines).
    const std::vector<std::string>& avisos() const { return avisos_; }

    // The page of teacher `i` (0 <= i < profesores().size()), with at most `maxLineas` findings
    // as lines.
    Pagina pagina(std::size_t i, int maxLineas);

  private:
    Centro centro_;
    std::vector<Profesor> profesores_;
    std::vector<std::vector<std::size_t>> hallazgosDe_;  // by teacher: their findings
    int totalPeriodos_ = 0;
    std::vector<std::string> avisos_;
    tables::Dataset h2_, h3_;
    std::vector<semana::Franja> plantilla_;
    revision::Revision revision_;
};

// "ABC — Ane Barrena", "ABC (sin ficha en PROFT)" (UTF-8).
std::string nombreProfesor(const Profesor& p);
// "1 11111111H", "SIN DOCUMENTO" (UTF-8).
std::string documento(const Profesor& p);
// "Centro 012345 · Año académico 2024 · Versión 1" (UTF-8; blanks say "(en blanco)").
std::string cabecera(const Centro& c);

}  // namespace tz::timetable::informe
