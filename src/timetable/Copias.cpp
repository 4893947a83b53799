#include "timetable/Copias.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>
#include <tuple>

#include "platform/System.h"
#include "tables/Cp1252.h"
#include "tables/FileIo.h"
#include "timetable/Texto.h"

namespace tz::timetable::copias {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPrefijo = "fCUADROS-";
constexpr std::string_view kSufijo = ".txt";

std::uint64_t fnv1a(std::string_view s) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

bool leeFichero(const fs::path& p, std::string& out) {
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) return false;
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    // In one read into a string of the file's size (the file may still change: what is read
    // is what counts).
    const auto size = fs::file_size(p, ec);
    out.clear();
    if (!ec) {
        out.resize(static_cast<std::size_t>(size));
        in.read(out.data(), static_cast<std::streamsize>(out.size()));
        out.resize(static_cast<std::size_t>(in.gcount()));
        if (in.bad()) return false;
        in.clear();
    }
    // Whatever follows (a file that grew meanwhile).
    out.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Copy file names sort by the time they were kept: fCUADROS-AAAAMMDD-hhmmss-NNN.txt.
bool esCopia(const std::string& name) {
    return name.size() == kPrefijo.size() + 19 + kSufijo.size() && name.starts_with(kPrefijo) &&
           name.ends_with(kSufijo);
}

std::vector<fs::path> copiasOrdenadas(const fs::path& carpeta) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(carpeta, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec) && esCopia(it->path().filename().string()))
            out.push_back(it->path());
    std::sort(out.begin(), out.end());
    return out;
}

std::string fechaDeNombre(const std::string& name) {
    // fCUADROS-20261209-170015-000.txt → 2026-12-09 17:00:15
    const std::string d = name.substr(kPrefijo.size(), 8), t = name.substr(kPrefijo.size() + 9, 6);
    return d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2) + " " + t.substr(0, 2) +
           ":" + t.substr(2, 2) + ":" + t.substr(4, 2);
}

}  // namespace

fs::path carpetaCopias(const fs::path& carpetaTextos) {
    std::error_code ec;
    fs::path full = fs::weakly_canonical(fs::absolute(carpetaTextos, ec), ec);
    if (full.empty()) full = carpetaTextos;
    std::string text = platform::utf8(full);
    while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
    std::string base = platform::utf8(platform::pathFromUtf8(text).filename());
    std::string safe;
    for (char c : base.substr(0, 40))
        safe += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
    if (safe.empty()) safe = "raiz";
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a(text)));
    return platform::stateFolder() / "copias" / (safe + "-" + hash);
}

std::vector<Copia> lista(const fs::path& carpetaTextos) {
    std::vector<Copia> out;
    auto files = copiasOrdenadas(carpetaCopias(carpetaTextos));
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        std::error_code ec;
        const auto size = fs::file_size(*it, ec);
        out.push_back({*it, fechaDeNombre(it->filename().string()), ec ? 0 : size});
    }
    return out;
}

