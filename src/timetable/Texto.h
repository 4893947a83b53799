#pragma once
#include <string>
#include <string_view>

// Small text rules shared by the Zandrix → XEL steps. Values are single-byte text.
namespace tz::timetable {

// `v` padded on the right with spaces to `n` characters and cut to `n`.
inline std::string fitted(std::string_view v, std::size_t n) {
    std::string out(v.substr(0, n));
    out.resize(n, ' ');
    return out;
}

// Empty once leading and trailing spaces are removed.
inline bool blank(std::string_view v) { return v.find_first_not_of(' ') == std::string_view::npos; }

// `v` without the characters of codes 0 to 32 at both ends.
inline std::string trimControls(std::string_view v) {
    auto keep = [](char c) { return static_cast<unsigned char>(c) > 32; };
    std::size_t b = 0, e = v.size();
    while (b < e && !keep(v[b])) ++b;
    while (e > b && !keep(v[e - 1])) --e;
    return std::string(v.substr(b, e - b));
}

}  // namespace tz::timetable
