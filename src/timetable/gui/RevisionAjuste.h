#pragma once
#include <string>
#include <unordered_set>
#include <vector>

#include "tables/Dataset.h"
#include "timetable/Revision.h"

class QCheckBox;
class QLabel;

namespace tz::timetable::gui {

class ListaHallazgos;

// The adjustment window's completeness check: its own cursors over the export tables (they
// share the window's table objects, so they see every stored row), the catalogues read once,
// and the rows found incomplete by the last check.
struct RevisionAjuste {
    tables::Dataset h2, h3;
    revision::Catalogos catalogos;
    std::string error;  // the tables could not be opened: no check
    std::vector<revision::Hallazgo> hallazgos;
    std::unordered_set<tables::Bookmark> incompletas2;  // type 2 rows with findings
    std::unordered_set<std::string> claves3;            // slot keys of type 3 rows with findings
    bool programada = false;

    QLabel* resumen = nullptr;
    QCheckBox* soloIncompletos = nullptr;
    ListaHallazgos* lista = nullptr;
};

}  // namespace tz::timetable::gui
