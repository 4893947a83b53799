#include "cli/qt/InformePdf.h"

#include <exception>
#include <iostream>
#include <string_view>

#include "cli/Batch.h"
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
    const std::vector<std::string> args = platform::commandLineArguments(argc, argv);
    std::optional<std::string> salida;
    std::optional<std::filesystem::path> raiz;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if ((a == "--salida" || a == "--raiz") && i + 1 < args.size()) {
            if (a == "--salida")
                salida = args[++i];
            else
                raiz = platform::pathFromUtf8(args[++i]);
            continue;
        }
        std::cerr << kProgramaInforme << ": no se esperaba " << a << "\nUso: " << kProgramaInforme
                  << " --salida FICHERO.pdf [--raiz CARPETA]\n"
                     "(lo ejecuta transzanderxel-batch informe)\n";
        return kUsoIncorrecto;
    }
    if (!salida || salida->empty()) {
        std::cerr << kProgramaInforme << ": falta --salida FICHERO.pdf\n";
        return kUsoIncorrecto;
    }
    return escribeInformePdf(raiz, *salida, std::cerr);
}

}  // namespace tz::cli
