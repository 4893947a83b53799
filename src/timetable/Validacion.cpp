#include "timetable/Validacion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tables/Cp1252.h"

namespace tz::timetable::validacion {

namespace {

bool cifras(std::string_view v, std::size_t n) {
    if (v.size() != n) return false;
    for (char c : v)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

std::string cita(std::string_view v) {
    std::string s(v);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32) c = '\xB7';
    return "\"" + cp1252::toUtf8(s) + "\"";
}

int primerControl(std::string_view v) {
    for (char c : v)
        if (static_cast<unsigned char>(c) < 32) return static_cast<unsigned char>(c);
    return -1;
}

bool algunControl(const char* bytes, std::size_t n) {
    constexpr std::uint64_t kUnos = 0x0101010101010101ULL, kAltos = 0x8080808080808080ULL;
    // Nonzero exactly when some byte of the word is below 32 (the borrow of a byte below 32
    // sets its high bit, which a byte of 128 or more had already).
    auto hay = [&](std::size_t at) {
        std::uint64_t w;
        std::memcpy(&w, bytes + at, 8);
        return ((w - kUnos * 32) & ~w & kAltos) != 0;
    };
    if (n < 8) {
        for (std::size_t i = 0; i < n; ++i)
            if (static_cast<unsigned char>(bytes[i]) < 32) return true;
        return false;
    }
    for (std::size_t i = 0; i + 8 <= n; i += 8)
        if (hay(i)) return true;
    // The last bytes in one word that overlaps the ones before.
    return hay(n - 8);
}

std::string nombreControl(int code) {
    const std::string n = "código " + std::to_string(code);
    switch (code) {
        case 9:
            return "tabulador (" + n + ")";
        case 10:
            return "salto de línea (" + n + ")";
        case 13:
            return "retorno de carro (" + n + ")";
        default:
            return n;
    }
}

std::string sinFinDeLinea(std::string_view v) {
    while (!v.empty() && (v.back() == '\r' || v.back() == '\n')) v.remove_suffix(1);
    return std::string(v);
}

std::string reglaCodigoCentro(std::string_view v) {
    if (v.empty()) return "está en blanco";
    return cifras(v, 6) ? "" : "debe tener 6 cifras";
}

std::string reglaAnoAcademico(std::string_view v) {
    if (v.empty()) return "está en blanco";
    if (!cifras(v, 4)) return "debe tener 4 cifras";
    const int year = std::atoi(std::string(v).c_str());
    if (year < kPrimerAno || year > kUltimoAno)
        return "debe ser un año de " + std::to_string(kPrimerAno) + " a " +
               std::to_string(kUltimoAno);
    return "";
}

std::string reglaVersion(std::string_view v) {
    if (v.empty()) return "está en blanco";
    return cifras(v, 1) ? "" : "debe ser una sola cifra";
}

std::string reglaCentro(std::string_view codigo, std::string_view ano, std::string_view version) {
    if (codigo.empty()) return "falta el código de centro";
    if (auto r = reglaCodigoCentro(codigo); !r.empty())
        return "el código de centro " + cita(codigo) + " " + r;
    if (ano.empty()) return "falta el año académico";
    if (auto r = reglaAnoAcademico(ano); !r.empty())
        return "el año académico " + cita(ano) + " " + r;
    if (version.empty()) return "falta la versión";
    if (auto r = reglaVersion(version); !r.empty()) return "la versión " + cita(version) + " " + r;
    return "";
}

bool diaValido(std::string_view dia) {
    return dia.size() == 1 && dia[0] >= '0' + kPrimerDia && dia[0] <= '0' + kUltimoDia;
}

std::string reglaSesion(std::string_view sesion, const std::optional<Horas>& horas) {
    if (!cifras(sesion, 2)) return "debe ser un número de dos cifras";
    const int h = (sesion[0] - '0') * 10 + (sesion[1] - '0');
    if (h < kPrimeraHora) return "no es una hora de la plantilla horaria";
    if (horas && !horas->count(h)) return "no está en la plantilla horaria";
    return "";
}

std::optional<std::int64_t> entero(std::string_view text) {
    // Plain digits, what the tables hold, without a copy; anything else as strtod reads it.
    if (!text.empty() && text.size() <= 6 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        std::int64_t v = 0;
        for (char c : text) v = v * 10 + (c - '0');
        return v;
    }
    const std::string t(text);
    if (t.empty()) return std::nullopt;
    char* end = nullptr;
    const double d = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0' || !std::isfinite(d) || std::fabs(d) > 1e6)
        return std::nullopt;
    return std::llround(d);
}

bool omitida(std::string_view profesor, std::string_view dia) {
    if (profesor.empty()) return true;
    const auto d = entero(dia);
    return dia.empty() || (d && *d == 0);
}

Colocacion coloca(std::string_view dia, std::string_view hora, std::string_view sesiones,
                  const Horas& horas) {
    Colocacion c;
    if (!diaValido(dia)) {
        c.motivo = "el día " + cita(dia) + " no es un día de la semana (" +
                   std::to_string(kPrimerDia) + " a " + std::to_string(kUltimoDia) + ")";
        return c;
    }
    const auto h = entero(hora);
    if (!h) {
        c.motivo = hora.empty() ? "la hora está en blanco o no es un número"
                                : "la hora " + cita(hora) + " no es un número";
        return c;
    }
    c.hora = *h;
    if (*h < kPrimeraHora || *h > kUltimaHora || !horas.count(*h)) {
        c.motivo = "la hora " + std::to_string(*h) + " no está en la plantilla horaria";
        return c;
    }
    std::int64_t n = 1;
    if (!sesiones.empty()) {
        const auto s = entero(sesiones);
        if (!s) {
            c.motivo = "el número de sesiones " + cita(sesiones) + " no es un número";
            return c;
        }
        n = *s;
    }
    c.ultima = n <= 1 ? *h : *h + n - 1;
    if (c.ultima > kUltimaHora || !horas.count(c.ultima)) {
        c.motivo = "sus " + std::to_string(n) + " sesiones acaban en la hora " +
                   std::to_string(c.ultima) + ", que no está en la plantilla horaria";
        return c;
    }
    return c;
}

}  // namespace tz::timetable::validacion
