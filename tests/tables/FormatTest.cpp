// Value encoding in records and the numeric text forms.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tables/DbfFormat.h"

namespace tz::tables {
namespace {

using dbf::EncodeResult;

struct EncodeCase {
    FieldDef field;
    std::string input;
    EncodeResult result;
    std::string stored;  // bytes in the record when Ok
    std::string text;    // what reading gives back
};

class EncodeText : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeText, StoresAndReadsBack) {
    const auto& c = GetParam();
    std::string bytes(static_cast<std::size_t>(c.field.width), '#');
    EXPECT_EQ(dbf::encodeText(c.field, bytes.data(), c.input), c.result);
    if (c.result == EncodeResult::Ok) {
        EXPECT_EQ(bytes, c.stored);
        EXPECT_EQ(dbf::decodeText(c.field, bytes.data()), c.text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, EncodeText,
    ::testing::Values(
        EncodeCase{charField("C", 4), "ab", EncodeResult::Ok, "ab  ", "ab"},
        EncodeCase{charField("C", 4), "ABCDEF", EncodeResult::Ok, "ABCD", "ABCD"},
        EncodeCase{charField("C", 4), " a ", EncodeResult::Ok, " a  ", " a"},
        EncodeCase{charField("C", 3), "\xD1\xE9\xFC", EncodeResult::Ok, "\xD1\xE9\xFC",
                   "\xD1\xE9\xFC"},
        EncodeCase{numericField("N", 6, 2), "2.5", EncodeResult::Ok, "  2.50", "2.5"},
        EncodeCase{numericField("N", 6, 2), "1,5", EncodeResult::Ok, "  1.50", "1.5"},
        EncodeCase{numericField("N", 6, 2), "-0.001", EncodeResult::Ok, "  0.00", "0"},
        EncodeCase{numericField("N", 6, 2), "", EncodeResult::Ok, "      ", ""},
        EncodeCase{numericField("N", 6, 2), "  ", EncodeResult::Ok, "      ", ""},
        EncodeCase{numericField("N", 6, 2), "abc", EncodeResult::Invalid, "", ""},
        EncodeCase{numericField("N", 6, 2), "1.2.3", EncodeResult::Invalid, "", ""},
        EncodeCase{numericField("N", 6, 2), "1000.5", EncodeResult::TooWide, "", ""},
        EncodeCase{integerField("I"), "1", EncodeResult::Ok, "          1", "1"},
        EncodeCase{integerField("I"), "+42", EncodeResult::Ok, "         42", "42"},
        EncodeCase{integerField("I"), "-2147483648", EncodeResult::Ok, "-2147483648",
                   "-2147483648"},
        EncodeCase{integerField("I"), "2.6", EncodeResult::Ok, "          3", "3"},
        EncodeCase{numericField("N", 3), "1000", EncodeResult::TooWide, "", ""},
        EncodeCase{logicalField("L"), "T", EncodeResult::Ok, "T", "T"},
        EncodeCase{logicalField("L"), "s", EncodeResult::Ok, "T", "T"},
        EncodeCase{logicalField("L"), "n", EncodeResult::Ok, "F", "F"},
        EncodeCase{logicalField("L"), "", EncodeResult::Ok, " ", ""},
        EncodeCase{logicalField("L"), "yes", EncodeResult::Invalid, "", ""},
        EncodeCase{FieldDef{"D", FieldType::Date, 8, 0}, "20240131", EncodeResult::Ok, "20240131",
                   "20240131"},
        EncodeCase{FieldDef{"D", FieldType::Date, 8, 0}, "", EncodeResult::Ok, "        ", ""},
        EncodeCase{FieldDef{"D", FieldType::Date, 8, 0}, "2024-1-3", EncodeResult::Invalid, "", ""},
        EncodeCase{FieldDef{"M", FieldType::Memo, 10, 0}, "x", EncodeResult::Invalid, "", ""}));

struct DecodeCase {
    FieldDef field;
    std::string bytes;
    std::string text;
    double number;
};

class DecodeForeign : public ::testing::TestWithParam<DecodeCase> {};

// What other programs leave in fields: read leniently, never fail.
TEST_P(DecodeForeign, ReadsLeniently) {
    const auto& c = GetParam();
    EXPECT_EQ(dbf::decodeText(c.field, c.bytes.data()), c.text);
    // The shortcut for plain whole numbers never reads a value otherwise than decoding does.
    if (const auto plain = dbf::plainNumber(c.field, c.bytes.data())) {
        EXPECT_EQ(std::string(*plain), c.text);
    }
    EXPECT_EQ(dbf::decodeNumber(c.field, c.bytes.data()).value_or(0.0), c.number);
}

INSTANTIATE_TEST_SUITE_P(
    Values, DecodeForeign,
    ::testing::Values(DecodeCase{numericField("N", 4), " 1.0", "1", 1},
                      DecodeCase{numericField("N", 4), "****", "", 0},
                      DecodeCase{numericField("N", 4), " 1x ", "", 0},
                      DecodeCase{numericField("N", 4), std::string(4, '\0'), "", 0},
                      DecodeCase{numericField("N", 4), " .  ", "", 0},
                      DecodeCase{numericField("N", 4), " 1e3", "1000", 1000},
                      DecodeCase{numericField("N", 6, 3), "-0.125", "-0.125", -0.125},
                      DecodeCase{numericField("N", 6, 2), "  2.50", "2.5", 2.5},
                      DecodeCase{FieldDef{"F", FieldType::Float, 8, 3}, "   3.250", "3.25", 3.25},
                      DecodeCase{FieldDef{"I", FieldType::BinaryInt, 4, 0},
                                 std::string("\xFF\xFF\xFF\xFF", 4), "-1", -1},
                      DecodeCase{FieldDef{"I", FieldType::BinaryInt, 4, 0},
                                 std::string("\x10\x27\x00\x00", 4), "10000", 10000},
                      // Whole numbers: plain digits read as themselves, anything else
                      // decoded (leading zeros, signs, blanks around, zero itself).
                      DecodeCase{numericField("N", 4), "   5", "5", 5},
                      DecodeCase{numericField("N", 4), "  05", "5", 5},
                      DecodeCase{numericField("N", 4), "0000", "0", 0},
                      DecodeCase{numericField("N", 4), "   0", "0", 0},
                      DecodeCase{numericField("N", 4), " -12", "-12", -12},
                      DecodeCase{numericField("N", 4), " +12", "12", 12},
                      DecodeCase{numericField("N", 4), "12  ", "12", 12},
                      DecodeCase{numericField("N", 4), "1 2 ", "", 0},
                      DecodeCase{numericField("N", 4), "    ", "", 0},
                      DecodeCase{logicalField("L"), "?", "", 0},
                      DecodeCase{logicalField("L"), "y", "T", 0},
                      DecodeCase{FieldDef{"M", FieldType::Memo, 10, 0}, "0000000001", "", 0}));

TEST(FormatNumber, ShortestDecimalWithoutExponent) {
    const std::pair<double, const char*> cases[] = {
        {1.0, "1"},
        {2.5, "2.5"},
        {-0.0, "0"},
        {0.1, "0.1"},
        {1e20, "100000000000000000000"},
        {-12.75, "-12.75"},
        {1e-5, "0.00001"},
        // Whole numbers on both sides of the limit of their short path.
        {-7.0, "-7"},
        {999999999999999.0, "999999999999999"},
        {-999999999999999.0, "-999999999999999"},
        {1e15, "1000000000000000"},
        {9007199254740993.0, "9007199254740992"},
    };
    for (const auto& [v, text] : cases) EXPECT_EQ(dbf::formatNumber(v), text) << v;
}

// Whole numbers of up to 15 digits are read by a short path: it must agree with the general
// one on signs, spaces, zeros and everything that is not a plain whole number.
TEST(ParseNumber, WholeNumbersAndTheRest) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"5", 5},
        {" 42 ", 42},
        {"007", 7},
        {"-12", -12},
        {"+5", 5},
        {"-0", 0},
        {"123456789012345", 123456789012345.0},
        {"-123456789012345", -123456789012345.0},
        {"1234567890123456", 1234567890123456.0},  // past the short path
        {"1,5", 1.5},
        {"1.0", 1},
        {"2.", 2},
        {"1e3", 1000},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"12a", std::nullopt},
        {"1 2", std::nullopt},
        {"--1", std::nullopt},
        {"+-1", -1},  // a plus sign before any number, as the general path always read it
        {"****", std::nullopt},
    };
    for (const auto& [text, want] : cases) {
        EXPECT_EQ(dbf::parseNumber(text), want) << "'" << text << "'";
    }
}

