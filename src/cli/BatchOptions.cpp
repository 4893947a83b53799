#include "cli/BatchOptions.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "intake/TextoFijo.h"
#include "platform/System.h"
#include "tables/Catalogue.h"
#include "tables/Cp1252.h"
#include "timetable/Validacion.h"

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
        "importar escribe una línea \"Aviso: ...\" por cada valor que llegaría mal o incompleto a\n"
        "fCUADROS.txt, y se detiene (estado 5) si faltan los datos del centro o no son válidos.\n"
        "\n"
        "Estado de salida: 0 proceso finalizado; 1 faltan datos de entrada; 2 uso incorrecto;\n"
        "3 error; 4 proceso no finalizado correctamente; 5 el trabajo espera a una persona.\n";
    return text;
}

namespace {

// A record of a batch input file with the number of its line (from 1).
struct Registro {
    int linea = 0;
    std::vector<std::string> campos;
};

std::vector<Registro> registros(std::string_view bytes) {
    std::vector<Registro> out;
    std::size_t start = 0;
    int linea = 0;
    while (start <= bytes.size()) {
        ++linea;
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) {
            Registro r{linea, {}};
            std::size_t from = 0;
            for (;;) {
                const std::size_t semi = line.find(';', from);
                r.campos.emplace_back(
                    line.substr(from, semi == std::string::npos ? std::string::npos : semi - from));
                if (semi == std::string::npos) break;
                from = semi + 1;
            }
            out.push_back(std::move(r));
        }
        start = end + 1;
    }
    return out;
}

// The width of a field of a table layout.
std::size_t ancho(const tables::TableLayout& layout, std::string_view field) {
    for (const auto& f : layout.fields)
        if (f.name == field) return static_cast<std::size_t>(f.width);
    return 0;
}

}  // namespace

std::vector<std::vector<std::string>> splitRecords(const std::string& bytes) {
    std::vector<std::vector<std::string>> out;
    for (auto& r : registros(bytes)) out.push_back(std::move(r.campos));
    return out;
}

namespace {

// Every option of the batch, and the commands it goes with.
struct OptionSpec {
    std::string_view name;
    bool takesValue;
    std::vector<std::string_view> commands;
};
const std::vector<OptionSpec>& optionTable() {
    static const std::vector<OptionSpec> table = {
        {"--textos", true, {"exportar", "importar", "revisar", "copias", "informe"}},
        {"--raiz", true, {"exportar", "importar", "revisar", "copias", "informe"}},
        {"--centro", true, {"exportar", "importar"}},
        {"--idioma", true, {"exportar"}},
        {"--niveles", true, {"exportar"}},
        {"--documentos", true, {"importar"}},
        {"--nueva", false, {"importar"}},
        {"--solo-codificar", false, {"importar"}},
        {"--comparar", true, {"copias"}},
        {"--salida", true, {"informe"}},
        {"--ultimos", true, {"registro"}},
    };
    return table;
}

}  // namespace

const std::string* ParsedOptions::value(std::string_view option) const {
    for (const auto& [name, v] : values)
        if (name == option) return &v;
    return nullptr;
}

