// The Windows-1252 table against the published mapping (Python's cp1252 codec, kept in
// tests/data/cp1252/mapping.txt by make_mapping.py).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tables/Cp1252.h"

namespace {

using namespace tz;

TEST(Cp1252, EveryByteMatchesThePublishedMappingAndRoundTrips) {
    std::ifstream in(TZ_CP1252_MAPPING);
    ASSERT_TRUE(in) << TZ_CP1252_MAPPING;
    int lines = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string byteHex, cpHex;
        fields >> byteHex >> cpHex;
        const auto byte = static_cast<unsigned char>(std::stoul(byteHex, nullptr, 16));
        // Undefined bytes pass through as the C1 control of the same number.
        const char32_t want =
            cpHex == "-" ? byte : static_cast<char32_t>(std::stoul(cpHex, nullptr, 16));
        EXPECT_EQ(cp1252::toUnicode(byte), want) << byteHex;
        const auto back = cp1252::fromUnicode(want);
        ASSERT_TRUE(back.has_value()) << byteHex;
        EXPECT_EQ(*back, byte) << byteHex;
        ++lines;
    }
    EXPECT_EQ(lines, 256);
}

TEST(Cp1252, AllBytesSurviveUtf8AndBack) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const auto back = cp1252::fromUtf8(cp1252::toUtf8(all));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

struct Utf8Case {
    const char* name;
    std::string utf8;
    bool ok;
    std::string bytes;
};

class FromUtf8 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(FromUtf8, EncodesOrRefuses) {
    const auto& c = GetParam();
    const auto got = cp1252::fromUtf8(c.utf8);
    ASSERT_EQ(got.has_value(), c.ok);
    if (c.ok) {
        EXPECT_EQ(*got, c.bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FromUtf8,
    ::testing::Values(Utf8Case{"Ascii", "Zandrix 12", true, "Zandrix 12"},
                      Utf8Case{"Accents", "Año Académico", true, "A\xF1o Acad\xE9mico"},
                      Utf8Case{"EuroAndQuotes", "€ “x” …", true, "\x80 \x93x\x94 \x85"},
                      Utf8Case{"ZcaronAndOE", "Žœ", true, "\x8E\x9C"},
                      Utf8Case{"NoCp1252Byte", "ā", false, ""},  // U+0101
                      Utf8Case{"FourByteEmoji", "\xF0\x9F\x98\x80", false, ""},
                      Utf8Case{"Truncated", "\xC3", false, ""},
                      Utf8Case{"LoneContinuation", "\x80", false, ""},
                      Utf8Case{"BadContinuation", "\xC3\x28", false, ""},
                      Utf8Case{"OverlongNul", "\xC0\x80", false, ""},
                      Utf8Case{"OverlongA", "\xE0\x81\x81", false, ""},
                      Utf8Case{"Surrogate", "\xED\xA0\x80", false, ""},
                      Utf8Case{"BeyondUnicode", "\xF4\x90\x80\x80", false, ""},
                      Utf8Case{"Empty", "", true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cp1252, ToUtf8DecodesTheHighRange) {
    EXPECT_EQ(cp1252::toUtf8("\x80\x8A\x9F\xA0\xFF"), "€Š\u0178\u00A0ÿ");
}

TEST(Cp1252, AppendKeepsWhatWasThereAndMixesAsciiRunsWithHighBytes) {
    std::string out = "Profesor ";
    cp1252::appendAsUtf8(out,
                         "Ib\xE1\xF1"
                         "ez \x80"
                         "5");
    cp1252::appendAsUtf8(out, "");
    cp1252::appendAsUtf8(out, "\xD1");
    EXPECT_EQ(out, "Profesor Ibáñez €5Ñ");
}

}  // namespace
