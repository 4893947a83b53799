#include "intake/AbreviaturaUnica.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace tz::intake {

namespace {

std::array<unsigned char, 256> makeUpperTable() {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
    for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(c - 32);
    // à … þ → À … Þ, except ÷ (0xF7).
    for (int c = 0xE0; c <= 0xFE; ++c)
        if (c != 0xF7) t[c] = static_cast<unsigned char>(c - 32);
    t[0x9A] = 0x8A;  // š → Š
    t[0x9C] = 0x8C;  // œ → Œ
    t[0x9E] = 0x8E;  // ž → Ž
    t[0xFF] = 0x9F;  // ÿ → Ÿ
    return t;
}

const std::array<unsigned char, 256>& upperTable() {
    static const auto table = makeUpperTable();
    return table;
}

// The n-th derived candidate of a base: base + n, cut to first two + last two characters
// when longer than four.
std::string derived(std::string_view base, int n) {
    std::string c(base);
    c += std::to_string(n);
    if (c.size() > 4) c = c.substr(0, 2) + c.substr(c.size() - 2);
    return c;
}

// The largest n that can still give a derived candidate not given by a smaller n: 109 for a
// base of two or three characters, 999 for one, 9999 for none.
int lastDerived(std::size_t baseLength) {
    switch (baseLength) {
        case 0:
            return 9999;
        case 1:
            return 999;
        default:
            return 109;
    }
}

}  // namespace

std::string pliegaMayusculas(std::string_view text) {
    const auto& t = upperTable();
    std::string out(text);
    for (char& c : out) c = static_cast<char>(t[static_cast<unsigned char>(c)]);
    return out;
}

bool ListaCodigos::contiene(std::string_view code) const {
    return folded_.count(pliegaMayusculas(code)) != 0;
}

void ListaCodigos::anade(std::string_view code) { folded_.insert(pliegaMayusculas(code)); }

std::string AbreviaturaUnica(std::string_view proposed, ListaCodigos& given) {
    std::string result;
    auto take = [&](std::string code) {
        if (given.contiene(code)) return false;
        result = std::move(code);
        return true;
    };
    // Each series of candidates is searched from where its last search stopped (the ones
    // before are taken), so many repeats of one base cost no more than one search each.
    bool found = take(std::string(proposed));
    if (!found) {
        std::string_view base = proposed.substr(0, 3);
        int& n = given.reanuda("D" + std::string(base));
        for (n = std::max(n, 1); n <= lastDerived(base.size()) && !found; ++n)
            found = take(derived(base, n));
    }
    // Every derived code is taken: further four-character codes.
    char digits[16];
    if (!found && !proposed.empty()) {
        int& n = given.reanuda("1" + std::string(1, proposed.front()));
        for (; n <= 999 && !found; ++n) {
            std::snprintf(digits, sizeof digits, "%03d", n);
            found = take(std::string(1, proposed.front()) + digits);
        }
    }
    if (!found) {
        int& n = given.reanuda("4");
        for (; n <= 9999 && !found; ++n) {
            std::snprintf(digits, sizeof digits, "%04d", n);
            found = take(digits);
        }
    }
    if (!found) result = std::string(proposed);
    given.anade(result);
    return result;
}

}  // namespace tz::intake
