#include <exception>
#include <string>

#include "intake/CentroNiveles.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"
#include "timetable/Timetable.h"

namespace tz::timetable {

namespace {

// Start hour of default hour number h: the day runs from 08:00 past midnight to 04:00.
int startHour(int h) { return h <= 16 ? h + 7 : h - 17; }

std::string clock(int hour) {
    std::string t = std::to_string(hour) + ":00";
    if (t.size() < 5) t = "0" + t;
    return t;
}

}  // namespace

std::string horaInicioPorDefecto(int h) { return clock(startHour(h)); }
std::string horaFinPorDefecto(int h) { return clock(startHour(h) + 1); }

void PlantillaCentro(app::RunState& state, app::UserPort& port, intake::CentroNiveles& centro) {
    const auto plantilla = tables::ztempFile("PLANTILLA.DBF");
    // Only a missing table gets the defaults; corrections made earlier are kept.
    if (!tables::tableExists(plantilla)) {
        try {
            tables::createTable(tables::ztemp(), tables::catalogue::PLANTILLA());
            tables::Dataset t;
            t.open(tables::ztempFile("PLANTILLA.DBF"), tables::OpenMode::Shared);
            for (int h = 1; h <= 20; ++h) {
                t.append();
                t.setInteger("HORA", h);
                t.setText("HORAINI", horaInicioPorDefecto(h));
                t.setText("HORAFIN", horaFinPorDefecto(h));
                t.post();
            }
            t.close();
        } catch (...) {
            // A schedule cut short would be kept by every later run (it is only made when
            // missing) and give its missing hours no times: it goes, to be made whole next time.
            try {
                tables::deleteTableFiles(plantilla);
            } catch (const std::exception&) {
                // The first error is the one to report.
            }
            throw;
        }
    }

    port.runBellScheduleCheck();
    port.setBusy(true);

    if (!tables::tableExists(tables::ztempFile("xelCENTRO.DBF"))) {
        tables::catalogue::CreaTablaCentro();
        state.EstadoPaso = 1;
        centro.DatosCentro();
    }
}

}  // namespace tz::timetable
