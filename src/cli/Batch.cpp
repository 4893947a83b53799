#include "cli/Batch.h"

#include <exception>
#include <ostream>

#include "app/Jobs.h"
#include "base/Texts.h"
#include "cli/BatchRegistro.h"
#include "tables/Paths.h"

namespace tz::cli {

int exitStatus(const BatchPort& port, const base::RunState& state, bool waitsForPerson) {
    if (port.errors > 0) return kError;
    if (waitsForPerson) return kEsperaPersona;
    if (port.said(base::texts::kProcesoNoFinalizado)) return kNoFinalizado;
    if (state.EstadoTransformado == -1 || port.said(base::texts::kNoExisteCarpeta))
        return kFaltaEntrada;
    if (port.said(base::texts::kProcesoFinalizado) && state.EstadoTransformado == 1)
        return kFinalizado;
    return kEsperaPersona;
}

namespace {

// The commands besides the two jobs: one option table (parseOptions) for all.
struct Tool {
    const char* command;
    int (*run)(const ParsedOptions&, std::ostream&, std::ostream&);
    const std::string& (*usage)();
};
const Tool kTools[] = {{"revisar", runRevisar, reviewUsageText},
                       {"copias", runCopias, reviewUsageText},
                       {"informe", runInforme, reportUsageText},
                       {"registro", runRegistro, reportUsageText}};

}  // namespace

int runBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    for (const Tool& tool : kTools) {
        if (args.empty() || args[0] != tool.command) continue;
        const ParsedOptions parsed = parseOptions(args);
        if (parsed.help) {
            out << tool.usage();
            return kFinalizado;
        }
        if (!parsed.error.empty()) {
            err << "transzanderxel-batch: " << parsed.error << "\n\n" << tool.usage();
            return kUsoIncorrecto;
        }
        return tool.run(parsed, out, err);
    }
    ParseResult parsed = parseBatchArgs(args);
    if (parsed.help) {
        out << usageText();
        return kFinalizado;
    }
    if (!parsed.options) {
        err << "transzanderxel-batch: " << parsed.error << "\n\n" << usageText();
        return kUsoIncorrecto;
    }
    BatchOptions& o = *parsed.options;
    if (const std::string e = loadInputFiles(o); !e.empty()) {
        err << "transzanderxel-batch: " << e << '\n';
        return kUsoIncorrecto;
    }
    try {
        if (o.raiz) tables::setRootOverride(*o.raiz);
        BatchPort port(err);
        return o.job == BatchOptions::Job::Exportar ? runExportar(o, port) : runImportar(o, port);
    } catch (const std::exception& e) {
        err << e.what() << ".\n";
        return kError;
    }
}

}  // namespace tz::cli
