#pragma once
#include <iosfwd>
#include <string>
#include <vector>

#include "app/Jobs.h"
#include "app/RegistroJob.h"
#include "cli/BatchOptions.h"

// The batch's side of the log of runs and of the printable report.
namespace tz::cli {

// The job's record takes the exit status and goes to the log; returns the status.
int cierraRegistro(app::Jobs& jobs, int status);

// The tools "informe" (the report as a PDF: 0, or 6 with findings) and "registro" (the last
// runs, newest first, one per line), over their options as parseOptions read them. informe's
// wrong usage goes to `err`; the report itself is written by transzanderxel-informe, whose
// messages reach this process's own standard error (both streams are flushed first).
int runInforme(const ParsedOptions& options, std::ostream& out, std::ostream& err);
// The program that draws informe's PDF (src/cli/qt), run with informe's --salida and --raiz.
inline constexpr const char* kProgramaInforme = "transzanderxel-informe";
int runRegistro(const ParsedOptions& options, std::ostream& out, std::ostream& err);
// Their usage.
const std::string& reportUsageText();

}  // namespace tz::cli
