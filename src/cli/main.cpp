// transzanderxel-batch: the two jobs without windows (see usageText()).
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Batch.h"
#include "cli/BatchRegistro.h"
#include "platform/System.h"
#include "tables/Paths.h"

int main(int argc, char** argv) {
    using namespace tz::cli;
    tz::platform::prepareConsole();
    const std::vector<std::string> args = tz::platform::commandLineArguments(argc, argv);
    if (!args.empty() && esHerramienta(args[0])) return runHerramienta(args, std::cout, std::cerr);
    if (!args.empty() && esInformeORegistro(args[0]))
        return runInformeORegistro(args, std::cout, std::cerr);
    ParseResult parsed = parseBatchArgs(args);
    if (parsed.help) {
        std::cout << usageText();
        return kFinalizado;
    }
    if (!parsed.options) {
        std::cerr << "transzanderxel-batch: " << parsed.error << "\n\n" << usageText();
        return kUsoIncorrecto;
    }
    BatchOptions& o = *parsed.options;
    if (const std::string e = loadInputFiles(o); !e.empty()) {
        std::cerr << "transzanderxel-batch: " << e << '\n';
        return kUsoIncorrecto;
    }
    try {
        if (o.raiz) tz::tables::setRootOverride(*o.raiz);
        BatchPort port(std::cerr);
        return o.job == BatchOptions::Job::Exportar ? runExportar(o, port) : runImportar(o, port);
    } catch (const std::exception& e) {
        std::cerr << e.what() << ".\n";
        return kError;
    }
}
