#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "timetable/Revision.h"

// What the rules of the completeness check, its kept findings and their table reading share;
// only the check's own sources include it.
namespace tz::timetable::revision::interno {

using Falla = Revision::Falla;

enum Campo : std::uint8_t {
    TIPDOC,
    DOC,
    DIASEM,
    NUMSESION,
    TIPTAR,
    HORAINI,
    HORAFIN,
    GRUPNIV,
    CODASIG,
    IDIOMA,
    TIP_ACTIV,
    TIPASIG,
    AULA_OBS,
    CODGRUPO,
    NUMSESGRUP,
    NUMALUM
};

// What one row lacks, fields in column order, with the codes not found in their catalogues.
struct Faltas {
    std::array<Falla, Revision::kMaxFallas> fallas{};
    std::array<std::string_view, Revision::kMaxFallas> valores{};
    int n = 0;

    void add(Campo campo, Falta falta, std::string_view valor = {}, bool posible = false) {
        // Each field has one finding at most; they come nearly in order.
        int i = n++;
        for (; i > 0 && fallas[i - 1].campo > campo; --i) {
            fallas[i] = fallas[i - 1];
            valores[i] = valores[i - 1];
        }
        fallas[i] = {campo, falta, posible, static_cast<std::uint16_t>(valor.size())};
        valores[i] = valor;
    }
};

// The identity of a row: clave, profesor, dia, sesion, grupo, tarea.
using Identidad = std::array<std::string_view, 6>;
inline Identidad identidad(const Fila2& f) {
    return {f.PROF_DIA_SES, f.ABREVPROF, f.DIASEM, f.NUMSESION, {}, f.TIPTAR};
}
inline Identidad identidad(const Fila3& f) {
    return {f.PROF_DIA_SES, f.ABREVPROF, f.DIASEM, f.NUMSESGRUP, f.ABREVGRUP, {}};
}

// The findings of one row, by its values (the rules).
// `sinControles`: the caller knows that no field holds a control character.
void revisa2(const Fila2& f, const Catalogos& c, Faltas& out, bool sinControles = false);
void revisa3(const Fila3& f, const Catalogos& c, Faltas& out, bool sinControles = false);
Hallazgo hallazgoDe(int tipo, tables::Bookmark registro, const Identidad& id, const Falla& x,
                    std::string_view valor);

// A finding's values as views, for writing its texts without copying them (Hallazgo's own, or
// those a Revision keeps). campoNo: the field's position among the checked ones, -1 to look it
// up by name.
struct Vista {
    int tipo = 2;
    std::string_view profesor, dia, sesion, grupo, campo, valor, tarea, motivo;
    Falta falta = Falta::EnBlanco;
    bool posible = false;
    tables::Bookmark registro = 0;
    int campoNo = -1;
};
Vista vista(const Hallazgo& h);
// The name of a checked field by its position (Campo).
std::string_view nombreCampo(int campo);
void anadeColumna(const Vista& h, std::string& out);
void anadeDescripcion(const Vista& h, std::string& out);
void anadeLinea(const Vista& h, std::string& out);
// A row's line (tipo 2 or 3) in two parts: what names the row ("Profesor ABC, día 3, sesión 05,
// "), the same for all its findings, and the rest.
void anadePrefijoFila(const Vista& h, std::string& out);
void anadeResto(const Vista& h, std::string& out);

inline std::uint16_t largo(std::string_view v) {
    // A field is never wider than a record (65,535 bytes); a longer value cannot occur.
    return static_cast<std::uint16_t>(std::min<std::size_t>(v.size(), 0xFFFF));
}

// A row's part of the kept texts (Revision::Fila): its Fallas, its identity, its codes.
inline constexpr std::size_t kBytesFalla = sizeof(Revision::Falla);
inline std::size_t largoTextos(const Revision::Fila& f) {
    std::size_t n = f.n * kBytesFalla + f.valores;
    for (auto l : f.largo) n += l;
    return n;
}
// Finding k of the row, from the texts.
inline Revision::Falla fallaDe(std::string_view textos, const Revision::Fila& f, std::size_t k) {
    Revision::Falla x;
    std::memcpy(&x, textos.data() + f.texto + k * kBytesFalla, kBytesFalla);
    return x;
}
// Where the row's identity starts in the texts.
inline std::size_t inicioIdentidad(const Revision::Fila& f) { return f.texto + f.n * kBytesFalla; }

}  // namespace tz::timetable::revision::interno
