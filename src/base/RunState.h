#pragma once
#include <string>

namespace tz::base {

// The shared run state: one instance for the whole process, handed to every step.
struct RunState {
    // 2 when the tool was launched (and embedded) by the host, else 0.
    int NumParametros = 0;
    // Run status written to Zandrix.ini when hosted: 0 nothing done, 1 a job carried out,
    // -1 a missing folder, text file or table in the XEL → Zandrix job.
    int EstadoTransformado = 0;
    // Step flag: 0 nothing pending; 1 a panel step pending or fresh export tables made;
    // 4 the adjustment window ended without writing fCUADROS.txt.
    int EstadoPaso = 0;
    // The text folder followed by one path separator (native path, UTF-8/bytes as on disk).
    std::string CarpetaTextos;
    // The text of the language box; exactly "EUSKERA" selects the Basque texts.
    std::string idioma = "EUSKERA";

    bool hosted() const { return NumParametros == 2; }
    bool euskera() const { return idioma == "EUSKERA"; }
};

}  // namespace tz::base
