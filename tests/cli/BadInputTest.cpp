// The mistakes real users make, run through the batch front end on the sample school: for each,
// the exit status, what is told, and what is on disk afterwards.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <sstream>

#include "cli/Batch.h"
#include "intake/TextoFijo.h"
#include "platform/Error.h"
#include "tables/Cp1252.h"
#include "tables/Dataset.h"
#include "tables/FileIo.h"
#include "tables/Paths.h"
#include "timetable/Timetable.h"

namespace {

namespace fs = std::filesystem;
namespace tables = tz::tables;
using Lines = std::vector<std::string>;

const fs::path kExamples = TZ_EXAMPLES;

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void writeBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

fs::path freshDir(const std::string& tag) {
    std::random_device rd;
    fs::path d = fs::temp_directory_path() /
                 ("tz-mal-" + tag + "-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(d);
    return d;
}

// Every file under `dir` with its bytes, to tell that a run changed nothing.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) out[fs::relative(e.path(), dir).string()] = readBytes(e.path());
    return out;
}

// A copy of the sample school after its XEL → Zandrix job: <dir>/textos, <dir>/raiz/ZTEMP.
struct Escuela {
    fs::path dir, textos, raiz, ztemp;
    explicit Escuela(const fs::path& from) : dir(freshDir("caso")) {
        fs::copy(from, dir, fs::copy_options::recursive);
        textos = dir / "textos";
        raiz = dir / "raiz";
        ztemp = raiz / "ZTEMP";
    }
    ~Escuela() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    Escuela(const Escuela&) = delete;
    Escuela& operator=(const Escuela&) = delete;