bool guardaAnterior(const fs::path& carpetaTextos, const fs::path& anterior) {
    try {
        std::string bytes;
        if (!leeFichero(anterior, bytes)) return false;
        const fs::path carpeta = carpetaCopias(carpetaTextos);
        std::error_code ec;
        fs::create_directories(carpeta, ec);
        if (ec) return false;
        auto files = copiasOrdenadas(carpeta);
        // This version is kept already (a copy of another size cannot be it, and is not read).
        std::error_code sizeEc;
        if (std::string last; !files.empty() &&
                              fs::file_size(files.back(), sizeEc) == bytes.size() && !sizeEc &&
                              leeFichero(files.back(), last) && last == bytes)
            return true;

        const std::time_t now = std::time(nullptr);
        const std::tm tm = platform::localTime(now);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
        // A sequence number keeps copies of the same second in order; should the clock have
        // gone back, the new copy still sorts after the newest one.
        std::string stem = std::string(kPrefijo) + stamp + "-";
        int seq = 0;
        if (!files.empty()) {
            const std::string last = files.back().filename().string();
            if (last.substr(0, stem.size()) >= stem) {
                stem = last.substr(0, stem.size());
                seq = std::atoi(last.substr(stem.size(), 3).c_str()) + 1;
            }
        }
        if (seq > 999) return false;
        char num[16];
        std::snprintf(num, sizeof num, "%03d", seq);
        const std::string name = stem + num + std::string(kSufijo);
        if (tables::replaceFile(carpeta / name, bytes)) return false;

        {
            std::ofstream note(carpeta / "carpeta.txt", std::ios::binary | std::ios::trunc);
            note << platform::utf8(fs::weakly_canonical(fs::absolute(carpetaTextos, ec), ec))
                 << '\n';
        }
        files = copiasOrdenadas(carpeta);
        for (std::size_t i = 0; i + kMaximo < files.size(); ++i) fs::remove(files[i], ec);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// --- Differences ------------------------------------------------------------------------------

namespace {

std::string cut(std::string_view line, std::size_t start, std::size_t len) {
    if (start - 1 >= line.size()) return {};
    return std::string(line.substr(start - 1, len));
}

std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

struct Periodo {
    std::string tipdoc, doc, dia, sesion, linea2;
    std::vector<std::string> lineas3;
};

// Periods keyed by (document, day, session, repeat); the header record is left out.
std::map<std::tuple<std::string, std::string, std::string, int>, Periodo> periodos(
    std::string_view text) {
    std::map<std::tuple<std::string, std::string, std::string, int>, Periodo> out;
    std::map<std::tuple<std::string, std::string, std::string>, int> seen;
    Periodo* current = nullptr;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        start = end + 1;
        if (line.empty()) continue;
        if (line[0] == '2') {
            Periodo p{cut(line, 2, 1),  rtrim(cut(line, 3, 15)), cut(line, 20, 1),
                      cut(line, 18, 2), std::string(line),       {}};
            const int n = seen[{p.doc, p.dia, p.sesion}]++;
            current = &(out[{p.doc, p.dia, p.sesion, n}] = std::move(p));
        } else if (line[0] == '3' && current) {
            current->lineas3.emplace_back(line);
        } else if (line[0] != '3') {
            current = nullptr;
        }
    }
    return out;
}

std::string utf8(std::string_view b) { return cp1252::toUtf8(b); }

std::vector<std::string> detalles(const Periodo& a, const Periodo& b) {
    static const struct {
        const char* titulo;
        std::size_t start, len;
    } campos[] = {{"TipoDOC", 2, 1},  {"TAREA", 21, 3},    {"H.INICIO", 24, 5}, {"H. FIN", 29, 5},
                  {"G.NIVEL", 34, 3}, {"Cód.ASIG", 37, 4}, {"TIPASIG", 41, 1},  {"IDIOMA", 42, 2},
                  {"AULA", 44, 30},   {"ACTIV.", 74, 3}};
    std::vector<std::string> out;
    for (const auto& c : campos) {
        const std::string x = rtrim(cut(a.linea2, c.start, c.len)),
                          y = rtrim(cut(b.linea2, c.start, c.len));
        if (x != y)
            out.push_back(std::string(c.titulo) + ": " + (x.empty() ? "(en blanco)" : utf8(x)) +
                          " → " + (y.empty() ? "(en blanco)" : utf8(y)));
    }
    if (out.empty() && a.linea2 != b.linea2) out.push_back("registro de tipo 2 cambiado");
    if (a.lineas3 != b.lineas3) {
        auto grupos = [](const std::vector<std::string>& v) {
            std::string s;
            for (const std::string& l : v)
                s += (s.empty() ? "" : ", ") + utf8(rtrim(cut(l, 2, 5))) + " (" + cut(l, 26, 2) +
                     " alumnos)";
            return s.empty() ? std::string("(ninguno)") : s;
        };
        out.push_back("grupos: " + grupos(a.lineas3) + " → " + grupos(b.lineas3));
    }
    return out;
}

}  // namespace

std::vector<DiferenciaProfesor> diferencias(std::string_view anterior, std::string_view actual) {
    const auto a = periodos(anterior), b = periodos(actual);
    std::map<std::string, DiferenciaProfesor> byDoc;
    auto add = [&](const Periodo& p, Cambio c) {
        DiferenciaProfesor& d = byDoc[p.doc];
        d.doc = p.doc;
        d.tipdoc = p.tipdoc;
        c.dia = p.dia;
        c.sesion = p.sesion;
        d.cambios.push_back(std::move(c));
    };
    // Both maps are ordered by document, day and session: one merge.
    auto i = a.begin(), j = b.begin();
    while (i != a.end() || j != b.end()) {
        if (j == b.end() || (i != a.end() && i->first < j->first)) {
            add(i->second, {Cambio::Quitado, {}, {}, {}});
            ++i;
        } else if (i == a.end() || j->first < i->first) {
            add(j->second, {Cambio::Anadido, {}, {}, {}});
            ++j;
        } else {
            if (i->second.linea2 != j->second.linea2 || i->second.lineas3 != j->second.lineas3)
                add(j->second, {Cambio::Cambiado, {}, {}, detalles(i->second, j->second)});
            ++i;
            ++j;
        }
    }
    std::vector<DiferenciaProfesor> out;
    for (auto& [doc, d] : byDoc) out.push_back(std::move(d));
    return out;
}

std::string textoDiferencias(const std::vector<DiferenciaProfesor>& d) {
    if (d.empty()) return "Sin diferencias en los periodos.\n";
    std::string s;
    for (const DiferenciaProfesor& p : d) {
        int n[3] = {0, 0, 0};
        for (const Cambio& c : p.cambios) ++n[c.tipo];
        s += "Profesor con documento " + (p.doc.empty() ? "(en blanco)" : utf8(p.doc)) + ": " +
             std::to_string(n[0]) + (n[0] == 1 ? " añadido, " : " añadidos, ") +
             std::to_string(n[1]) + (n[1] == 1 ? " quitado, " : " quitados, ") +
             std::to_string(n[2]) + (n[2] == 1 ? " cambiado" : " cambiados") + "\n";
        for (const Cambio& c : p.cambios) {
            static const char* const marca[] = {"  + añadido", "  - quitado", "  * cambiado"};
            s += std::string(marca[c.tipo]) + ": día " + utf8(c.dia) + ", sesión " + utf8(c.sesion);
            for (std::size_t k = 0; k < c.detalles.size(); ++k)
                s += (k ? "; " : ": ") + c.detalles[k];
            s += "\n";
        }
    }
    return s;
}

}  // namespace tz::timetable::copias
