#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/FileIo.h"

namespace tz::app {

// A line-preserving INI editor. Every line is kept as its raw bytes with its own line ending,
// so comments, blank lines, other sections and keys, order and line endings survive a rewrite.
// Section and key names are matched without regard to ASCII letter case and without the spaces
// around them; the first matching section and key win. A line starting with ';' or '#' is a
// comment.
class IniFile {
  public:
    static IniFile parse(std::string_view bytes);

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // Replaces only the value of an existing key (the key's spelling and the text up to and
    // including '=' and the spaces after it stay), or adds `key=value` after the last key of
    // the section, or adds the section at the end of the file. New lines take the file's line
    // ending (that of its first line), CR LF for an empty file.
    void setValue(std::string_view section, std::string_view key, std::string_view value);

    std::string bytes() const;

  private:
    struct Line {
        std::string text;  // without the line ending
        std::string eol;   // "\r\n", "\n", "\r" or "" (last line without ending)
    };
    std::vector<Line> lines_;

    std::string newline() const;
    // Section name of a header line, or nothing.
    std::optional<std::string> sectionOf(std::size_t line) const;
    // Key name of a key line, or nothing (comments, blanks, headers, lines without '=').
    std::optional<std::string> keyOf(std::size_t line) const;
    std::string_view content(std::size_t line) const;  // text without a leading UTF-8 BOM
};

// Writes `key=value` under `section` into the INI file, creating file and section when missing,
// atomically. An existing file is found without regard to the letter case of its name. Throws
// std::runtime_error("Unable to write to <path>") when the file cannot be read or written.
void writeIniValue(const std::filesystem::path& file, std::string_view section,
                   std::string_view key, std::string_view value,
                   const tables::BeforeCommit& beforeCommit = {});

// The run status: `Transformado=<estado>` under [Transformadores] of `file`.
void writeRunStatus(const std::filesystem::path& file, int estado,
                    const tables::BeforeCommit& beforeCommit = {});

}  // namespace tz::app
