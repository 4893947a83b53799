#include "intake/TextoFijo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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
    throw tables::EngineError(tables::systemError("No se puede leer el archivo", file, err));
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

std::string_view recorta(std::string_view value) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!value.empty() && blank(value.front())) value.remove_prefix(1);
    while (!value.empty() && blank(value.back())) value.remove_suffix(1);
    return value;
}

std::string_view columna(std::string_view line, int start, int length) {
    // An empty result still points into the line: some callers hand it to memcpy.
    if (start < 1 || length <= 0) return line.substr(0, 0);
    auto from = std::min(static_cast<std::size_t>(start - 1), line.size());
    return line.substr(from, static_cast<std::size_t>(length));
}

std::filesystem::path ficheroTexto(const std::string& carpeta, std::string_view nombre) {
    return tables::findExisting(std::filesystem::path(carpeta + std::string(nombre)));
}

}  // namespace tz::intake
