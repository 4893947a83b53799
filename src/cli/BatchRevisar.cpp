// The batch tools over the Zandrix → XEL results: "revisar" (the completeness check of the
// export tables) and "copias" (the kept copies of fCUADROS.txt and what changed since one).
#include <cstdlib>
#include <exception>
#include <fstream>
#include <functional>
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
    std::string linea;
    for (std::size_t i = 0; i < revision.size(); ++i) {
        linea.clear();
        revision.anadeLinea(i, linea);
        out << linea << '\n';
    }
    err << timetable::revision::textoResumen(revision.resumen()) << '\n';
    return revision.empty() ? kFinalizado : kHayHallazgos;
}

int copias(const fs::path& textos, int comparar, std::ostream& out, std::ostream& err) {
    const auto kept = timetable::copias::lista(textos);
    if (comparar == 0) {
        if (kept.empty()) {
            err << "No hay copias guardadas de fCUADROS.txt de esta carpeta\n";
            return kFinalizado;
        }
        for (std::size_t i = 0; i < kept.size(); ++i)
            out << (i + 1) << "  " << kept[i].fecha << "  " << kept[i].bytes << " bytes  "
                << kept[i].fichero.string() << '\n';
        return kFinalizado;
    }
    if (comparar > static_cast<int>(kept.size())) {
        err << "No existe la copia " << comparar << " (hay " << kept.size() << ")\n";
        return kFaltaEntrada;
    }
    std::string before, now;
    const fs::path current = tables::findExisting(textos / "fCUADROS.txt");
    if (!readAll(current, now)) {
        err << "No existe el fichero " << (textos / "fCUADROS.txt").string() << '\n';
        return kFaltaEntrada;
    }
    const auto& copia = kept[static_cast<std::size_t>(comparar - 1)];
    if (!readAll(copia.fichero, before)) {
        err << "No se puede leer la copia " << copia.fichero.string() << '\n';
        return kFaltaEntrada;
    }
    out << "Copia " << comparar << " (" << copia.fecha << ") frente al fCUADROS.txt actual:\n"
        << timetable::copias::textoDiferencias(timetable::copias::diferencias(before, now));
    return kFinalizado;
}

}  // namespace

const std::string& reviewUsageText() {
    static const std::string text = kUsoHerramientas;
    return text;
}

namespace {

// Both tools: the text folder must exist; engine errors end them with status 3.
int conTextos(const ParsedOptions& o, std::ostream& err,
              const std::function<int(const fs::path& textos)>& tool) {
    const std::string* textos = o.value("--textos");
    if (!textos || textos->empty()) return usage(err, "falta --textos CARPETA");
    if (!tables::folderExists(*textos)) {
        err << "No existe la carpeta\n";
        return kFaltaEntrada;
    }
    try {
        if (const std::string* raiz = o.value("--raiz")) tables::setRootOverride(*raiz);
        return tool(fs::path(*textos));
    } catch (const std::exception& e) {
        err << e.what() << ".\n";
        return kError;
    }
}

}  // namespace

int runRevisar(const ParsedOptions& o, std::ostream& out, std::ostream& err) {
    return conTextos(o, err, [&](const fs::path&) { return revisar(out, err); });
}

int runCopias(const ParsedOptions& o, std::ostream& out, std::ostream& err) {
    int comparar = 0;  // the copy to compare (1 = newest), 0 none
    if (const std::string* v = o.value("--comparar")) {
        char* end = nullptr;
        const long n = std::strtol(v->c_str(), &end, 10);
        if (v->empty() || *end || n < 1 || n > 1000)
            return usage(err, "--comparar necesita un número de copia: " + *v);
        comparar = static_cast<int>(n);
    }
    return conTextos(o, err,
                     [&](const fs::path& textos) { return copias(textos, comparar, out, err); });
}

}  // namespace tz::cli
