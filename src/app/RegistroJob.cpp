#include "app/RegistroJob.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "base/Texts.h"
#include "intake/TextoFijo.h"
#include "platform/System.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"
#include "timetable/Timetable.h"

namespace tz::app {

namespace fs = std::filesystem;

namespace {

// At most this many messages are kept in one record.
constexpr std::size_t kMaxMensajes = 200;

// The record the text reader reports to: the job running in this process.
RegistroJob* activo = nullptr;
std::vector<registro::Fichero>* leidosActivos = nullptr;

void instalaLectura() {
    static const bool instalada = [] {
        intake::TextoFijo::alCerrar([](const fs::path& file, long lineas) {
            if (leidosActivos) leidosActivos->push_back({file.filename().string(), lineas});
        });
        return true;
    }();
    (void)instalada;
}

std::string ahora() {
    const std::tm tm = platform::localTime(std::time(nullptr));
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

// Rows of the tables a record names, each file counted once per record.
class Filas {
  public:
    long de(const fs::path& file) {
        auto [it, nuevo] = vistas_.try_emplace(file.string(), 0);
        if (nuevo) it->second = tables::liveRowCount(file);
        return it->second;
    }

  private:
    std::map<std::string, long> vistas_;
};

long lineasTexto(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return -1;
    long n = 0;
    char last = '\n';
    std::vector<char> buf(1 << 16);
    while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0) {
        const auto got = static_cast<std::size_t>(in.gcount());
        // Line ends found by memchr, which looks at many bytes a step.
        for (const char *p = buf.data(), *end = p + got;
             (p = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)))); ++p)
            ++n;
        last = buf[got - 1];
    }
    return last == '\n' ? n : n + 1;
}

std::string unaLinea(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

// The exchange-folder tables a job may write, and the timetabler's SOLUC.
std::vector<std::string> tablasCarpeta() {
    std::vector<std::string> out;
    for (const auto* l : tables::catalogue::all()) out.push_back(l->fileName);
    out.push_back("SOLUC.DBF");
    return out;
}

}  // namespace

RegistroJob::RegistroJob(base::UserPort& real, const base::RunState& state)
    : real_(real), state_(state) {}

RegistroJob::~RegistroJob() {
    // Nobody is there to be told about a failure now.
    avisado_ = true;
    try {
        abandona();
        if (pendiente_) escribe(std::move(*pendiente_));
    } catch (...) {
        // The log never stops the tool, least of all while it ends.
    }
    if (activo == this) activo = nullptr, leidosActivos = nullptr;
}

RegistroJob::Huella RegistroJob::huella(const fs::path& p) {
    Huella h;
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) return h;
    h.existe = true;
    h.cuando = fs::last_write_time(p, ec);
    h.bytes = fs::file_size(p, ec);
    return h;
}

void RegistroJob::empieza(const std::string& modo, const std::string& carpeta) {
    abandona();
    Curso c;
    c.t0 = std::chrono::steady_clock::now();
    c.e.inicio = ahora();
    c.e.modo = modo;
    c.e.origen = lotes_ ? "lotes" : state_.hosted() ? "anfitrión" : "ventana";
    std::error_code ec;
    const fs::path absoluta = carpeta.empty() ? fs::path() : fs::absolute(carpeta, ec);
    c.e.carpeta = ec || absoluta.empty() ? carpeta : absoluta.string();
    try {
        for (const std::string& t : tablasCarpeta()) c.tablas[t] = huella(tables::ztempFile(t));
        c.cuadrosPath = tables::findExisting(fs::path(carpeta) / "fCUADROS.txt");
        c.cuadros = huella(c.cuadrosPath);
    } catch (const std::exception&) {
        // A folder that cannot be looked at has nothing to compare with.
    }
    actual_ = std::move(c);
    instalaLectura();
    activo = this;
    leidosActivos = &actual_->e.leidos;
}

void RegistroJob::nota(std::string texto) {
    if (!actual_) return;
    auto& m = actual_->e.mensajes;
    if (m.size() < kMaxMensajes) m.push_back(std::move(texto));
}

void RegistroJob::message(const std::string& text) {
    real_.message(text);
    if (!actual_) return;
    nota(text);
    if (text == base::texts::kNoExisteCarpeta) actual_->sinCarpeta = true;
    if (text == base::texts::kProcesoFinalizado)
        termina("finalizado");
    else if (text == base::texts::kProcesoNoFinalizado)
        termina("no finalizado");
}

