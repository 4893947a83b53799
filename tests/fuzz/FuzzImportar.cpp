// The whole Zandrix → XEL job of the batch front end (bell schedule, export, the adjustment
// window's check and "&Salir", the fCUADROS.txt writer) over the sample school with fuzzed
// SOLUC, PROFT, CUADROH2 and xelCENTRO tables.
//
// Input: one control byte, then up to four chunks, each a 16-bit little-endian length and its
// bytes: SOLUC.DBF, PROFT.DBF, CUADROH2.DBF, xelCENTRO.DBF. A chunk left out (or empty) keeps
// the sample's table. Control bits: 1 keep the previous export (CUADROH2 and CUADROH3 of the
// sample's own run, or the fuzzed CUADROH2), 2 go straight to the coding, 4 type the sample's
// documents, 8 give --centro.
//
// Besides not crashing, what reaches fCUADROS.txt must be told: a control character, a day
// outside the week or a session that is not two digits in a record means a warning line of that
// kind was printed; the header's centre data always keep their rules (the batch stops rather
// than write them otherwise); every line ends with CR LF.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "cli/Batch.h"
#include "fuzz/FuzzSupport.h"
#include "platform/System.h"
#include "support/TempFolder.h"
#include "tables/Paths.h"
#include "timetable/Validacion.h"

namespace {

namespace fs = std::filesystem;

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The sample school after its XEL → Zandrix job and one Zandrix → XEL job, made once.
const fs::path& muestra() {
    static const fs::path dir = [] {
        const fs::path d = tz::fuzz::scratch() / "muestra";
        const fs::path examples = TZ_EXAMPLES;
        fs::create_directories(d);
        fs::copy(examples / "textos", d / "textos", fs::copy_options::recursive);
        fs::copy(examples / "raiz", d / "raiz", fs::copy_options::recursive);
        std::ostringstream out, err;
        const std::string textos = (d / "textos").string(), raiz = (d / "raiz").string();
        int s = tz::cli::runBatch({"exportar", "--textos", textos, "--raiz", raiz, "--niveles",
                                   (examples / "expected" / "niveles.txt").string()},
                                  out, err);
        if (s == 0)
            s = tz::cli::runBatch({"importar", "--textos", textos, "--raiz", raiz, "--documentos",
                                   (examples / "documentos.txt").string()},
                                  out, err);
        if (s != 0) {
            std::fprintf(stderr, "the sample did not run: %s\n", err.str().c_str());
            std::abort();
        }
        fs::remove(d / "textos" / "fCUADROS.txt");
        return d;
    }();
    return dir;
}

// The next chunk of the input: a 16-bit length and that many bytes (fewer at the end).
std::string_view chunk(std::string_view& in) {
    if (in.size() < 2) {
        in = {};
        return {};
    }
    const std::size_t n = static_cast<unsigned char>(in[0]) |
                          (static_cast<std::size_t>(static_cast<unsigned char>(in[1])) << 8);
    in.remove_prefix(2);
    const std::string_view out = in.substr(0, n);
    in.remove_prefix(out.size());
    return out;
}

bool contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

void checkCuadros(const std::string& file, const std::string& said) {
    TZ_FUZZ_CHECK(file.size() >= 16);
    std::size_t at = 0;
    bool first = true;
    while (at < file.size()) {
        const std::size_t end = file.find("\r\n", at);
        TZ_FUZZ_CHECK(end != std::string::npos);  // every line ends with CR LF
        const std::string line = file.substr(at, end - at);
        at = end + 2;
        if (tz::timetable::validacion::tieneControl(line))
            TZ_FUZZ_CHECK(contains(said, "carácter de control"));
        if (first) {
            TZ_FUZZ_CHECK(line.size() == 14 && line.compare(0, 3, "1CH") == 0);
            TZ_FUZZ_CHECK(tz::timetable::validacion::reglaCentro(
                              line.substr(3, 6), line.substr(9, 4), line.substr(13, 1))
                              .empty());
            first = false;
            continue;
        }
        if (line.empty() || line[0] != '2') continue;
        // As written: the session's two characters, then the day. A record whose session or
        // day is not of its rule has been told.
        const bool bienFormado = line.size() == 76 &&
                                 std::isdigit(static_cast<unsigned char>(line[17])) &&
                                 std::isdigit(static_cast<unsigned char>(line[18])) &&
                                 tz::timetable::validacion::diaValido(line.substr(19, 1));
        if (!bienFormado)
            TZ_FUZZ_CHECK(contains(said, ", Día: ") || contains(said, ", Sesión: ") ||
                          contains(said, "carácter de control"));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Kept copies of fCUADROS.txt go to the scratch folder, never to the user's own.
    // And so does the log of runs.
    tz::testing::setEnvironment("XDG_STATE_HOME",
                                tz::platform::utf8(tz::fuzz::scratch() / "estado"));
    (void)muestra();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned control = data[0];
    std::string_view in(reinterpret_cast<const char*>(data + 1), size - 1);
    const fs::path work = tz::fuzz::scratch() / "trabajo";
    std::error_code ec;
    fs::remove_all(work, ec);
    fs::copy(muestra(), work, fs::copy_options::recursive);
    const fs::path ztemp = work / "raiz" / "ZTEMP";
    for (const char* table : {"SOLUC", "PROFT", "CUADROH2", "xelCENTRO"}) {
        const std::string_view bytes = chunk(in);
        if (bytes.empty()) continue;
        tz::fuzz::writeFile(ztemp / (std::string(table) + ".DBF"), bytes);
        fs::remove(ztemp / (std::string(table) + ".MDX"), ec);
    }

    std::vector<std::string> args = {"importar", "--textos", (work / "textos").string(), "--raiz",
                                     (work / "raiz").string()};
    if (!(control & 1)) args.push_back("--nueva");
    if (control & 2) args.push_back("--solo-codificar");
    if (control & 4) {
        args.push_back("--documentos");
        args.push_back((fs::path(TZ_EXAMPLES) / "documentos.txt").string());
    }
    if (control & 8) args.push_back("--centro=015432,2024,1");
    std::ostringstream out, err;
    const int status = tz::cli::runBatch(args, out, err);
    tz::tables::setRootOverride({});
    TZ_FUZZ_CHECK(status >= 0 && status <= 6);

    const fs::path cuadros = work / "textos" / "fCUADROS.txt";
    if (fs::exists(cuadros)) checkCuadros(readBytes(cuadros), err.str());
    return 0;
}
