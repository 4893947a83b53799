// The batch front end's command line and its input files (--niveles, --documentos): parsed and
// read, never run. Whatever the words and bytes, the options are either refused with a message
// or hold only values the tables can take: centre data that keep their rules, input values of
// single-byte text without control characters that fit their fields. A refusal of an input file
// is a well-formed UTF-8 message.
//
// Input: a 16-bit little-endian length and that many bytes of an input file, then the words of
// the command line separated by NUL bytes; a word "@F" stands for the input file's path.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/BatchOptions.h"
#include "fuzz/FuzzSupport.h"
#include "intake/TextoFijo.h"
#include "tables/Catalogue.h"
#include "timetable/Validacion.h"

namespace {

std::size_t width(const tz::tables::TableLayout& l, std::string_view field) {
    for (const auto& f : l.fields)
        if (f.name == field) return static_cast<std::size_t>(f.width);
    return 0;
}

void fits(const std::string& v, std::size_t w) {
    TZ_FUZZ_CHECK(!tz::timetable::validacion::tieneControl(v));
    std::size_t n = v.size();
    while (n > 0 && v[n - 1] == ' ') --n;
    TZ_FUZZ_CHECK(n <= w);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t n = data[0] | (static_cast<std::size_t>(data[1]) << 8);
    std::string_view in(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string_view fichero = in.substr(0, n);
    in.remove_prefix(fichero.size());
    const auto file = tz::fuzz::scratch() / "entrada.txt";
    tz::fuzz::writeFile(file, fichero);

    std::vector<std::string> args;
    while (!in.empty()) {
        const std::size_t nul = in.find('\0');
        std::string word(in.substr(0, nul));
        args.push_back(word == "@F" ? file.string() : word);
        in.remove_prefix(nul == std::string_view::npos ? in.size() : nul + 1);
    }

    tz::cli::ParseResult r = tz::cli::parseBatchArgs(args);
    if (r.help) return 0;
    if (!r.options) {
        TZ_FUZZ_CHECK(!r.error.empty());
        return 0;
    }
    tz::cli::BatchOptions& o = *r.options;
    TZ_FUZZ_CHECK(!o.textos.empty());
    if (o.centro)
        TZ_FUZZ_CHECK(tz::timetable::validacion::reglaCentro(o.centro->codigo, o.centro->anoacad,
                                                             o.centro->version)
                          .empty());
    const std::string e = tz::cli::loadInputFiles(o);
    if (!e.empty()) {
        // The file's name is the user's own bytes; the rest of the message is UTF-8.
        std::string rest = e;
        for (const auto& f : {o.niveles, o.documentos}) {
            if (!f) continue;
            const std::string name = f->string();
            for (std::size_t at; !name.empty() && (at = rest.find(name)) != std::string::npos;)
                rest.erase(at, name.size());
        }
        TZ_FUZZ_CHECK(tz::intake::utf8Valido(rest));
        return 0;
    }
    namespace cat = tz::tables::catalogue;
    for (const auto& d : o.documentosDatos) {
        fits(d.abrev, width(cat::PROFT(), "ABREV"));
        fits(d.tipoDni, width(cat::PROFT(), "TIPODNI"));
        fits(d.dni, width(cat::PROFT(), "DNI"));
    }
    for (const auto& l : o.nivelesDatos) {
        fits(l.cod, width(cat::xelNIVIMP(), "COD"));
        fits(l.abrevCast, width(cat::xelNIVIMP(), "ABREVCAST"));
        fits(l.abrevEusk, width(cat::xelNIVIMP(), "ABREVEUSK"));
    }
    return 0;
}
