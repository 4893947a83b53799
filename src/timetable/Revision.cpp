#include "timetable/Revision.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <tuple>

#include "base/Text.h"
#include "tables/Cp1252.h"
#include "tables/DbfFormat.h"
#include "tables/Paths.h"
#include "timetable/CuadroHorario.h"
#include "timetable/Texto.h"

namespace tz::timetable::revision {

using tables::Dataset;

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

// Field positions of a catalogue, or -1; a catalogue without its code field is unusable.
int campo(const Dataset& ds, const char* name) { return ds.fieldIndex(name); }

std::optional<Codigos> codigos(const Dataset* ds, const char* field, std::size_t cut = 0) {
    if (!ds || !ds->isOpen()) return std::nullopt;
    const int f = campo(*ds, field);
    if (f < 0) return std::nullopt;
    Codigos out;
    const int n = ds->recordCount();
    out.reserve(static_cast<std::size_t>(n) * 2);
    for (int i = 0; i < n; ++i) {
        std::string code = ds->textAt(i, f);
        if (cut && code.size() > cut) code.resize(cut);
        // Trailing spaces are gone already; a shortened code may end in one.
        while (!code.empty() && code.back() == ' ') code.pop_back();
        out.insert(std::move(code));
    }
    return out;
}

// The checked fields in the order of the window's columns (those the grids do not show last).
constexpr std::string_view kCampos[] = {
    "TIPDOC",  "DOC",    "DIASEM",    "NUMSESION", "TIPTAR",   "HORAINI",  "HORAFIN",    "GRUPNIV",
    "CODASIG", "IDIOMA", "TIP_ACTIV", "TIPASIG",   "AULA_OBS", "CODGRUPO", "NUMSESGRUP", "NUMALUM"};
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

bool contiene(const std::optional<Codigos>& set, std::string_view v) {
    return !set || set->find(v) != set->end();
}

std::string utf8(std::string_view bytes) { return cp1252::toUtf8(bytes); }

}  // namespace

Catalogos leeCatalogos(const FuentesCatalogo& s) {
    Catalogos c;
    c.tipdoc = codigos(s.tipdoc, "COD");
    c.grupniv = codigos(s.grupniv, "NIVEL");
    c.asignat = codigos(s.asignat, "COD");
    c.idioma = codigos(s.idioma, "IDIOMA");
    c.otract = codigos(s.otract, "COD", 3);
    c.horas = leeHoras(s.plantilla);
    if (s.tiptar && s.tiptar->isOpen()) {
        const int fc = campo(*s.tiptar, "COD"), ff = campo(*s.tiptar, "OTRACTIV");
        if (fc >= 0) {
            c.tiptar.emplace();
            const int n = s.tiptar->recordCount();
            for (int i = 0; i < n; ++i) {
                const Lectiva l =
                    ff >= 0 ? leeOtractiv(s.tiptar->textAt(i, ff)) : Lectiva::Desconocida;
                // The first row of a repeated code wins, as the list shows it first.
                c.tiptar->emplace(s.tiptar->textAt(i, fc), l);
            }
        }
    }
    return c;
}

// --- Findings ---------------------------------------------------------------------------------

std::optional<validacion::Horas> leeHoras(const Dataset* plantilla) {
    if (!plantilla || !plantilla->isOpen()) return std::nullopt;
    const int f = campo(*plantilla, "HORA");
    if (f < 0) return std::nullopt;
    validacion::Horas horas;
    const int n = plantilla->recordCount();
    for (int i = 0; i < n; ++i)
        if (const auto h = validacion::entero(plantilla->textAt(i, f))) horas.insert(*h);
    return horas;
}

