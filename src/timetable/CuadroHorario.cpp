#include "timetable/CuadroHorario.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "tables/FileIo.h"
#include "timetable/Texto.h"

namespace tz::timetable::cuadro {

std::string hora(std::string_view v) { return (std::string(v) + "00:00").substr(0, 5); }

std::string cuenta(std::string_view v) { return (std::string(v) + "00").substr(0, 2); }

std::string registroTipo1(const Centro& c) {
    return "1CH" + fitted(c.CODCENTRO, 6) + fitted(c.ANOACAD, 4) + fitted(c.VERSION, 1);
}

namespace {

// Builds a record in place: each piece at the next position of a buffer the size of the
// longest record, appended to the text in one piece.
class Registro {
  public:
    explicit Registro(char tipo) { put(std::string_view(&tipo, 1)); }
    // `v` fitted to `n` (Texto.h).
    void fitted(std::string_view v, std::size_t n) {
        const std::size_t k = std::min(n, v.size());
        put(v.substr(0, k));
        pad(n - k, ' ');
    }
    // `v` followed by `tail`, cut to the length of `tail` (hora, cuenta).
    void completed(std::string_view v, std::string_view tail) {
        const std::size_t k = std::min(tail.size(), v.size());
        put(v.substr(0, k));
        put(tail.substr(0, tail.size() - k));
    }
    // `v` as it stands.
    void put(std::string_view v) {
        if (v.size() > sizeof buf_ - len_) flush();
        if (v.size() > sizeof buf_) {
            spill_.append(v);
            return;
        }
        for (char c : v) buf_[len_++] = c;
    }
    void appendTo(std::string& out) {
        if (spill_.empty()) {
            out.append(buf_, len_);
            return;
        }
        flush();
        out += spill_;
    }

  private:
    void pad(std::size_t n, char c) {
        if (n > sizeof buf_ - len_) flush();
        for (; n > sizeof buf_; n -= sizeof buf_) spill_.append(sizeof buf_, c);
        for (std::size_t i = 0; i < n; ++i) buf_[len_++] = c;
    }
    void flush() {
        spill_.append(buf_, len_);
        len_ = 0;
    }
    char buf_[96];
    std::size_t len_ = 0;
    std::string spill_;  // what did not fit (values written as they stand may be long)
};

}  // namespace

void anadeTipo2(std::string& out, const Vista2& r) {
    // The hour number goes before the day, and both are written as they stand.
    Registro g('2');
    g.fitted(r.TIPDOC, 1);
    g.fitted(r.DOC, 15);
    g.put(r.NUMSESION);
    g.put(r.DIASEM);
    g.fitted(r.TIPTAR, 3);
    g.completed(r.HORAINI, "00:00");
    g.completed(r.HORAFIN, "00:00");
    g.fitted(r.GRUPNIV, 3);
    g.fitted(r.CODASIG, 4);
    g.fitted(r.TIPASIG, 1);
    g.fitted(r.IDIOMA, 2);
    g.fitted(r.AULA_OBS, 30);
    g.fitted(r.TIP_ACTIV, 3);
    g.appendTo(out);
}

std::string registroTipo2(const Tipo2& r) {
    std::string out;
    out.reserve(76);
    anadeTipo2(out, {r.TIPDOC, r.DOC, r.NUMSESION, r.DIASEM, r.TIPTAR, r.HORAINI, r.HORAFIN,
                     r.GRUPNIV, r.CODASIG, r.TIPASIG, r.IDIOMA, r.AULA_OBS, r.TIP_ACTIV});
    return out;
}

void anadeTipo3(std::string& out, const Vista3& r) {
    Registro g('3');
    g.fitted(r.CODGRUPO, 5);
    g.fitted(r.TIPDOC, 1);
    g.fitted(r.DOC, 15);
    g.put(r.NUMSESGRUP);
    g.put(r.DIASEM);
    g.completed(r.NUMALUM, "00");
    g.appendTo(out);
}

std::string registroTipo3(const Tipo3& r) {
    std::string out;
    out.reserve(27);
    anadeTipo3(out, {r.CODGRUPO, r.TIPDOC, r.DOC, r.NUMSESGRUP, r.DIASEM, r.NUMALUM});
    return out;
}

void writeFileAtomically(const std::filesystem::path& target, std::string_view content) {
    // Through the table engine's file layer, which syncs before the rename.
    if (int err = tables::replaceFile(target, content)) {
        throw std::runtime_error("Cannot create file \"" + target.string() + "\". " +
                                 std::strerror(err));
    }
}

}  // namespace tz::timetable::cuadro
