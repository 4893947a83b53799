#pragma once
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/RegistroEjecuciones.h"
#include "base/RunState.h"
#include "base/UserPort.h"

namespace tz::app {

// Gathers the record of each job for the log of runs. It stands between the job sequences and
// the real user-interaction port: everything shown goes through it and is noted, and the job's
// end is seen in its final message, in an action that ends with no panel waiting for the
// person, or in the next job or the window closing (a job left unfinished). Files read come
// from the text reader; tables written are those of the exchange folder whose files changed
// while the job ran. A record that cannot be written does not stop the job: the port says so,
// once per process.
class RegistroJob : public base::UserPort {
  public:
    RegistroJob(base::UserPort& real, const base::RunState& state);
    ~RegistroJob() override;
    RegistroJob(const RegistroJob&) = delete;
    RegistroJob& operator=(const RegistroJob&) = delete;

    // A job button was pressed: "exportar" or "importar" over the text folder `carpeta`. A job
    // still open is recorded first, as left unfinished.
    void empieza(const std::string& modo, const std::string& carpeta);
    // The outermost user action has ended: the job ends unless a panel waits for the person.
    void accionTerminada();
    // The window closes: a job still open is recorded as left unfinished.
    void abandona();
    bool abierta() const { return actual_.has_value(); }

    // Batch runs: records are kept until cierraLote gives the exit status.
    void porLotes();
    // Ends a job still open (as left unfinished) and writes the record with the exit status.
    void cierraLote(int salida);

    // Where the log goes (tests); the state folder's log by default.
    void setFichero(std::filesystem::path f) { fichero_ = std::move(f); }

    // UserPort: forwarded to the real port; messages, questions and error boxes are noted.
    void message(const std::string& text) override;
    bool confirm(const std::string& text) override;
    void errorBox(const std::string& text) override;
    void setBusy(bool busy) override { real_.setBusy(busy); }
    void showCentrePanel(bool visible) override;
    void showLevelsPanel(bool visible) override;
    void showVolverNiveles(bool visible) override { real_.showVolverNiveles(visible); }
    void focusLevelsGrid() override { real_.focusLevelsGrid(); }
    void runBellScheduleCheck() override { real_.runBellScheduleCheck(); }
    void runAdjustment(base::Adjustment& ajuste) override;
    void closeMainWindow() override { real_.closeMainWindow(); }

  private:
    struct Huella {
        bool existe = false;
        std::filesystem::file_time_type cuando{};
        std::uintmax_t bytes = 0;
        bool operator==(const Huella&) const = default;
    };
    struct Curso {
        registro::Ejecucion e;
        std::chrono::steady_clock::time_point t0;
        std::map<std::string, Huella> tablas;  // exchange-folder tables at the start
        Huella cuadros;                        // fCUADROS.txt at the start
        std::filesystem::path cuadrosPath;
        bool error = false, sinCarpeta = false, ajuste = false, codificar = false;
        std::string final;  // the final message
    };
    void nota(std::string texto);
    void termina(const std::string& resultado);
    void escribe(registro::Ejecucion e);
    static Huella huella(const std::filesystem::path& p);

    base::UserPort& real_;
    const base::RunState& state_;
    std::optional<Curso> actual_;
    std::optional<registro::Ejecucion> pendiente_;  // batch: ended, waiting for its exit status
    bool lotes_ = false;
    bool centro_ = false, niveles_ = false;  // panels shown
    bool avisado_ = false;                   // a failure to write the log has been told
    std::filesystem::path fichero_;
};

}  // namespace tz::app
