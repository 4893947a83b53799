// The batch tools over the Zandrix → XEL results: "revisar" (the completeness check of the
// export tables) and "copias" (the kept copies of fCUADROS.txt and what changed since one).
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <optional>

#include "cli/Batch.h"
#include "tables/FileIo.h"
#include "tables/Paths.h"
#include "timetable/Copias.h"
#include "timetable/Revision.h"

namespace tz::cli {

namespace {

namespace fs = std::filesystem;

struct ToolOptions {
    std::string textos;
    std::optional<fs::path> raiz;
    int comparar = 0;  // copias: the copy to compare (1 = newest), 0 none
};

const char* const kUsoHerramientas =
    "Uso:\n"
    "  transzanderxel-batch revisar --textos CARPETA [--raiz CARPETA]\n"
    "  transzanderxel-batch copias --textos CARPETA [--comparar N] [--raiz CARPETA]\n"
    "\n"
    "  revisar     lista los códigos XEL que faltan en CUADROH2 y CUADROH3, uno por línea\n"
    "              (estado de salida 0 sin hallazgos, 6 con hallazgos, 3 error)\n"
    "  copias      lista las copias guardadas de fCUADROS.txt (1 = la más reciente)\n"
    "  --comparar  muestra los periodos añadidos, quitados y cambiados por profesor entre\n"
    "              la copia N y el fCUADROS.txt actual\n";

int usage(std::ostream& err, const std::string& what) {
    err << "transzanderxel-batch: " << what << "\n\n" << kUsoHerramientas;
    return kUsoIncorrecto;
}

bool readAll(const fs::path& p, std::string& out) {
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) return false;
    std::ifstream in(p, std::ios::binary);
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return static_cast<bool>(in) || in.eof();
}

int revisar(std::ostream& out, std::ostream& err) {
    // A job of another copy of the tool may be making the export tables anew. So that the check
    // never reads them half made, it takes the exchange folder as the jobs do, and is refused
    // while another copy holds it.
    tables::holdFolderOrThrow(tables::mapPath("C:\\ZTEMP"));
    std::vector<std::string> sinCatalogo;
    const auto revision = timetable::revision::revisaCarpeta(&sinCatalogo);
    for (const std::string& c : sinCatalogo) {
        if (c == "xelCENTRO")
            err << "No se ha podido abrir la tabla del centro xelCENTRO.DBF: sus datos cuentan "
                   "como en blanco\n";
        else if (c == "PLANTILLA")
            err << "No se ha podido abrir la plantilla horaria PLANTILLA.DBF: las sesiones no se "
                   "comprueban con ella, ni las lecciones de SOLUC\n";
        else if (c == "SOLUC")
            err << "No se ha podido abrir SOLUC.DBF: no se comprueban sus lecciones\n";
        else
            err << "No se ha podido abrir el catálogo " << c << ": sus códigos no se comprueban\n";
    }
    for (std::size_t i = 0; i < revision.size(); ++i) out << revision.hallazgo(i).linea() << '\n';
    err << timetable::revision::textoResumen(revision.resumen()) << '\n';
    return revision.empty() ? kFinalizado : kHayHallazgos;
}

int copias(const ToolOptions& o, std::ostream& out, std::ostream& err) {
    const fs::path textos(o.textos);
    const auto kept = timetable::copias::lista(textos);
    if (o.comparar == 0) {
        if (kept.empty()) {
            err << "No hay copias guardadas de fCUADROS.txt de esta carpeta\n";
            return kFinalizado;
        }
        for (std::size_t i = 0; i < kept.size(); ++i)
            out << (i + 1) << "  " << kept[i].fecha << "  " << kept[i].bytes << " bytes  "
                << kept[i].fichero.string() << '\n';
        return kFinalizado;
    }
    if (o.comparar > static_cast<int>(kept.size())) {
        err << "No existe la copia " << o.comparar << " (hay " << kept.size() << ")\n";
        return kFaltaEntrada;
    }
    std::string before, now;
    const fs::path current = tables::findExisting(textos / "fCUADROS.txt");
    if (!readAll(current, now)) {
        err << "No existe el fichero " << (textos / "fCUADROS.txt").string() << '\n';
        return kFaltaEntrada;
    }
    const auto& copia = kept[static_cast<std::size_t>(o.comparar - 1)];
    if (!readAll(copia.fichero, before)) {
        err << "No se puede leer la copia " << copia.fichero.string() << '\n';
        return kFaltaEntrada;
    }
    out << "Copia " << o.comparar << " (" << copia.fecha << ") frente al fCUADROS.txt actual:\n"
        << timetable::copias::textoDiferencias(timetable::copias::diferencias(before, now));
    return kFinalizado;
}

}  // namespace

bool esHerramienta(const std::string& word) { return word == "revisar" || word == "copias"; }

int runHerramienta(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || !esHerramienta(args[0])) return usage(err, "orden desconocida");
    const bool isCopias = args[0] == "copias";
    ToolOptions o;
    bool haveTextos = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out << kUsoHerramientas;
            return kFinalizado;
        }
        if (a != "--textos" && a != "--raiz" && !(isCopias && a == "--comparar"))
            return usage(err, "opción desconocida: " + a);
        if (i + 1 >= args.size()) return usage(err, "falta el valor de " + a);
        const std::string& v = args[++i];
        if (a == "--textos") {
            o.textos = v;
            haveTextos = true;
        } else if (a == "--raiz") {
            o.raiz = v;
        } else {
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < 1 || n > 1000)
                return usage(err, "--comparar necesita un número de copia: " + v);
            o.comparar = static_cast<int>(n);
        }
    }
    if (!haveTextos || o.textos.empty()) return usage(err, "falta --textos CARPETA");
    if (!tables::folderExists(o.textos)) {
        err << "No existe la carpeta\n";
        return kFaltaEntrada;
    }
    try {
        if (o.raiz) tables::setRootOverride(*o.raiz);
        return isCopias ? copias(o, out, err) : revisar(out, err);
    } catch (const std::exception& e) {
        err << e.what() << ".\n";
        return kError;
    }
}

}  // namespace tz::cli
