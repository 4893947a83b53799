#pragma once
#include <string_view>

// The text rule every step shares. Values are single-byte text carried as bytes.
namespace tz::base {

// `v` without the characters of codes 0 to 32 at both ends (what the administration's files
// and the tables count as blank around a value).
constexpr std::string_view trimControls(std::string_view v) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!v.empty() && blank(v.front())) v.remove_prefix(1);
    while (!v.empty() && blank(v.back())) v.remove_suffix(1);
    return v;
}

}  // namespace tz::base
