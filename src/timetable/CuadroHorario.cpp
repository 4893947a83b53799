#include "timetable/CuadroHorario.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>
#include <system_error>

#include "timetable/Texto.h"

namespace tz::timetable::cuadro {

std::string hora(std::string_view v) { return (std::string(v) + "00:00").substr(0, 5); }

std::string cuenta(std::string_view v) { return (std::string(v) + "00").substr(0, 2); }

std::string registroTipo1(const Centro& c) {
    return "1CH" + fitted(c.CODCENTRO, 6) + fitted(c.ANOACAD, 4) + fitted(c.VERSION, 1);
}

std::string registroTipo2(const Tipo2& r) {
    // The hour number goes before the day, and both are written as they stand.
    return "2" + fitted(r.TIPDOC, 1) + fitted(r.DOC, 15) + r.NUMSESION + r.DIASEM +
           fitted(r.TIPTAR, 3) + hora(r.HORAINI) + hora(r.HORAFIN) + fitted(r.GRUPNIV, 3) +
           fitted(r.CODASIG, 4) + fitted(r.TIPASIG, 1) + fitted(r.IDIOMA, 2) +
           fitted(r.AULA_OBS, 30) + fitted(r.TIP_ACTIV, 3);
}

std::string registroTipo3(const Tipo3& r) {
    return "3" + fitted(r.CODGRUPO, 5) + fitted(r.TIPDOC, 1) + fitted(r.DOC, 15) + r.NUMSESGRUP +
           r.DIASEM + cuenta(r.NUMALUM);
}

namespace {

[[noreturn]] void cannotCreate(const std::filesystem::path& target, const std::string& reason) {
    throw std::runtime_error("Cannot create file \"" + target.string() + "\". " + reason);
}

std::string randomSuffix() {
    static std::mt19937_64 gen{std::random_device{}()};
    static const char hex[] = "0123456789abcdef";
    std::string s;
    auto v = gen();
    for (int i = 0; i < 12; ++i, v >>= 4) s += hex[v & 15];
    return s;
}

}  // namespace

void writeFileAtomically(const std::filesystem::path& target, std::string_view content) {
    const auto folder = target.parent_path();
    std::filesystem::path temp;
    std::FILE* f = nullptr;
    int err = 0;
    // "x": never reuse a file that happens to exist under the temporary name.
    for (int attempt = 0; attempt < 8 && !f; ++attempt) {
        temp = folder / ("." + target.filename().string() + "." + randomSuffix() + ".tmp");
        errno = 0;
        f = std::fopen(temp.string().c_str(), "wbx");
        err = errno;
        if (!f && err != EEXIST) break;
    }
    if (!f) cannotCreate(target, std::strerror(err ? err : EIO));

    bool ok =
        content.empty() || std::fwrite(content.data(), 1, content.size(), f) == content.size();
    if (!ok) err = errno;
    if (std::fflush(f) != 0 && ok) ok = false, err = errno;
    if (std::fclose(f) != 0 && ok) ok = false, err = errno;
    if (!ok) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        cannotCreate(target, std::strerror(err ? err : EIO));
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        cannotCreate(target, ec.message());
    }
}

}  // namespace tz::timetable::cuadro
