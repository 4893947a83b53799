#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tz::cli {

struct CentroDatos {
    std::string codigo, anoacad, version;  // Windows-1252 bytes
};
// A line COD;ABREVCAST;ABREVEUSK of --niveles.
struct NivelAbrev {
    std::string cod, abrevCast, abrevEusk;
};
// A line ABREV;TIPODNI;DNI of --documentos.
struct Documento {
    std::string abrev, tipoDni, dni;
};

struct BatchOptions {
    enum class Job { Exportar, Importar };
    Job job = Job::Exportar;
    std::string textos;
    std::string idioma = "EUSKERA";
    std::optional<CentroDatos> centro;
    std::optional<std::filesystem::path> niveles;     // exportar
    std::optional<std::filesystem::path> documentos;  // importar
    std::optional<std::filesystem::path> raiz;
    bool nueva = false;          // importar: answer "&No" to keeping the previous export
    bool soloCodificar = false;  // importar: answer "&Si" to going straight to the codes
    // Contents of the files named by --niveles and --documentos, read by loadInputFiles().
    std::vector<NivelAbrev> nivelesDatos;
    std::vector<Documento> documentosDatos;
};

// The batch's command line: a command word, then options from one table for every command.
// An option is "--name value" or "--name=value" (a flag takes no value); each may come once, and
// only with the commands it belongs to. The value of "--name value" is the next word unless that
// word is another option. "--help" or "-h" anywhere asks for the usage.
struct ParsedOptions {
    std::string command;
    std::vector<std::pair<std::string, std::string>> values;  // in order; a flag's value is ""
    bool help = false;
    std::string error;  // wrong usage: what was wrong (Spanish)

    const std::string* value(std::string_view option) const;
    bool has(std::string_view option) const { return value(option) != nullptr; }
};
// `args[0]` is the command: exportar, importar, revisar, copias, informe or registro.
ParsedOptions parseOptions(const std::vector<std::string>& args);

struct ParseResult {
    std::optional<BatchOptions> options;
    bool help = false;  // --help / -h: print the usage, succeed
    std::string error;  // wrong usage: what was wrong (Spanish)
};

// The arguments after the program name.
ParseResult parseBatchArgs(const std::vector<std::string>& args);
// Reads and checks the files of --niveles and --documentos into the options; returns the
// error text (Spanish) or an empty string.
std::string loadInputFiles(BatchOptions& options);

// Splits batch input bytes into lines (CR LF or LF), dropping empty lines; each line into
// fields separated by ';'.
std::vector<std::vector<std::string>> splitRecords(const std::string& bytes);

const std::string& usageText();

}  // namespace tz::cli
