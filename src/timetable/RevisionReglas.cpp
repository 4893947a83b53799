// The rules of the completeness check: what a row or the centre data lack, and how a finding
// reads in Spanish.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>

#include "base/Text.h"
#include "tables/Cp1252.h"
#include "timetable/Revision.h"
#include "timetable/RevisionInterna.h"
#include "timetable/Texto.h"

namespace tz::timetable::revision {

using namespace interno;

Lectiva leeOtractiv(std::string_view flag) {
    const std::string f(base::trimControls(flag));
    if (f.size() != 1) return Lectiva::Desconocida;
    switch (std::toupper(static_cast<unsigned char>(f[0]))) {
        case 'N':
        case '0':
            return Lectiva::Si;
        case 'S':
        case '1':
            return Lectiva::No;
        default:
            return Lectiva::Desconocida;
    }
}

namespace {

// The checked fields in the order of the window's columns (those the grids do not show last).
constexpr std::string_view kCampos[] = {
    "TIPDOC",  "DOC",    "DIASEM",    "NUMSESION", "TIPTAR",   "HORAINI",  "HORAFIN",    "GRUPNIV",
    "CODASIG", "IDIOMA", "TIP_ACTIV", "TIPASIG",   "AULA_OBS", "CODGRUPO", "NUMSESGRUP", "NUMALUM"};

bool contiene(const std::optional<Codigos>& set, std::string_view v) {
    return !set || set->contains(v);
}

}  // namespace

namespace interno {

namespace {

// Column titles and catalogues by checked field (kCampos), then the centre data's fields.
constexpr std::string_view kTitulos[] = {
    "TipoDOC", "Documento DNI", "Día",      "Sesión",     "TAREA",  "H.INICIO",
    "H. FIN",  "G.NIVEL",       "Cód.ASIG", "IDIOMA",     "ACTIV.", "Tipo de asignatura",
    "Aula",    "Cód.GRUPO",     "Sesión",   "Núm.ALUMNOS"};
static_assert(std::size(kTitulos) == std::size(kCampos));
constexpr std::pair<std::string_view, std::string_view> kTitulosCentro[] = {
    {"CODCENTRO", "Cód.Centro"}, {"ANOACAD", "Año Académico"}, {"VERSION", "Versión"}};
constexpr std::pair<std::string_view, std::string_view> kCatalogos[] = {
    {"TIPDOC", "xelTIPDOC"},   {"TIPTAR", "xelTIPTAR"}, {"GRUPNIV", "xelGRUPNIV"},
    {"CODASIG", "xelASIGNAT"}, {"IDIOMA", "xelIDIOMA"}, {"TIP_ACTIV", "xelOTRACT"}};

// Position of the field among kCampos, -1 when it is none of them.
int campoNo(const Vista& h) {
    if (h.campoNo >= 0) return h.campoNo;
    for (std::size_t i = 0; i < std::size(kCampos); ++i)
        if (kCampos[i] == h.campo) return static_cast<int>(i);
    return -1;
}

void anadeOtra(const Vista& h, std::string& out) {
    switch (h.falta) {
        case Falta::NoEnCatalogo: {
            out += "el código \"";
            cp1252::appendAsUtf8(out, h.valor);
            out += "\" no está en ";
            for (const auto& [f, c] : kCatalogos)
                if (f == h.campo) return void(out += c);
            out += "su catálogo";
            return;
        }
        case Falta::AsigOActiv:
            out += "ambos en blanco (posible: no se sabe si la TAREA ";
            if (blank(h.tarea)) {
                out += "en blanco";
            } else {
                out += '"';
                cp1252::appendAsUtf8(out, h.tarea);
                out += '"';
            }
            out += " es \"Lectiva\")";
            return;
        case Falta::Control: {
            const int code = validacion::primerControl(h.valor);
            out += "tiene un carácter de control, ";
            out += validacion::nombreControl(code);
            out += ": ";
            out += validacion::cita(h.valor);
            return;
        }
        case Falta::FueraDePlantilla:
            if (h.campo == "DIASEM") {
                out += "el día " + validacion::cita(h.valor) + " no es un día de la semana (" +
                       std::to_string(validacion::kPrimerDia) + " a " +
                       std::to_string(validacion::kUltimoDia) + ")";
            } else if (const auto r = validacion::reglaSesion(h.valor, std::nullopt); !r.empty()) {
                out += "la sesión " + validacion::cita(h.valor) + " " + r;
            } else {
                out +=
                    "la sesión " + validacion::cita(h.valor) + " no está en la plantilla horaria";
            }
            return;
        case Falta::NoValido: {
            const std::string r = h.campo == "CODCENTRO" ? validacion::reglaCodigoCentro(h.valor)
                                  : h.campo == "ANOACAD" ? validacion::reglaAnoAcademico(h.valor)
                                                         : validacion::reglaVersion(h.valor);
            out += validacion::cita(h.valor) + " no es válido: " + r;
            return;
        }
        case Falta::SinColocar:
            out += h.motivo;
            out += "; no pasa a fCUADROS.txt";
            return;
        case Falta::EnBlanco:
            return;
    }
}

}  // namespace

std::string_view nombreCampo(int campo) { return kCampos[campo]; }

Vista vista(const Hallazgo& h) {
    return {h.tipo,  h.profesor, h.dia,   h.sesion,  h.grupo,    h.campo, h.valor,
            h.tarea, h.motivo,   h.falta, h.posible, h.registro, -1};
}

void anadeColumna(const Vista& h, std::string& out) {
    if (h.falta == Falta::AsigOActiv) return void(out += "Cód.ASIG o ACTIV.");
    if (h.tipo == 0) return void(out += "Sin colocar");
    if (const int k = campoNo(h); k >= 0) return void(out += kTitulos[k]);
    for (const auto& [f, t] : kTitulosCentro)
        if (f == h.campo) return void(out += t);
    out += h.campo;
}

void anadeDescripcion(const Vista& h, std::string& out) {
    // The common case first: a blank code.
    if (h.falta == Falta::EnBlanco) {
        if (!h.posible) {
            out += "en blanco";
            return;
        }
        out += "en blanco (posible: la TAREA \"";
        cp1252::appendAsUtf8(out, h.tarea);
        out += h.campo != "TIP_ACTIV" ? "\" es \"Lectiva\")" : "\" NO es \"Lectiva\")";
        return;
    }
    anadeOtra(h, out);
}

void anadeLinea(const Vista& h, std::string& s) {
    if (h.tipo == 1) {
        s += "Datos del centro, ";
        anadeColumna(h, s);
        s += ": ";
    } else if (h.tipo == 0) {
        s += "Lección de SOLUC sin colocar (fila ";
        s += std::to_string(h.registro);
        s += "): profesor ";
        cp1252::appendAsUtf8(s, h.profesor);
        s += ", día ";
        cp1252::appendAsUtf8(s, h.dia);
        s += ", hora ";
        cp1252::appendAsUtf8(s, h.sesion);
        if (!h.grupo.empty()) {
            s += ", grupo ";
            cp1252::appendAsUtf8(s, h.grupo);
        }
        s += ": ";
    } else {
        anadePrefijoFila(h, s);
        return anadeResto(h, s);
    }
    anadeDescripcion(h, s);
}

void anadePrefijoFila(const Vista& h, std::string& s) {
    s += "Profesor ";
    cp1252::appendAsUtf8(s, h.profesor);
    s += ", día ";
    cp1252::appendAsUtf8(s, h.dia);
    s += ", sesión ";
    cp1252::appendAsUtf8(s, h.sesion);
    if (h.tipo == 3) {
        s += ", grupo ";
        cp1252::appendAsUtf8(s, h.grupo);
    }
    s += ", ";
}

namespace {

// The fixed parts of the common lines of a row's field, made once: a blank code, a blank code
// that may be due, a code not in its catalogue. A large check writes hundreds of thousands.
struct Piezas {
    std::string enBlanco, posible, posibleFin, codigo, codigoFin;
};

const std::array<Piezas, std::size(kCampos)>& piezas() {
    static const auto hechas = [] {
        std::array<Piezas, std::size(kCampos)> p;
        for (std::size_t k = 0; k < p.size(); ++k) {
            const std::string titulo = std::string(kTitulos[k]) + ": ";
            p[k].enBlanco = titulo + "en blanco";
            p[k].posible = titulo + "en blanco (posible: la TAREA \"";
            p[k].posibleFin =
                kCampos[k] != "TIP_ACTIV" ? "\" es \"Lectiva\")" : "\" NO es \"Lectiva\")";
            p[k].codigo = titulo + "el código \"";
            p[k].codigoFin = "\" no está en ";
            std::string_view catalogo = "su catálogo";
            for (const auto& [f, c] : kCatalogos)
                if (f == kCampos[k]) catalogo = c;
            p[k].codigoFin += catalogo;
        }
        return p;
    }();
    return hechas;
}

}  // namespace

void anadeResto(const Vista& h, std::string& s) {
    const auto k = static_cast<std::size_t>(h.campoNo);
    if (h.tipo >= 2 && h.campoNo >= 0 && k < std::size(kCampos)) {
        const Piezas& p = piezas()[k];
        if (h.falta == Falta::EnBlanco) {
            if (!h.posible) return void(s += p.enBlanco);
            s += p.posible;
            cp1252::appendAsUtf8(s, h.tarea);
            s += p.posibleFin;
            return;
        }
        if (h.falta == Falta::NoEnCatalogo) {
            s += p.codigo;
            cp1252::appendAsUtf8(s, h.valor);
            s += p.codigoFin;
            return;
        }
    }
    anadeColumna(h, s);
    s += ": ";
    anadeDescripcion(h, s);
}

}  // namespace interno

std::string Hallazgo::columna() const {
    std::string s;
    anadeColumna(vista(*this), s);
    return s;
}

std::string Hallazgo::descripcion() const {
    std::string s;
    anadeDescripcion(s);
    return s;
}

void Hallazgo::anadeDescripcion(std::string& out) const {
    interno::anadeDescripcion(vista(*this), out);
}

std::string Hallazgo::linea() const {
    std::string s;
    s.reserve(128);
    anadeLinea(vista(*this), s);
    return s;
}

Resumen resume(const std::vector<Hallazgo>& hallazgos) {
    Resumen r;
    std::unordered_set<tables::Bookmark> filas2, filas3;
    for (const Hallazgo& h : hallazgos) {
        if (h.tipo == 1)
            ++r.centro;
        else if (h.tipo == 0)
            ++r.lecciones;
        else
            (h.tipo == 2 ? filas2 : filas3).insert(h.registro);
        if (h.posible) ++r.posibles;
    }
    r.tipo2 = static_cast<int>(filas2.size());
    r.tipo3 = static_cast<int>(filas3.size());
    return r;
}

std::string textoResumen(const Resumen& r) {
    std::string otros;
    if (r.centro > 0) otros += "; datos del centro por corregir";
    if (r.lecciones > 0)
        otros += "; " + std::to_string(r.lecciones) +
                 (r.lecciones == 1 ? " lección de SOLUC sin colocar"
                                   : " lecciones de SOLUC sin colocar");
    if (r.registros() == 0) {
        if (otros.empty()) return "Ningún registro por codificar: no falta ningún código XEL.";
        return "Ningún registro por codificar" + otros + ".";
    }
    std::string s = "Registros por codificar: " + std::to_string(r.registros()) + " (" +
                    std::to_string(r.tipo2) + " de tipo 2, " + std::to_string(r.tipo3) +
                    " de tipo 3)";
    if (r.posibles > 0)
        s += "; " + std::to_string(r.posibles) +
             (r.posibles == 1 ? " hallazgo posible" : " hallazgos posibles");
    return s + otros + ".";
}

Hallazgo hallazgoLeccion(const LeccionSinColocar& l) {
    Hallazgo h;
    h.tipo = 0;
    h.profesor = l.profesor;
    h.dia = l.dia;
    h.sesion = l.hora;
    h.grupo = l.grupo;
    h.campo = "SOLUC";
    h.motivo = l.motivo;
    h.falta = Falta::SinColocar;
    h.registro = static_cast<tables::Bookmark>(l.fila);
    return h;
}

std::vector<Hallazgo> revisaCentro(std::string_view codigo, std::string_view ano,
                                   std::string_view version) {
    std::vector<Hallazgo> out;
    const std::pair<const char*, std::string_view> campos[] = {
        {"CODCENTRO", codigo}, {"ANOACAD", ano}, {"VERSION", version}};
    for (const auto& [name, v] : campos) {
        const std::string regla =
            std::string_view(name) == "CODCENTRO" ? validacion::reglaCodigoCentro(v)
            : std::string_view(name) == "ANOACAD" ? validacion::reglaAnoAcademico(v)
                                                  : validacion::reglaVersion(v);
        if (regla.empty()) continue;
        Hallazgo h;
        h.tipo = 1;
        h.campo = name;
        h.valor = v;
        h.falta = blank(v) ? Falta::EnBlanco : Falta::NoValido;
        out.push_back(std::move(h));
    }
    return out;
}

// --- The check --------------------------------------------------------------------------------

namespace {

// The fields of one row that keep a control character, one bit per field.
class Controles {
  public:
    Controles(Faltas& out, bool ninguno) : out_(out), ninguno_(ninguno) {}
    // Adds the finding when `v` holds a control character; true when it did.
    bool operator()(Campo campo, std::string_view v) {
        if (ninguno_ || !validacion::tieneControl(v)) return false;
        out_.add(campo, Falta::Control, v);
        bits_ |= 1u << campo;
        return true;
    }
    bool en(Campo campo) const { return bits_ & (1u << campo); }

