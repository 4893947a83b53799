#include "timetable/CuadroHorario.h"

#include "timetable/Texto.h"

namespace tz::timetable::cuadro {

std::string hora(std::string_view v) { return (std::string(v) + "00:00").substr(0, 5); }

std::string cuenta(std::string_view v) { return (std::string(v) + "00").substr(0, 2); }

std::string registroTipo1(const Centro& c) {
    return "1CH" + fitted(c.CODCENTRO, 6) + fitted(c.ANOACAD, 4) + fitted(c.VERSION, 1);
}

std::string registroTipo2(const Tipo2& r) {
    // The hour number goes before the day, and both are written as they stand.
    return "2" + fitted(r.TIPDOC, 1) + fitted(r.DOC, 15) + r.NUMSESION + r.DIASEM +
           fitted(r.TIPTAR, 3) + hora(r.HORAINI) + hora(r.HORAFIN) + fitted(r.GRUPNIV, 3) +
           fitted(r.CODASIG, 4) + fitted(r.TIPASIG, 1) + fitted(r.IDIOMA, 2) +
           fitted(r.AULA_OBS, 30) + fitted(r.TIP_ACTIV, 3);
}

std::string registroTipo3(const Tipo3& r) {
    return "3" + fitted(r.CODGRUPO, 5) + fitted(r.TIPDOC, 1) + fitted(r.DOC, 15) + r.NUMSESGRUP +
           r.DIASEM + cuenta(r.NUMALUM);
}

}  // namespace tz::timetable::cuadro
