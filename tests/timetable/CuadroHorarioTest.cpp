#include <gtest/gtest.h>

#include "timetable/CuadroHorario.h"
#include "timetable/Texto.h"

using namespace tz::timetable;
using namespace tz::timetable::cuadro;

struct CentroCase {
    Centro c;
    std::string expected;
};

TEST(RegistroTipo1, FieldsFittedAndVersionCutToOneCharacter) {
    const CentroCase cases[] = {
        {{"012345", "2024", "1"}, "1CH01234520241"},
        {{"01234", "2024", "1"}, "1CH01234 20241"},        // five-character centre code
        {{"012345", "2024", ""}, "1CH0123452024 "},        // blank version
        {{"012345", "2024", "23456"}, "1CH01234520242"},   // only the first character
        {{"", "", ""}, "1CH           "},                  // empty centre table
        {{"0123456789", "20245", "1"}, "1CH01234520241"},  // longer values cut
    };
    for (const auto& t : cases) {
        EXPECT_EQ(registroTipo1(t.c), t.expected) << t.expected;
        EXPECT_EQ(registroTipo1(t.c).size(), 14u);
    }
}

TEST(RegistroTipo2, PositionsAndRules) {
    Tipo2 r{"1",   "12345678Z", "05", "3",  "101", "09:00", "10:00",
            "ESO", "MAT1",      " ",  "02", "A12", "   "};
    const std::string line = registroTipo2(r);
    ASSERT_EQ(line.size(), 76u);
    EXPECT_EQ(line.substr(0, 1), "2");
    EXPECT_EQ(line.substr(1, 1), "1");
    EXPECT_EQ(line.substr(2, 15), "12345678Z      ");
    EXPECT_EQ(line.substr(17, 2), "05");  // hour number before the day
    EXPECT_EQ(line.substr(19, 1), "3");
    EXPECT_EQ(line.substr(20, 3), "101");
    EXPECT_EQ(line.substr(23, 5), "09:00");
    EXPECT_EQ(line.substr(28, 5), "10:00");
    EXPECT_EQ(line.substr(33, 3), "ESO");
    EXPECT_EQ(line.substr(36, 4), "MAT1");
    EXPECT_EQ(line.substr(40, 1), " ");
    EXPECT_EQ(line.substr(41, 2), "02");
    EXPECT_EQ(line.substr(43, 30), "A12" + std::string(27, ' '));
    EXPECT_EQ(line.substr(73, 3), "   ");
}

TEST(RegistroTipo2, EdgeCases) {
    struct Case {
        const char* what;
        Tipo2 r;
        std::string expected;
    };
    const std::string doc15 = "X" + std::string(14, ' ');
    const Case cases[] = {
        {"blank codes are spaces, empty times 00:00",
         {"", "", "01", "1", "", "", "", "", "", "", "", "", ""},
         "2 " + std::string(15, ' ') + "011" + "   " + "00:00" + "00:00" +
             std::string(3 + 4 + 1 + 2 + 30 + 3, ' ')},
        {"a four-character time gets one 0 at the end",
         {"D", "X", "02", "5", "101", "9:00", "9:5", "", "", " ", "02", "", ""},
         "2D" + doc15 + "025" + "101" + "9:000" + "9:500" + std::string(8, ' ') + "02" +
             std::string(33, ' ')},
        {"a shortened session number moves the rest left",
         {"D", "X", "2", "5", "101", "09:00", "10:00", "", "", " ", "02", "", ""},
         "2D" + doc15 + "25" + "101" + "09:00" + "10:00" + std::string(8, ' ') + "02" +
             std::string(33, ' ')},
        {"an empty day drops a character",
         {"D", "X", "02", "", "101", "09:00", "10:00", "", "", " ", "02", "", ""},
         "2D" + doc15 + "02" + "101" + "09:00" + "10:00" + std::string(8, ' ') + "02" +
             std::string(33, ' ')},
        {"long values are cut",
         {"DE", "1234567890123456", "03", "1", "1011", "10:00x", "11:00x", "ESOX", "MAT12", "XY",
          "023", std::string(35, 'a'), "ACT1"},
         "2D123456789012345031101"
         "10:00"
         "11:00"
         "ESO"
         "MAT1"
         "X"
         "02" +
             std::string(30, 'a') + "ACT"},
    };
    for (const auto& c : cases) EXPECT_EQ(registroTipo2(c.r), c.expected) << c.what;
}

TEST(RegistroTipo3, PositionsAndCounts) {
    struct Case {
        Tipo3 r;
        std::string expected;
    };
    const Case cases[] = {
        {{"01ESO", "1", "12345678Z", "05", "3", "25"}, "301ESO112345678Z      05325"},
        {{"", "", "", "05", "3", ""}, "3" + std::string(21, ' ') + "05300"},       // empty count
        {{"1A", "1", "X", "05", "3", "7"}, "31A   1X              05370"},         // one digit
        {{"1A", "1", "X", "5", "3", "12"}, "31A   1X              5312"},          // short hour
        {{"1ABCDE", "12", "X", "05", "3", "123"}, "31ABCD1X              05312"},  // cut
    };
    for (const auto& c : cases) {
        EXPECT_EQ(registroTipo3(c.r), c.expected);
    }
    EXPECT_EQ(registroTipo3(cases[0].r).size(), 27u);
}

TEST(Texto, FittedAndBlank) {
    EXPECT_EQ(fitted("AB", 4), "AB  ");
    EXPECT_EQ(fitted("ABCDE", 4), "ABCD");
    EXPECT_EQ(fitted("", 2), "  ");
    EXPECT_TRUE(blank(""));
    EXPECT_TRUE(blank("   "));
    EXPECT_FALSE(blank(" x "));
    EXPECT_FALSE(blank("\t"));  // only spaces make a value blank
}
