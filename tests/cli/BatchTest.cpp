// The batch front end's logic: argument parsing, input files, the printing port, exit statuses.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "TempDir.h"
#include "base/RunState.h"
#include "cli/Batch.h"
#include "cli/BatchRegistro.h"

namespace {

using namespace tz::cli;
using tz::testing::TempDir;

struct ArgCase {
    const char* name;
    std::vector<std::string> args;
    std::string error;  // empty: accepted
};

class ParseArgs : public ::testing::TestWithParam<ArgCase> {};

TEST_P(ParseArgs, AcceptsOrSaysWhatIsWrong) {
    const auto& c = GetParam();
    const ParseResult r = parseBatchArgs(c.args);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.options.has_value(), c.error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseArgs,
    ::testing::Values(
        ArgCase{"Nothing", {}, "falta el trabajo (exportar o importar)"},
        ArgCase{
            "UnknownJob", {"transformar", "--textos", "/tmp"}, "trabajo desconocido: transformar"},
        ArgCase{"NoTextos", {"exportar"}, "falta --textos CARPETA"},
        ArgCase{"TextosWithoutValue", {"exportar", "--textos"}, "falta el valor de --textos"},
        ArgCase{"TextosFollowedByAnOption",
                {"importar", "--textos", "--nueva"},
                "falta el valor de --textos"},
        ArgCase{"DocumentosFollowedByAnOption",
                {"importar", "--documentos", "--textos", "/t"},
                "falta el valor de --documentos"},
        ArgCase{"ValueThatLooksLikeAnOptionAfterEquals", {"importar", "--textos=--nueva"}, ""},
        ArgCase{"EmptyTextos", {"exportar", "--textos", ""}, "--textos necesita una carpeta"},
        ArgCase{"UnknownOption",
                {"exportar", "--textos", "/t", "--rapido"},
                "opción desconocida: --rapido"},
        ArgCase{"NivelesForImportar",
                {"importar", "--textos", "/t", "--niveles", "n"},
                "la opción --niveles no es válida con importar"},
        ArgCase{"NuevaForExportar",
                {"exportar", "--textos", "/t", "--nueva"},
                "la opción --nueva no es válida con exportar"},
        ArgCase{"Repeated",
                {"exportar", "--textos", "/a", "--textos", "/b"},
                "la opción --textos aparece dos veces"},
        ArgCase{"CentroTwoParts",
                {"importar", "--textos", "/t", "--centro", "012345,2024"},
                "--centro necesita COD,AÑO,VERSION"},
        ArgCase{"CentroFourParts",
                {"importar", "--textos", "/t", "--centro", "1,2,3,4"},
                "--centro necesita COD,AÑO,VERSION"},
        ArgCase{"CentroNegative",
                {"importar", "--textos", "/t", "--centro", "-1,-2026,-"},
                "--centro: el código de centro \"-1\" debe tener 6 cifras"},
        ArgCase{"CentroFiveDigits",
                {"importar", "--textos", "/t", "--centro", "15432,2024,1"},
                "--centro: el código de centro \"15432\" debe tener 6 cifras"},
        ArgCase{"CentroYearOutOfRange",
                {"importar", "--textos", "/t", "--centro", "015432,1999,1"},
                "--centro: el año académico \"1999\" debe ser un año de 2000 a 2099"},
        ArgCase{"CentroVersionTwoCharacters",
                {"importar", "--textos", "/t", "--centro", "015432,2024,12"},
                "--centro: la versión \"12\" debe ser una sola cifra"},
        ArgCase{"CentroBlankYear",
                {"exportar", "--textos", "/t", "--centro", "015432,,1"},
                "--centro: falta el año académico"},
        ArgCase{"CentroNotCp1252",
                {"importar", "--textos", "/t", "--centro", "ā,2024,1"},
                "--centro tiene caracteres que no caben en Windows-1252"},
        ArgCase{"FlagWithValue",
                {"importar", "--textos", "/t", "--nueva=si"},
                "la opción --nueva no lleva valor"},
        ArgCase{"RaizMissing",
                {"exportar", "--textos", "/t", "--raiz", "/no/such/folder"},
                "--raiz: no existe la carpeta /no/such/folder"},
        ArgCase{"ExportarAll",
                {"exportar", "--textos", "/t", "--idioma", "CASTELLANO", "--centro",
                 "012345,2024,1", "--niveles", "n.txt", "--raiz", "/"},
                ""},
        ArgCase{"ImportarAll",
                {"importar", "--textos=/t", "--nueva", "--solo-codificar", "--centro=015432,2024,1",
                 "--documentos", "d.txt"},
                ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseArgs, ValuesLandInTheOptions) {
    auto r = parseBatchArgs({"exportar", "--textos", "/t", "--centro", "012345,2024,1"});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->textos, "/t");
    EXPECT_EQ(r.options->idioma, "EUSKERA");  // the language box's initial text
    ASSERT_TRUE(r.options->centro);
    EXPECT_EQ(r.options->centro->codigo, "012345");
    EXPECT_EQ(r.options->centro->anoacad, "2024");
    EXPECT_EQ(r.options->centro->version, "1");
    r = parseBatchArgs({"importar", "--textos", "/t", "--solo-codificar"});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->job, BatchOptions::Job::Importar);
    EXPECT_FALSE(r.options->nueva);
    EXPECT_TRUE(r.options->soloCodificar);
    EXPECT_TRUE(parseBatchArgs({"--help"}).help);
    EXPECT_TRUE(parseBatchArgs({"importar", "-h"}).help);
}

// The tools read their options with the jobs' rules.
TEST(ParseOptions, EveryCommandByTheSameRules) {
    using Values = std::vector<std::pair<std::string, std::string>>;
    const struct {
        std::vector<std::string> args;
        std::string error;
        Values values;
    } cases[] = {
        {{"copias", "--textos", "/t", "--comparar=2"},
         "",
         {{"--textos", "/t"}, {"--comparar", "2"}}},
        {{"revisar", "--textos", "/t", "--raiz", "/r"}, "", {{"--textos", "/t"}, {"--raiz", "/r"}}},
        {{"informe", "--salida", "x.pdf", "--textos", "/t"},
         "",
         {{"--salida", "x.pdf"}, {"--textos", "/t"}}},
        {{"registro", "--ultimos", "3"}, "", {{"--ultimos", "3"}}},
        {{"registro"}, "", {}},
        {{"revisar", "--comparar", "1"}, "la opción --comparar no es válida con revisar", {}},
        {{"registro", "--textos", "/t"}, "la opción --textos no es válida con registro", {}},
        {{"copias", "--textos", "/a", "--textos", "/b"},
         "la opción --textos aparece dos veces",
         {}},
        {{"revisar", "--textos", "--raiz", "/r"}, "falta el valor de --textos", {}},
        {{"informe", "--textos"}, "falta el valor de --textos", {}},
        {{"copias", "--otra"}, "opción desconocida: --otra", {}},
        {{"importar", "--nueva=si"}, "la opción --nueva no lleva valor", {}},
    };
    for (const auto& c : cases) {
        const ParsedOptions r = parseOptions(c.args);
        EXPECT_EQ(r.error, c.error) << c.args[0] << " " << c.args.size();
        if (c.error.empty()) {
            EXPECT_EQ(r.values, c.values) << c.args[0];
        }
        EXPECT_EQ(r.command, c.args[0]);
    }
    EXPECT_TRUE(parseOptions({"copias", "--textos", "/t", "-h"}).help);
    EXPECT_TRUE(parseOptions({"registro", "--help"}).help);
}

TEST(ToolUsage, WrongUsageShowsTheToolsUsageAndExitsTwo) {
    const struct {
        std::vector<std::string> args;
        std::string firstLine;
        const std::string& usage;
    } cases[] = {
        {{"revisar", "--textos", "/t", "--textos", "/u"},
         "transzanderxel-batch: la opción --textos aparece dos veces",
         reviewUsageText()},
        {{"copias", "--textos", "/t", "--comparar", "0"},
         "transzanderxel-batch: --comparar necesita un número de copia: 0",
         reviewUsageText()},
        {{"informe", "--textos", "/t"},
         "transzanderxel-batch: falta --salida FICHERO.pdf",
         reportUsageText()},
        {{"registro", "--ultimos"},
         "transzanderxel-batch: falta el valor de --ultimos",
         reportUsageText()},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(runBatch(c.args, out, err), kUsoIncorrecto) << c.firstLine;
        EXPECT_EQ(err.str(), c.firstLine + "\n\n" + c.usage);
        EXPECT_EQ(out.str(), "");
    }
    std::ostringstream out, err;
    EXPECT_EQ(runBatch({"copias", "--help"}, out, err), kFinalizado);
    EXPECT_EQ(out.str(), reviewUsageText());
}

TEST(InputFiles, SplitsLinesAndFields) {
    EXPECT_EQ(splitRecords("ESO;ESO;DBH\r\nBAC;BACH;BATX\n\r\n\nP1;;\n"),
              (std::vector<std::vector<std::string>>{
                  {"ESO", "ESO", "DBH"}, {"BAC", "BACH", "BATX"}, {"P1", "", ""}}));
    EXPECT_TRUE(splitRecords("").empty());
    EXPECT_EQ(splitRecords("A\xF1;B")[0][0], "A\xF1");  // bytes pass unchanged
}

TEST(InputFiles, ReadAndChecked) {
    TempDir dir;
    tz::testing::writeBytes(dir / "niveles.txt", "ESO;ESO;DBH\r\nBAC;BACH;BATX\r\n");
    tz::testing::writeBytes(dir / "malo.txt", "OA;1;30776655B\nBAC;BACH\n");
    BatchOptions o;
    o.niveles = dir / "niveles.txt";
    EXPECT_EQ(loadInputFiles(o), "");
    ASSERT_EQ(o.nivelesDatos.size(), 2u);
    EXPECT_EQ(o.nivelesDatos[1].abrevEusk, "BATX");

    BatchOptions bad;
    bad.job = BatchOptions::Job::Importar;
    bad.documentos = dir / "malo.txt";
    EXPECT_EQ(loadInputFiles(bad), "línea 2 no válida en " + (dir / "malo.txt").string() +
                                       ": se esperaba ABREV;TIPODNI;DNI");
    BatchOptions missing;
    missing.niveles = dir / "no.txt";
    EXPECT_EQ(loadInputFiles(missing), "no se puede leer el fichero " + (dir / "no.txt").string());
}

TEST(BatchPortOutput, OneLinePerMessageAsTheBoxShowsIt) {
    std::ostringstream err;
    BatchPort port(err);
    port.message("Proceso finalizado");
    port.errorBox("La tabla PROFT.DBF está en uso");
    port.answer = [](const std::string& t) { return t.rfind("Si", 0) == 0; };
    EXPECT_TRUE(port.confirm("Si Conserva,\restos\r¿Desea?"));
    EXPECT_FALSE(port.confirm("Otra\rpregunta"));
    EXPECT_EQ(err.str(),
              "Proceso finalizado\n"
              "La tabla PROFT.DBF está en uso.\n"
              "? Si Conserva, estos ¿Desea? -> Si\n"
              "? Otra pregunta -> No\n");
    EXPECT_EQ(port.errors, 1);
    EXPECT_TRUE(port.said("Proceso finalizado"));
}

TEST(BatchPortOutput, UnansweredQuestionsAreNo) {
    std::ostringstream err;
    BatchPort port(err);
    EXPECT_FALSE(port.confirm("¿Desea corregir esta incidencia?"));
    EXPECT_EQ(err.str(), "? ¿Desea corregir esta incidencia? -> No\n");
}

// Counts the writes that reach the stream, as a console or pipe would see them.
class CountingBuf : public std::stringbuf {
  public:
    int writes = 0;

  protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        ++writes;
        return std::stringbuf::xsputn(s, n);
    }
    int_type overflow(int_type c) override {
        ++writes;
        return std::stringbuf::overflow(c);
    }
};

TEST(BatchPortOutput, NotesKeepTheirPlaceAndGoOutInBlocks) {
    CountingBuf buf;
    std::ostream err(&buf);
    std::string expected;
    {
        BatchPort port(err);
        for (int i = 0; i < 20000; ++i) {
            // Every other line made in place, as the check's lines are.
            if (i % 2)
                port.note("Aviso: fila " + std::to_string(i) + "\r\nsin código");
            else
                port.noteMade([i](std::string& out) {
                    out += "Aviso: fila " + std::to_string(i) + "\r\nsin código";
                });
            expected += "Aviso: fila " + std::to_string(i) + "  sin código\n";
        }
        // A message comes out after every note before it, at once.
        port.message("Hay lecciones sin colocar");
        expected += "Hay lecciones sin colocar\n";
        EXPECT_EQ(buf.str(), expected);
        port.note("No existe el profesor OA: se omite");
        expected += "No existe el profesor OA: se omite\n";
        EXPECT_FALSE(port.confirm("¿Desea?"));
        expected += "? ¿Desea? -> No\n";
        EXPECT_EQ(buf.str(), expected);
        port.note("Aviso: la última");
        expected += "Aviso: la última\n";
    }
    // What was still waiting is written when the port goes.
    EXPECT_EQ(buf.str(), expected);
    // 20,000 lines of about 36 bytes: a few blocks of 64 KiB, not a write per line.
    EXPECT_LT(buf.writes, 40);
}

