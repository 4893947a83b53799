#pragma once
#include <iosfwd>
#include <string>
#include <vector>

#include "app/Jobs.h"
#include "app/RegistroJob.h"

// The batch's side of the log of runs and of the printable report.
namespace tz::cli {

// The job's record takes the exit status and goes to the log; returns the status.
int cierraRegistro(app::Jobs& jobs, int status);

// The tools "informe" (the report as a PDF: 0, or 6 with findings) and "registro" (the last
// runs, newest first, one per line), with their own arguments after the program name.
bool esInformeORegistro(const std::string& word);
int runInformeORegistro(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tz::cli
