// Numeric index keys: the exact 12 bytes for typical field texts, their value as text, and their
// order by value (which is not their byte order).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tables/MdxKey.h"

namespace tz::tables::mdx {
namespace {

std::string hex(const NumericKey& k) {
    static const char* digits = "0123456789abcdef";
    std::string h;
    for (unsigned char c : k) {
        h.push_back(digits[c >> 4]);
        h.push_back(digits[c & 15]);
    }
    return h;
}

struct Encoded {
    const char* field;  // as a numeric field holds it
    const char* bytes;  // the key, hex
    const char* value;  // the key read back
};

const Encoded kEncoded[] = {
    {"0", "340100000000000000000000", "0"},
    {"          0", "340100000000000000000000", "0"},
    {"", "340100000000000000000000", "0"},
    {"   ", "340100000000000000000000", "0"},
    {"-0", "340100000000000000000000", "0"},
    {"1", "350510000000000000000000", "1"},
    {"          7", "350570000000000000000000", "7"},
    {"12", "360912000000000000000000", "12"},
    {"120", "370d12000000000000000000", "120"},
    {"  -5", "358550000000000000000000", "-5"},
    {"0.5", "340550000000000000000000", "0.5"},
    {"0.05", "330550000000000000000000", "0.05"},
    {"3.50", "350935000000000000000000", "3.5"},
    {"007", "350570000000000000000000", "7"},
    {"+42", "360942000000000000000000", "42"},
    {"12345678901", "3f2d12345678901000000000", "12345678901"},
    {"-2147483648", "3ea921474836480000000000", "-2147483648"},
    {"12345678901234567890", "485112345678901234567890", "12345678901234567890"},
    // Junk indexes as zero, like a blank field.
    {"12a", "340100000000000000000000", "0"},
    {"1.2.3", "340100000000000000000000", "0"},
    {"*****", "340100000000000000000000", "0"},
};

TEST(MdxKey, NumericKeyBytesAndValue) {
    for (const auto& e : kEncoded) {
        NumericKey k = numericKey(std::string_view(e.field));
        EXPECT_EQ(hex(k), e.bytes) << "field '" << e.field << "'";
        EXPECT_EQ(numericKeyText(k.data()), e.value) << "field '" << e.field << "'";
    }
}

TEST(MdxKey, NumberAndTextGiveTheSameKey) {
    for (double v : {0.0, 1.0, -1.0, 7.0, 12.0, 120.0, 0.25, -3.5, 2147483647.0, 1e15}) {
        char text[64];
        std::snprintf(text, sizeof text, "%.2f", v);
        EXPECT_EQ(hex(numericKey(v)), hex(numericKey(std::string_view(text)))) << text;
    }
}

TEST(MdxKey, OrderIsByValue) {
    const std::vector<const char*> ascending = {
        "-2147483648", "-1000", "-120", "-12.5", "-12", "-1",   "-0.5",      "-0.05",
        "0",           "0.001", "0.05", "0.5",   "1",   "1.5",  "2",         "9",
        "10",          "11",    "99.9", "100",   "120", "1000", "2147483647"};
    for (std::size_t i = 0; i < ascending.size(); ++i) {
        for (std::size_t j = 0; j < ascending.size(); ++j) {
            NumericKey a = numericKey(std::string_view(ascending[i]));
            NumericKey b = numericKey(std::string_view(ascending[j]));
            int want = i < j ? -1 : (i > j ? 1 : 0);
            EXPECT_EQ(compareNumericKeys(a.data(), b.data()), want)
                << ascending[i] << " vs " << ascending[j];
        }
    }
}

TEST(MdxKey, EqualValuesWrittenDifferentlyCompareEqual) {
    const std::vector<std::pair<const char*, const char*>> same = {
        {"1", "1.00"}, {"  12", "012"}, {"0", "-0.0"}, {"0.5", ".50"}, {"-3", "-3.0"}};
    for (const auto& [a, b] : same) {
        NumericKey ka = numericKey(std::string_view(a));
        NumericKey kb = numericKey(std::string_view(b));
        EXPECT_EQ(compareNumericKeys(ka.data(), kb.data()), 0) << a << " vs " << b;
    }
}

TEST(MdxKey, MalformedKeyBytesReadAsNothing) {
    NumericKey k = numericKey(std::string_view("12"));
    k[2] = 0xA1;  // a nibble above 9
    EXPECT_EQ(numericKeyText(k.data()), "");
    k = numericKey(std::string_view("12"));
    k[5] = 0x10;  // a digit beyond the stored count
    EXPECT_EQ(numericKeyText(k.data()), "");
}

TEST(MdxKey, CharacterKeysArePaddedOrCut) {
    EXPECT_EQ(characterKey("AB", 4), "AB  ");
    EXPECT_EQ(characterKey("", 3), "   ");
    EXPECT_EQ(characterKey("ABCDEF", 4), "ABCD");
    EXPECT_EQ(characterKey("\xD1"
                           "A",
                           3),
              "\xD1"
              "A ");
}

}  // namespace
}  // namespace tz::tables::mdx
