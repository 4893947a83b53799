#include "intake/TextoFijo.h"

#include <algorithm>
#include <cerrno>

#include "platform/System.h"
#include "tables/EngineError.h"
#include "tables/FileIo.h"
#include "tables/Paths.h"

namespace tz::intake {

namespace {
constexpr std::size_t kChunk = 64 * 1024;
constexpr char kCtrlZ = 26;

TextoFijo::Lectura& lectura() {
    static TextoFijo::Lectura l;
    return l;
}

[[noreturn]] void failure(const std::filesystem::path& file, const std::error_code& err) {
    throw tables::EngineError(tables::systemError("No se puede leer el archivo", file, err), err);
}
}  // namespace

TextoFijo::TextoFijo(const std::filesystem::path& file) : path_(tables::findExisting(file)) {
    std::error_code ec;
    if (std::filesystem::is_directory(path_, ec)) failure(path_, platform::errnoError(EISDIR));
    if (auto e = file_.open(path_, platform::File::Access::Read)) failure(path_, e);
}

TextoFijo::~TextoFijo() {
    if (lectura()) {
        try {
            lectura()(path_, lineas_);
        } catch (...) {
            // Noting a read never stops the reading step.
        }
    }
}

void TextoFijo::alCerrar(Lectura l) { lectura() = std::move(l); }

bool TextoFijo::fill() {
    if (ended_) return false;
    buffer_.erase(0, pos_);
    pos_ = 0;
    std::size_t old = buffer_.size();
    buffer_.resize(old + kChunk);
    std::size_t got = 0;
    if (auto e = file_.readAt(buffer_.data() + old, kChunk, offset_, got)) failure(path_, e);
    offset_ += got;
    buffer_.resize(old + got);
    if (got == 0) {
        ended_ = true;
        return false;
    }
    // Nothing after a byte 26 is ever read.
    std::size_t z = buffer_.find(kCtrlZ, old);
    if (z != std::string::npos) {
        buffer_.resize(z);
        ended_ = true;
    }
    return true;
}

bool TextoFijo::next(std::string& line) {
    for (;;) {
        std::size_t lf = buffer_.find('\n', pos_);
        if (lf != std::string::npos) {
            std::size_t end = lf;
            if (end > pos_ && buffer_[end - 1] == '\r') --end;
            line.assign(buffer_, pos_, end - pos_);
            pos_ = lf + 1;
            ++lineas_;
            return true;
        }
        if (!fill()) break;
    }
    // The last line, without a line break.
    if (pos_ >= buffer_.size()) return false;
    line.assign(buffer_, pos_, std::string::npos);
    pos_ = buffer_.size();
    ++lineas_;
    return true;
}

std::string_view columna(std::string_view line, int start, int length) {
    // An empty result still points into the line: some callers hand it to memcpy.
    if (start < 1 || length <= 0) return line.substr(0, 0);
    auto from = std::min(static_cast<std::size_t>(start - 1), line.size());
    return line.substr(from, static_cast<std::size_t>(length));
}

bool utf8Valido(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        char32_t cp = 0;
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        if (b0 >= 0xC2 && b0 <= 0xDF)
            len = 2, cp = b0 & 0x1F;
        else if ((b0 & 0xF0) == 0xE0)
            len = 3, cp = b0 & 0x0F;
        else if (b0 >= 0xF0 && b0 <= 0xF4)
            len = 4, cp = b0 & 0x07;
        else
            return false;
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += len;
    }
    return true;
}

bool pareceUtf8(std::string_view bytes) {
    if (bytes.substr(0, kBomUtf8.size()) == kBomUtf8) return true;
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return !ascii && utf8Valido(bytes);
}

const std::vector<std::string_view>& ficherosDeTextos() {
    static const std::vector<std::string_view> names = {
        "fTIPTAR.txt", "fASIGNAT.txt", "fOTRACT.txt", "fTIPDOC.txt", "fNIVIMP.txt",
        "fIDIOMA.txt", "fGRUPNIV.txt", "fPROFES.txt", "fGRUPOS.txt"};
    return names;
}

std::vector<std::string> ficherosEnUtf8(const std::string& carpeta) {
    std::vector<std::string> out;
    for (std::string_view name : ficherosDeTextos()) {
        const std::filesystem::path file = ficheroTexto(carpeta, name);
        platform::File f;
        if (f.open(file, platform::File::Access::Read)) continue;
        std::string bytes;
        std::string buf(kChunk, '\0');
        std::size_t got = 0;
        bool bad = false;
        for (;;) {
            if (f.readAt(buf.data(), buf.size(), bytes.size(), got)) {
                bad = true;
                break;
            }
            if (got == 0) break;
            bytes.append(buf, 0, got);
        }
        if (!bad && pareceUtf8(bytes)) out.emplace_back(name);
    }
    return out;
}

std::string textoFicherosEnUtf8(const std::string& carpeta, const std::vector<std::string>& f) {
    std::string lista;
    for (std::size_t i = 0; i < f.size(); ++i)
        lista += (i == 0 ? "" : i + 1 == f.size() ? " y " : ", ") + f[i];
    std::string folder = carpeta;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    const bool uno = f.size() == 1;
    return std::string(uno ? "El fichero " : "Los ficheros ") + lista + " de la carpeta " + folder +
           (uno ? " parece guardado" : " parecen guardados") +
           " en UTF-8, no en el juego de caracteres de XEL (Windows-1252): sus acentos y eñes "
           "llegarían cambiados a las tablas.\r" +
           (uno ? "Vuelva a descargarlo de XEL, o guárdelo"
                : "Vuelva a descargarlos de XEL, o guárdelos") +
           " como \"ANSI\" (Windows-1252), y repita el trabajo. No se ha cambiado ninguna tabla.";
}

std::filesystem::path ficheroTexto(const std::string& carpeta, std::string_view nombre) {
    return tables::findExisting(platform::pathFromUtf8(carpeta + std::string(nombre)));
}

}  // namespace tz::intake
