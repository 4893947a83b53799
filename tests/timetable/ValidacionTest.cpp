// The rules a value must keep to reach fCUADROS.txt, value by value.
#include <gtest/gtest.h>

#include "timetable/Validacion.h"

using namespace tz::timetable::validacion;

namespace {

struct RuleCase {
    const char* value;
    std::string expected;  // "" when the value keeps to the rule
};

void checkRule(std::string (*rule)(std::string_view), const std::vector<RuleCase>& cases) {
    for (const auto& c : cases) EXPECT_EQ(rule(c.value), c.expected) << '"' << c.value << '"';
}

}  // namespace

TEST(Validacion, CentreCode) {
    checkRule(reglaCodigoCentro, {{"015432", ""},
                                  {"999999", ""},
                                  {"", "está en blanco"},
                                  {"15432", "debe tener 6 cifras"},  // as a header of 5 digits
                                  {" 15432", "debe tener 6 cifras"},
                                  {"0154321", "debe tener 6 cifras"},
                                  {"-1", "debe tener 6 cifras"},
                                  {"01543A", "debe tener 6 cifras"},
                                  {"01\r432", "debe tener 6 cifras"}});
}

TEST(Validacion, AcademicYear) {
    checkRule(reglaAnoAcademico, {{"2024", ""},
                                  {"2000", ""},
                                  {"2099", ""},
                                  {"", "está en blanco"},
                                  {"1999", "debe ser un año de 2000 a 2099"},
                                  {"2100", "debe ser un año de 2000 a 2099"},
                                  {"-202", "debe tener 4 cifras"},
                                  {"24", "debe tener 4 cifras"},
                                  {"20 4", "debe tener 4 cifras"},
                                  {"20245", "debe tener 4 cifras"}});
}

TEST(Validacion, Version) {
    checkRule(reglaVersion, {{"1", ""},
                             {"0", ""},
                             {"9", ""},
                             {"", "está en blanco"},
                             {"12", "debe ser una sola cifra"},  // only the first would be written
                             {"A", "debe ser una sola cifra"},
                             {"-", "debe ser una sola cifra"}});
}

TEST(Validacion, CentreNamesTheFirstFieldThatBreaksItsRule) {
    const struct {
        const char *cod, *ano, *ver;
        std::string expected;
    } cases[] = {
        {"015432", "2024", "1", ""},
        {"-1", "-202", "-", "el código de centro \"-1\" debe tener 6 cifras"},
        {"", "2024", "1", "falta el código de centro"},
        {"015432", "", "1", "falta el año académico"},
        {"015432", "2024", "", "falta la versión"},
        {"015432", "1899", "1", "el año académico \"1899\" debe ser un año de 2000 a 2099"},
        {"015432", "2024", "1\t", "la versión \"1·\" debe ser una sola cifra"},
        {"01543\xD1", "2024", "1", "el código de centro \"01543Ñ\" debe tener 6 cifras"},
    };
    for (const auto& c : cases) EXPECT_EQ(reglaCentro(c.cod, c.ano, c.ver), c.expected) << c.cod;
}

