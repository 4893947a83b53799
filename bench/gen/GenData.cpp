// Synthetic but believable school data of any size, for the whole-process benchmarks.
//
//   tz_gen textos DIR [--profesores N] [--asignaturas N] [--grupos N] [--semilla S]
//       The nine XEL text files in DIR (fixed-width lines, Windows-1252, CR LF): teachers with
//       Basque and Castilian names (so initials repeat), subjects whose codes repeat about ten
//       times each, groups per level and course whose aliases share their first characters.
//       Defaults: 300 teachers, 1,500 subjects, 150 groups.
//   tz_gen soluc RAIZ [--lecciones N] [--semilla S]
//       The timetabler's SOLUC.DBF in RAIZ/ZTEMP, written with the engine, over the teachers,
//       groups and subjects that the XEL -> Zandrix job left there (PROFT, GRUPOST, ASIGNOMT).
//       About 4% of the lessons share their teacher's slot with another group, 10% last two
//       hours, 8% are tasks without a group, a few name a substitute missing from PROFT, a
//       group or a subject missing from their tables; some are unplaced (day 0) or have no
//       teacher. Default: 12,000 lessons. Also writes RAIZ/documentos.txt (ABREV;TIPODNI;DNI)
//       with a document for every teacher of PROFT that has none and for the substitutes, for
//       the importar job's --documentos.
//
// The same arguments always give the same files.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tables/Cp1252.h"
#include "tables/Dataset.h"
#include "tables/EngineError.h"
#include "tables/TableFiles.h"

namespace fs = std::filesystem;
using tz::tables::Dataset;
using tz::tables::OpenMode;