std::string Hallazgo::columna() const {
    if (falta == Falta::AsigOActiv) return "Cód.ASIG o ACTIV.";
    if (tipo == 0) return "Sin colocar";
    static const std::pair<std::string_view, const char*> titulos[] = {
        {"TIPDOC", "TipoDOC"},      {"DOC", "Documento DNI"},    {"DIASEM", "Día"},
        {"NUMSESION", "Sesión"},    {"TIPTAR", "TAREA"},         {"HORAINI", "H.INICIO"},
        {"HORAFIN", "H. FIN"},      {"GRUPNIV", "G.NIVEL"},      {"CODASIG", "Cód.ASIG"},
        {"IDIOMA", "IDIOMA"},       {"TIP_ACTIV", "ACTIV."},     {"TIPASIG", "Tipo de asignatura"},
        {"AULA_OBS", "Aula"},       {"CODGRUPO", "Cód.GRUPO"},   {"NUMSESGRUP", "Sesión"},
        {"NUMALUM", "Núm.ALUMNOS"}, {"CODCENTRO", "Cód.Centro"}, {"ANOACAD", "Año Académico"},
        {"VERSION", "Versión"}};
    for (const auto& [f, t] : titulos)
        if (f == campo) return t;
    return campo;
}

std::string Hallazgo::descripcion() const {
    static const std::unordered_map<std::string_view, const char*> catalogo = {
        {"TIPDOC", "xelTIPDOC"},   {"TIPTAR", "xelTIPTAR"}, {"GRUPNIV", "xelGRUPNIV"},
        {"CODASIG", "xelASIGNAT"}, {"IDIOMA", "xelIDIOMA"}, {"TIP_ACTIV", "xelOTRACT"}};
    switch (falta) {
        case Falta::NoEnCatalogo: {
            auto it = catalogo.find(campo);
            return "el código \"" + utf8(valor) + "\" no está en " +
                   (it != catalogo.end() ? it->second : "su catálogo");
        }
        case Falta::AsigOActiv:
            return "ambos en blanco (posible: no se sabe si la TAREA " +
                   (blank(tarea) ? std::string("en blanco") : "\"" + utf8(tarea) + "\"") +
                   " es \"Lectiva\")";
        case Falta::Control: {
            const int code = validacion::primerControl(valor);
            return "tiene un carácter de control, " + validacion::nombreControl(code) + ": " +
                   validacion::cita(valor);
        }
        case Falta::FueraDePlantilla:
            if (campo == "DIASEM")
                return "el día " + validacion::cita(valor) + " no es un día de la semana (" +
                       std::to_string(validacion::kPrimerDia) + " a " +
                       std::to_string(validacion::kUltimoDia) + ")";
            if (const auto r = validacion::reglaSesion(valor, std::nullopt); !r.empty())
                return "la sesión " + validacion::cita(valor) + " " + r;
            return "la sesión " + validacion::cita(valor) + " no está en la plantilla horaria";
        case Falta::NoValido: {
            std::string r = campo == "CODCENTRO" ? validacion::reglaCodigoCentro(valor)
                            : campo == "ANOACAD" ? validacion::reglaAnoAcademico(valor)
                                                 : validacion::reglaVersion(valor);
            return validacion::cita(valor) + " no es válido: " + r;
        }
        case Falta::SinColocar:
            return motivo + "; no pasa a fCUADROS.txt";
        case Falta::EnBlanco:
            break;
    }
    if (!posible) return "en blanco";
    const bool lectiva = campo != "TIP_ACTIV";
    return "en blanco (posible: la TAREA \"" + utf8(tarea) + "\" " + (lectiva ? "es" : "NO es") +
           " \"Lectiva\")";
}

