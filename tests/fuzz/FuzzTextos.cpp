// The XEL → Zandrix steps over one fuzzed text file of each layout. The first byte chooses the
// file; the step that reads it runs in a scratch exchange folder, and every table it wrote must
// open again with a header count equal to the records on disk.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "base/RunState.h"
#include "fuzz/FuzzSupport.h"
#include "intake/Intake.h"
#include "reliability/TableCheck.h"
#include "tables/Dataset.h"
#include "tables/EngineError.h"
#include "tables/Paths.h"

namespace {

namespace fs = std::filesystem;

struct Layout {
    const char* file;
    void (*step)(tz::base::RunState&, tz::base::UserPort&);
    int catalogue;  // position among the catalogue files read before it, -1 for the others
};

// The catalogue files in the order RecogeCatalogos reads them (it stops at the first missing).
const char* const kCatalogues[] = {"fTIPTAR.txt", "fASIGNAT.txt", "fOTRACT.txt", "fTIPDOC.txt",
                                   "fNIVIMP.txt", "fIDIOMA.txt",  "fGRUPNIV.txt"};

const Layout kLayouts[] = {
    {"fTIPTAR.txt", tz::intake::RecogeCatalogos, 0},
    {"fASIGNAT.txt", tz::intake::RecogeCatalogos, 1},
    {"fOTRACT.txt", tz::intake::RecogeCatalogos, 2},
    {"fTIPDOC.txt", tz::intake::RecogeCatalogos, 3},
    {"fNIVIMP.txt", tz::intake::RecogeCatalogos, 4},
    {"fIDIOMA.txt", tz::intake::RecogeCatalogos, 5},
    {"fGRUPNIV.txt", tz::intake::RecogeCatalogos, 6},
    {"fASIGNAT.txt", tz::intake::RecogeAsignaturas, -1},
    {"fPROFES.txt", tz::intake::RecogeProfesores, -1},
    {"fGRUPOS.txt", tz::intake::RecogeGrupos, -1},
};
constexpr std::size_t kLayoutCount = sizeof kLayouts / sizeof kLayouts[0];

struct Folders {
    fs::path root, ztemp, textos;
};

const Folders& folders() {
    static const Folders f = [] {
        Folders r;
        r.root = tz::fuzz::scratch() / "raiz";
        r.ztemp = r.root / "ZTEMP";
        r.textos = tz::fuzz::scratch() / "textos";
        fs::create_directories(r.ztemp);
        fs::create_directories(r.textos);
        tz::tables::setRootOverride(r.root);
        return r;
    }();
    return f;
}

void checkWrittenTables() {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folders().ztemp, ec)) {
        if (e.path().extension() != ".DBF") continue;
        auto raw = tz::reliability::inspectTable(e.path());
        if (!raw.problem.empty())
            std::fprintf(stderr, "%s: %s\n", e.path().c_str(), raw.problem.c_str());
        TZ_FUZZ_CHECK(raw.problem.empty());
        tz::tables::Dataset ds;
        ds.open(e.path(), tz::tables::OpenMode::ReadOnly);
        TZ_FUZZ_CHECK(static_cast<std::uint64_t>(ds.recordCount()) == raw.headerCount);
        for (ds.first(); !ds.eof() && !ds.isEmpty(); ds.next()) {
            for (int f = 0; f < static_cast<int>(ds.fields().size()); ++f) {
                TZ_FUZZ_CHECK(
                    ds.text(f).size() <=
                    static_cast<std::size_t>(ds.fields()[static_cast<std::size_t>(f)].width));
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const Folders& f = folders();
    const Layout& layout = kLayouts[data[0] % kLayoutCount];
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    tz::fuzz::emptyFolder(f.textos);
    tz::fuzz::emptyFolder(f.ztemp);
    // Catalogue files read before the fuzzed one exist, empty; those after it are missing.
    for (int i = 0; i < layout.catalogue; ++i) tz::fuzz::writeFile(f.textos / kCatalogues[i], "");
    tz::fuzz::writeFile(f.textos / layout.file, text);
    if (layout.step == tz::intake::RecogeAsignaturas) {
        // Task types are read from the catalogue table the previous step leaves.
        tz::fuzz::SilentPort port;
        tz::base::RunState state;
        state.CarpetaTextos = f.textos.string() + "/";
        tz::fuzz::writeFile(f.textos / "fTIPTAR.txt", text);
        try {
            tz::intake::RecogeCatalogos(state, port);
        } catch (const tz::tables::EngineError&) {
        }
    }

    tz::fuzz::SilentPort port;
    tz::base::RunState state;
    state.CarpetaTextos = f.textos.string() + "/";
    state.idioma = (data[0] / kLayoutCount) % 2 ? "CASTELLANO" : "EUSKERA";
    try {
        layout.step(state, port);
    } catch (const tz::tables::EngineError&) {
        // A clear engine message is a fine answer to bad input; what is stored must stay sound.
    }
    checkWrittenTables();
    return 0;
}