namespace {

using Rng = std::mt19937;

int pick(Rng& rng, int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

template <class T>
const T& pickOf(Rng& rng, const std::vector<T>& v) {
    return v[static_cast<std::size_t>(pick(rng, static_cast<int>(v.size())))];
}

// Text of this source (UTF-8) as the administration's files carry it (Windows-1252).
std::string cp1252(std::string_view utf8) {
    auto bytes = tz::cp1252::fromUtf8(utf8);
    if (!bytes) throw std::runtime_error("not Windows-1252: " + std::string(utf8));
    return *bytes;
}

// A fixed-width line: values placed at 1-based columns (cut to their length), spaces
// between, trailing spaces cut.
class Line {
  public:
    Line& at(int start, int length, std::string_view utf8) {
        auto from = static_cast<std::size_t>(start - 1);
        if (text_.size() < from) text_.resize(from, ' ');
        std::string v = cp1252(utf8).substr(0, static_cast<std::size_t>(length));
        v.resize(static_cast<std::size_t>(length), ' ');
        text_.replace(from, std::min(v.size(), text_.size() - from), v);
        return *this;
    }
    std::string str() const {
        std::string s = text_;
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }

  private:
    std::string text_;
};

void writeText(const fs::path& file, const std::vector<std::string>& lines) {
    std::ofstream out(file, std::ios::binary);
    for (const auto& l : lines) out << l << "\r\n";
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

// Basque and Castilian names, so that initials repeat.
const std::vector<std::string> kSurnames = {
    "Agirre",    "Arana",     "Etxeberria", "García",      "Gómez",       "Gil",
    "Fernández", "Ibáñez",    "Jiménez",    "Lizarraga",   "López",       "Martínez",
    "Mújica",    "Navarro",   "Olano",      "Pérez",       "Ramírez",     "Rodríguez",
    "Ruiz",      "Sánchez",   "Urrutia",    "Uriarte",     "Zabala",      "Zubiaurre",
    "Álvarez",   "Ochoa",     "Bengoetxea", "Barrenetxea", "Zubizarreta", "Lasa",
    "Larrañaga", "Olabarria", "Sáez",       "Mendizabal",  "Ortiz",       "Oyarzabal",
    "Querejeta", "Ramos",     "Sanz",       "Salaberria",  "Torres",      "Txurruka",
    "Tellería",  "Ugarte",    "Uranga",     "Castro",      "Goikoetxea",  "Iturbe"};
const std::vector<std::string> kNames = {
    "Miren",      "Mikel",   "Jon",    "Ana",    "Ainhoa", "Asier", "Carmen", "Koldo",
    "María José", "Iñaki",   "Isabel", "Begoña", "Beñat",  "Lucía", "Nerea",  "Francisco Javier",
    "Elena",      "Eduardo", "Edurne", "Pilar",  "Patxi",  "Pello", "Josu",   "Joseba",
    "Óscar",      "Amaia",   "Itziar", "Gorka",  "Leire",  "Unai"};
const std::vector<std::string> kDepartments = {"Matemáticas",
                                               "Euskara eta Literatura",
                                               "Lengua Castellana y Literatura",
                                               "Geografía e Historia",
                                               "Inglés",
                                               "Educación Física",
                                               "Física y Química",
                                               "Tecnología",
                                               "Biología y Geología",
                                               "Música",
                                               "Dibujo",
                                               "Filosofía",
                                               "Latín y Griego",
                                               "Economía",
                                               "Orientación"};

// Four-letter subject codes that repeat: one base code per about ten subjects, made from
// syllables so that bases also share their first three letters now and then.
std::vector<std::string> subjectCodes(Rng& rng, int subjects) {
    static const std::vector<std::string> syl = {"MA", "EU", "GA", "IN", "GE", "FI", "TE", "MU",
                                                 "BI", "PL", "LA", "EK", "HI", "KI", "DI", "GO"};
    int bases = std::max(1, subjects / 10);
    std::vector<std::string> b;
    for (int i = 0; i < bases; ++i) b.push_back(pickOf(rng, syl) + pickOf(rng, syl));
    return b;
}

void textos(const fs::path& dir, int profesores, int asignaturas, int grupos, unsigned seed) {
    fs::create_directories(dir);
    Rng rng(seed);

    writeText(dir / "fTIPTAR.txt", {Line()
                                        .at(1, 1, "1")
                                        .at(2, 3, "GUA")
                                        .at(5, 1, "N")
                                        .at(6, 1, "N")
                                        .at(7, 250, "Guardia de aula y patio")
                                        .at(257, 250, "Ikasgela eta jolastoki zaintza")
                                        .str(),
                                    Line()
                                        .at(1, 1, "1")
                                        .at(2, 3, "TUT")
                                        .at(5, 1, "N")
                                        .at(6, 1, "N")
                                        .at(7, 250, "Tutoría de grupo")
                                        .at(257, 250, "Taldeko tutoretza")
                                        .str(),
                                    Line()
                                        .at(1, 1, "1")
                                        .at(2, 3, "REF")
                                        .at(5, 1, "S")
                                        .at(6, 1, "N")
                                        .at(7, 250, "Refuerzo educativo")
                                        .at(257, 250, "Hezkuntza errefortzua")
                                        .str(),
                                    Line()
                                        .at(1, 1, "1")
                                        .at(2, 3, "BIB")
                                        .at(5, 1, "N")
                                        .at(6, 1, "S")
                                        .at(7, 250, "Atención a la biblioteca")
                                        .at(257, 250, "Liburutegiaren arreta")
                                        .str(),
                                    Line()
                                        .at(1, 1, "0")
                                        .at(2, 3, "OBS")
                                        .at(5, 1, "N")
                                        .at(6, 1, "N")
                                        .at(7, 250, "Tarea dada de baja")
                                        .at(257, 250, "Baja emandako zeregina")
                                        .str()});

    auto bases = subjectCodes(rng, asignaturas);
    std::vector<std::string> asignat;
    for (int i = 0; i < asignaturas; ++i) {
        const std::string& code = bases[static_cast<std::size_t>(i) % bases.size()];
        char xel[16];
        std::snprintf(xel, sizeof xel, "%04d", 1000 + i % 9000);
        int curso = 1 + i % 4;
        std::string cast = "Asignatura " + code + " " + std::to_string(curso) + "º ESO";
        std::string eusk = code + " ikasgaia " + std::to_string(curso) + ". DBH";
        asignat.push_back(Line()
                              .at(1, 4, xel)
                              .at(5, 100, cast)
                              .at(105, 20, cast)
                              .at(125, 4, code)
                              .at(129, 100, eusk)
                              .at(229, 20, eusk)
                              .at(249, 4, code)
                              .str());
    }
    writeText(dir / "fASIGNAT.txt", asignat);

    writeText(dir / "fOTRACT.txt", {Line()
                                        .at(1, 3, "REC")
                                        .at(4, 100, "Recreo")
                                        .at(104, 100, "Jolasaldia")
                                        .at(204, 20, "Recreo")
                                        .at(224, 20, "Jolasaldia")
                                        .str(),
                                    Line()
                                        .at(1, 3, "COM")
                                        .at(4, 100, "Comedor escolar")
                                        .at(104, 100, "Eskola jantokia")
                                        .at(204, 20, "Comedor")
                                        .at(224, 20, "Jantokia")
                                        .str()});
    writeText(dir / "fTIPDOC.txt",
              {Line().at(1, 1, "1").at(2, 100, "DNI").at(102, 100, "NAN").str(),
               Line().at(1, 1, "2").at(2, 100, "NIE").at(102, 100, "AIZ").str(),
               Line().at(1, 1, "3").at(2, 100, "Pasaporte").at(102, 100, "Pasaportea").str()});
    writeText(dir / "fNIVIMP.txt", {Line()
                                        .at(1, 3, "ESO")
                                        .at(4, 3, "SEC")
                                        .at(7, 100, "Educación Secundaria Obligatoria")
                                        .at(107, 100, "Derrigorrezko Bigarren Hezkuntza")
                                        .at(207, 20, "E.S.O.")
                                        .at(227, 20, "D.B.H.")
                                        .str(),
                                    Line()
                                        .at(1, 3, "BAC")
                                        .at(4, 3, "BAC")
                                        .at(7, 100, "Bachillerato")
                                        .at(107, 100, "Batxilergoa")
                                        .at(207, 20, "Bachillerato")
                                        .at(227, 20, "Batxilergoa")
                                        .str()});
    writeText(dir / "fIDIOMA.txt", {Line()
                                        .at(1, 2, "EU")
                                        .at(3, 100, "Euskera")
                                        .at(103, 100, "Euskara")
                                        .at(203, 4, "EUSK")
                                        .at(207, 4, "EUSK")
                                        .str(),
                                    Line()
                                        .at(1, 2, "CA")
                                        .at(3, 100, "Castellano")
                                        .at(103, 100, "Gaztelania")
                                        .at(203, 4, "CAST")
                                        .at(207, 4, "GAZT")
                                        .str()});
    writeText(dir / "fGRUPNIV.txt", {Line()
                                         .at(1, 3, "SEC")
                                         .at(4, 50, "Educación Secundaria")
                                         .at(54, 50, "Bigarren Hezkuntza")
                                         .at(107, 1, "1")
                                         .at(108, 50, "02")
                                         .str(),
                                     Line()
                                         .at(1, 3, "BAC")
                                         .at(4, 50, "Bachillerato")
                                         .at(54, 50, "Batxilergoa")
                                         .at(104, 3, "SEC")
                                         .at(107, 1, "1")
                                         .at(108, 50, "03")
                                         .str()});

    std::vector<std::string> profes = {"1PROFESORADO 015432 2024"};
    for (int i = 0; i < profesores; ++i) {
        char dni[16];
        std::snprintf(dni, sizeof dni, "%08u%c", static_cast<unsigned>(10000000 + rng() % 89999999),
                      "TRWAGMYFPDXBNJZSQVHLCKE"[rng() % 23]);
        bool sinDocumento = i % 97 == 5;  // a few teachers still without a document
        profes.push_back(Line()
                             .at(1, 1, "2")
                             .at(3, 1, sinDocumento ? " " : "1")
                             .at(4, 15, sinDocumento ? "" : dni)
                             .at(19, 40, pickOf(rng, kSurnames))
                             .at(59, 40, pickOf(rng, kSurnames))
                             .at(99, 20, pickOf(rng, kNames))
                             .at(125, 100, pickOf(rng, kDepartments))
                             .str());
    }
    writeText(dir / "fPROFES.txt", profes);

    std::vector<std::string> gr = {
        Line().at(1, 1, "1").at(4, 6, "015432").at(10, 4, "2024").at(14, 1, "1").str()};
    for (int i = 0; i < grupos; ++i) {
        bool bach = i % 5 == 4;
        int curso = 1 + (i / 5) % (bach ? 2 : 4);
        char letra = static_cast<char>('A' + (i / 20) % 26);
        char code[16];
        std::snprintf(code, sizeof code, "%05d", 10001 + i);
        std::string alias = std::to_string(curso) + (bach ? "BAC " : "ESO ") + letra;
        if (i / 520 > 0) alias += std::to_string(i / 520);
        gr.push_back(Line()
                         .at(1, 1, "2")
                         .at(2, 5, code)
                         .at(7, 30, alias)
                         .at(37, 3, bach ? "BAC" : "ESO")
                         .at(40, 6, bach ? "CIE" : "GEN")
                         .at(46, 2, bach ? "T1" : "M1")
                         .at(48, 2, std::to_string(curso))
                         .at(50, 20, "Grupo " + alias)
                         .at(211, 2, std::to_string(18 + pick(rng, 13)))
                         .str());
    }
    writeText(dir / "fGRUPOS.txt", gr);
}

std::vector<std::string> column(const fs::path& table, const char* field) {
    Dataset d;
    d.open(table, OpenMode::ReadOnly);
    std::vector<std::string> v;
    for (d.first(); !d.eof(); d.next()) v.push_back(d.text(field));
    return v;
}

void soluc(const fs::path& raiz, int lecciones, unsigned seed) {
    const fs::path ztemp = raiz / "ZTEMP";
    auto profes = column(ztemp / "PROFT.DBF", "ABREV");
    auto grupos = column(ztemp / "GRUPOST.DBF", "ABREV");
    auto asignas = column(ztemp / "ASIGNOMT.DBF", "COD");
    if (profes.empty() || grupos.empty() || asignas.empty()) {
        throw std::runtime_error("PROFT, GRUPOST and ASIGNOMT must hold rows: run exportar first");
    }
    Rng rng(seed);
    using tz::tables::charField;
    using tz::tables::logicalField;
    using tz::tables::numericField;
    const fs::path file = ztemp / "SOLUC.DBF";
    tz::tables::createTable(
        file,
        {numericField("NUMLEC", 6), charField("PROF", 4), numericField("DIA", 1),
         numericField("HORA", 2), numericField("SESIONES", 2), charField("CODGRUPO", 4),
         charField("ASIG", 4), charField("TAREA", 3), charField("AULA", 4), logicalField("FIJA")},
        {});
    Dataset d;
    d.open(file, OpenMode::Exclusive);
    // Each teacher's week: five days of hours 1-6 and 9-12, filled in a shuffled order.
    const int perTeacher = std::max(1, lecciones / static_cast<int>(profes.size()));
    std::vector<std::pair<int, int>> slots;
    for (int day = 1; day <= 5; ++day) {
        for (int hour : {1, 2, 3, 4, 5, 6, 9, 10, 11, 12}) slots.emplace_back(day, hour);
    }
    int written = 0, teacher = 0;
    std::size_t next = 0;
    std::pair<int, int> last{1, 1};
    auto row = [&](const std::string& prof, int day, int hour, int sessions,
                   const std::string& group, const std::string& subject, const std::string& task) {
        char aula[16];
        std::snprintf(aula, sizeof aula, "A%03d", pick(rng, 300));
        d.appendRecord({std::to_string(++written), prof, std::to_string(day), std::to_string(hour),
                        std::to_string(sessions), group, subject, task, aula,
                        sessions > 1 ? "T" : "F"});
    };
    while (written < lecciones) {
        if (next % static_cast<std::size_t>(perTeacher) == 0) {
            std::shuffle(slots.begin(), slots.end(), rng);
            teacher = (teacher + 1) % static_cast<int>(profes.size());
        }
        const std::string& prof = profes[static_cast<std::size_t>(teacher)];
        int kind = pick(rng, 100);
        auto [day, hour] = kind < 4 ? last : slots[next % slots.size()];
        ++next;
        last = {day, hour};
        const std::string& group = pickOf(rng, grupos);
        const std::string& subject = pickOf(rng, asignas);
        if (kind < 4) {
            row(prof, day, hour, 1, pickOf(rng, grupos), subject, "");  // two groups at once
        } else if (kind < 14) {
            row(prof, day, hour, 2, group, subject, "");
        } else if (kind < 22) {
            row(prof, day, hour, 1, "", "", kind % 2 ? "GUA" : "BIB");
        } else if (kind == 22) {
            row("SUS" + std::to_string(pick(rng, 9)), day, hour, 1, group, subject, "");
        } else if (kind == 23) {
            row(prof, day, hour, 1, "ZZZZ", "QQQQ", "");  // neither is in its table
        } else if (kind == 24 && pick(rng, 4) == 0) {
            row(prof, 0, 0, 1, group, subject, "");  // not placed
        } else if (kind == 25 && pick(rng, 4) == 0) {
            row("", day, hour, 1, group, subject, "");
        } else {
            row(prof, day, hour, 1, group, subject, "");
        }
    }
    d.close();

    std::ofstream docs(raiz / "documentos.txt", std::ios::binary);
    auto dnis = column(ztemp / "PROFT.DBF", "DNI");
    for (std::size_t i = 0; i < profes.size(); ++i) {
        if (dnis[i].empty()) docs << profes[i] << ";1;" << 20000000 + i << "K\r\n";
    }
    for (int i = 0; i < 9; ++i) docs << "SUS" << i << ";2;Y" << 7654320 + i << "G\r\n";
    if (!docs) throw std::runtime_error("cannot write documentos.txt");
}

int usage() {
    std::fputs(
        "usage: tz_gen textos DIR [--profesores N] [--asignaturas N] [--grupos N] [--semilla S]\n"
        "       tz_gen soluc RAIZ [--lecciones N] [--semilla S]\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    std::string what = argv[1];
    fs::path dir = argv[2];
    int profesores = 300, asignaturas = 1500, grupos = 150, lecciones = 12000;
    unsigned seed = 20240901;
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return usage();
        long v = std::strtol(argv[++i], nullptr, 10);
        if (v <= 0) return usage();
        if (a == "--profesores") {
            profesores = static_cast<int>(v);
        } else if (a == "--asignaturas") {
            asignaturas = static_cast<int>(v);
        } else if (a == "--grupos") {
            grupos = static_cast<int>(v);
        } else if (a == "--lecciones") {
            lecciones = static_cast<int>(v);
        } else if (a == "--semilla") {
            seed = static_cast<unsigned>(v);
        } else {
            return usage();
        }
    }
    try {
        if (what == "textos") {
            textos(dir, profesores, asignaturas, grupos, seed);
        } else if (what == "soluc") {
            soluc(dir, lecciones, seed);
        } else {
            return usage();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tz_gen: %s\n", e.what());
        return 1;
    }
    return 0;
}