TEST(Validacion, ControlCharactersAndLineEnds) {
    const struct {
        const char* value;
        int control;
        const char* clean;  // sinFinDeLinea
    } cases[] = {
        {"30776655B", -1, "30776655B"},
        {"30776655B\r", 13, "30776655B"},
        {"30776655B\r\n", 13, "30776655B"},
        {"30776655B\n\n", 10, "30776655B"},
        {"3077\r6655B", 13, "3077\r6655B"},  // inside: kept for the check to tell
        {"\t1", 9, "\t1"},
        {"A\x1B", 27, "A\x1B"},
        {"\xD1", -1, "\xD1"},  // Ñ is text, not a control character
        {"", -1, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(primerControl(c.value), c.control) << c.value;
        EXPECT_EQ(sinFinDeLinea(c.value), c.clean) << c.value;
    }
    EXPECT_EQ(nombreControl(13), "retorno de carro (código 13)");
    EXPECT_EQ(nombreControl(27), "código 27");
    EXPECT_EQ(cita("3077\r6655B"), "\"3077·6655B\"");
}

// The whole-row look agrees with the field-by-field one: one byte of each kind at every place of
// rows of every length up to three words, among bytes that are text (high ones included, whose
// top bit the word-at-a-time test uses).
TEST(Validacion, ControlAnywhereInARow) {
    const unsigned char probes[] = {0, 1, 9, 13, 31, 32, 127, 128, 0x9F, 0xA0, 0xFF};
    const unsigned char fillers[] = {' ', 'A', 0xD1, 0xFF, 0x80};
    for (unsigned char filler : fillers) {
        for (std::size_t n = 0; n <= 24; ++n) {
            const std::string clean(n, static_cast<char>(filler));
            EXPECT_FALSE(algunControl(clean.data(), n)) << n;
            for (std::size_t at = 0; at < n; ++at) {
                for (unsigned char probe : probes) {
                    std::string row = clean;
                    row[at] = static_cast<char>(probe);
                    EXPECT_EQ(algunControl(row.data(), n), tieneControl(row))
                        << "n " << n << " at " << at << " byte " << int(probe) << " among "
                        << int(filler);
                }
            }
        }
    }
}

TEST(Validacion, DayAndSession) {
    for (const char* ok : {"1", "2", "5", "7"}) EXPECT_TRUE(diaValido(ok)) << ok;
    for (const char* bad : {"0", "8", "9", "-1", "10", "1.5", "", " 1", "a"})
        EXPECT_FALSE(diaValido(bad)) << bad;

    const std::optional<Horas> plantilla = Horas{1, 2, 12};
    const struct {
        const char* sesion;
        bool conPlantilla;
        std::string expected;
    } cases[] = {
        {"01", true, ""},
        {"12", true, ""},
        {"03", true, "no está en la plantilla horaria"},
        {"03", false, ""},  // no bell schedule known: the form only
        {"00", false, "no es una hora de la plantilla horaria"},
        {"1", true, "debe ser un número de dos cifras"},
        {"1a", false, "debe ser un número de dos cifras"},
        {"123", false, "debe ser un número de dos cifras"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(reglaSesion(c.sesion, c.conPlantilla ? plantilla : std::nullopt), c.expected)
            << c.sesion;
}

TEST(Validacion, NumbersAsTheEngineWritesThem) {
    const struct {
        const char* text;
        std::optional<std::int64_t> value;
    } cases[] = {{"3", 3},
                 {"-1", -1},
                 {"2.5", 3},
                 {"2.4", 2},
                 {"1e6", 1000000},
                 {"", std::nullopt},
                 {"abc", std::nullopt},
                 {"3x", std::nullopt},
                 {"1e300", std::nullopt},
                 {"-1e7", std::nullopt},
                 {"nan", std::nullopt},
                 {"inf", std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(entero(c.text), c.value) << c.text;
}

TEST(Validacion, WhereALessonGoesOrWhyItCannot) {
    const Horas horas{1, 2, 3, 5, 12};
    const struct {
        const char *dia, *hora, *sesiones;
        std::int64_t primera, ultima;
        std::string motivo;
    } cases[] = {
        {"1", "1", "1", 1, 1, ""},
        {"7", "12", "", 12, 12, ""},  // blank sessions: one
        {"3", "2", "2", 2, 3, ""},    // two sessions end with the next hour
        {"3", "2", "0", 2, 2, ""},
        {"3", "2.6", "1", 3, 3, ""},  // rounded, as the engine's numbers are read
        {"9", "1", "1", 0, 0, "el día \"9\" no es un día de la semana (1 a 7)"},
        {"-1", "1", "1", 0, 0, "el día \"-1\" no es un día de la semana (1 a 7)"},
        {"1.5", "1", "1", 0, 0, "el día \"1.5\" no es un día de la semana (1 a 7)"},
        {"1", "", "1", 0, 0, "la hora está en blanco o no es un número"},
        {"1", "x", "1", 0, 0, "la hora \"x\" no es un número"},
        {"1", "4", "1", 4, 0, "la hora 4 no está en la plantilla horaria"},
        {"1", "0", "1", 0, 0, "la hora 0 no está en la plantilla horaria"},
        {"1", "100", "1", 100, 0, "la hora 100 no está en la plantilla horaria"},
        {"1", "5", "3", 5, 7,
         "sus 3 sesiones acaban en la hora 7, que no está en la plantilla "
         "horaria"},
        {"1", "5", "999999", 5, 1000003,
         "sus 999999 sesiones acaban en la hora 1000003, que no está en la plantilla horaria"},
        {"1", "5", "?", 5, 0, "el número de sesiones \"?\" no es un número"},
    };
    for (const auto& c : cases) {
        const Colocacion r = coloca(c.dia, c.hora, c.sesiones, horas);
        EXPECT_EQ(r.motivo, c.motivo) << c.dia << " " << c.hora << " " << c.sesiones;
        if (c.motivo.empty()) {
            EXPECT_EQ(r.hora, c.primera) << c.hora;
            EXPECT_EQ(r.ultima, c.ultima) << c.hora;
        }
    }
}

TEST(Validacion, LessonsLeftOutByDesign) {
    EXPECT_TRUE(omitida("", "1"));       // no teacher
    EXPECT_TRUE(omitida("ABC", "0"));    // the timetabler's unplaced lesson
    EXPECT_TRUE(omitida("ABC", ""));     // blank (a junk number reads blank too)
    EXPECT_TRUE(omitida("ABC", "0.4"));  // rounds to 0
    EXPECT_FALSE(omitida("ABC", "1"));
    EXPECT_FALSE(omitida("ABC", "9"));    // placed, on a day that does not exist: listed
    EXPECT_FALSE(omitida("ABC", "1e9"));  // not a day at all: listed
}
