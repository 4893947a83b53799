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

}  // namespace tz::timetable