bool RegistroJob::confirm(const std::string& text) {
    const bool si = real_.confirm(text);
    if (actual_) {
        nota("? " + unaLinea(text) + (si ? " -> Si" : " -> No"));
        if (si && text == timetable::preguntaCodificar()) actual_->codificar = true;
    }
    return si;
}

void RegistroJob::errorBox(const std::string& text) {
    real_.errorBox(text);
    if (!actual_) return;
    nota(text + ".");
    actual_->error = true;
}

void RegistroJob::showCentrePanel(bool visible) {
    centro_ = visible;
    real_.showCentrePanel(visible);
}

void RegistroJob::showLevelsPanel(bool visible) {
    niveles_ = visible;
    real_.showLevelsPanel(visible);
}

void RegistroJob::runAdjustment(base::Adjustment& ajuste) {
    if (actual_) actual_->ajuste = true;
    real_.runAdjustment(ajuste);
}

void RegistroJob::accionTerminada() {
    if (!actual_) return;
    // A panel that waits for the person keeps the job going.
    const bool espera =
        actual_->e.modo == "importar" ? centro_ && state_.EstadoPaso == 1 : centro_ || niveles_;
    if (espera) return;  // after an error too: the person may correct and go on
    abandona();
}

void RegistroJob::abandona() {
    if (actual_)
        termina(actual_->error ? "error" : actual_->sinCarpeta ? "sin carpeta" : "sin terminar");
}

void RegistroJob::porLotes() { lotes_ = true; }

void RegistroJob::cierraLote(int salida) {
    abandona();
    if (!pendiente_) return;
    pendiente_->salida = salida;
    registro::Ejecucion e = std::move(*pendiente_);
    pendiente_.reset();
    escribe(std::move(e));
}

void RegistroJob::termina(const std::string& resultado) {
    if (!actual_) return;
    if (activo == this) activo = nullptr, leidosActivos = nullptr;
    Curso c = std::move(*actual_);
    actual_.reset();
    registro::Ejecucion& e = c.e;
    e.resultado = resultado;
    e.duracionMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - c.t0)
                       .count();
    e.estadoTransformado = state_.EstadoTransformado;
    e.estadoPaso = state_.EstadoPaso;
    Filas filas;
    try {
        // The tables the Zandrix → XEL job read: those of the export when it ran, and those of
        // the adjustment window.
        if (e.modo == "importar") {
            std::vector<std::string> leidas;
            if (c.ajuste && !c.codificar)
                leidas = {"SOLUC.DBF", "PROFT.DBF", "GRUPOST.DBF", "ASIGNOMT.DBF", "PLANTILLA.DBF"};
            if (c.ajuste)
                for (const char* t : {"PROFT.DBF", "xelCENTRO.DBF", "CUADROH2.DBF", "CUADROH3.DBF"})
                    if (std::find(leidas.begin(), leidas.end(), t) == leidas.end())
                        leidas.push_back(t);
            for (const std::string& t : leidas)
                if (const fs::path p = tables::ztempFile(t); tables::fileExists(p))
                    e.leidos.push_back({"ZTEMP/" + p.filename().string(), filas.de(p)});
        }
        for (const auto& [t, antes] : c.tablas) {
            const fs::path p = tables::ztempFile(t);
            const Huella ahora = huella(p);
            if (ahora.existe && !(ahora == antes))
                e.escritos.push_back({"ZTEMP/" + p.filename().string(), filas.de(p)});
        }
        if (!c.cuadrosPath.empty()) {
            const fs::path p = tables::findExisting(c.cuadrosPath);
            if (const Huella ahora = huella(p); ahora.existe && !(ahora == c.cuadros))
                e.escritos.push_back({p.filename().string(), lineasTexto(p)});
        }
    } catch (const std::exception&) {
        // What could not be looked at is left out; the record is still written.
    }
    if (lotes_) {
        pendiente_ = std::move(e);
        return;
    }
    escribe(std::move(e));
}

void RegistroJob::escribe(registro::Ejecucion e) {
    const std::string error = registro::anade(e, fichero_.empty() ? registro::fichero() : fichero_);
    if (error.empty() || avisado_) return;
    avisado_ = true;
    real_.message("No se puede escribir el registro de ejecuciones: " + error +
                  ". Los trabajos siguen, pero no quedan registrados.");
}

}  // namespace tz::app
