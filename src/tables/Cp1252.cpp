#include "tables/Cp1252.h"

#include <array>

namespace tz::cp1252 {
namespace {

// 0x80–0x9F.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80–87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88–8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90–97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98–9F
};

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

char32_t toUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHigh[byte - 0x80];
    return byte;
}

std::optional<unsigned char> fromUnicode(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
    for (unsigned i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == cp) return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

void appendAsUtf8(std::string& out, std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t j = i;
        while (j < bytes.size() && static_cast<unsigned char>(bytes[j]) < 0x80) ++j;
        out.append(bytes.data() + i, j - i);
        for (i = j; i < bytes.size() && static_cast<unsigned char>(bytes[i]) >= 0x80; ++i)
            appendUtf8(out, toUnicode(static_cast<unsigned char>(bytes[i])));
    }
}

std::string toUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    appendAsUtf8(out, bytes);
    return out;
}

std::optional<std::string> fromUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        char32_t cp = 0;
        size_t len = 0;
        if (b0 < 0x80) {
            cp = b0, len = 1;
        } else if ((b0 & 0xE0) == 0xC0) {
            cp = b0 & 0x1F, len = 2;
        } else if ((b0 & 0xF0) == 0xE0) {
            cp = b0 & 0x0F, len = 3;
        } else if ((b0 & 0xF8) == 0xF0) {
            cp = b0 & 0x07, len = 4;
        } else {
            return std::nullopt;
        }
        if (i + len > s.size()) return std::nullopt;
        for (size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms and code points beyond Unicode are malformed, not other spellings of
        // a character: C0 80 must not become a NUL byte, nor E0 81 81 an 'A'.
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF) return std::nullopt;
        const auto byte = fromUnicode(cp);
        if (!byte) return std::nullopt;
        out.push_back(static_cast<char>(*byte));
        i += len;
    }
    return out;
}

}  // namespace tz::cp1252
