#include <filesystem>
#include <string>
#include <system_error>

#include "intake/CentroNiveles.h"
#include "platform/Error.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/EngineError.h"
#include "tables/FileIo.h"
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

// Makes PLANTILLA.DBF with its default rows. A schedule cut short would be kept by every later
// run (it is only made when missing) and give its missing hours no times, so the table is
// written in a folder of its own and moved into the exchange folder only when complete: an
// error or a crash on the way leaves no schedule, and the next run makes it whole.
void creaPlantilla() {
    namespace fs = std::filesystem;
    const fs::path ztemp = tables::ztemp();
    const fs::path work = ztemp / ".PLANTILLA.nueva";
    const fs::path target = tables::findExisting(ztemp / "PLANTILLA.DBF");
    // Errors name the table the user knows, not the folder it is made in.
    auto fail = [&](const std::string& why, const std::error_code& err) {
        throw tables::EngineError(
            "No se puede crear la plantilla horaria " + tables::shown(target) + ": " + why, err);
    };
    std::error_code ec;
    fs::remove_all(work, ec);  // what an interrupted run left
    fs::create_directory(work, ec);
    if (ec) {
        fail(platform::isNotFound(ec) ? "no existe la carpeta " + tables::shown(ztemp)
                                      : platform::errorText(ec),
             ec);
    }
    try {
        tables::createTable(work, tables::catalogue::PLANTILLA());
        tables::Dataset t;
        t.open(work / "PLANTILLA.DBF", tables::OpenMode::Shared);
        for (int h = 1; h <= 20; ++h) {
            t.append();
            t.setInteger("HORA", h);
            t.setText("HORAINI", horaInicioPorDefecto(h));
            t.setText("HORAFIN", horaFinPorDefecto(h));
            t.post();
        }
        t.close();
        // The index first: an index without its table is replaced when the table is made.
        if (fs::exists(work / "PLANTILLA.MDX"))
            tables::renameFile(work / "PLANTILLA.MDX",
                               tables::findExisting(ztemp / "PLANTILLA.MDX"));
        tables::renameFile(work / "PLANTILLA.DBF", target);
    } catch (const tables::EngineError& e) {
        fs::remove_all(work, ec);
        fail(e.errorSistema() ? platform::errorText(e.errorSistema()) : e.what(), e.errorSistema());
    } catch (...) {
        fs::remove_all(work, ec);
        throw;
    }
    fs::remove_all(work, ec);
}

}  // namespace

std::string horaInicioPorDefecto(int h) { return clock(startHour(h)); }
std::string horaFinPorDefecto(int h) { return clock(startHour(h) + 1); }

void PlantillaCentro(base::RunState& state, base::UserPort& port, intake::CentroNiveles& centro) {
    const auto plantilla = tables::ztempFile("PLANTILLA.DBF");
    // Only a missing table gets the defaults; corrections made earlier are kept.
    if (!tables::tableExists(plantilla)) creaPlantilla();

    port.runBellScheduleCheck();
    port.setBusy(true);

    if (!tables::tableExists(tables::ztempFile("xelCENTRO.DBF"))) {
        tables::catalogue::CreaTablaCentro();
        state.EstadoPaso = 1;
        centro.DatosCentro();
    }
}

}  // namespace tz::timetable