    Lines importar(Lines extra = {}) const {
        Lines a = {"importar", "--textos", textos.string(), "--raiz", raiz.string()};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
    Lines exportar(Lines extra = {}) const {
        Lines a = {"exportar", "--textos", textos.string(), "--raiz", raiz.string()};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
    // A --documentos file with these bytes.
    std::string documentos(const std::string& bytes) const {
        writeBytes(dir / "documentos.txt", bytes);
        return (dir / "documentos.txt").string();
    }
    std::string cuadros() const { return readBytes(textos / "fCUADROS.txt"); }
    bool hayCuadros() const { return fs::exists(textos / "fCUADROS.txt"); }

    // Sets fields of row `row` (from 0, file order) of a table, as another program would.
    void edita(const std::string& table, int row,
               const std::vector<std::pair<std::string, std::string>>& values) const {
        tables::Dataset ds;
        ds.open(ztemp / table, tables::OpenMode::Shared);
        ds.moveTo(row);
        ds.edit();
        for (const auto& [f, v] : values) ds.setText(f, v);
        ds.post();
    }
    std::string profesor(const std::string& abrev, const char* field) const {
        tables::Dataset ds;
        ds.open(ztemp / "PROFT.DBF", tables::OpenMode::ReadOnly);
        ds.setIndex("ABREV");
        return ds.findKey(abrev) ? ds.text(field) : "(no existe)";
    }
};

// The sample's documents, every teacher then has one.
const std::string kDocumentos = "OA;1;30776655B\r\nSUST;2;Y7654321G\r\n";

struct Caso {
    const char* name;
    std::function<Lines(Escuela&)> prepara;  // changes the copy, gives the arguments
    int exit;
    // Texts the output must hold (each a substring of it), and must not hold.
    std::function<Lines(const Escuela&)> dice;
    Lines noDice;
    // What is on disk afterwards; `antes` is every file of the copy before the run.
    std::function<void(const Escuela&, const std::map<std::string, std::string>& antes)> disco;
};

void sinCambios(const Escuela& e, const std::map<std::string, std::string>& antes) {
    EXPECT_EQ(snapshot(e.dir), antes) << "the run changed files";
}

// Every CR of fCUADROS.txt ends a line; no record has an hour 00 or a day outside the week.
void cuadrosBienFormado(const Escuela& e) {
    const std::string f = e.cuadros();
    ASSERT_FALSE(f.empty());
    std::istringstream in(f);
    std::string line;
    while (std::getline(in, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r') << line;
        line.pop_back();
        EXPECT_EQ(line.find_first_of("\r\n\t"), std::string::npos) << line;
        if (line[0] == '2') {
            EXPECT_NE(line.substr(17, 2), "00") << line;
            EXPECT_TRUE(line[19] >= '1' && line[19] <= '7') << line;
        }
    }
}

class MalaEntrada : public ::testing::TestWithParam<Caso> {
  protected:
    static void SetUpTestSuite() {
        muestra_ = new fs::path(freshDir("muestra"));
        fs::copy(kExamples / "textos", *muestra_ / "textos", fs::copy_options::recursive);
        fs::copy(kExamples / "raiz", *muestra_ / "raiz", fs::copy_options::recursive);
        std::ostringstream out, err;
        const int status =
            tz::cli::runBatch({"exportar", "--textos", (*muestra_ / "textos").string(), "--raiz",
                               (*muestra_ / "raiz").string(), "--niveles",
                               (kExamples / "expected" / "niveles.txt").string()},
                              out, err);
        ASSERT_EQ(status, 0) << err.str();
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(*muestra_, ec);
        delete muestra_;
    }
    void TearDown() override {
        tz::tables::setFileFaultHook({});
        tz::tables::setRootOverride({});
    }
    static fs::path* muestra_;
};
fs::path* MalaEntrada::muestra_ = nullptr;

TEST_P(MalaEntrada, ExitMessageAndDisk) {
    const Caso& c = GetParam();
    Escuela e(*muestra_);
    const Lines args = c.prepara(e);
    const auto antes = snapshot(e.dir);
    std::ostringstream out, err;
    const int status = tz::cli::runBatch(args, out, err);
    tz::tables::setFileFaultHook({});
    const std::string said = out.str() + err.str();
    EXPECT_EQ(status, c.exit) << said;
    for (const std::string& d : c.dice(e))
        EXPECT_NE(said.find(d), std::string::npos) << d << "\nnot in:\n" << said;
    for (const std::string& d : c.noDice) EXPECT_EQ(said.find(d), std::string::npos) << d;
    // Never an internal temporary file name, never a reason in English.
    for (const char* s : {".new", ".tmp", ".nueva", "No such file", "No space", "Permission"})
        EXPECT_EQ(said.find(s), std::string::npos) << s << " in: " << said;
    c.disco(e, antes);
}

std::string utf8ToCp1252(const std::string& s) { return *tz::cp1252::fromUtf8(s); }

const Caso kCasos[] = {
    {"CrTypedAfterADocument",
     [](Escuela& e) {
         return e.importar({"--documentos", e.documentos("OA;1;30776655B\r\r\n"
                                                         "SUST;2;Y7654321G\n")});
     },
     0,
     [](const Escuela&) { return Lines{"Proceso finalizado"}; },
     {"carácter de control"},
     [](const Escuela& e, const auto&) {
         EXPECT_EQ(e.profesor("OA", "DNI"), "30776655B");
         cuadrosBienFormado(e);
         EXPECT_NE(e.cuadros().find("130776655B      "), std::string::npos);
     }},
    {"CrInsideADocumentOfTheFile",
     [](Escuela& e) {
         return e.importar({"--documentos", e.documentos("OA;1;3077\r6655B\n")});
     },
     2,
     [](const Escuela& e) {
         return Lines{"línea 1 no válida en " + (e.dir / "documentos.txt").string() +
                      ": DNI tiene un carácter de control, retorno de carro (código 13)"};
     },
     {},
     sinCambios},
    {"CrInsideADocumentStoredByAnotherProgram",
     [](Escuela& e) {
         tables::Dataset p;
         p.open(e.ztemp / "PROFT.DBF", tables::OpenMode::Shared);
         p.setIndex("ABREV");
         EXPECT_TRUE(p.findKey("OA"));
         p.edit();
         p.setText("DNI", "3077\r6655B");
         p.setText("TIPODNI", "1");
         p.post();
         return e.importar({"--documentos", e.documentos("SUST;2;Y7654321G\n")});
     },
     0,
     [](const Escuela&) {
         return Lines{
             "Aviso: Profesor OA, día 1, sesión 03, Documento DNI: tiene un carácter de "
             "control, retorno de carro (código 13): \"3077·6655B\"",
             "Proceso finalizado"};
     },
     {},
     [](const Escuela& e, const auto&) { EXPECT_TRUE(e.hayCuadros()); }},
    {"DocumentTypeXelTipdocDoesNotKnow",
     [](Escuela& e) {
         return e.importar({"--documentos", e.documentos("OA;1;30776655B\nSUST;9;Y7654321G\n")});
     },
     0,
     [](const Escuela&) {
         return Lines{
             "Aviso: Profesor SUST, día 3, sesión 05, TipoDOC: el código \"9\" no está "
             "en xelTIPDOC",
             "Aviso: Profesor SUST, día 3, sesión 05, grupo 4ESO, TipoDOC: el código "
             "\"9\" no está en xelTIPDOC"};
     },
     {},
     [](const Escuela& e, const auto&) { EXPECT_EQ(e.profesor("SUST", "TIPODNI"), "9"); }},
    {"NegativeCentreGiven",
     [](Escuela& e) {
         fs::remove(e.ztemp / "xelCENTRO.DBF");
         return e.importar({"--centro=-1,-2026,-", "--documentos", e.documentos(kDocumentos)});
     },
     2,
     [](const Escuela&) {
         return Lines{"--centro: el código de centro \"-1\" debe tener 6 cifras"};
     },
     {},
     sinCambios},
    {"NegativeCentreInTheTable",
     [](Escuela& e) {
         e.edita("xelCENTRO.DBF", 0, {{"CODCENTRO", "-1"}, {"ANOACAD", "-202"}, {"VERSION", "-"}});
         return e.importar({"--documentos", e.documentos(kDocumentos)});
     },
     5,
     [](const Escuela&) {
         return Lines{
             "El trabajo se detiene: en xelCENTRO.DBF el código de centro \"-1\" debe "
             "tener 6 cifras. Indique los datos del centro con --centro COD,AÑO,VERSION",
             "!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente"};
     },
     {"Proceso finalizado\n"},
     [](const Escuela& e, const auto&) { EXPECT_FALSE(e.hayCuadros()); }},
    {"CentreInTheTableCorrectedByTheOption",
     [](Escuela& e) {
         e.edita("xelCENTRO.DBF", 0, {{"CODCENTRO", "-1"}, {"ANOACAD", "-202"}, {"VERSION", "-"}});
         return e.importar(
             {"--centro", "015432,2025,2", "--documentos", e.documentos(kDocumentos)});
     },
     0,
     [](const Escuela&) { return Lines{"Proceso finalizado"}; },
     {"Datos del centro"},
     [](const Escuela& e, const auto&) {
         EXPECT_EQ(e.cuadros().substr(0, 16), "1CH01543220252\r\n");
     }},
    {"HourNotANumberAndDayNineInSoluc",
     [](Escuela& e) {
         e.edita("SOLUC.DBF", 2, {{"HORA", ""}});  // ABM, day 4, hour 2
         e.edita("SOLUC.DBF", 3, {{"DIA", "9"}});  // MOB1, day 3, hours 4 and 5
         return e.importar({"--documentos", e.documentos(kDocumentos)});
     },
     0,
     [](const Escuela&) {
         return Lines{
             "Hay 2 lecciones de SOLUC que no se pueden colocar en la semana o en la plantilla "
             "horaria: no pasan a fCUADROS.txt. Corrija su día u hora en Zandrix",
             "Aviso: Lección de SOLUC sin colocar (fila 3): profesor ABM, día 4, hora , grupo "
             "3ESO: la hora está en blanco o no es un número; no pasa a fCUADROS.txt",
             "Aviso: Lección de SOLUC sin colocar (fila 4): profesor MOB1, día 9, hora 4, grupo "
             "3ESO: el día \"9\" no es un día de la semana (1 a 7); no pasa a fCUADROS.txt",
             "Proceso finalizado"};
     },
     {},
     [](const Escuela& e, const auto&) {
         cuadrosBienFormado(e);
         const std::string f = e.cuadros();
         // The sample's file without ABM's period at day 4, hour 2 and MOB1's at day 3, hour 4.
         const std::string esperado = readBytes(kExamples / "expected" / "fCUADROS.txt");
         EXPECT_LT(f.size(), esperado.size());
         EXPECT_EQ(f.find("0009:0010:00"), std::string::npos);
         EXPECT_EQ(f.find("00:0000:00"), std::string::npos);
     }},
    {"NoCentreTableAndNoCentreOption",
     [](Escuela& e) {
         fs::remove(e.ztemp / "xelCENTRO.DBF");
         return e.importar({"--documentos", e.documentos(kDocumentos)});
     },
     5,
     [](const Escuela&) {
         return Lines{
             "El trabajo se detiene: no existía xelCENTRO.DBF y faltan los datos del "
             "centro. Indique los datos del centro con --centro COD,AÑO,VERSION"};
     },
     {},
     [](const Escuela& e, const auto&) {
         EXPECT_FALSE(e.hayCuadros());
         EXPECT_FALSE(fs::exists(e.ztemp / "CUADROH2.DBF"));
         tables::Dataset c;
         c.open(e.ztemp / "xelCENTRO.DBF", tables::OpenMode::ReadOnly);
         EXPECT_TRUE(c.isEmpty());
     }},
    {"NoExchangeFolderExportar",
     [](Escuela& e) {
         fs::remove_all(e.ztemp);
         return e.exportar();
     },
     1,
     [](const Escuela& e) {
         return Lines{"No existe la carpeta de intercambio " + e.ztemp.string() +
                      ". Es la "
                      "carpeta ZTEMP donde Zandrix deja sus tablas"};
     },
     {"No se puede"},
     [](const Escuela& e, const auto& antes) {
         EXPECT_FALSE(fs::exists(e.ztemp));
         sinCambios(e, antes);
     }},
    {"NoExchangeFolderImportar",
     [](Escuela& e) {
         fs::remove_all(e.ztemp);
         return e.importar();
     },
     1,
     [](const Escuela& e) {
         return Lines{"No existe la carpeta de intercambio " + e.ztemp.string() + "."};
     },
     {"No se puede"},
     sinCambios},
    {"EmptyCentreTable",
     [](Escuela& e) {
         writeBytes(e.ztemp / "xelCENTRO.DBF", "");
         return e.importar({"--documentos", e.documentos(kDocumentos)});
     },
     3,
     [](const Escuela&) {
         return Lines{"xelCENTRO.DBF no es una tabla dBase válida",
                      "No se escribe fCUADROS.txt: no se ha podido abrir la tabla xelCENTRO.DBF",
                      "!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente"};
     },
     {"No existe el profesor", "La tabla no está abierta"},
     [](const Escuela& e, const auto&) {
         EXPECT_FALSE(e.hayCuadros());
         EXPECT_EQ(e.profesor("OA", "DNI"), "");  // nothing typed into a window that failed
     }},
    {"DocumentsWithAByteOrderMark",
     [](Escuela& e) {
         return e.importar({"--documentos", e.documentos("\xEF\xBB\xBF" + kDocumentos)});
     },
     0,
     [](const Escuela&) { return Lines{"Proceso finalizado"}; },
     {"No existe el profesor"},
     [](const Escuela& e, const auto&) { EXPECT_EQ(e.profesor("OA", "DNI"), "30776655B"); }},
    {"DocumentsInUtf8WithAccents",
     [](Escuela& e) {
         return e.importar({"--documentos", e.documentos(kDocumentos + "ÁCÓ;3;X1234567L\r\n")});
     },
     0,
     [](const Escuela&) { return Lines{"Proceso finalizado"}; },
     {"No existe el profesor"},
     [](const Escuela& e, const auto&) {
         EXPECT_EQ(e.profesor(utf8ToCp1252("ÁCÓ"), "DNI"), "X1234567L");
         EXPECT_EQ(e.profesor(utf8ToCp1252("ÁCÓ"), "TIPODNI"), "3");
     }},
    {"Utf8CharacterWithoutASingleByte",
     [](Escuela& e) {
         return e.importar({"--documentos", e.documentos("OA;1;30776655B\nĀCÓ;1;X1234567L\n")});
     },
     2,
     [](const Escuela& e) {
         return Lines{"línea 2 no válida en " + (e.dir / "documentos.txt").string() +
                      ": ABREV \"ĀCÓ\" tiene caracteres que no existen en Windows-1252"};
     },
     {},
     sinCambios},
    {"DocumentLongerThanItsField",
     [](Escuela& e) {
         return e.importar(
             {"--documentos", e.documentos("SUST;2;Y7654321G\n\nOA;1;30776655B1234567\n")});
     },
     2,
     [](const Escuela& e) {
         return Lines{"línea 3 no válida en " + (e.dir / "documentos.txt").string() +
                      ": DNI \"30776655B1234567\" tiene 16 caracteres y el campo admite 15"};
     },
     {},
     sinCambios},
    {"LevelAbbreviationLongerThanItsField",
     [](Escuela& e) {
         writeBytes(e.dir / "niveles.txt", "ESO;ESOBACH;DBH\r\n");
         return e.exportar({"--niveles", (e.dir / "niveles.txt").string()});
     },
     2,
     [](const Escuela& e) {
         return Lines{"línea 1 no válida en " + (e.dir / "niveles.txt").string() +
                      ": ABREVCAST \"ESOBACH\" tiene 7 caracteres y el campo admite 5"};
     },
     {},
     sinCambios},
    {"OptionMissingItsValue",
     [](Escuela& e) {
         return Lines{"importar", "--textos", "--nueva", "--raiz", e.raiz.string()};
     },
     2,
     [](const Escuela&) { return Lines{"transzanderxel-batch: falta el valor de --textos"}; },
     {"opción desconocida"},
     sinCambios},
    {"TextFilesSavedAsUtf8",
     [](Escuela& e) {
         for (const char* f : {"fASIGNAT.txt", "fPROFES.txt"}) {
             const std::string bytes = readBytes(e.textos / f);
             writeBytes(e.textos / f, tz::cp1252::toUtf8(bytes));
         }
         return e.exportar({"--niveles", (kExamples / "expected" / "niveles.txt").string()});
     },
     1,
     [](const Escuela& e) {
         return Lines{"Los ficheros fASIGNAT.txt y fPROFES.txt de la carpeta " + e.textos.string() +
                          " parecen guardados en UTF-8, no en el juego de caracteres de XEL "
                          "(Windows-1252)",
                      "No se ha cambiado ninguna tabla."};
     },
     {"Proceso finalizado"},
     sinCambios},
    {"NoSpaceLeftWhenATableIsMade",
     [](Escuela& e) {
         tz::tables::setFileFaultHook([](std::string_view op, const fs::path& file) {
             return op == "create" &&
                            file.filename().string().find("xelTIPTAR") != std::string::npos
                        ? ENOSPC
                        : 0;
         });
         return e.exportar();
     },
     3,
     [](const Escuela& e) {
         return Lines{"No se puede crear la tabla " + (e.ztemp / "xelTIPTAR.DBF").string() +
                      ": no queda espacio en el disco."};
     },
     {},
     [](const Escuela& e, const auto&) {
         for (const auto& f : fs::directory_iterator(e.ztemp))
             EXPECT_NE(f.path().filename().string()[0], '.') << f.path();
     }},
    {"TimetableFileCannotBeReplaced",
     [](Escuela& e) {
         writeBytes(e.textos / "fCUADROS.txt", "1CH0000002023A\r\n");
         tz::tables::setFileFaultHook([](std::string_view op, const fs::path& file) {
             return op == "rename" && file.filename() == "fCUADROS.txt" ? EROFS : 0;
         });
         return e.importar({"--documentos", e.documentos(kDocumentos)});
     },
     3,
     [](const Escuela& e) {
         return Lines{"Cannot create file \"" + (e.textos / "fCUADROS.txt").string() +
                      "\". el disco o la carpeta es de sólo lectura."};
     },
     {},
     [](const Escuela& e, const auto&) {
         EXPECT_EQ(e.cuadros(), "1CH0000002023A\r\n");
         for (const auto& f : fs::directory_iterator(e.textos))
             EXPECT_NE(f.path().filename().string()[0], '.') << f.path();
     }},
    {"RevisarListsTheCentreAndTheLessonsNotPlaced",
     [](Escuela& e) {
         std::ostringstream out, err;
         EXPECT_EQ(
             tz::cli::runBatch(e.importar({"--documentos", e.documentos(kDocumentos)}), out, err),
             0)
             << err.str();
         e.edita("SOLUC.DBF", 3, {{"DIA", "9"}});
         e.edita("xelCENTRO.DBF", 0, {{"CODCENTRO", "15432"}});
         fs::remove(e.ztemp / "xelOTRACT.DBF");
         return Lines{"revisar", "--textos", e.textos.string(), "--raiz", e.raiz.string()};
     },
     6,
     [](const Escuela&) {
         return Lines{"Datos del centro, Cód.Centro: \"15432\" no es válido: debe tener 6 cifras",
                      "Lección de SOLUC sin colocar (fila 4): profesor MOB1, día 9, hora 4, grupo "
                      "3ESO: el día \"9\" no es un día de la semana (1 a 7); no pasa a "
                      "fCUADROS.txt",
                      "No se ha podido abrir el catálogo xelOTRACT: sus códigos no se comprueban",
                      "datos del centro por corregir; 1 lección de SOLUC sin colocar."};
     },
     {},
     sinCambios},
};

INSTANTIATE_TEST_SUITE_P(Batch, MalaEntrada, ::testing::ValuesIn(kCasos),
                         [](const auto& info) { return std::string(info.param.name); });

// The reasons the system gives, told in Spanish: errno values as the engine's calls and the
// fault hook give them, and in the system category, as std::filesystem gives them.
TEST(RazonSistema, InSpanish) {
    const std::pair<int, const char*> cases[] = {
        {ENOSPC, "no queda espacio en el disco"},
        {EACCES, "permiso denegado"},
        {ENOENT, "no existe el archivo o la carpeta"},
        {EROFS, "el disco o la carpeta es de sólo lectura"},
        {EMFILE, "hay demasiados archivos abiertos"},
        {EIO, "error de entrada/salida en el disco"},
    };
    for (const auto& [err, text] : cases) {
        EXPECT_EQ(tz::platform::errorText(tz::platform::errnoError(err)), text) << err;
        EXPECT_EQ(tz::platform::errorText(std::error_code(err, std::system_category())), text)
            << err;
    }
    // Another reason still says what it is, with its number and the system's own words.
    EXPECT_EQ(tz::platform::errorText(tz::platform::errnoError(EXDEV)),
              "error del sistema " + std::to_string(EXDEV) + " (" + std::strerror(EXDEV) + ")");
}

}  // namespace
