#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Kept copies of fCUADROS.txt: before the file is replaced, the previous one goes into the
// tool's own state folder (never into the administration's text folder), one folder per text
// folder, the last kMaximo kept. And what changed between two versions, period by period.
namespace tz::timetable::copias {

inline constexpr int kMaximo = 10;

// The tool's state folder (platform::stateFolder: $XDG_STATE_HOME/transzanderxel or
// ~/.local/state/transzanderxel on Linux, %LOCALAPPDATA%\transzanderxel on Windows) + copias,
// then one folder per text folder, named after its last component and a hash of its full path.
std::filesystem::path carpetaCopias(const std::filesystem::path& carpetaTextos);

struct Copia {
    std::filesystem::path fichero;
    std::string fecha;  // when it was replaced, "AAAA-MM-DD hh:mm:ss" (local time)
    std::uintmax_t bytes = 0;
};
// The kept copies of a text folder, newest first.
std::vector<Copia> lista(const std::filesystem::path& carpetaTextos);

// Keeps `anterior` (the fCUADROS.txt about to be replaced) as the newest copy of its text
// folder and drops the oldest beyond kMaximo. Nothing is kept when the file does not exist or
// equals the newest copy. Never throws: a copy that cannot be kept must not stop the writing;
// returns false then.
bool guardaAnterior(const std::filesystem::path& carpetaTextos,
                    const std::filesystem::path& anterior);

// One period of one teacher that differs between two versions of the file.
struct Cambio {
    enum Tipo { Anadido, Quitado, Cambiado } tipo;
    std::string dia, sesion;            // Windows-1252 bytes as in the file
    std::vector<std::string> detalles;  // Cambiado: "TAREA: 101 → COO" (UTF-8)
};
struct DiferenciaProfesor {
    std::string tipdoc, doc;  // the teacher, by document (the file carries no abbreviation)
    std::vector<Cambio> cambios;
};
// Periods added (in `actual` only), removed (in `anterior` only) and changed, per teacher in
// document order, each teacher's periods by day and session. A period is a type 2 record with
// the type 3 records after it; the header record is not compared.
std::vector<DiferenciaProfesor> diferencias(std::string_view anterior, std::string_view actual);
// The listing, one line per teacher and one per period (UTF-8).
std::string textoDiferencias(const std::vector<DiferenciaProfesor>& d);

}  // namespace tz::timetable::copias