ParsedOptions parseOptions(const std::vector<std::string>& args) {
    ParsedOptions r;
    r.command = args.empty() ? std::string() : args[0];
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
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& o : optionTable())
            if (o.name == name) spec = &o;
        if (!spec) {
            r.error = "opción desconocida: " + args[i];
            return r;
        }
        bool forCommand = false;
        for (std::string_view c : spec->commands) forCommand = forCommand || c == r.command;
        if (!forCommand) {
            r.error = "la opción " + name + " no es válida con " + r.command;
            return r;
        }
        if (r.has(name)) {
            r.error = "la opción " + name + " aparece dos veces";
            return r;
        }
        if (!spec->takesValue) {
            if (inlineValue) {
                r.error = "la opción " + name + " no lleva valor";
                return r;
            }
            r.values.emplace_back(name, std::string());
            continue;
        }
        if (!inlineValue) {
            // The next word is another option: this one was given no value.
            if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) {
                r.error = "falta el valor de " + name;
                return r;
            }
            inlineValue = args[++i];
        }
        r.values.emplace_back(name, std::move(*inlineValue));
    }
    return r;
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
    const ParsedOptions parsed = parseOptions(args);
    r.help = parsed.help;
    r.error = parsed.error;
    if (r.help || !r.error.empty()) return r;

    for (const auto& [name, value] : parsed.values) {
        if (name == "--textos") {
            if (value.empty()) {
                r.error = "--textos necesita una carpeta";
                return r;
            }
            o.textos = value;
        } else if (name == "--idioma") {
            o.idioma = value;
        } else if (name == "--nueva") {
            o.nueva = true;
        } else if (name == "--solo-codificar") {
            o.soloCodificar = true;
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
            const auto a = toTableBytes(parts[0]), b = toTableBytes(parts[1]),
                       v = toTableBytes(parts[2]);
            if (!a || !b || !v) {
                r.error = "--centro tiene caracteres que no caben en Windows-1252";
                return r;
            }
            // What fCUADROS.txt can carry and the administration accepts.
            if (const auto e = timetable::validacion::reglaCentro(*a, *b, *v); !e.empty()) {
                r.error = "--centro: " + e;
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
    if (!parsed.has("--textos")) {
        r.error = "falta --textos CARPETA";
        return r;
    }
    r.options = std::move(o);
    return r;
}

std::string loadInputFiles(BatchOptions& o) {
    namespace cat = tables::catalogue;
    struct Campo {
        const char* nombre;
        std::size_t ancho;
    };
    // Reads one file into records of the table's single-byte text, or says what is wrong.
    const auto load = [](const std::filesystem::path& file, const char* shape,
                         const std::vector<Campo>& campos,
                         std::vector<std::vector<std::string>>& records) -> std::string {
        std::string bytes;
        if (!readFile(file, bytes)) return "no se puede leer el fichero " + platform::utf8(file);
        // Saved as UTF-8 (with its byte-order mark or not): converted to the tables' text.
        const bool utf8 = intake::pareceUtf8(bytes);
        std::string_view texto(bytes);
        if (texto.substr(0, intake::kBomUtf8.size()) == intake::kBomUtf8)
            texto.remove_prefix(intake::kBomUtf8.size());
        records.clear();
        for (Registro& r : registros(texto)) {
            const std::string en =
                "línea " + std::to_string(r.linea) + " no válida en " + platform::utf8(file) + ": ";
            if (r.campos.size() != campos.size()) return en + "se esperaba " + shape;
            for (std::size_t k = 0; k < campos.size(); ++k) {
                std::string& v = r.campos[k];
                if (utf8) {
                    if (!intake::utf8Valido(v)) return en + "no es texto UTF-8 válido";
                    auto b = cp1252::fromUtf8(v);
                    if (!b)
                        return en + campos[k].nombre + " \"" + v +
                               "\" tiene caracteres que no existen en Windows-1252";
                    v = std::move(*b);
                }
                // Line ends typed after a value are never meant; any other control character
                // is refused.
                v = timetable::validacion::sinFinDeLinea(v);
                if (const int c = timetable::validacion::primerControl(v); c >= 0)
                    return en + campos[k].nombre + " tiene un carácter de control, " +
                           timetable::validacion::nombreControl(c);
                // Trailing spaces are not kept by the table; the rest must fit the field.
                std::size_t largo = v.size();
                while (largo > 0 && v[largo - 1] == ' ') --largo;
                if (largo > campos[k].ancho)
                    return en + campos[k].nombre + " " + timetable::validacion::cita(v) +
                           " tiene " + std::to_string(largo) + " caracteres y el campo admite " +
                           std::to_string(campos[k].ancho);
            }
            records.push_back(std::move(r.campos));
        }
        return {};
    };
    std::vector<std::vector<std::string>> records;
    if (o.niveles) {
        const auto& l = cat::xelNIVIMP();
        if (auto e = load(*o.niveles, "COD;ABREVCAST;ABREVEUSK",
                          {{"COD", ancho(l, "COD")},
                           {"ABREVCAST", ancho(l, "ABREVCAST")},
                           {"ABREVEUSK", ancho(l, "ABREVEUSK")}},
                          records);
            !e.empty())
            return e;
        for (auto& r : records) o.nivelesDatos.push_back({r[0], r[1], r[2]});
    }
    if (o.documentos) {
        const auto& l = cat::PROFT();
        if (auto e = load(*o.documentos, "ABREV;TIPODNI;DNI",
                          {{"ABREV", ancho(l, "ABREV")},
                           {"TIPODNI", ancho(l, "TIPODNI")},
                           {"DNI", ancho(l, "DNI")}},
                          records);
            !e.empty())
            return e;
        for (auto& r : records) o.documentosDatos.push_back({r[0], r[1], r[2]});
    }
    return {};
}

}  // namespace tz::cli
