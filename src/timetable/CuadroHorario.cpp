#include "timetable/CuadroHorario.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "tables/FileIo.h"
#include "timetable/Texto.h"

namespace tz::timetable::cuadro {

std::string hora(std::string_view v) { return (std::string(v) + "00:00").substr(0, 5); }

std::string cuenta(std::string_view v) { return (std::string(v) + "00").substr(0, 2); }

std::string registroTipo1(const Centro& c) {
    return "1CH" + fitted(c.CODCENTRO, 6) + fitted(c.ANOACAD, 4) + fitted(c.VERSION, 1);
}

namespace {

// `v` fitted to `n` (Texto.h), appended.
void anade(std::string& out, std::string_view v, std::size_t n) {
    const std::size_t k = std::min(n, v.size());
    out.append(v.data(), k);
    out.append(n - k, ' ');
}

// `v` followed by `tail`, cut to the length of `tail`, appended (hora, cuenta).
void anadeCompletado(std::string& out, std::string_view v, std::string_view tail) {
    const std::size_t k = std::min(tail.size(), v.size());
    out.append(v.data(), k);
    out.append(tail.substr(0, tail.size() - k));
}

}  // namespace

void anadeTipo2(std::string& out, const Tipo2& r) {
    // The hour number goes before the day, and both are written as they stand.
    out += '2';
    anade(out, r.TIPDOC, 1);
    anade(out, r.DOC, 15);
    out += r.NUMSESION;
    out += r.DIASEM;
    anade(out, r.TIPTAR, 3);
    anadeCompletado(out, r.HORAINI, "00:00");
    anadeCompletado(out, r.HORAFIN, "00:00");
    anade(out, r.GRUPNIV, 3);
    anade(out, r.CODASIG, 4);
    anade(out, r.TIPASIG, 1);
    anade(out, r.IDIOMA, 2);
    anade(out, r.AULA_OBS, 30);
    anade(out, r.TIP_ACTIV, 3);
}

std::string registroTipo2(const Tipo2& r) {
    std::string out;
    out.reserve(76);
    anadeTipo2(out, r);
    return out;
}

void anadeTipo3(std::string& out, const Tipo3& r) {
    out += '3';
    anade(out, r.CODGRUPO, 5);
    anade(out, r.TIPDOC, 1);
    anade(out, r.DOC, 15);
    out += r.NUMSESGRUP;
    out += r.DIASEM;
    anadeCompletado(out, r.NUMALUM, "00");
}

std::string registroTipo3(const Tipo3& r) {
    std::string out;
    out.reserve(27);
    anadeTipo3(out, r);
    return out;
}

void writeFileAtomically(const std::filesystem::path& target, std::string_view content) {
    // Through the table engine's file layer, which syncs before the rename.
    if (int err = tables::replaceFile(target, content)) {
        throw std::runtime_error("Cannot create file \"" + target.string() + "\". " +
                                 std::strerror(err));
    }
}

}  // namespace tz::timetable::cuadro
