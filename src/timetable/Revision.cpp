// The kept findings of the completeness check: the rows with findings in slot-key order, their
// counts and look-ups, and each finding made into a Hallazgo when asked for.
#include <algorithm>
#include <tuple>

#include "timetable/Revision.h"
#include "timetable/RevisionInterna.h"

namespace tz::timetable::revision {

using namespace interno;

// --- Revision ---------------------------------------------------------------------------------

std::string_view Revision::clave(const Fila& f) const {
    return std::string_view(textos_).substr(inicioIdentidad(f), f.largo[0]);
}

bool Revision::menor(const Fila& a, const Fila& b) const {
    if (const int c = clave(a).compare(clave(b)); c != 0) return c < 0;
    return std::tie(a.tipo, a.registro) < std::tie(b.tipo, b.registro);
}

// A row's findings enter (+1) or leave (-1) the counts.
void Revision::cuenta(const Fila& f, int signo) {
    (f.tipo == 3 ? resumen_.tipo3 : resumen_.tipo2) += signo;
    for (std::size_t i = 0; i < f.n; ++i)
        resumen_.posibles += signo * fallaDe(textos_, f, i).posible;
    if (signo > 0)
        textosVivos_ += largoTextos(f);
    else
        textosVivos_ -= largoTextos(f);
}

void Revision::compacta() {
    std::string textos;
    textos.reserve(textosVivos_ + textosVivos_ / 2);
    for (Fila& f : filas_) {
        const std::size_t desde = textos.size();
        textos.append(textos_, f.texto, largoTextos(f));
        f.texto = desde;
    }
    textos_ = std::move(textos);
    textosVivos_ = textos_.size();
}

void Revision::indexa() {
    ++generacion_;
    inicio_.resize(filas_.size());
    for (auto& v : porRegistro_) std::fill(v.begin(), v.end(), 0);
    std::size_t n = 0;
    for (std::size_t i = 0; i < filas_.size(); ++i) {
        const Fila& f = filas_[i];
        inicio_[i] = n;
        n += f.n;
        auto& porRegistro = porRegistro_[f.tipo == 3 ? 1 : 0];
        if (f.registro >= porRegistro.size()) porRegistro.resize(f.registro + std::size_t{1}, 0);
        porRegistro[f.registro] = static_cast<std::uint32_t>(i + 1);
    }
    total_ = n;
}

Hallazgo Revision::hallazgo(const Fila& f, int k) const {
    Identidad id;
    std::size_t at = inicioIdentidad(f);
    const std::string_view textos(textos_);
    for (std::size_t i = 0; i < id.size(); ++i) {
        id[i] = textos.substr(at, f.largo[i]);
        at += f.largo[i];
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(k); ++i) at += fallaDe(textos, f, i).valor;
    const Falla x = fallaDe(textos, f, static_cast<std::size_t>(k));
    return hallazgoDe(f.tipo, f.registro, id, x, textos.substr(at, x.valor));
}

void Revision::revisaCentro(std::string_view codigo, std::string_view ano,
                            std::string_view version) {
    centro_ = revision::revisaCentro(codigo, ano, version);
    aparte_ = centro_;
    aparte_.insert(aparte_.end(), lecciones_.begin(), lecciones_.end());
}

void Revision::anotaLecciones(const std::vector<LeccionSinColocar>& lecciones) {
    lecciones_.clear();
    for (const LeccionSinColocar& l : lecciones) lecciones_.push_back(hallazgoLeccion(l));
    aparte_ = centro_;
    aparte_.insert(aparte_.end(), lecciones_.begin(), lecciones_.end());
}

Resumen Revision::resumen() const {
    Resumen r = resumen_;
    r.centro = static_cast<int>(centro_.size());
    r.lecciones = static_cast<int>(lecciones_.size());
    return r;
}

Hallazgo Revision::hallazgo(std::size_t i) const {
    if (i < aparte_.size()) return aparte_[i];
    i -= aparte_.size();
    // The last row whose first finding is at or before i.
    const auto it = std::upper_bound(inicio_.begin(), inicio_.end(), i) - 1;
    return hallazgo(filas_[static_cast<std::size_t>(it - inicio_.begin())],
                    static_cast<int>(i - *it));
}

void Revision::anadeLinea(std::size_t i, std::string& out) const {
    if (i < aparte_.size()) return interno::anadeLinea(vista(aparte_[i]), out);
    i -= aparte_.size();
    // Lines are mostly asked for one after another: the row of the last one, or the next.
    std::size_t r = ultimaFila_;
    if (!(r < filas_.size() && inicio_[r] <= i && i < inicio_[r] + filas_[r].n)) {
        if (r + 1 < filas_.size() && inicio_[r + 1] <= i && i < inicio_[r + 1] + filas_[r + 1].n)
            ++r;
        else
            r = static_cast<std::size_t>(std::upper_bound(inicio_.begin(), inicio_.end(), i) -
                                         inicio_.begin() - 1);
    }
    ultimaFila_ = r;
    const Fila& f = filas_[r];
    const auto k = static_cast<std::size_t>(i - inicio_[r]);
    // The row's texts: clave, profesor, dia, sesion, grupo, tarea, then the codes found.
    const std::string_view textos(textos_);
    std::array<std::string_view, 6> id;
    std::size_t at = inicioIdentidad(f);
    for (std::size_t j = 0; j < id.size(); ++j) {
        id[j] = textos.substr(at, f.largo[j]);
        at += f.largo[j];
    }
    for (std::size_t j = 0; j < k; ++j) at += fallaDe(textos, f, j).valor;
    const Falla x = fallaDe(textos, f, k);
    const interno::Vista v{f.tipo,
                           id[1],
                           id[2],
                           id[3],
                           id[4],
                           nombreCampo(x.campo),
                           textos.substr(at, x.valor),
                           id[5],
                           {},
                           x.falta,
                           x.posible,
                           f.registro,
                           x.campo};
    // The part that names the row is the same for all its findings: made once.
    if (prefijoDe_ != r || prefijoGeneracion_ != generacion_) {
        prefijo_.clear();
        interno::anadePrefijoFila(v, prefijo_);
        prefijoDe_ = r;
        prefijoGeneracion_ = generacion_;
    }
    out += prefijo_;
    interno::anadeResto(v, out);
}

std::vector<Hallazgo> Revision::hallazgos() const {
    std::vector<Hallazgo> out(aparte_);
    out.reserve(size());
    for (const Fila& f : filas_)
        for (int k = 0; k < f.n; ++k) out.push_back(hallazgo(f, k));
    return out;
}

bool Revision::incompleta(int tipo, tables::Bookmark registro) const {
    const auto& porRegistro = porRegistro_[tipo == 3 ? 1 : 0];
    return registro < porRegistro.size() && porRegistro[registro] != 0;
}

bool Revision::grupoIncompleto(std::string_view c) const {
    // The first row of that key of type 3, if any.
    const auto it =
        std::lower_bound(filas_.begin(), filas_.end(), c, [&](const Fila& f, std::string_view v) {
            if (const int r = clave(f).compare(v); r != 0) return r < 0;
            return f.tipo < 3;
        });
    return it != filas_.end() && it->tipo == 3 && clave(*it) == c;
}

}  // namespace tz::timetable::revision
