#pragma once
#include <filesystem>
#include <optional>
#include <string>
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
