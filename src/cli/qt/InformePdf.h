#pragma once
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

// The PDF of "informe", written by the program transzanderxel-informe: the batch itself loads
// no Qt, so its jobs start in a few milliseconds, and runs that program only for a report.
namespace tz::cli {

// Writes the "Informe del horario para XEL" of the export tables of `raiz` (the default
// exchange folder when not given) into `salida`: warnings, then the count of pages and
// teachers and the check's summary, on `err`. Returns the exit status of "informe": 0 without
// findings, 6 with them, 3 when the report could not be written.
int escribeInformePdf(const std::optional<std::filesystem::path>& raiz, const std::string& salida,
                      std::ostream& err);

// The program's own command line: --salida FICHERO.pdf [--raiz CARPETA], read as informe's
// options (the batch checks the rest before it runs the program). Returns the exit status.
int informeMain(int argc, char** argv);

}  // namespace tz::cli
