// The completeness check's table reading: the catalogues, the bell schedule's hours, the rows
// of CUADROH2 and CUADROH3 (pending edits included), the lessons of SOLUC and the exchange
// folder's tables as the adjustment window names them.
#include <algorithm>
#include <cstdint>

#include "tables/DbfFormat.h"
#include "tables/Paths.h"
#include "timetable/CuadroHorario.h"
#include "timetable/Revision.h"
#include "timetable/RevisionInterna.h"
#include "timetable/Texto.h"

namespace tz::timetable::revision {

using tables::Dataset;
using namespace interno;

namespace {

std::optional<Codigos> codigos(const Dataset* ds, const char* field, std::size_t cut = 0) {
    if (!ds || !ds->isOpen()) return std::nullopt;
    // A catalogue without its code field is unusable.
    const int f = ds->fieldIndex(field);
    if (f < 0) return std::nullopt;
    Codigos out;
    const int n = ds->recordCount();
    out.reserve(static_cast<std::size_t>(n) * 2);
    for (int i = 0; i < n; ++i) {
        std::string code = ds->textAt(i, f);
        if (cut && code.size() > cut) code.resize(cut);
        // Trailing spaces are gone already; a shortened code may end in one.
        while (!code.empty() && code.back() == ' ') code.pop_back();
        out.insert(code);
    }
    return out;
}

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
        const int fc = s.tiptar->fieldIndex("COD"), ff = s.tiptar->fieldIndex("OTRACTIV");
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

std::optional<validacion::Horas> leeHoras(const Dataset* plantilla) {
    if (!plantilla || !plantilla->isOpen()) return std::nullopt;
    const int f = plantilla->fieldIndex("HORA");
    if (f < 0) return std::nullopt;
    validacion::Horas horas;
    const int n = plantilla->recordCount();
    for (int i = 0; i < n; ++i)
        if (const auto h = validacion::entero(plantilla->textAt(i, f))) horas.insert(*h);
    return horas;
}

namespace {

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
        : pend_(editando(pendiente, ds) ? pendiente : nullptr),
          k_(campos(ds, nombres)),
          filas_(ds, k_) {
        if (pend_) pendMark_ = pend_->bookmark();
        bool todosCaracteres = true;
        for (std::size_t i = 0; i < N; ++i) {
            const auto k = static_cast<std::size_t>(k_[i]);
            car_[i] = ds.fields()[k].type == tables::FieldType::Character;
            trozo_[i] = ds.slice(k_[i]);
            todosCaracteres = todosCaracteres && car_[i];
            desde_ = std::min(desde_, trozo_[i].offset);
            hasta_ = std::max(hasta_, trozo_[i].offset + trozo_[i].width);
        }
        if (!todosCaracteres || desde_ > hasta_) desde_ = hasta_ = 0, porFila_ = false;
    }
    // Makes row `pos` (bookmark `mark`) the one `campo` reads, every field read at once: a
    // character field of a stored row in place, nearly every read.
    void fila(int pos, tables::Bookmark mark) {
        if (pend_ && mark == pendMark_) {
            for (std::size_t i = 0; i < N; ++i) valor_[i] = buf_[i] = pend_->text(k_[i]);
            sinControles_ = false;
            return;
        }
        filas_.row(pos, mark);
        const char* row = filas_.bytes();
        for (std::size_t i = 0; i < N; ++i) valor_[i] = car_[i] ? trozo_[i].in(row) : filas_[i];
        // The bytes that hold every checked field, looked at once.
        sinControles_ = porFila_ && !validacion::algunControl(row + desde_, hasta_ - desde_);
    }
    std::string_view campo(std::size_t i) const { return valor_[i]; }
    // No checked field of the row holds a control character (false when not known).
    bool sinControles() const { return sinControles_; }

