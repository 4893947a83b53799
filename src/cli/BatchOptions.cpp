#include "cli/BatchOptions.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/System.h"
#include "tables/Cp1252.h"

namespace tz::cli {
namespace {

// Command-line text is UTF-8; table values are Windows-1252.
std::optional<std::string> toTableBytes(const std::string& utf8) { return cp1252::fromUtf8(utf8); }

bool readFile(const std::filesystem::path& file, std::string& out) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return false;
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

const std::string& usageText() {
    static const std::string text =
        "Uso:\n"
        "  transzanderxel-batch exportar --textos CARPETA [--idioma TEXTO]\n"
        "                       [--centro COD,AÑO,VERSION] [--niveles FICHERO] [--raiz CARPETA]\n"
        "  transzanderxel-batch importar --textos CARPETA [--nueva] [--solo-codificar]\n"
        "                       [--centro COD,AÑO,VERSION] [--documentos FICHERO] [--raiz "
        "CARPETA]\n"
        "\n"
        "  exportar          XEL → Zandrix: lee los ficheros TXT de XEL y prepara las tablas.\n"
        "  importar          Zandrix → XEL: exporta el horario y escribe fCUADROS.txt.\n"
        "  --textos          carpeta de los ficheros TXT de XEL (obligatoria)\n"
        "  --idioma          texto del idioma; sólo \"EUSKERA\" elige euskera (por defecto "
        "EUSKERA)\n"
        "  --centro          código de centro, año académico y versión, separados por comas\n"
        "  --niveles         líneas COD;ABREVCAST;ABREVEUSK con las abreviaturas de los niveles\n"
        "  --nueva           no conservar la exportación anterior\n"
        "  --solo-codificar  ir directamente a la codificación XEL conservando los datos\n"
        "  --documentos      líneas ABREV;TIPODNI;DNI con los documentos de los profesores\n"
        "  --raiz            carpeta que hace de raíz de la unidad (donde está ZTEMP)\n"
        "\n"
        "Estado de salida: 0 proceso finalizado; 1 faltan datos de entrada; 2 uso incorrecto;\n"
        "3 error; 4 proceso no finalizado correctamente; 5 el trabajo espera a una persona.\n";
    return text;
}

std::vector<std::vector<std::string>> splitRecords(const std::string& bytes) {
    std::vector<std::vector<std::string>> out;
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) {
            std::vector<std::string> fields;
            std::size_t from = 0;
            for (;;) {
                const std::size_t semi = line.find(';', from);
                fields.push_back(
                    line.substr(from, semi == std::string::npos ? std::string::npos : semi - from));
                if (semi == std::string::npos) break;
                from = semi + 1;
            }
            out.push_back(std::move(fields));
        }
        start = end + 1;
    }
    return out;
}

ParseResult parseBatchArgs(const std::vector<std::string>& args) {
    ParseResult r;
    if (args.empty()) {
        r.error = "falta el trabajo (exportar o importar)";
        return r;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        r.help = true;
        return r;
    }
    BatchOptions o;
    if (args[0] == "exportar")
        o.job = BatchOptions::Job::Exportar;
    else if (args[0] == "importar")
        o.job = BatchOptions::Job::Importar;
    else {
        r.error = "trabajo desconocido: " + args[0];
        return r;
    }
    const bool exportar = o.job == BatchOptions::Job::Exportar;
    bool haveTextos = false;
    std::vector<std::string> seen;

    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (name == "--help" || name == "-h") {
            r.help = true;
            return r;
        }
        const bool takesValue = name == "--textos" || name == "--idioma" || name == "--centro" ||
                                name == "--niveles" || name == "--documentos" || name == "--raiz";
        const bool flag = name == "--nueva" || name == "--solo-codificar";
        if (!takesValue && !flag) {
            r.error = "opción desconocida: " + args[i];
            return r;
        }
        const bool forJob = name == "--textos" || name == "--centro" || name == "--raiz" ||
                            (exportar ? (name == "--idioma" || name == "--niveles")
                                      : (name == "--nueva" || name == "--solo-codificar" ||
                                         name == "--documentos"));
        if (!forJob) {
            r.error = "la opción " + name + " no es válida con " + args[0];
            return r;
        }
        for (const auto& s : seen)
            if (s == name) {
                r.error = "la opción " + name + " aparece dos veces";
                return r;
            }
        seen.push_back(name);
        if (flag) {
            if (inlineValue) {
                r.error = "la opción " + name + " no lleva valor";
                return r;
            }
            (name == "--nueva" ? o.nueva : o.soloCodificar) = true;
            continue;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else {
            if (i + 1 >= args.size()) {
                r.error = "falta el valor de " + name;
                return r;
            }
            value = args[++i];
        }
        if (name == "--textos") {
            if (value.empty()) {
                r.error = "--textos necesita una carpeta";
                return r;
            }
            o.textos = value;
            haveTextos = true;
        } else if (name == "--idioma") {
            o.idioma = value;
        } else if (name == "--centro") {
            std::vector<std::string> parts;
            std::size_t from = 0;
            for (;;) {
                const auto comma = value.find(',', from);
                parts.push_back(value.substr(
                    from, comma == std::string::npos ? std::string::npos : comma - from));
                if (comma == std::string::npos) break;
                from = comma + 1;
            }
            if (parts.size() != 3) {
                r.error = "--centro necesita COD,AÑO,VERSION";
                return r;
            }
            CentroDatos c;
            const auto a = toTableBytes(parts[0]), b = toTableBytes(parts[1]),
                       v = toTableBytes(parts[2]);
            if (!a || !b || !v) {
                r.error = "--centro tiene caracteres que no caben en Windows-1252";
                return r;
            }
            o.centro = CentroDatos{*a, *b, *v};
        } else if (name == "--niveles") {
            o.niveles = platform::pathFromUtf8(value);
        } else if (name == "--documentos") {
            o.documentos = platform::pathFromUtf8(value);
        } else if (name == "--raiz") {
            std::error_code ec;
            if (value.empty() ||
                !std::filesystem::is_directory(platform::pathFromUtf8(value), ec)) {
                r.error = "--raiz: no existe la carpeta " + value;
                return r;
            }
            o.raiz = platform::pathFromUtf8(value);
        }
    }
    if (!haveTextos) {
        r.error = "falta --textos CARPETA";
        return r;
    }
    r.options = std::move(o);
    return r;
}

std::string loadInputFiles(BatchOptions& o) {
    const auto load = [](const std::filesystem::path& file, const char* shape,
                         std::vector<std::vector<std::string>>& records) -> std::string {
        std::string bytes;
        if (!readFile(file, bytes)) return "no se puede leer el fichero " + platform::utf8(file);
        records = splitRecords(bytes);
        for (std::size_t i = 0; i < records.size(); ++i)
            if (records[i].size() != 3)
                return "línea " + std::to_string(i + 1) + " no válida en " + platform::utf8(file) +
                       ": se esperaba " + shape;
        return {};
    };
    std::vector<std::vector<std::string>> records;
    if (o.niveles) {
        if (auto e = load(*o.niveles, "COD;ABREVCAST;ABREVEUSK", records); !e.empty()) return e;
        for (auto& r : records) o.nivelesDatos.push_back({r[0], r[1], r[2]});
    }
    if (o.documentos) {
        if (auto e = load(*o.documentos, "ABREV;TIPODNI;DNI", records); !e.empty()) return e;
        for (auto& r : records) o.documentosDatos.push_back({r[0], r[1], r[2]});
    }
    return {};
}

}  // namespace tz::cli
