#pragma once
#include <optional>
#include <string>
#include <string_view>

// Windows-1252, the single-byte character set of the administration's files and the tables.
// Bytes 0x00–0x7F and 0xA0–0xFF are Latin-1; 0x80–0x9F come from a fixed table. The five bytes
// Windows leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to U+0081 … so that every byte
// round-trips.
namespace tz::cp1252 {

char32_t toUnicode(unsigned char byte);
// The byte for a code point, or nothing when Windows-1252 has none.
std::optional<unsigned char> fromUnicode(char32_t cp);

// Bytes → UTF-8. Never fails.
std::string toUtf8(std::string_view bytes);
// The same, appended to `out` (a run of plain ASCII is copied as it stands).
void appendAsUtf8(std::string& out, std::string_view bytes);
// UTF-8 → bytes; nothing when a character has no Windows-1252 byte or the UTF-8 is malformed.
std::optional<std::string> fromUtf8(std::string_view utf8);

}  // namespace tz::cp1252
