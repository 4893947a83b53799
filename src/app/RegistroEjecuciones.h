#pragma once
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The log of runs: one record per job, in the tool's state folder (never in the
// administration's text folder nor in ZTEMP), one JSON object per line, the last kMaximo kept.
// No Qt.
namespace tz::app::registro {

inline constexpr std::size_t kMaximo = 200;

// A file the job read or a table it wrote, with its rows (lines of a text file, records of a
// table); -1 when they could not be counted.
struct Fichero {
    std::string nombre;
    long filas = -1;
    bool operator==(const Fichero&) const = default;
};

struct Ejecucion {
    std::string inicio;        // local time, "AAAA-MM-DD hh:mm:ss"
    long long duracionMs = 0;  // from the job button to its end
    std::string modo;          // "exportar" or "importar"
    std::string origen;        // "ventana", "anfitrión" (launched by Zandrix) or "lotes"
    std::string carpeta;       // the text folder
    std::vector<Fichero> leidos, escritos;
    std::vector<std::string> mensajes;  // every message shown, as its box showed it
    // "finalizado", "no finalizado", "error", "sin carpeta" or "sin terminar".
    std::string resultado;
    int estadoTransformado = 0, estadoPaso = 0;
    std::optional<int> salida;  // exit status of a batch run
    bool operator==(const Ejecucion&) const = default;
};

// $XDG_STATE_HOME/transzanderxel/registro.jsonl (or under ~/.local/state).
std::filesystem::path fichero();

// One line of JSON (no line break inside). Texts that are not UTF-8 are read as Windows-1252.
std::string aJson(const Ejecucion& e);
// The record of a line; nothing for a line that is not one.
std::optional<Ejecucion> deJson(std::string_view linea);

// Appends the record to the log, keeping the last kMaximo; the file is replaced in one step,
// under a lock that other copies of the tool honour. Returns "" or what went wrong (Spanish).
// Never throws.
std::string anade(const Ejecucion& e, const std::filesystem::path& log = fichero());

// The last `n` records (0: all), newest first. Lines that are not records are skipped and
// counted in `danadas`. A missing log has none.
std::vector<Ejecucion> ultimas(std::size_t n = 0, const std::filesystem::path& log = fichero(),
                               std::size_t* danadas = nullptr);

// One line: date, mode, where from, time taken, outcome, states, folder, counts (UTF-8).
std::string linea(const Ejecucion& e);
// Everything, one item per line (UTF-8).
std::string detalle(const Ejecucion& e);

}  // namespace tz::app::registro
