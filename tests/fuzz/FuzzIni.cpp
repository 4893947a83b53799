// The line-preserving INI editor over fuzzed bytes, and the start-up decision over fuzzed
// command-line words. Invariants: the bytes of an unchanged file come back as they were; a
// value set is read back; setting a value again changes nothing more; the other keys keep
// their values.
//
// Input: the INI bytes; after the last NUL byte (when there is one), the section, key and value
// to set, separated by '\n', which are also the command-line words.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/IniFile.h"
#include "fuzz/FuzzSupport.h"

namespace {

std::vector<std::string> split(std::string_view s, char sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        std::size_t at = s.find(sep, start);
        out.emplace_back(s.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos) return out;
        start = at + 1;
    }
}

bool plainName(const std::string& s) {
    // What the editor can hold as a name: no line breaks, no brackets or '=' or comment start,
    // nothing to trim.
    if (s.empty() || s.front() == ' ' || s.front() == '\t' || s.back() == ' ' || s.back() == '\t')
        return false;
    if (s.front() == ';' || s.front() == '#') return false;
    for (char c : s)
        if (c == '\r' || c == '\n' || c == '[' || c == ']' || c == '=' || c == '\0') return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view all(reinterpret_cast<const char*>(data), size);
    std::size_t nul = all.rfind('\0');
    std::string_view bytes = nul == std::string_view::npos ? all : all.substr(0, nul);
    std::vector<std::string> words =
        split(nul == std::string_view::npos ? std::string_view() : all.substr(nul + 1), '\n');
    while (words.size() < 3) words.emplace_back("Transformado");

    (void)tz::app::planStartup(words);
    (void)tz::app::planStartup({words[0], words[1]});
    (void)tz::app::parseHexHandle(words[0]);

    tz::app::IniFile ini = tz::app::IniFile::parse(bytes);
    TZ_FUZZ_CHECK(ini.bytes() == bytes);
    const std::string& section = words[0];
    const std::string& key = words[1];
    std::string value = words[2];
    for (char& c : value)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.erase(0, 1);
    if (!plainName(section) || !plainName(key)) {
        ini.setValue(section, key, value);  // anything may happen to the text, but no crash
        (void)ini.bytes();
        return 0;
    }
    const std::string other = key + "_";  // another key of the same section
    const auto otherBefore = ini.value(section, other);
    ini.setValue(section, key, value);
    const std::string once = ini.bytes();
    const auto back = tz::app::IniFile::parse(once).value(section, key);
    TZ_FUZZ_CHECK(back.has_value());
    TZ_FUZZ_CHECK(*back == value);
    TZ_FUZZ_CHECK(tz::app::IniFile::parse(once).value(section, other) == otherBefore);
    ini.setValue(section, key, value);
    TZ_FUZZ_CHECK(ini.bytes() == once);
    return 0;
}
