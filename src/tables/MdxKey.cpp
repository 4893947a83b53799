#include "tables/MdxKey.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tz::tables::mdx {
namespace {

constexpr int kExponentBias = 52;
constexpr std::size_t kMaxDigits = 20;  // ten bytes of two digits

bool isBlank(char c) { return c == ' ' || c == '\0' || c == '\t'; }

NumericKey zeroKey() {
    NumericKey k{};
    k[0] = kExponentBias;
    k[1] = 0x01;
    return k;
}

// -1 negative, 0 zero, 1 positive.
int signOf(const unsigned char* k) {
    bool anyDigit = false;
    for (int i = 2; i < kNumericKeyLength; ++i) anyDigit = anyDigit || k[i] != 0;
    if (!anyDigit) return 0;
    return (k[1] & 0x80) != 0 ? -1 : 1;
}

}  // namespace

NumericKey numericKey(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && isBlank(text[b])) ++b;
    while (e > b && isBlank(text[e - 1])) --e;
    text = text.substr(b, e - b);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    std::string whole, fraction;
    bool point = false;
    for (char c : text) {
        if (c == '.' || c == ',') {
            if (point) return zeroKey();
            point = true;
        } else if (c >= '0' && c <= '9') {
            (point ? fraction : whole).push_back(c);
        } else {
            return zeroKey();
        }
    }
    whole.erase(0, whole.find_first_not_of('0') == std::string::npos
                       ? whole.size()
                       : whole.find_first_not_of('0'));
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();

    int exponent;
    std::string digits;
    if (!whole.empty()) {
        exponent = static_cast<int>(whole.size());
        digits = whole + fraction;
    } else {
        std::size_t zeros = fraction.find_first_not_of('0');
        if (zeros == std::string::npos) return zeroKey();
        exponent = -static_cast<int>(zeros);
        digits = fraction.substr(zeros);
    }
    if (digits.size() > kMaxDigits) digits.resize(kMaxDigits);
    // Digits cut off the end of a long integer part may leave zeros that need not be stored.
    while (static_cast<int>(digits.size()) > exponent && digits.back() == '0') digits.pop_back();

    NumericKey k{};
    int biased = kExponentBias + exponent;
    k[0] = static_cast<unsigned char>(biased < 0 ? 0 : (biased > 255 ? 255 : biased));
    k[1] = static_cast<unsigned char>((digits.size() << 2) | 0x01 | (negative ? 0x80 : 0x00));
    for (std::size_t i = 0; i < digits.size(); ++i) {
        auto d = static_cast<unsigned char>(digits[i] - '0');
        k[2 + i / 2] |= static_cast<unsigned char>(i % 2 == 0 ? d << 4 : d);
    }
    return k;
}

NumericKey numericKey(double value) {
    if (!std::isfinite(value)) return zeroKey();
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (r.ec != std::errc()) return zeroKey();
    return numericKey(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
}

int compareNumericKeys(const unsigned char* a, const unsigned char* b) {
    int sa = signOf(a), sb = signOf(b);
    if (sa != sb) return sa < sb ? -1 : 1;
    if (sa == 0) return 0;
    int c;
    if (a[0] != b[0]) {
        c = a[0] < b[0] ? -1 : 1;
    } else {
        c = std::memcmp(a + 2, b + 2, kNumericKeyLength - 2);
        c = c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    return sa < 0 ? -c : c;
}

std::string numericKeyText(const unsigned char* key) {
    std::size_t count = (key[1] >> 2) & 0x1F;
    if (count > kMaxDigits) return {};
    std::string digits;
    for (std::size_t i = 0; i < count; ++i) {
        unsigned d = i % 2 == 0 ? key[2 + i / 2] >> 4 : key[2 + i / 2] & 0x0F;
        if (d > 9) return {};
        digits.push_back(static_cast<char>('0' + d));
    }
    for (std::size_t i = count; i < kMaxDigits; ++i) {
        unsigned d = i % 2 == 0 ? key[2 + i / 2] >> 4 : key[2 + i / 2] & 0x0F;
        if (d != 0) return {};
    }
    if (digits.empty() || digits.find_first_not_of('0') == std::string::npos) return "0";
    int exponent = key[0] - kExponentBias;
    std::string out = (key[1] & 0x80) != 0 ? "-" : "";
    auto n = static_cast<int>(digits.size());
    if (exponent <= 0) {
        out += "0." + std::string(static_cast<std::size_t>(-exponent), '0') + digits;
    } else if (exponent >= n) {
        out += digits + std::string(static_cast<std::size_t>(exponent - n), '0');
    } else {
        auto e = static_cast<std::size_t>(exponent);
        out += digits.substr(0, e) + "." + digits.substr(e);
    }
    return out;
}

std::string characterKey(std::string_view value, int length) {
    std::string k(static_cast<std::size_t>(length), ' ');
    if (!value.empty()) std::memcpy(k.data(), value.data(), std::min(value.size(), k.size()));
    return k;
}

}  // namespace tz::tables::mdx
