// The batch tools "informe" (the printable report of the export tables) and "registro" (the
// log of runs), and the exit status a batch job leaves in its record.
#include <cstdlib>
#include <exception>
#include <optional>
#include <ostream>

#include "app/RegistroEjecuciones.h"
#include "cli/Batch.h"
#include "cli/BatchRegistro.h"
#include "tables/Paths.h"
#ifdef TZ_INFORME_INSTALADO
#include <iostream>

#include "platform/System.h"
#endif

namespace tz::cli {

namespace {

namespace fs = std::filesystem;

const char* const kUso =
    "Uso:\n"
    "  transzanderxel-batch informe --textos CARPETA --salida FICHERO.pdf [--raiz CARPETA]\n"
    "  transzanderxel-batch registro [--ultimos N]\n"
    "\n"
    "  informe     escribe el \"Informe del horario para XEL\": un resumen de todos los\n"
    "              profesores y una página por profesor con su semana y lo que falta\n"
    "              (estado de salida 0 sin hallazgos, 6 con hallazgos, 3 error)\n"
    "  registro    lista las últimas ejecuciones, una por línea, la más reciente primero\n"
    "  --ultimos   cuántas ejecuciones (por defecto todas las guardadas, hasta 200)\n";

int usage(std::ostream& err, const std::string& what) {
    err << "transzanderxel-batch: " << what << "\n\n" << kUso;
    return kUsoIncorrecto;
}

int informe(const ParsedOptions& o, std::ostream& out, std::ostream& err) {
    const std::string* textosGiven = o.value("--textos");
    const std::string* salidaGiven = o.value("--salida");
    const std::string textos = textosGiven ? *textosGiven : std::string();
    const std::string salida = salidaGiven ? *salidaGiven : std::string();
    std::optional<fs::path> raiz;
    if (const std::string* r = o.value("--raiz")) raiz = *r;
    if (textos.empty()) return usage(err, "falta --textos CARPETA");
    if (salida.empty()) return usage(err, "falta --salida FICHERO.pdf");
    if (!tables::folderExists(textos)) {
        err << "No existe la carpeta\n";
        return kFaltaEntrada;
    }
#ifdef TZ_INFORME_INSTALADO
    // The PDF is drawn by a program of its own, beside this one in a build folder, in
    // TZ_INFORME_INSTALADO (relative to this one's folder) once installed: the batch loads no Qt.
    const std::string aqui = platform::executableFolder();
    fs::path programa = platform::pathFromUtf8(aqui + kProgramaInforme);
    if (std::error_code ec; !fs::is_regular_file(programa, ec))
        programa = platform::pathFromUtf8(aqui + TZ_INFORME_INSTALADO "/" + kProgramaInforme);
    std::vector<std::string> args = {"--salida", salida};
    if (raiz) args.insert(args.end(), {"--raiz", platform::utf8(*raiz)});
    // What this process said so far comes before what the program says.
    out.flush();
    err.flush();
    std::cout.flush();
    std::cerr.flush();
    std::string error;
    const int status = platform::runProgram(programa, args, error);
    if (status < 0) {
        err << error << ".\n";
        return kError;
    }
    return status;
#else
    (void)out;
    (void)raiz;
    err << "Esta compilación no puede escribir informes en PDF (falta Qt).\n";
    return kError;
#endif
}

int registroRuns(const ParsedOptions& o, std::ostream& out, std::ostream& err) {
    std::size_t ultimos = 0;
    if (const std::string* v = o.value("--ultimos")) {
        char* end = nullptr;
        const long n = std::strtol(v->c_str(), &end, 10);
        if (v->empty() || *end || n < 1 || n > long(app::registro::kMaximo))
            return usage(err, "--ultimos necesita un número de 1 a " +
                                  std::to_string(app::registro::kMaximo) + ": " + *v);
        ultimos = std::size_t(n);
    }
    const fs::path log = app::registro::fichero();
    std::size_t danadas = 0;
    const auto runs = app::registro::ultimas(ultimos, log, &danadas);
    if (danadas)
        err << "Se han omitido " << danadas
            << (danadas == 1 ? " línea ilegible" : " líneas ilegibles") << " de " << log.string()
            << '\n';
    if (runs.empty()) {
        err << "No hay ejecuciones registradas en " << log.string() << '\n';
        return kFinalizado;
    }
    for (const auto& r : runs) out << app::registro::linea(r) << '\n';
    return kFinalizado;
}

}  // namespace

int cierraRegistro(app::Jobs& jobs, int status) {
    jobs.registro().cierraLote(status);
    return status;
}

const std::string& reportUsageText() {
    static const std::string text = kUso;
    return text;
}

int runInforme(const ParsedOptions& o, std::ostream& out, std::ostream& err) {
    return informe(o, out, err);
}

int runRegistro(const ParsedOptions& o, std::ostream& out, std::ostream& err) {
    return registroRuns(o, out, err);
}

}  // namespace tz::cli