  private:
    Faltas& out_;
    bool ninguno_;  // the row is known to hold none
    std::uint32_t bits_ = 0;
};

// A day or session as written: blank, or outside the week or the bell schedule.
void diaYSesion(Campo dia, std::string_view vDia, Campo sesion, std::string_view vSesion,
                const Catalogos& c, Controles& ctl, Faltas& out) {
    if (!ctl(dia, vDia)) {
        if (blank(vDia))
            out.add(dia, Falta::EnBlanco);
        else if (!validacion::diaValido(vDia))
            out.add(dia, Falta::FueraDePlantilla, vDia);
    }
    if (!ctl(sesion, vSesion)) {
        if (blank(vSesion))
            out.add(sesion, Falta::EnBlanco);
        else if (!validacion::reglaSesion(vSesion, c.horas).empty())
            out.add(sesion, Falta::FueraDePlantilla, vSesion);
    }
}

}  // namespace

namespace interno {

void revisa2(const Fila2& f, const Catalogos& c, Faltas& out, bool sinControles) {
    out.n = 0;
    // A control character is the finding of its field, whatever else the field lacks.
    Controles ctl(out, sinControles);
    for (const auto& [campo, v] : {std::pair{HORAINI, f.HORAINI}, std::pair{HORAFIN, f.HORAFIN},
                                   std::pair{TIPASIG, f.TIPASIG}, std::pair{AULA_OBS, f.AULA_OBS}})
        ctl(campo, v);

    // A blank code, or one its catalogue lacks.
    auto code = [&](Campo campo, std::string_view v, const std::optional<Codigos>& cat) {
        if (ctl(campo, v)) return;
        if (blank(v))
            out.add(campo, Falta::EnBlanco);
        else if (!contiene(cat, v))
            out.add(campo, Falta::NoEnCatalogo, v);
    };

    code(TIPDOC, f.TIPDOC, c.tipdoc);
    if (!ctl(DOC, f.DOC) && blank(f.DOC)) out.add(DOC, Falta::EnBlanco);
    diaYSesion(DIASEM, f.DIASEM, NUMSESION, f.NUMSESION, c, ctl, out);

    Lectiva lectiva = Lectiva::Desconocida;
    if (ctl(TIPTAR, f.TIPTAR)) {
        // The task cannot be looked up: its kind stays unknown.
    } else if (blank(f.TIPTAR)) {
        out.add(TIPTAR, Falta::EnBlanco);
    } else if (c.tiptar) {
        auto it = c.tiptar->find(f.TIPTAR);
        if (it == c.tiptar->end())
            out.add(TIPTAR, Falta::NoEnCatalogo, f.TIPTAR);
        else
            lectiva = it->second;
    }
    code(GRUPNIV, f.GRUPNIV, c.grupniv);

    // Codes present are checked against their catalogues whatever the task is.
    const bool asig = !blank(f.CODASIG), idioma = !blank(f.IDIOMA), activ = !blank(f.TIP_ACTIV);
    if (!ctl(CODASIG, f.CODASIG) && asig && !contiene(c.asignat, f.CODASIG))
        out.add(CODASIG, Falta::NoEnCatalogo, f.CODASIG);
    if (!ctl(IDIOMA, f.IDIOMA) && idioma && !contiene(c.idioma, f.IDIOMA))
        out.add(IDIOMA, Falta::NoEnCatalogo, f.IDIOMA);
    if (!ctl(TIP_ACTIV, f.TIP_ACTIV) && activ && !contiene(c.otract, f.TIP_ACTIV))
        out.add(TIP_ACTIV, Falta::NoEnCatalogo, f.TIP_ACTIV);

    // The "Lectiva" rule, as far as the task's flag tells.
    switch (lectiva) {
        case Lectiva::Si:
            if (!asig) out.add(CODASIG, Falta::EnBlanco, {}, true);
            if (!idioma) out.add(IDIOMA, Falta::EnBlanco, {}, true);
            break;
        case Lectiva::No:
            if (!activ) out.add(TIP_ACTIV, Falta::EnBlanco, {}, true);
            break;
        case Lectiva::Desconocida:
            // Whichever it is, one of the two must be there.
            if (!asig && !activ) out.add(CODASIG, Falta::AsigOActiv, {}, true);
            break;
    }
}

void revisa3(const Fila3& f, const Catalogos& c, Faltas& out, bool sinControles) {
    out.n = 0;
    Controles ctl(out, sinControles);
    if (!ctl(CODGRUPO, f.CODGRUPO) && blank(f.CODGRUPO)) out.add(CODGRUPO, Falta::EnBlanco);
    // The document comes from the teacher (its blanks are the type 2 row's findings); a type
    // the catalogue lacks still reaches the file with this record.
    if (!ctl(TIPDOC, f.TIPDOC) && !blank(f.TIPDOC) && !contiene(c.tipdoc, f.TIPDOC))
        out.add(TIPDOC, Falta::NoEnCatalogo, f.TIPDOC);
    ctl(DOC, f.DOC);
    diaYSesion(DIASEM, f.DIASEM, NUMSESGRUP, f.NUMSESGRUP, c, ctl, out);
    ctl(NUMALUM, f.NUMALUM);
}

Hallazgo hallazgoDe(int tipo, tables::Bookmark registro, const Identidad& id, const Falla& x,
                    std::string_view valor) {
    Hallazgo h;
    h.tipo = tipo;
    h.clave = id[0];
    h.profesor = id[1];
    h.dia = id[2];
    h.sesion = id[3];
    h.grupo = id[4];
    h.tarea = id[5];
    h.campo = kCampos[x.campo];
    h.valor = valor;
    h.falta = x.falta;
    h.posible = x.posible;
    h.registro = registro;
    return h;
}

}  // namespace interno

namespace {

void lista(int tipo, tables::Bookmark registro, const Identidad& id, const Faltas& faltas,
           std::vector<Hallazgo>& out) {
    for (int i = 0; i < faltas.n; ++i)
        out.push_back(hallazgoDe(tipo, registro, id, faltas.fallas[i], faltas.valores[i]));
}

}  // namespace

void revisaFila(const Fila2& f, tables::Bookmark registro, const Catalogos& c,
                std::vector<Hallazgo>& out) {
    Faltas faltas;
    revisa2(f, c, faltas);
    lista(2, registro, identidad(f), faltas, out);
}

void revisaFila(const Fila3& f, tables::Bookmark registro, const Catalogos& c,
                std::vector<Hallazgo>& out) {
    Faltas faltas;
    revisa3(f, c, faltas);
    lista(3, registro, identidad(f), faltas, out);
}

}  // namespace tz::timetable::revision
