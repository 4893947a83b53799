#pragma once
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

// The printable report "Informe del horario para XEL" as a PDF: summary pages listing every
// teacher with their periods and findings, then one page per teacher with the centre, the
// teacher's document, the week grid and the teacher's findings. Drawn with QtGui alone (no
// Widgets), so the batch front end can write it without a display. This header has no Qt.
namespace tz::timetable::informe {

class Informe;

// Teachers listed on one summary page.
inline constexpr std::size_t kProfesoresPorResumen = 30;
// Summary pages for this many teachers (at least one).
std::size_t paginasResumen(std::size_t profesores);

// Writes the report into `file`, replacing it in one step: a failure leaves what was there.
// Creates an offscreen QGuiApplication when the process has no application yet. `progreso`,
// when given, is told after each page (pages done, pages in all); returning false stops the
// writing, and the file is left as it was. Returns "" or the error text (Spanish).
inline constexpr const char* kCancelado = "Informe cancelado";
std::string escribePdf(Informe& informe, const std::filesystem::path& file,
                       const std::function<bool(int hechas, int total)>& progreso = {});

}  // namespace tz::timetable::informe
