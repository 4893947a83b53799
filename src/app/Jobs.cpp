#include "app/Jobs.h"

#include <exception>

#include "app/IniFile.h"
#include "app/RegistroJob.h"
#include "base/Texts.h"
#include "intake/Intake.h"
#include "intake/TextoFijo.h"
#include "platform/System.h"
#include "tables/EngineError.h"
#include "tables/FileIo.h"
#include "tables/Paths.h"
#include "timetable/Timetable.h"

namespace tz::app {

JobSteps JobSteps::real() {
    JobSteps s;
    s.RecogeCatalogos = intake::RecogeCatalogos;
    s.RecogeAsignaturas = intake::RecogeAsignaturas;
    s.RecogeProfesores = intake::RecogeProfesores;
    s.RecogeGrupos = intake::RecogeGrupos;
    s.DatosCentro = [](intake::CentroNiveles& c) { c.DatosCentro(); };
    s.PlantillaCentro = timetable::PlantillaCentro;
    s.Importar2 = timetable::Importar2;
    return s;
}

Jobs::Jobs(base::UserPort& port, JobSteps steps)
    : registro_(std::make_unique<RegistroJob>(port, state_)),
      port_(*registro_),
      steps_(std::move(steps)),
      centro_(state_, port_) {
    centro_.importar2 = [this] { steps_.Importar2(state_, port_); };
    centro_.accion = [this](const std::function<void()>& action) { guarded(action); };
}

bool Jobs::guarded(const std::function<void()>& action) {
    std::string error;
    ++actionDepth_;
    try {
        action();
    } catch (const std::exception& e) {
        error = e.what();
        if (error.empty()) error = "Error desconocido";
    } catch (...) {
        error = "Error desconocido";
    }
    // The outermost action ending lets the exchange folder go, when it is not kept.
    if (--actionDepth_ == 0 && !keepFolderHeld_) tables::releaseFolder();
    if (!error.empty()) {
        port_.setBusy(false);
        port_.errorBox(error);
    }
    if (actionDepth_ == 0) registro_->accionTerminada();
    return error.empty();
}

// The record goes first: a job still open is noted with the run state as it stands.
Jobs::~Jobs() { registro_.reset(); }

StartupPlan Jobs::FormCreate(const std::vector<std::string>& args) {
    state_.EstadoTransformado = 0;
    StartupPlan plan = planStartup(args);
    if (plan.error) port_.errorBox(*plan.error);
    if (plan.hosted) state_.NumParametros = static_cast<int>(args.size());
    return plan;
}

void Jobs::FormClose(const std::filesystem::path& runStatusFile) {
    registro_->abandona();
    if (!state_.hosted()) return;
    try {
        writeRunStatus(runStatusFile, state_.EstadoTransformado);
    } catch (const std::exception& e) {
        port_.setBusy(false);
        port_.errorBox(e.what());
    }
}

std::string textoSinIntercambio(const std::filesystem::path& ztemp) {
    return kSinIntercambio + tables::shown(ztemp) +
           ".\rEs la carpeta ZTEMP donde Zandrix deja sus tablas: compruebe que Zandrix trabaja en "
           "esta unidad, o cree la carpeta, y repita el trabajo.";
}

void Jobs::stopForInput(const std::string& text, int status) {
    port_.setBusy(false);
    port_.message(text);
    state_.EstadoTransformado = status;
    if (state_.hosted()) port_.closeMainWindow();
}

bool Jobs::exchangeStep(int hostedStatus) {
    // "\ZTEMP", where the steps make their tables, and "C:\ZTEMP", the timetabler's own (one
    // folder but on Windows with the text folder on another drive).
    for (const std::filesystem::path& ztemp : {tables::ztemp(), tables::mapPath("C:\\ZTEMP")}) {
        if (tables::folderExists(ztemp)) continue;
        stopForInput(textoSinIntercambio(ztemp), state_.hosted() ? hostedStatus : -1);
        return false;
    }
    return true;
}

bool Jobs::textosStep() {
    const auto utf8 = intake::ficherosEnUtf8(state_.CarpetaTextos);
    if (utf8.empty()) return true;
    stopForInput(intake::textoFicherosEnUtf8(state_.CarpetaTextos, utf8), -1);
    return false;
}

bool Jobs::folderStep(const std::string& folder, int hostedStatus) {
    state_.CarpetaTextos = folder + std::string(1, std::filesystem::path::preferred_separator);
    if (!folder.empty() && tables::folderExists(platform::pathFromUtf8(folder))) {
        // "\ZTEMP" is on the text folder's drive (Windows).
        tables::followTextFolder(platform::pathFromUtf8(folder));
        // One copy of the tool at a time works on the exchange folder.
        tables::holdFolderOrThrow(tables::mapPath("C:\\ZTEMP"));
        return true;
    }
    port_.message(base::texts::kNoExisteCarpeta);
    if (state_.hosted()) {
        state_.EstadoTransformado = hostedStatus;
        port_.closeMainWindow();
    }
    return false;
}

void Jobs::BExportarClick(const std::string& folder) {
    guarded([&] {
        state_.EstadoPaso = 0;  // a 4 left by an unfinished job must not steer this one
        registro_->empieza("exportar", folder);
        if (!folderStep(folder, -1) || !exchangeStep(-1) || !textosStep()) return;
        port_.setBusy(true);
        state_.EstadoTransformado = 1;
        // Each step runs even when an earlier one found its input missing.
        steps_.RecogeCatalogos(state_, port_);
        steps_.RecogeAsignaturas(state_, port_);
        steps_.RecogeProfesores(state_, port_);
        steps_.RecogeGrupos(state_, port_);
        steps_.DatosCentro(centro_);
    });
}

void Jobs::BImportarClick(const std::string& folder) {
    guarded([&] {
        state_.EstadoPaso = 0;
        registro_->empieza("importar", folder);
        if (!folderStep(folder, 0) || !exchangeStep(0)) return;
        steps_.PlantillaCentro(state_, port_, centro_);
        // Otherwise the centre panel waits; its OK runs the export.
        if (state_.EstadoPaso == 0) steps_.Importar2(state_, port_);
    });
}

void Jobs::BCloseClick() { port_.closeMainWindow(); }

void Jobs::BitBtn1Click() {
    guarded([&] { centro_.BitBtn1Click(); });
}
void Jobs::FinalRecogida() {
    guarded([&] { centro_.FinalRecogida(); });
}
void Jobs::wwDBGridNIVIMPEnter() {
    guarded([&] { centro_.wwDBGridNIVIMPEnter(); });
}
void Jobs::Button2Click() {
    guarded([&] { centro_.Button2Click(); });
}
void Jobs::Button3Click() {
    guarded([&] { centro_.Button3Click(); });
}

}  // namespace tz::app