  private:
    static std::vector<int> campos(const Dataset& ds, const char* const (&nombres)[N]) {
        std::vector<int> k;
        for (const char* n : nombres) k.push_back(ds.requireField(n));
        return k;
    }
    const Dataset* pend_;
    tables::Bookmark pendMark_ = 0;
    std::vector<int> k_;
    tables::RowReader filas_;
    std::array<bool, N> car_{};
    std::array<Dataset::FieldSlice, N> trozo_{};
    std::array<std::string, N> buf_;
    std::array<std::string_view, N> valor_{};
    // The checked fields lie within bytes desde_ to hasta_ of a row (porFila_: all are
    // character fields, read in place).
    std::uint32_t desde_ = ~std::uint32_t{0}, hasta_ = 0;
    bool porFila_ = true;
    bool sinControles_ = false;
};

constexpr const char* kCampos2[] = {
    "TIPDOC", "ABREVPROF", "DOC",          "NUMSESION", "DIASEM",  "TIPTAR",  "GRUPNIV", "CODASIG",
    "IDIOMA", "TIP_ACTIV", "PROF_DIA_SES", "HORAINI",   "HORAFIN", "TIPASIG", "AULA_OBS"};
constexpr const char* kCampos3[] = {"ABREVGRUP",    "CODGRUPO", "ABREVPROF", "NUMSESGRUP", "DIASEM",
                                    "PROF_DIA_SES", "TIPDOC",   "DOC",       "NUMALUM"};
constexpr std::size_t kN2 = std::size(kCampos2), kN3 = std::size(kCampos3);
// Bytes of texts reserved per row for a whole check: the identity and three findings.
constexpr std::size_t kTextosPorFila = 24 + 3 * (kBytesFalla + 2);

// Checks the row the reader is on; its identity when it lacks something.
bool revisaEn(Lector<kN2>& l, const Catalogos& c, Faltas& faltas, Identidad& id) {
    const Fila2 f{l.campo(0),  l.campo(1),  l.campo(2),  l.campo(3),  l.campo(4),
                  l.campo(5),  l.campo(6),  l.campo(7),  l.campo(8),  l.campo(9),
                  l.campo(10), l.campo(11), l.campo(12), l.campo(13), l.campo(14)};
    revisa2(f, c, faltas, l.sinControles());
    if (faltas.n == 0) return false;
    id = identidad(f);
    return true;
}
bool revisaEn(Lector<kN3>& l, const Catalogos& c, Faltas& faltas, Identidad& id) {
    const Fila3 f{l.campo(0), l.campo(1), l.campo(2), l.campo(3), l.campo(4),
                  l.campo(5), l.campo(6), l.campo(7), l.campo(8)};
    revisa3(f, c, faltas, l.sinControles());
    if (faltas.n == 0) return false;
    id = identidad(f);
    return true;
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
        f.n = static_cast<std::uint8_t>(faltas.n);
        textos.append(reinterpret_cast<const char*>(faltas.fallas.data()), f.n * kBytesFalla);
        for (std::size_t i = 0; i < id.size(); ++i) {
            f.largo[i] = largo(id[i]);
            textos.append(id[i].substr(0, f.largo[i]));
        }
        for (int i = 0; i < faltas.n; ++i) {
            const auto k = static_cast<std::size_t>(i);
            textos.append(faltas.valores[k].substr(0, faltas.fallas[k].valor));
            f.valores += faltas.fallas[k].valor;
        }
        f.registro = mark;
        f.tipo = static_cast<std::uint8_t>(tipo);
        out.push_back(f);
    };
    if (marcas) {
        for (tables::Bookmark mark : *marcas)
            if (const int pos = ds.positionOf(mark); pos >= 0) una(pos, mark);
        return;
    }
    // Every row: their bookmarks in one walk, each row's bytes fetched a few rows ahead (the
    // rows of an index lie anywhere in memory).
    const std::vector<tables::Bookmark> todas = ds.bookmarks();
    const int n = static_cast<int>(todas.size());
    for (int pos = 0; pos < n; ++pos) {
        if (pos + 8 < n) __builtin_prefetch(ds.rowOf(todas[static_cast<std::size_t>(pos + 8)]));
        una(pos, todas[static_cast<std::size_t>(pos)]);
    }
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
        // Room for a finding in every row, and for the texts of a row with a few findings: the
        // check of a large timetable then fills its room once instead of copying it as it grows
        // (room never written is never given memory).
        const auto filas = static_cast<std::size_t>(h2.recordCount() + h3.recordCount());
        filas_.reserve(filas);
        textos_.reserve(filas * kTextosPorFila);
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
    const int fProf = soluc.requireField("PROF"), fDia = soluc.requireField("DIA"),
              fHora = soluc.requireField("HORA"), fSesiones = soluc.requireField("SESIONES"),
              fGrupo = soluc.requireField("CODGRUPO"), fAsig = soluc.requireField("ASIG");
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
