#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Text.h"
#include "platform/File.h"

// Reading the administration's fixed-width text files: bytes as they are, no code-page
// conversion.
namespace tz::intake {

// Reads a text file line by line. CR LF or a lone LF ends a line, the last line needs no line
// break, a byte 26 (Ctrl-Z) ends the file. Lines may be of any length. The file is found
// without regard to letter case.
class TextoFijo {
  public:
    // Opens the file; throws tables::EngineError with the system's reason when it cannot.
    explicit TextoFijo(const std::filesystem::path& file);
    ~TextoFijo();
    TextoFijo(const TextoFijo&) = delete;
    TextoFijo& operator=(const TextoFijo&) = delete;

    // The next line without its line break; false at the end of the file. Throws
    // tables::EngineError when reading fails.
    bool next(std::string& line);

    const std::filesystem::path& path() const { return path_; }
    // Lines handed out so far.
    long lineas() const { return lineas_; }

    // Called as each file is closed with the file and the lines read from it (the log of runs
    // notes the files a job read). Empty by default; what it throws is ignored.
    using Lectura = std::function<void(const std::filesystem::path& file, long lineas)>;
    static void alCerrar(Lectura lectura);

  private:
    bool fill();

    std::filesystem::path path_;
    platform::File file_;
    std::uint64_t offset_ = 0;  // of the next byte to read
    std::string buffer_;
    std::size_t pos_ = 0;
    bool ended_ = false;  // end of file or byte 26 reached
    long lineas_ = 0;
};

// The bytes of a 1-based column of `length` characters; what there is of it when the line is
// shorter, possibly nothing.
std::string_view columna(std::string_view line, int start, int length);

// The column, trimmed.
inline std::string campo(std::string_view line, int start, int length) {
    return std::string(base::trimControls(columna(line, start, length)));
}

// The UTF-8 byte-order mark.
inline constexpr std::string_view kBomUtf8 = "\xEF\xBB\xBF";
// Well-formed UTF-8 (no overlong forms, surrogates or code points beyond Unicode).
bool utf8Valido(std::string_view bytes);
// Text that reads as UTF-8 rather than single-byte text: it begins with the byte-order mark, or
// it is well-formed UTF-8 holding at least one character beyond ASCII. Single-byte Spanish or
// Basque text almost never is (an accented letter followed by ASCII is not UTF-8).
bool pareceUtf8(std::string_view bytes);

// The text files of the XEL → Zandrix job, in the order the job reads them.
const std::vector<std::string_view>& ficherosDeTextos();
// Those of them in `carpeta` (which ends with a separator) that look like UTF-8 (pareceUtf8),
// by the names the job gives them ("fPROFES.txt"). Files that cannot be read are left out:
// the job reports them as it reads them.
std::vector<std::string> ficherosEnUtf8(const std::string& carpeta);
// The message for them: what happened, what it would do to the tables, what to do.
std::string textoFicherosEnUtf8(const std::string& carpeta, const std::vector<std::string>& f);

// The path of a file of the text folder: `carpeta` (which ends with a separator) followed by
// the name, matched on disk without regard to letter case.
std::filesystem::path ficheroTexto(const std::string& carpeta, std::string_view nombre);

}  // namespace tz::intake