TEST(Header, NewTableLayoutIsDbaseFour) {
    auto layout = dbf::makeLayout({charField("abrev", 4), integerField("HORA")});
    std::string h = dbf::buildHeader(layout, 7, false);
    ASSERT_EQ(h.size(), 32u + 2 * 32 + 1);
    EXPECT_EQ(static_cast<unsigned char>(h[0]), 0x03);
    EXPECT_EQ(static_cast<unsigned char>(h[4]), 7);
    EXPECT_EQ(static_cast<unsigned char>(h[8]) | (static_cast<unsigned char>(h[9]) << 8), 97);
    EXPECT_EQ(static_cast<unsigned char>(h[10]), 1 + 4 + 11);
    EXPECT_EQ(h[28], 0);
    EXPECT_EQ(static_cast<unsigned char>(h[29]), 0x57);
    EXPECT_EQ(h.substr(32, 6), std::string("ABREV\0", 6));
    EXPECT_EQ(h[32 + 11], 'C');
    EXPECT_EQ(h[64 + 11], 'N');
    EXPECT_EQ(h[64 + 16], 11);
    EXPECT_EQ(static_cast<unsigned char>(h.back()), 0x0D);
    // The year byte counts from 1900.
    EXPECT_GE(static_cast<unsigned char>(h[1]), 124);
}

}  // namespace
}  // namespace tz::tables
