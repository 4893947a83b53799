#pragma once
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "base/RunState.h"
#include "base/UserPort.h"
#include "intake/CentroNiveles.h"

namespace tz::app {

class RegistroJob;

// The steps a job runs. Defaults are the real steps; tests replace some to observe the order or
// to make one fail.
struct JobSteps {
    using Step = std::function<void(base::RunState&, base::UserPort&)>;
    Step RecogeCatalogos;
    Step RecogeAsignaturas;
    Step RecogeProfesores;
    Step RecogeGrupos;
    std::function<void(intake::CentroNiveles&)> DatosCentro;
    std::function<void(base::RunState&, base::UserPort&, intake::CentroNiveles&)> PlantillaCentro;
    Step Importar2;

    static JobSteps real();
};

// The main window's behaviour without widgets: the shared run state, the centre and levels
// panel logic, and the user actions. Every user action catches engine and runtime errors at its
// top: the cursor is restored and the standard error box shows the error's text; the window stays
// usable and whatever was stored stays stored.
// The message of a missing exchange folder (its path as this platform names it).
std::string textoSinIntercambio(const std::filesystem::path& ztemp);
inline constexpr const char* kSinIntercambio = "No existe la carpeta de intercambio ";

class Jobs {
  public:
    explicit Jobs(base::UserPort& port, JobSteps steps = JobSteps::real());
    ~Jobs();
    Jobs(const Jobs&) = delete;
    Jobs& operator=(const Jobs&) = delete;

    base::RunState& state() { return state_; }
    const base::RunState& state() const { return state_; }
    intake::CentroNiveles& centro() { return centro_; }
    // The record of each job for the log of runs (it sees what the port shows).
    RegistroJob& registro() { return *registro_; }

    // Window creation: EstadoTransformado 0, the command line read; a handle that is no number
    // shows the error box. When the plan is hosted, NumParametros becomes 2. The caller embeds
    // the window and arranges the panels.
    StartupPlan FormCreate(const std::vector<std::string>& args);
    // Window closing: when hosted, the run status goes to `runStatusFile`; a failed write shows
    // the error box ("Unable to write to <path>.") and the closing goes on.
    void FormClose(const std::filesystem::path& runStatusFile);

    // XEL → Zandrix job over the text folder `folder` (native path).
    void BExportarClick(const std::string& folder);
    // Zandrix → XEL job.
    void BImportarClick(const std::string& folder);
    // "&Salir".
    void BCloseClick();

    // Centre and levels panels.
    void BitBtn1Click();
    void FinalRecogida();
    void wwDBGridNIVIMPEnter();
    void Button2Click();
    void Button3Click();

    // Runs `action` as a user action: catches what escapes it, restores the cursor and shows
    // the error box. Returns false when an error ended the action.
    bool guarded(const std::function<void()>& action);

    // A job holds the exchange folder so that no other copy of the tool works on it meanwhile.
    // By default the hold lasts until the process ends (the batch and a hosted window run one
    // job); with `false` it is let go after each user action, so that a window left open
    // between jobs does not keep the timetabler's own run of the tool out.
    void keepFolderHeld(bool keep) { keepFolderHeld_ = keep; }

  private:
    std::unique_ptr<RegistroJob> registro_;  // stands before the real port
    base::UserPort& port_;
    JobSteps steps_;
    base::RunState state_;
    intake::CentroNiveles centro_;
    bool keepFolderHeld_ = true;
    int actionDepth_ = 0;

    // CarpetaTextos := folder + separator; false (after the message, and when hosted the status
    // and the closing) when the folder does not exist.
    bool folderStep(const std::string& folder, int hostedStatus);
    // The same for the exchange folder ZTEMP, and for text files saved as UTF-8.
    bool exchangeStep(int hostedStatus);
    bool textosStep();
    // A set-up problem that ends the job before any table is touched: the message, run status -1
    // (input missing or unusable) and, when hosted, the closing.
    void stopForInput(const std::string& text, int status);
};

}  // namespace tz::app
