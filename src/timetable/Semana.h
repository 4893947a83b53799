#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tables/Dataset.h"
#include "timetable/Revision.h"

// One teacher's week as a grid, drawn from the export tables as they stand: days across,
// the sessions of the bell schedule down, each period in the cell of its day and session. What
// the grid shows is what fCUADROS.txt will carry: a period sits where its DIASEM and NUMSESION
// put it, with the groups of its slot key in CUADROH3. No Qt.
namespace tz::timetable::semana {

// A row of the bell schedule.
struct Franja {
    int hora = 0;
    std::string inicio, fin;  // HORAINI, HORAFIN as stored
};
// The rows of an open PLANTILLA cursor in hour order; a repeated hour keeps its first row, as
// the export takes it.
std::vector<Franja> leePlantilla(const tables::Dataset& plantilla);

// "hh:mm" (one or two digits for the hour) as minutes since midnight; nothing when it is not
// a time.
std::optional<int> minutos(std::string_view hhmm);

struct Grupo {
    std::string abrev, codigo, alumnos;  // ABREVGRUP, CODGRUPO, NUMALUM (Windows-1252)
    tables::Bookmark registro = 0;
};

// One type 2 row and the type 3 rows of its slot key. Values are Windows-1252 bytes; the texts
// are UTF-8, for display.
struct Periodo {
    tables::Bookmark registro = 0;
    int posicion = -1;  // its position in the type 2 view it was read from
    std::string profesor, dia, sesion, clave, tarea, asignatura, codasig, nivel, idioma, actividad,
        horaIni, horaFin, aula;
    std::vector<Grupo> grupos;
    // What the completeness check finds in the row and in its groups.
    std::vector<revision::Hallazgo> hallazgos;
    // Where it sits: the row and column where it starts and how many rows it covers (a lesson
    // of two hours covers the bell rows its times reach).
    int fila = -1, columna = -1, filas = 1;
    bool fueraDePlantilla = false;  // its session is not an hour of the bell schedule
    bool fueraDeSemana = false;     // its day is not 1 to 7

    // "101 MAT (0101)": task, subject abbreviation, subject code; the activity when there is one.
    std::string titulo() const;
    // "1A (01ESA), 1B (01ESB)"; "sin grupo".
    std::string textoGrupos() const;
    // "Falta: TAREA, Cód.ASIG?; No en catálogo: G.NIVEL": the columns the check finds, each
    // once, a possible finding with "?"; "" when complete.
    std::string textoFaltas() const;
    // "08:00–09:55".
    std::string textoHoras() const;
    // The field of the type 2 grid to go to: the first finding of the row, else the day.
    std::string campoInicial() const;
};

struct Columna {
    std::string dia;     // DIASEM value ("1"), as stored
    std::string titulo;  // "Lunes", "Día 9", "Día (en blanco)"
    bool enSemana = true;
};

struct Fila {
    std::string sesion;       // the hour number as text ("1"), or the NUMSESION found
    std::string inicio, fin;  // bell times (out of the schedule: the first period's own times)
    bool enPlantilla = true;
    // "Sesión 1"; "Sesión 25 (fuera de la plantilla)".
    std::string titulo() const;
    // "08:00–09:00", or "" without times.
    std::string horas() const;
};

struct Fuentes;

class Semana {
  public:
    const std::vector<Columna>& columnas() const { return columnas_; }
    const std::vector<Fila>& filas() const { return filas_; }
    const std::vector<Periodo>& periodos() const { return periodos_; }
    bool vacia() const { return periodos_.empty(); }

    // The periods that start in a cell, in the order of the type 2 view, and those that started
    // in an earlier row and go on into it. Empty outside the grid.
    const std::vector<int>& empiezan(int fila, int columna) const;
    const std::vector<int>& siguen(int fila, int columna) const;
    // Both, starting ones first.
    std::vector<int> enCelda(int fila, int columna) const;
    // The period of a type 2 row, or -1.
    int periodoDe(tables::Bookmark registro) const;
    // Findings of all the periods, those of a type 3 row shared by several periods once.
    int numHallazgos() const { return hallazgos_; }
    // The most periods starting in one cell of the row.
    int maximoEnFila(int fila) const;
    // The rows a cell takes when drawn: a cell that starts exactly one period, and whose
    // further rows hold nothing but that period going on, takes them all; 0 for a cell taken by
    // the one above; 1 otherwise.
    int alto(int fila, int columna) const;
    // Reads period `i` again from the sources it was read from (its row at the same position of
    // the type 2 view). True when it stays where it was (the same day, session and times);
    // false when the whole week must be read again, the period left as it was.
    bool relee(int i, const Fuentes& f);
    // Lines about periods the grid cannot place as the administration expects (a session not
    // in the bell schedule, a day out of the week), UTF-8.
    std::vector<std::string> avisos() const;

  private:
    friend struct Constructor;
    std::size_t at(int fila, int columna) const;
    void recuenta();
    std::vector<Columna> columnas_;
    std::vector<Fila> filas_;
    std::vector<Periodo> periodos_;
    std::vector<std::vector<int>> empiezan_, siguen_;  // by cell: fila * columns + columna
    int hallazgos_ = 0;
};

// A line of a drawn cell.
struct LineaCelda {
    enum Tipo {
        Titulo,      // a period's task and subject
        Grupos,      // its groups
        Faltas,      // what it still lacks
        Incompleto,  // one line for a period that lacks codes (cells with no room for more)
        Sigue,       // a period that started in an earlier row
        Mas          // "+N más"
    } tipo;
    std::string texto;  // UTF-8
    int periodo = -1;   // the period it belongs to (-1 for "+N más")
};
// The lines that show a cell in at most `caben` lines: each period with its title, groups and
// what it lacks while they all fit; otherwise one line per period and "+N más" for the rest.
std::vector<LineaCelda> lineasCelda(const Semana& s, int fila, int columna, int caben);
// The most lines any cell of the row would take in full.
int lineasFila(const Semana& s, int fila);

// Where a week comes from.
struct Fuentes {
    // The teacher's type 2 rows: positions [desde, hasta) of this view (-1: to its end). The
    // current row reads its pending values.
    const tables::Dataset* tipo2 = nullptr;
    int desde = 0, hasta = -1;
    // A cursor over CUADROH3 with the PROF_DIA_SES index selected; the build moves it.
    tables::Dataset* tipo3 = nullptr;
    // A view over CUADROH3 whose row being edited supplies its values as typed.
    const tables::Dataset* pendiente3 = nullptr;
    const std::vector<Franja>* plantilla = nullptr;  // nullptr: no bell schedule
    // The catalogues the findings are checked against; nullptr: no findings.
    const revision::Catalogos* catalogos = nullptr;
};

// Reads the week. A table that lacks a field it reads is an engine error.
Semana construye(const Fuentes& fuentes);

// The name of a day number ("1" → "Lunes"), "" for one out of 1 to 7.
std::string nombreDia(std::string_view dia);

}  // namespace tz::timetable::semana
