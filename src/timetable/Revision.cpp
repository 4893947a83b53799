#include "timetable/Revision.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <tuple>

#include "tables/Cp1252.h"
#include "tables/Paths.h"
#include "timetable/Texto.h"

namespace tz::timetable::revision {

using tables::Dataset;

Lectiva leeOtractiv(std::string_view flag) {
    const std::string f = trimControls(flag);
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

// Order of the checked fields in the window's columns.
int ordenCampo(std::string_view campo) {
    static constexpr std::string_view orden[] = {"TIPDOC",  "DOC",    "TIPTAR",    "GRUPNIV",
                                                 "CODASIG", "IDIOMA", "TIP_ACTIV", "CODGRUPO"};
    for (int i = 0; i < 8; ++i)
        if (orden[i] == campo) return i;
    return 8;
}

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

std::string Hallazgo::columna() const {
    if (falta == Falta::AsigOActiv) return "Cód.ASIG o ACTIV.";
    static const std::pair<std::string_view, const char*> titulos[] = {
        {"TIPDOC", "TipoDOC"},   {"DOC", "Documento DNI"}, {"TIPTAR", "TAREA"},
        {"GRUPNIV", "G.NIVEL"},  {"CODASIG", "Cód.ASIG"},  {"IDIOMA", "IDIOMA"},
        {"TIP_ACTIV", "ACTIV."}, {"CODGRUPO", "Cód.GRUPO"}};
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
        case Falta::EnBlanco:
            break;
    }
    if (!posible) return "en blanco";
    const bool lectiva = campo != "TIP_ACTIV";
    return "en blanco (posible: la TAREA \"" + utf8(tarea) + "\" " + (lectiva ? "es" : "NO es") +
           " \"Lectiva\")";
}

std::string Hallazgo::linea() const {
    std::string s =
        "Profesor " + utf8(profesor) + ", día " + utf8(dia) + ", sesión " + utf8(sesion);
    if (tipo == 3) s += ", grupo " + utf8(grupo);
    return s + ", " + columna() + ": " + descripcion();
}

Resumen resume(const std::vector<Hallazgo>& hallazgos) {
    Resumen r;
    std::unordered_set<tables::Bookmark> filas2, filas3;
    for (const Hallazgo& h : hallazgos) {
        (h.tipo == 2 ? filas2 : filas3).insert(h.registro);
        if (h.posible) ++r.posibles;
    }
    r.tipo2 = static_cast<int>(filas2.size());
    r.tipo3 = static_cast<int>(filas3.size());
    return r;
}

std::string textoResumen(const Resumen& r) {
    if (r.registros() == 0) return "Ningún registro por codificar: no falta ningún código XEL.";
    std::string s = "Registros por codificar: " + std::to_string(r.registros()) + " (" +
                    std::to_string(r.tipo2) + " de tipo 2, " + std::to_string(r.tipo3) +
                    " de tipo 3)";
    if (r.posibles > 0)
        s += "; " + std::to_string(r.posibles) +
             (r.posibles == 1 ? " hallazgo posible" : " hallazgos posibles");
    return s + ".";
}

// --- The check --------------------------------------------------------------------------------

void revisaFila(const Fila2& f, tables::Bookmark registro, const Catalogos& c,
                std::vector<Hallazgo>& out) {
    auto add = [&](const char* campo, Falta falta, std::string_view valor = {},
                   bool posible = false) {
        Hallazgo h;
        h.tipo = 2;
        h.profesor = f.ABREVPROF;
        h.dia = f.DIASEM;
        h.sesion = f.NUMSESION;
        h.clave = f.PROF_DIA_SES;
        h.campo = campo;
        h.valor = valor;
        h.tarea = f.TIPTAR;
        h.falta = falta;
        h.posible = posible;
        h.registro = registro;
        out.push_back(std::move(h));
    };
    // A blank code, or one its catalogue lacks.
    auto code = [&](const char* campo, std::string_view v, const std::optional<Codigos>& cat) {
        if (blank(v))
            add(campo, Falta::EnBlanco);
        else if (!contiene(cat, v))
            add(campo, Falta::NoEnCatalogo, v);
    };

    code("TIPDOC", f.TIPDOC, c.tipdoc);
    if (blank(f.DOC)) add("DOC", Falta::EnBlanco);

    Lectiva lectiva = Lectiva::Desconocida;
    if (blank(f.TIPTAR)) {
        add("TIPTAR", Falta::EnBlanco);
    } else if (c.tiptar) {
        auto it = c.tiptar->find(f.TIPTAR);
        if (it == c.tiptar->end())
            add("TIPTAR", Falta::NoEnCatalogo, f.TIPTAR);
        else
            lectiva = it->second;
    }
    code("GRUPNIV", f.GRUPNIV, c.grupniv);

    // Codes present are checked against their catalogues whatever the task is.
    const bool asig = !blank(f.CODASIG), idioma = !blank(f.IDIOMA), activ = !blank(f.TIP_ACTIV);
    if (asig && !contiene(c.asignat, f.CODASIG)) add("CODASIG", Falta::NoEnCatalogo, f.CODASIG);
    if (idioma && !contiene(c.idioma, f.IDIOMA)) add("IDIOMA", Falta::NoEnCatalogo, f.IDIOMA);
    if (activ && !contiene(c.otract, f.TIP_ACTIV))
        add("TIP_ACTIV", Falta::NoEnCatalogo, f.TIP_ACTIV);

    // The "Lectiva" rule, as far as the task's flag tells.
    switch (lectiva) {
        case Lectiva::Si:
            if (!asig) add("CODASIG", Falta::EnBlanco, {}, true);
            if (!idioma) add("IDIOMA", Falta::EnBlanco, {}, true);
            break;
        case Lectiva::No:
            if (!activ) add("TIP_ACTIV", Falta::EnBlanco, {}, true);
            break;
        case Lectiva::Desconocida:
            // Whichever it is, one of the two must be there.
            if (!asig && !activ) add("CODASIG", Falta::AsigOActiv, {}, true);
            break;
    }
}

void revisaFila(const Fila3& f, tables::Bookmark registro, std::vector<Hallazgo>& out) {
    if (!blank(f.CODGRUPO)) return;
    Hallazgo h;
    h.tipo = 3;
    h.profesor = f.ABREVPROF;
    h.dia = f.DIASEM;
    h.sesion = f.NUMSESGRUP;
    h.clave = f.PROF_DIA_SES;
    h.grupo = f.ABREVGRUP;
    h.campo = "CODGRUPO";
    h.registro = registro;
    out.push_back(std::move(h));
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

}  // namespace

std::vector<Hallazgo> revisa(const Dataset& h2, const Dataset& h3, const Catalogos& c,
                             const Dataset* pendiente2, const Dataset* pendiente3) {
    std::vector<Hallazgo> out;

    {
        enum {
            TIPDOC,
            ABREVPROF,
            DOC,
            NUMSESION,
            DIASEM,
            TIPTAR,
            GRUPNIV,
            CODASIG,
            IDIOMA,
            TIP_ACTIV,
            PROF_DIA_SES,
            N
        };
        static const char* const nombres[N] = {"TIPDOC", "ABREVPROF", "DOC",         "NUMSESION",
                                               "DIASEM", "TIPTAR",    "GRUPNIV",     "CODASIG",
                                               "IDIOMA", "TIP_ACTIV", "PROF_DIA_SES"};
        std::array<int, N> k{};
        for (int i = 0; i < N; ++i) k[i] = requiere(h2, nombres[i]);
        const bool pend = editando(pendiente2, h2);
        const tables::Bookmark pendMark = pend ? pendiente2->bookmark() : 0;
        std::array<std::string, N> v;
        const int n = h2.recordCount();
        for (int r = 0; r < n; ++r) {
            const tables::Bookmark mark = h2.bookmarkAt(r);
            for (int i = 0; i < N; ++i)
                v[i] = pend && mark == pendMark ? pendiente2->text(k[i]) : h2.textAt(r, k[i]);
            revisaFila(Fila2{v[TIPDOC], v[ABREVPROF], v[DOC], v[NUMSESION], v[DIASEM], v[TIPTAR],
                             v[GRUPNIV], v[CODASIG], v[IDIOMA], v[TIP_ACTIV], v[PROF_DIA_SES]},
                       mark, c, out);
        }
    }
    {
        enum { ABREVGRUP, CODGRUPO, ABREVPROF, NUMSESGRUP, DIASEM, PROF_DIA_SES, N };
        static const char* const nombres[N] = {"ABREVGRUP",  "CODGRUPO", "ABREVPROF",
                                               "NUMSESGRUP", "DIASEM",   "PROF_DIA_SES"};
        std::array<int, N> k{};
        for (int i = 0; i < N; ++i) k[i] = requiere(h3, nombres[i]);
        const bool pend = editando(pendiente3, h3);
        const tables::Bookmark pendMark = pend ? pendiente3->bookmark() : 0;
        std::array<std::string, N> v;
        const int n = h3.recordCount();
        for (int r = 0; r < n; ++r) {
            const tables::Bookmark mark = h3.bookmarkAt(r);
            // Only the code is read for every row; the rest only when it is blank.
            v[CODGRUPO] = pend && mark == pendMark ? pendiente3->text(k[CODGRUPO])
                                                   : h3.textAt(r, k[CODGRUPO]);
            if (!blank(v[CODGRUPO])) continue;
            for (int i = 0; i < N; ++i)
                v[i] = pend && mark == pendMark ? pendiente3->text(k[i]) : h3.textAt(r, k[i]);
            revisaFila(Fila3{v[ABREVGRUP], v[CODGRUPO], v[ABREVPROF], v[NUMSESGRUP], v[DIASEM],
                             v[PROF_DIA_SES]},
                       mark, out);
        }
    }

    // Sorted through an index: moving whole findings in the sort costs more than the check.
    std::vector<int> orden(out.size());
    std::vector<std::uint32_t> idx(out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        orden[i] = ordenCampo(out[i].campo);
        idx[i] = static_cast<std::uint32_t>(i);
    }
    std::sort(idx.begin(), idx.end(), [&](std::uint32_t x, std::uint32_t y) {
        const Hallazgo &a = out[x], &b = out[y];
        if (const int c = a.clave.compare(b.clave); c != 0) return c < 0;
        return std::tie(a.tipo, a.registro, orden[x], x) <
               std::tie(b.tipo, b.registro, orden[y], y);
    });
    std::vector<Hallazgo> sorted;
    sorted.reserve(out.size());
    for (std::uint32_t i : idx) sorted.push_back(std::move(out[i]));
    return sorted;
}

std::vector<Hallazgo> revisaCarpeta(std::vector<std::string>* sinCatalogo) {
    auto ruta = [](const std::string& name) {
        return tables::mapPath("C:\\ZTEMP\\" + name + ".DBF");
    };
    Dataset h2, h3;
    h2.open(ruta("CUADROH2"), tables::OpenMode::ReadOnly);
    h3.open(ruta("CUADROH3"), tables::OpenMode::ReadOnly);

    static const char* const nombres[6] = {"xelTIPDOC",  "xelTIPTAR", "xelGRUPNIV",
                                           "xelASIGNAT", "xelIDIOMA", "xelOTRACT"};
    Dataset cats[6];
    for (int i = 0; i < 6; ++i) {
        try {
            cats[i].open(ruta(nombres[i]), tables::OpenMode::ReadOnly);
        } catch (const std::exception&) {
            if (sinCatalogo) sinCatalogo->push_back(nombres[i]);
        }
    }
    const Catalogos c = leeCatalogos({&cats[0], &cats[1], &cats[2], &cats[3], &cats[4], &cats[5]});
    return revisa(h2, h3, c);
}

}  // namespace tz::timetable::revision