// A line that fails while it is being made leaves nothing of itself behind.
TEST(BatchPortOutput, ALineThatFailsHalfMadeIsNotWritten) {
    std::ostringstream err;
    {
        BatchPort port(err);
        port.note("Aviso: primera");
        EXPECT_THROW(port.noteMade([](std::string& out) {
            out += "Aviso: a medias";
            throw std::runtime_error("sin memoria");
        }),
                     std::runtime_error);
        port.note("Aviso: segunda");
    }
    EXPECT_EQ(err.str(), "Aviso: primera\nAviso: segunda\n");
}

struct ExitCase {
    const char* name;
    std::vector<std::string> messages;
    int errors;
    int estado;
    bool waits;
    int expected;
};

class ExitStatusTable : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ExitStatusTable, FirstThatApplies) {
    const auto& c = GetParam();
    std::ostringstream err;
    BatchPort port(err);
    for (const auto& m : c.messages) port.message(m);
    for (int i = 0; i < c.errors; ++i) port.errorBox("x");
    tz::base::RunState state;
    state.EstadoTransformado = c.estado;
    EXPECT_EQ(exitStatus(port, state, c.waits), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExitStatusTable,
    ::testing::Values(
        ExitCase{"Finished", {"Proceso finalizado"}, 0, 1, false, 0},
        ExitCase{"FinishedWithAMissingFile", {"No existe", "Proceso finalizado"}, 0, -1, false, 1},
        ExitCase{"NoFolder", {"No existe la carpeta"}, 0, 0, false, 1},
        ExitCase{"NotFinished",
                 {"!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente"},
                 0,
                 1,
                 false,
                 4},
        ExitCase{"NotFinishedAndMissing",
                 {"!!ATENCIÓN!! El Proceso NO ha finalizado Correctamente"},
                 0,
                 -1,
                 false,
                 4},
        ExitCase{"Waits", {}, 0, -1, true, 5},
        ExitCase{"ErrorBeatsAll", {"Proceso finalizado"}, 1, 1, true, 3},
        ExitCase{"StoppedShort", {}, 0, 1, false, 5}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
