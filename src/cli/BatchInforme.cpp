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
#include "timetable/Informe.h"
#ifdef TZ_CON_PDF
#include "timetable/qt/InformePdf.h"
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

int informe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string textos, salida;
    std::optional<fs::path> raiz;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out << kUso;
            return kFinalizado;
        }
        if (a != "--textos" && a != "--salida" && a != "--raiz")
            return usage(err, "opción desconocida: " + a);
        if (i + 1 >= args.size()) return usage(err, "falta el valor de " + a);
        const std::string& v = args[++i];
        if (a == "--textos")
            textos = v;
        else if (a == "--salida")
            salida = v;
        else
            raiz = v;
    }
    if (textos.empty()) return usage(err, "falta --textos CARPETA");
    if (salida.empty()) return usage(err, "falta --salida FICHERO.pdf");
    if (!tables::folderExists(textos)) {
        err << "No existe la carpeta\n";
        return kFaltaEntrada;
    }
#ifdef TZ_CON_PDF
    try {
        if (raiz) tables::setRootOverride(*raiz);
        timetable::informe::Informe in;
        for (const std::string& a : in.avisos()) err << a << '\n';
        const std::string error = timetable::informe::escribePdf(in, salida);
        if (!error.empty()) {
            err << error << ".\n";
            return kError;
        }
        const std::size_t paginas =
            timetable::informe::paginasResumen(in.profesores().size()) + in.profesores().size();
        err << timetable::informe::kTitulo << ": " << paginas
            << (paginas == 1 ? " página, " : " páginas, ") << in.profesores().size()
            << (in.profesores().size() == 1 ? " profesor" : " profesores") << ", en " << salida
            << '\n'
            << timetable::revision::textoResumen(in.revision().resumen()) << '\n';
        return in.totalHallazgos() == 0 ? kFinalizado : kHayHallazgos;
    } catch (const std::exception& e) {
        err << e.what() << ".\n";
        return kError;
    }
#else
    (void)raiz;
    err << "Esta compilación no puede escribir informes en PDF (falta Qt).\n";
    return kError;
#endif
}

int registroRuns(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::size_t ultimos = 0;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out << kUso;
            return kFinalizado;
        }
        if (a != "--ultimos") return usage(err, "opción desconocida: " + a);
        if (i + 1 >= args.size()) return usage(err, "falta el valor de " + a);
        const std::string& v = args[++i];
        char* end = nullptr;
        const long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end || n < 1 || n > long(app::registro::kMaximo))
            return usage(err, "--ultimos necesita un número de 1 a " +
                                  std::to_string(app::registro::kMaximo) + ": " + v);
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

bool esInformeORegistro(const std::string& word) { return word == "informe" || word == "registro"; }

int runInformeORegistro(const std::vector<std::string>& args, std::ostream& out,
                        std::ostream& err) {
    if (args.empty() || !esInformeORegistro(args[0])) return usage(err, "orden desconocida");
    return args[0] == "informe" ? informe(args, out, err) : registroRuns(args, out, err);
}

}  // namespace tz::cli
