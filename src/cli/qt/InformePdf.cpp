#include "cli/qt/InformePdf.h"

#include <exception>
#include <iostream>

#include "cli/Batch.h"
#include "cli/BatchOptions.h"
#include "cli/BatchRegistro.h"
#include "platform/System.h"
#include "tables/Paths.h"
#include "timetable/Informe.h"
#include "timetable/qt/InformePdf.h"

namespace tz::cli {

int escribeInformePdf(const std::optional<std::filesystem::path>& raiz, const std::string& salida,
                      std::ostream& err) {
    try {
        if (raiz) tables::setRootOverride(*raiz);
        timetable::informe::Informe in;
        for (const std::string& a : in.avisos()) err << a << '\n';
        const std::string error = timetable::informe::escribePdf(in, salida);
        if (!error.empty()) {
            err << error << ".\n";
            return kError;
        }
        const std::size_t profesores = in.profesores().size();
        const std::size_t paginas = timetable::informe::paginasResumen(profesores) + profesores;
        err << timetable::informe::kTitulo << ": " << paginas
            << (paginas == 1 ? " página, " : " páginas, ") << profesores
            << (profesores == 1 ? " profesor" : " profesores") << ", en " << salida << '\n'
            << timetable::revision::textoResumen(in.revision().resumen()) << '\n';
        return in.totalHallazgos() == 0 ? kFinalizado : kHayHallazgos;
    } catch (const std::exception& e) {
        err << e.what() << ".\n";
        return kError;
    }
}

int informeMain(int argc, char** argv) {
    platform::prepareConsole();
    std::vector<std::string> args = platform::commandLineArguments(argc, argv);
    args.insert(args.begin(), "informe");
    const ParsedOptions o = parseOptions(args);
    const std::string* salida = o.value("--salida");
    if (!o.error.empty() || o.help || o.has("--textos") || !salida || salida->empty()) {
        std::cerr << kProgramaInforme << ": "
                  << (o.error.empty() ? "se espera --salida FICHERO.pdf [--raiz CARPETA]" : o.error)
                  << "\n(lo ejecuta transzanderxel-batch informe)\n";
        return kUsoIncorrecto;
    }
    std::optional<std::filesystem::path> raiz;
    if (const std::string* r = o.value("--raiz")) raiz = platform::pathFromUtf8(*r);
    return escribeInformePdf(raiz, *salida, std::cerr);
}

}  // namespace tz::cli
