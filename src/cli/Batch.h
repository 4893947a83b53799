#pragma once
#include <iosfwd>
#include <string>
#include <vector>

#include "app/Jobs.h"
#include "cli/BatchOptions.h"
#include "cli/BatchPort.h"

// The two jobs run the way a user would work the windows, answered from the options.
namespace tz::cli {

enum ExitStatus {
    kFinalizado = 0,    // "Proceso finalizado" with run status 1
    kFaltaEntrada = 1,  // a step found its input missing (run status -1, or no text folder)
    kUsoIncorrecto = 2,
    kError = 3,          // an engine or runtime error ended the job
    kNoFinalizado = 4,   // "!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente"
    kEsperaPersona = 5,  // the job stopped where a person would have to act
    kHayHallazgos = 6,   // revisar: codes are still missing
};

// The outcome, the first that applies: error, stopped for a person, not finished, input
// missing, finished. A job that ended none of these ways stopped short of its end: 5.
int exitStatus(const BatchPort& port, const base::RunState& state, bool waitsForPerson);

// Types the centre data into the centre panel's row (editing it, or beginning it when the
// table is empty), as a user would in the panel's grid.
void fillCentre(app::Jobs& jobs, const CentroDatos& centro);

int runExportar(const BatchOptions& options, BatchPort& port);
int runImportar(const BatchOptions& options, BatchPort& port);

// The whole batch front end over the arguments after the program name, as the executable runs
// it: usage on `out` for --help, every message on `err`; returns the exit status.
int runBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The tools over the results, each over its options as parseOptions read them (help and wrong
// usage already answered): results on `out`, messages on `err`; returns the exit status.
// "revisar": the completeness check of the export tables (0, or 6 with findings); "copias": the
// kept copies of fCUADROS.txt and what changed since one; "informe" and "registro": see
// BatchRegistro.h.
int runRevisar(const ParsedOptions& options, std::ostream& out, std::ostream& err);
int runCopias(const ParsedOptions& options, std::ostream& out, std::ostream& err);
// The usage of revisar and copias.
const std::string& reviewUsageText();

}  // namespace tz::cli
