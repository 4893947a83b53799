#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Keys of a dBase IV production index (.MDX) as they are stored in its nodes.
//
// Character keys are the field bytes, space-padded (or cut) to the key length, and sort in
// byte order (the language driver we write, 0x57, sorts binary).
//
// Numeric keys are 12 bytes of binary-coded decimal:
//   byte 0      52 + the number of digits before the decimal point (52 − the zeros after the
//               point for a value below 1; 52 for zero)
//   byte 1      (number of digits stored << 2) | 0x01, plus 0x80 for a negative value
//   bytes 2–11  the digits, two per byte, high nibble first, from the first non-zero digit;
//               unused nibbles are zero
// Trailing zeros after the decimal point are not stored. Such keys do not sort in byte order,
// so compareNumericKeys() orders them by value.
namespace tz::tables::mdx {

constexpr int kNumericKeyLength = 12;
using NumericKey = std::array<unsigned char, kNumericKeyLength>;

// The key of a number written as text the way a numeric field holds it: spaces around, an
// optional sign, digits with an optional decimal point ("  12", "-3.50", "0.25"). Blank and
// unreadable text index as zero, as dBase does. At most 20 significant digits are kept.
NumericKey numericKey(std::string_view text);
// The key of a value (via its shortest decimal text, at most 15 significant digits).
NumericKey numericKey(double value);

// <0, 0, >0 as the values of the two keys compare.
int compareNumericKeys(const unsigned char* a, const unsigned char* b);

// The value of a numeric key as decimal text ("12", "-3.5", "0.25", "0"); empty when the bytes
// are not a well-formed key.
std::string numericKeyText(const unsigned char* key);

// A character key: `value` padded with spaces or cut to `length` bytes.
std::string characterKey(std::string_view value, int length);

}  // namespace tz::tables::mdx
