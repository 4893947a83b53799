#include "timetable/CuadroHorario.h"

#include <algorithm>
#include <cstring>

#include "tables/ShortCopy.h"
#include "timetable/Texto.h"

namespace tz::timetable::cuadro {

std::string hora(std::string_view v) { return (std::string(v) + "00:00").substr(0, 5); }

std::string cuenta(std::string_view v) { return (std::string(v) + "00").substr(0, 2); }

std::string registroTipo1(const Centro& c) {
    return "1CH" + fitted(c.CODCENTRO, 6) + fitted(c.ANOACAD, 4) + fitted(c.VERSION, 1);
}

namespace {

// The pieces of a record, written one after the other from `p`; each returns where the next
// goes. `fit`: `v` fitted to `n` (Texto.h); `keep`: `v` as it stands; `complete`: `v` followed
// by `tail`, cut to the length of `tail` (hora, cuenta).
inline char* fit(char* p, std::string_view v, std::size_t n) {
    // The width in spaces (a fixed width: plain stores), then the value over them.
    std::memset(p, ' ', n);
    tables::copyShort(p, v.data(), std::min(n, v.size()));
    return p + n;
}
inline char* keep(char* p, std::string_view v) {
    tables::copyShort(p, v.data(), v.size());
    return p + v.size();
}
inline char* complete(char* p, std::string_view v, std::string_view tail) {
    const std::size_t k = std::min(tail.size(), v.size());
    p = keep(p, v.substr(0, k));
    return keep(p, tail.substr(k));
}

// The fixed pieces take this much room; the pieces kept as they stand take their own.
constexpr std::size_t kFixed = 96;

// Builds a record with `write(p)`, which writes from `p` and returns the end, in a buffer on
// the stack unless the pieces kept as they stand (`kept` bytes) need more, then appends it.
template <class Write>
void anade(std::string& out, std::size_t kept, Write write) {
    std::string room;
    char fixed[kFixed + 64];
    char* start = fixed;
    if (kept > 64) {
        room.resize(kFixed + kept);
        start = room.data();
    }
    const char* end = write(start);
    out.append(start, static_cast<std::size_t>(end - start));
}

}  // namespace

void anadeTipo2(std::string& out, const Vista2& r) {
    // The hour number goes before the day, and both are written as they stand.
    anade(out, r.NUMSESION.size() + r.DIASEM.size(), [&r](char* p) {
        *p++ = '2';
        p = fit(p, r.TIPDOC, 1);
        p = fit(p, r.DOC, 15);
        p = keep(p, r.NUMSESION);
        p = keep(p, r.DIASEM);
        p = fit(p, r.TIPTAR, 3);
        p = complete(p, r.HORAINI, "00:00");
        p = complete(p, r.HORAFIN, "00:00");
        p = fit(p, r.GRUPNIV, 3);
        p = fit(p, r.CODASIG, 4);
        p = fit(p, r.TIPASIG, 1);
        p = fit(p, r.IDIOMA, 2);
        p = fit(p, r.AULA_OBS, 30);
        p = fit(p, r.TIP_ACTIV, 3);
        return p;
    });
}

std::string registroTipo2(const Tipo2& r) {
    std::string out;
    out.reserve(76);
    anadeTipo2(out, {r.TIPDOC, r.DOC, r.NUMSESION, r.DIASEM, r.TIPTAR, r.HORAINI, r.HORAFIN,
                     r.GRUPNIV, r.CODASIG, r.TIPASIG, r.IDIOMA, r.AULA_OBS, r.TIP_ACTIV});
    return out;
}

void anadeTipo3(std::string& out, const Vista3& r) {
    anade(out, r.NUMSESGRUP.size() + r.DIASEM.size(), [&r](char* p) {
        *p++ = '3';
        p = fit(p, r.CODGRUPO, 5);
        p = fit(p, r.TIPDOC, 1);
        p = fit(p, r.DOC, 15);
        p = keep(p, r.NUMSESGRUP);
        p = keep(p, r.DIASEM);
        p = complete(p, r.NUMALUM, "00");
        return p;
    });
}

std::string registroTipo3(const Tipo3& r) {
    std::string out;
    out.reserve(27);
    anadeTipo3(out, {r.CODGRUPO, r.TIPDOC, r.DOC, r.NUMSESGRUP, r.DIASEM, r.NUMALUM});
    return out;
}

}  // namespace tz::timetable::cuadro
