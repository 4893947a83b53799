#pragma once
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

// The rules a value must keep to reach fCUADROS.txt, shared by the export, the adjustment
// window, the completeness check and the batch front end. Values are single-byte text as the
// tables hold it (trailing spaces already gone); the texts returned are Spanish, UTF-8.
//
//   Centre code (CODCENTRO)     six digits, leading zeros included ("015432")
//   Academic year (ANOACAD)     four digits, the year the course starts, 2000 to 2099
//   Version (VERSION)           one digit; the record carries one character only
//   Day (DIASEM)                one digit from 1 (Monday) to 7
//   Session (NUMSESION, ...)    two digits, an hour of the bell schedule (PLANTILLA)
//   Any written field           no control character (codes 0 to 31) inside
namespace tz::timetable::validacion {

inline constexpr int kPrimerDia = 1, kUltimoDia = 7;
inline constexpr int kPrimerAno = 2000, kUltimoAno = 2099;
// The slot key gives the hour two characters.
inline constexpr int kPrimeraHora = 1, kUltimaHora = 99;

// The hour numbers of the bell schedule: those a slot key can carry (0 to 99) as bits, looked
// up at every lesson and row; any other kept apart.
class Horas {
  public:
    Horas() = default;
    Horas(std::initializer_list<std::int64_t> horas) {
        for (std::int64_t h : horas) insert(h);
    }
    void insert(std::int64_t h) {
        if (h >= 0 && h < kBits)
            bits_.set(static_cast<std::size_t>(h));
        else
            otras_.insert(h);
    }
    std::size_t count(std::int64_t h) const {
        if (h >= 0 && h < kBits) return bits_.test(static_cast<std::size_t>(h)) ? 1 : 0;
        return otras_.count(h);
    }

  private:
    static constexpr std::int64_t kBits = 128;
    std::bitset<kBits> bits_;
    std::unordered_set<std::int64_t> otras_;
};

// The first byte of code 0 to 31 in `v`, or -1.
int primerControl(std::string_view v);
inline bool tieneControl(std::string_view v) { return primerControl(v) >= 0; }
// Whether any of these bytes is a control character: a whole row looked at eight bytes at a
// time, so that the fields of a clean row need not be looked at one by one.
bool algunControl(const char* bytes, std::size_t n);
// A value quoted for a message: between double quotes, Windows-1252 bytes as UTF-8, control
// characters shown as "·".
std::string cita(std::string_view v);
// How the character is named to the user: "retorno de carro (código 13)", "código 27".
std::string nombreControl(int code);

// A value typed or pasted by hand without the line ends (CR, LF) after it, which are never
// meant; any other control character stays, for the check to tell.
std::string sinFinDeLinea(std::string_view v);

// Centre data: "" when the value keeps to its rule, else what is wrong with it, e.g.
// "debe tener 6 cifras".
std::string reglaCodigoCentro(std::string_view v);
std::string reglaAnoAcademico(std::string_view v);
std::string reglaVersion(std::string_view v);
// The first rule the three values break, naming the field ("falta el año académico", "el código
// de centro \"-1\" debe tener 6 cifras"), or "".
std::string reglaCentro(std::string_view codigo, std::string_view ano, std::string_view version);

// A day as written: one digit from kPrimerDia to kUltimoDia.
bool diaValido(std::string_view dia);
// A session as written: two digits; when the bell schedule is known, one of its hours.
// "" when valid, else what is wrong ("no está en la plantilla horaria").
std::string reglaSesion(std::string_view sesion, const std::optional<Horas>& horas);

// A number as the engine gives a numeric field (its shortest decimal text) rounded to the
// nearest whole number; nothing when blank, not a number, or beyond a million either way.
std::optional<std::int64_t> entero(std::string_view text);

// A lesson of SOLUC the export leaves out by design: no teacher, or day 0 (blank included), the
// timetabler's mark of a lesson it has not placed.
bool omitida(std::string_view profesor, std::string_view dia);

// Where a lesson of SOLUC goes in the week and the bell schedule, or why it cannot go.
struct Colocacion {
    std::int64_t hora = 0;    // its first hour
    std::int64_t ultima = 0;  // the hour whose end time ends it
    std::string motivo;       // empty when placed
};
// `dia`, `hora` and `sesiones` are the texts of the lesson's numeric fields. A lesson of at
// most one session ends with its own hour; of n sessions, with hour + n - 1.
Colocacion coloca(std::string_view dia, std::string_view hora, std::string_view sesiones,
                  const Horas& horas);

}  // namespace tz::timetable::validacion