std::string Hallazgo::linea() const {
    if (tipo == 1) return "Datos del centro, " + columna() + ": " + descripcion();
    if (tipo == 0) {
        std::string s = "Lección de SOLUC sin colocar (fila " + std::to_string(registro) +
                        "): profesor " + utf8(profesor) + ", día " + utf8(dia) + ", hora " +
                        utf8(sesion);
        if (!grupo.empty()) s += ", grupo " + utf8(grupo);
        return s + ": " + descripcion();
    }
    std::string s =
        "Profesor " + utf8(profesor) + ", día " + utf8(dia) + ", sesión " + utf8(sesion);
    if (tipo == 3) s += ", grupo " + utf8(grupo);
    return s + ", " + columna() + ": " + descripcion();
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

using Falla = Revision::Falla;

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

// The fields of one row that keep a control character, one bit per field.
class Controles {
  public:
    explicit Controles(Faltas& out) : out_(out) {}
    // Adds the finding when `v` holds a control character; true when it did.
    bool operator()(Campo campo, std::string_view v) {
        if (!validacion::tieneControl(v)) return false;
        out_.add(campo, Falta::Control, v);
        bits_ |= 1u << campo;
        return true;
    }
    bool en(Campo campo) const { return bits_ & (1u << campo); }

  private:
    Faltas& out_;
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

void revisa2(const Fila2& f, const Catalogos& c, Faltas& out) {
    out.n = 0;
    // A control character is the finding of its field, whatever else the field lacks.
    Controles ctl(out);
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

void revisa3(const Fila3& f, const Catalogos& c, Faltas& out) {
    out.n = 0;
    Controles ctl(out);
    if (!ctl(CODGRUPO, f.CODGRUPO) && blank(f.CODGRUPO)) out.add(CODGRUPO, Falta::EnBlanco);
    // The document comes from the teacher (its blanks are the type 2 row's findings); a type
    // the catalogue lacks still reaches the file with this record.
    if (!ctl(TIPDOC, f.TIPDOC) && !blank(f.TIPDOC) && !contiene(c.tipdoc, f.TIPDOC))
        out.add(TIPDOC, Falta::NoEnCatalogo, f.TIPDOC);
    ctl(DOC, f.DOC);
    diaYSesion(DIASEM, f.DIASEM, NUMSESGRUP, f.NUMSESGRUP, c, ctl, out);
    ctl(NUMALUM, f.NUMALUM);
}

// The identity of a row: clave, profesor, dia, sesion, grupo, tarea.
using Identidad = std::array<std::string_view, 6>;
Identidad identidad(const Fila2& f) {
    return {f.PROF_DIA_SES, f.ABREVPROF, f.DIASEM, f.NUMSESION, {}, f.TIPTAR};
}
Identidad identidad(const Fila3& f) {
    return {f.PROF_DIA_SES, f.ABREVPROF, f.DIASEM, f.NUMSESGRUP, f.ABREVGRUP, {}};
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

namespace {

int requiere(const Dataset& ds, const char* name) {
    const int i = ds.fieldIndex(name);
    if (i < 0)
        throw tables::EngineError("El campo " + std::string(name) + " no existe en la tabla " +
                                  ds.tableName());
    return i;
}

// The row being edited in `p`, when it is a row of the same table.
bool editando(const Dataset* p, const Dataset& table) {
    return p && p->isOpen() && p->state() == tables::DatasetState::Edit && !p->isEmpty() &&
           p->path() == table.path();
}

// Reads the checked fields of rows without copying them: character fields are looked at in
// place; another type (a table written by another program) is decoded into a buffer.
template <std::size_t N>
class Lector {
  public:
    Lector(const Dataset& ds, const char* const (&nombres)[N], const Dataset* pendiente)
        : ds_(ds), pend_(editando(pendiente, ds) ? pendiente : nullptr) {
        for (std::size_t i = 0; i < N; ++i) {
            k_[i] = requiere(ds, nombres[i]);
            car_[i] =
                ds.fields()[static_cast<std::size_t>(k_[i])].type == tables::FieldType::Character;
        }
        if (pend_) pendMark_ = pend_->bookmark();
    }
    // Makes row `pos` (bookmark `mark`) the one `campo` reads.
    void fila(int pos, tables::Bookmark mark) {
        pos_ = pos;
        pendiente_ = pend_ && mark == pendMark_;
    }
    std::string_view campo(std::size_t i) {
        if (pendiente_) return buf_[i] = pend_->text(k_[i]);
        if (car_[i]) return ds_.textViewAt(pos_, k_[i]);
        return buf_[i] = ds_.textAt(pos_, k_[i]);
    }

  private:
    const Dataset& ds_;
    const Dataset* pend_;
    tables::Bookmark pendMark_ = 0;
    std::array<int, N> k_{};
    std::array<bool, N> car_{};
    std::array<std::string, N> buf_;
    int pos_ = 0;
    bool pendiente_ = false;
};

constexpr const char* kCampos2[] = {
    "TIPDOC", "ABREVPROF", "DOC",          "NUMSESION", "DIASEM",  "TIPTAR",  "GRUPNIV", "CODASIG",
    "IDIOMA", "TIP_ACTIV", "PROF_DIA_SES", "HORAINI",   "HORAFIN", "TIPASIG", "AULA_OBS"};
constexpr const char* kCampos3[] = {"ABREVGRUP",    "CODGRUPO", "ABREVPROF", "NUMSESGRUP", "DIASEM",
                                    "PROF_DIA_SES", "TIPDOC",   "DOC",       "NUMALUM"};
constexpr std::size_t kN2 = std::size(kCampos2), kN3 = std::size(kCampos3);

// Checks the row the reader is on; its identity when it lacks something.
bool revisaEn(Lector<kN2>& l, const Catalogos& c, Faltas& faltas, Identidad& id) {
    const Fila2 f{l.campo(0),  l.campo(1),  l.campo(2),  l.campo(3),  l.campo(4),
                  l.campo(5),  l.campo(6),  l.campo(7),  l.campo(8),  l.campo(9),
                  l.campo(10), l.campo(11), l.campo(12), l.campo(13), l.campo(14)};
    revisa2(f, c, faltas);
    if (faltas.n == 0) return false;
    id = identidad(f);
    return true;
}
bool revisaEn(Lector<kN3>& l, const Catalogos& c, Faltas& faltas, Identidad& id) {
    const Fila3 f{l.campo(0), l.campo(1), l.campo(2), l.campo(3), l.campo(4),
                  l.campo(5), l.campo(6), l.campo(7), l.campo(8)};
    revisa3(f, c, faltas);
    if (faltas.n == 0) return false;
    id = identidad(f);
    return true;
}

std::uint16_t largo(std::string_view v) {
    // A field is never wider than a record (65,535 bytes); a longer value cannot occur.
    return static_cast<std::uint16_t>(std::min<std::size_t>(v.size(), 0xFFFF));
}

}  // namespace

// --- Revision ---------------------------------------------------------------------------------

std::string_view Revision::clave(const Fila& f) const {
    return std::string_view(textos_).substr(f.texto, f.largo[0]);
}

bool Revision::menor(const Fila& a, const Fila& b) const {
    if (const int c = clave(a).compare(clave(b)); c != 0) return c < 0;
    return std::tie(a.tipo, a.registro) < std::tie(b.tipo, b.registro);
}

namespace {

// The length of a row's texts.
std::size_t largoTextos(const Revision::Fila& f) {
    std::size_t n = 0;
    for (auto l : f.largo) n += l;
    for (int i = 0; i < f.n; ++i) n += f.fallas[static_cast<std::size_t>(i)].valor;
    return n;
}

// Checks rows of one table (every row when `marcas` is null), appending those with findings in
// the order visited, and their texts.
template <std::size_t N>
void lee(Lector<N>& l, const Dataset& ds, int tipo, const Catalogos& c,
         const std::vector<tables::Bookmark>* marcas, std::string& textos,
         std::vector<Revision::Fila>& out) {
    Faltas faltas;
    Identidad id;
    auto una = [&](int pos, tables::Bookmark mark) {
        l.fila(pos, mark);
        if (!revisaEn(l, c, faltas, id)) return;
        Revision::Fila f;
        f.texto = textos.size();
        for (std::size_t i = 0; i < id.size(); ++i) {
            f.largo[i] = largo(id[i]);
            textos.append(id[i].substr(0, f.largo[i]));
        }
        for (int i = 0; i < faltas.n; ++i) {
            const auto k = static_cast<std::size_t>(i);
            textos.append(faltas.valores[k].substr(0, faltas.fallas[k].valor));
        }
        f.registro = mark;
        f.tipo = static_cast<std::uint8_t>(tipo);
        f.n = static_cast<std::uint8_t>(faltas.n);
        f.fallas = faltas.fallas;
        out.push_back(f);
    };
    if (marcas) {
        for (tables::Bookmark mark : *marcas)
            if (const int pos = ds.positionOf(mark); pos >= 0) una(pos, mark);
        return;
    }
    const int n = ds.recordCount();
    for (int pos = 0; pos < n; ++pos) una(pos, ds.bookmarkAt(pos));
}

}  // namespace

void Revision::revisaTodo(const Dataset& h2, const Dataset& h3, const Dataset* pendiente2,
                          const Dataset* pendiente3) {
    // Both tables are known to have their fields before the findings are dropped.
    Lector<kN2> l2(h2, kCampos2, pendiente2);
    Lector<kN3> l3(h3, kCampos3, pendiente3);
    // The room of the last check is reused.
    filas_.clear();
    textos_.clear();
    try {
        lee(l2, h2, 2, catalogos_, nullptr, textos_, filas_);
        const auto medio = static_cast<std::ptrdiff_t>(filas_.size());
        lee(l3, h3, 3, catalogos_, nullptr, textos_, filas_);
        // Visited in slot key order each table is in order already; else it is sorted.
        auto menor = [this](const Fila& a, const Fila& b) { return this->menor(a, b); };
        const auto mitad = filas_.begin() + medio;
        if (!std::is_sorted(filas_.begin(), mitad, menor)) std::sort(filas_.begin(), mitad, menor);
        if (!std::is_sorted(mitad, filas_.end(), menor)) std::sort(mitad, filas_.end(), menor);
        std::inplace_merge(filas_.begin(), mitad, filas_.end(), menor);
    } catch (...) {
        // Out of memory halfway: no findings rather than half of them out of step.
        filas_.clear();
        textos_.clear();
        resumen_ = {};
        textosVivos_ = 0;
        indexa();
        throw;
    }

    resumen_ = {};
    textosVivos_ = 0;
    for (const Fila& f : filas_) cuenta(f, 1);
    indexa();
}

void Revision::revisaFilas(int tipo, const Dataset& tabla,
                           const std::vector<tables::Bookmark>& filas, const Dataset* pendiente) {
    tipo = tipo == 3 ? 3 : 2;
    std::vector<tables::Bookmark> marcas(filas);
    std::sort(marcas.begin(), marcas.end());
    marcas.erase(std::unique(marcas.begin(), marcas.end()), marcas.end());

    // The rows are read first: a table without a checked field leaves the findings as they were.
    std::vector<Fila> nuevas;
    if (tipo == 3) {
        Lector<kN3> l(tabla, kCampos3, pendiente);
        lee(l, tabla, 3, catalogos_, &marcas, textos_, nuevas);
    } else {
        Lector<kN2> l(tabla, kCampos2, pendiente);
        lee(l, tabla, 2, catalogos_, &marcas, textos_, nuevas);
    }
    auto menor = [this](const Fila& a, const Fila& b) { return this->menor(a, b); };
    std::sort(nuevas.begin(), nuevas.end(), menor);

    // Their old findings go, the new ones are merged in order.
    const auto& porRegistro = porRegistro_[tipo == 3 ? 1 : 0];
    std::vector<bool> fuera(filas_.size());
    bool alguna = false;
    for (tables::Bookmark m : marcas) {
        if (m >= porRegistro.size() || porRegistro[m] == 0) continue;
        const std::size_t i = porRegistro[m] - 1;
        cuenta(filas_[i], -1);
        fuera[i] = true;
        alguna = true;
    }
    if (alguna) {
        std::size_t j = 0;
        for (std::size_t i = 0; i < filas_.size(); ++i)
            if (!fuera[i]) filas_[j++] = filas_[i];
        filas_.resize(j);
    }
    for (const Fila& f : nuevas) cuenta(f, 1);
    const auto medio = static_cast<std::ptrdiff_t>(filas_.size());
    filas_.insert(filas_.end(), nuevas.begin(), nuevas.end());
    std::inplace_merge(filas_.begin(), filas_.begin() + medio, filas_.end(), menor);
    // Rows checked again leave their old texts behind; past half the room they are dropped.
    if (textosVivos_ * 2 < textos_.size()) compacta();
    indexa();
}

// A row's findings enter (+1) or leave (-1) the counts.
void Revision::cuenta(const Fila& f, int signo) {
    (f.tipo == 3 ? resumen_.tipo3 : resumen_.tipo2) += signo;
    for (int i = 0; i < f.n; ++i)
        resumen_.posibles += signo * f.fallas[static_cast<std::size_t>(i)].posible;
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
    std::size_t at = f.texto;
    const std::string_view textos(textos_);
    for (std::size_t i = 0; i < id.size(); ++i) {
        id[i] = textos.substr(at, f.largo[i]);
        at += f.largo[i];
    }
    for (int i = 0; i < k; ++i) at += f.fallas[static_cast<std::size_t>(i)].valor;
    const Falla& x = f.fallas[static_cast<std::size_t>(k)];
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

void enOrdenDeClave(Dataset& ds) {
    // Index names as field names: letter case ignored, the first 10 characters.
    const std::string clave = tables::dbf::fieldKey("PROF_DIA_SES");
    for (const std::string& n : ds.indexNames())
        if (tables::dbf::fieldKey(n) == clave) return ds.setIndex(n);
}

std::vector<Hallazgo> revisa(const Dataset& h2, const Dataset& h3, const Catalogos& c,
                             const Dataset* pendiente2, const Dataset* pendiente3) {
    Revision r(c);
    r.revisaTodo(h2, h3, pendiente2, pendiente3);
    return r.hallazgos();
}

std::vector<LeccionSinColocar> leccionesSinColocar(const Dataset& soluc,
                                                   const validacion::Horas& horas) {
    const int fProf = requiere(soluc, "PROF"), fDia = requiere(soluc, "DIA"),
              fHora = requiere(soluc, "HORA"), fSesiones = requiere(soluc, "SESIONES"),
              fGrupo = requiere(soluc, "CODGRUPO"), fAsig = requiere(soluc, "ASIG");
    std::vector<LeccionSinColocar> out;
    const int n = soluc.recordCount();
    for (int i = 0; i < n; ++i) {
        const std::string prof = soluc.textAt(i, fProf), dia = soluc.textAt(i, fDia);
        if (validacion::omitida(prof, dia)) continue;
        const std::string hora = soluc.textAt(i, fHora);
        auto c = validacion::coloca(dia, hora, soluc.textAt(i, fSesiones), horas);
        if (c.motivo.empty()) continue;
        out.push_back({i + 1, prof, dia, hora, soluc.textAt(i, fGrupo), soluc.textAt(i, fAsig),
                       std::move(c.motivo)});
    }
    return out;
}

Revision revisaCarpeta(std::vector<std::string>* sinCatalogo) {
    auto ruta = [](const std::string& name) {
        return tables::mapPath("C:\\ZTEMP\\" + name + ".DBF");
    };
    auto falta = [&](const char* name) {
        if (sinCatalogo) sinCatalogo->push_back(name);
    };
    Dataset h2, h3;
    h2.open(ruta("CUADROH2"), tables::OpenMode::ReadOnly);
    h3.open(ruta("CUADROH3"), tables::OpenMode::ReadOnly);

    static const char* const nombres[7] = {"xelTIPDOC", "xelTIPTAR", "xelGRUPNIV", "xelASIGNAT",
                                           "xelIDIOMA", "xelOTRACT", "PLANTILLA"};
    Dataset cats[7];
    for (int i = 0; i < 7; ++i) {
        try {
            cats[i].open(ruta(nombres[i]), tables::OpenMode::ReadOnly);
        } catch (const std::exception&) {
            falta(nombres[i]);
        }
    }
    Revision r(
        leeCatalogos({&cats[0], &cats[1], &cats[2], &cats[3], &cats[4], &cats[5], &cats[6]}));

    cuadro::Centro centro;
    try {
        Dataset c;
        c.open(ruta("xelCENTRO"), tables::OpenMode::ReadOnly);
        if (!c.isEmpty()) centro = {c.text("CODCENTRO"), c.text("ANOACAD"), c.text("VERSION")};
    } catch (const std::exception&) {
        falta("xelCENTRO");
    }
    r.revisaCentro(centro.CODCENTRO, centro.ANOACAD, centro.VERSION);

    // The lessons an export would not place, when SOLUC and the bell schedule can be read.
    if (r.catalogos().horas) {
        try {
            Dataset soluc;
            soluc.open(tables::mapPath("c:\\ztemp\\SOLUC"), tables::OpenMode::ReadOnly);
            r.anotaLecciones(leccionesSinColocar(soluc, *r.catalogos().horas));
        } catch (const std::exception&) {
            falta("SOLUC");
        }
    }

    enOrdenDeClave(h2);
    enOrdenDeClave(h3);
    r.revisaTodo(h2, h3);
    return r;
}

}  // namespace tz::timetable::revision
