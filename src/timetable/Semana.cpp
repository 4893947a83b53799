#include "timetable/Semana.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "base/Text.h"
#include "tables/Cp1252.h"
#include "timetable/Texto.h"

namespace tz::timetable::semana {

using tables::Dataset;

namespace {

// A lesson covers at most this many bell rows, however its times read.
constexpr int kMaxFilas = 12;

std::string utf8(std::string_view b) { return cp1252::toUtf8(b); }

// A whole number written with digits only (spaces around allowed), else nothing.
std::optional<int> numero(std::string_view v) {
    const std::string t(base::trimControls(v));
    if (t.empty() || t.size() > 6) return std::nullopt;
    int n = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace

std::optional<int> minutos(std::string_view hhmm) {
    const std::string t(base::trimControls(hhmm));
    const auto colon = t.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || t.size() != colon + 3)
        return std::nullopt;
    const auto h = numero(std::string_view(t).substr(0, colon));
    const auto m = numero(std::string_view(t).substr(colon + 1));
    if (!h || !m || *h > 24 || *m > 59) return std::nullopt;
    return *h * 60 + *m;
}

std::vector<Franja> leePlantilla(const Dataset& ds) {
    std::map<int, Franja> porHora;
    if (!ds.isOpen()) return {};
    const int fh = ds.requireField("HORA"), fi = ds.requireField("HORAINI"),
              ff = ds.requireField("HORAFIN");
    const int n = ds.recordCount();
    for (int i = 0; i < n; ++i) {
        const auto hora = numero(ds.textAt(i, fh));
        if (!hora) continue;
        porHora.try_emplace(*hora, Franja{*hora, ds.textAt(i, fi), ds.textAt(i, ff)});
    }
    std::vector<Franja> out;
    out.reserve(porHora.size());
    for (auto& [h, f] : porHora) out.push_back(std::move(f));
    return out;
}

std::string nombreDia(std::string_view dia) {
    static const char* const nombres[] = {"Lunes",   "Martes", "Miércoles", "Jueves",
                                          "Viernes", "Sábado", "Domingo"};
    const auto n = numero(dia);
    return n && *n >= 1 && *n <= 7 ? nombres[*n - 1] : "";
}

// --- Texts ------------------------------------------------------------------------------------

std::string Periodo::titulo() const {
    std::string s = blank(tarea) ? std::string("¿TAREA?") : utf8(tarea);
    if (!blank(asignatura)) s += " " + utf8(asignatura);
    if (!blank(codasig)) s += " (" + utf8(codasig) + ")";
    if (!blank(actividad)) s += " ACTIV. " + utf8(actividad);
    return s;
}

std::string Periodo::textoGrupos() const {
    if (grupos.empty()) return "sin grupo";
    std::string s;
    for (const Grupo& g : grupos) {
        if (!s.empty()) s += ", ";
        s += blank(g.abrev) ? std::string("¿grupo?") : utf8(g.abrev);
        s += " (" + (blank(g.codigo) ? std::string("¿Cód.GRUPO?") : utf8(g.codigo)) + ")";
    }
    return s;
}

std::string Periodo::textoFaltas() const {
    // Blank codes, then codes the catalogues lack; a finding that depends on how the task reads
    // carries a question mark.
    std::vector<std::string> falta, desconocido;
    for (const revision::Hallazgo& h : hallazgos) {
        auto& lista = h.falta == revision::Falta::NoEnCatalogo ? desconocido : falta;
        std::string c = h.columna() + (h.posible ? "?" : "");
        if (std::find(lista.begin(), lista.end(), c) == lista.end()) lista.push_back(std::move(c));
    }
    auto junta = [](const std::vector<std::string>& v) {
        std::string s;
        for (std::size_t i = 0; i < v.size(); ++i) s += (i ? ", " : "") + v[i];
        return s;
    };
    std::string s;
    if (!falta.empty()) s = "Falta: " + junta(falta);
    if (!desconocido.empty())
        s += (s.empty() ? "" : "; ") + ("No en catálogo: " + junta(desconocido));
    return s;
}

std::string Periodo::textoHoras() const {
    if (blank(horaIni) && blank(horaFin)) return "";
    return utf8(horaIni) + "–" + utf8(horaFin);
}

std::string Periodo::campoInicial() const {
    for (const revision::Hallazgo& h : hallazgos)
        if (h.tipo == 2) return h.campo;
    return "DIASEM";
}

std::string Fila::titulo() const {
    std::string s = blank(sesion) ? std::string("Sesión en blanco") : "Sesión " + utf8(sesion);
    if (!enPlantilla) s += " (fuera de la plantilla)";
    return s;
}

std::string Fila::horas() const {
    if (blank(inicio) && blank(fin)) return "";
    return utf8(inicio) + "–" + utf8(fin);
}

// --- The grid ---------------------------------------------------------------------------------

std::size_t Semana::at(int fila, int columna) const {
    return static_cast<std::size_t>(fila) * columnas_.size() + static_cast<std::size_t>(columna);
}

const std::vector<int>& Semana::empiezan(int fila, int columna) const {
    static const std::vector<int> none;
    if (fila < 0 || columna < 0 || fila >= static_cast<int>(filas_.size()) ||
        columna >= static_cast<int>(columnas_.size()))
        return none;
    return empiezan_[at(fila, columna)];
}

const std::vector<int>& Semana::siguen(int fila, int columna) const {
    static const std::vector<int> none;
    if (fila < 0 || columna < 0 || fila >= static_cast<int>(filas_.size()) ||
        columna >= static_cast<int>(columnas_.size()))
        return none;
    return siguen_[at(fila, columna)];
}

std::vector<int> Semana::enCelda(int fila, int columna) const {
    std::vector<int> out = empiezan(fila, columna);
    const auto& s = siguen(fila, columna);
    out.insert(out.end(), s.begin(), s.end());
    return out;
}

int Semana::periodoDe(tables::Bookmark registro) const {
    for (std::size_t i = 0; i < periodos_.size(); ++i)
        if (periodos_[i].registro == registro) return static_cast<int>(i);
    return -1;
}

int Semana::maximoEnFila(int fila) const {
    std::size_t most = 0;
    for (int c = 0; c < static_cast<int>(columnas_.size()); ++c)
        most = std::max(most, empiezan(fila, c).size());
    return static_cast<int>(most);
}

void Semana::recuenta() {
    // A type 3 row shows under every period of its slot key, as the text file writes it after
    // each of their type 2 records; its findings count once.
    std::set<std::pair<tables::Bookmark, std::string>> tipo3;
    hallazgos_ = 0;
    for (const Periodo& p : periodos_)
        for (const revision::Hallazgo& h : p.hallazgos)
            if (h.tipo != 3 || tipo3.emplace(h.registro, h.campo).second) ++hallazgos_;
}

int Semana::alto(int fila, int columna) const {
    if (fila < 0 || columna < 0 || fila >= static_cast<int>(filas_.size()) ||
        columna >= static_cast<int>(columnas_.size()))
        return 1;
    auto solo = [&](int r) {
        const auto& s = siguen(r, columna);
        return s.size() == 1 && empiezan(r, columna).empty() ? s[0] : -1;
    };
    // Taken by the cell above when this one only carries on what that one started.
    if (const int p = solo(fila); p >= 0) {
        const Periodo& q = periodos_[static_cast<std::size_t>(p)];
        if (alto(q.fila, columna) > fila - q.fila) return 0;
    }
    const auto& e = empiezan(fila, columna);
    if (e.size() != 1 || !siguen(fila, columna).empty()) return 1;
    const Periodo& q = periodos_[static_cast<std::size_t>(e[0])];
    for (int k = 1; k < q.filas; ++k)
        if (solo(fila + k) != e[0]) return 1;
    return q.filas;
}

std::vector<std::string> Semana::avisos() const {
    std::vector<std::string> out;
    for (const Periodo& p : periodos_) {
        const std::string donde =
            "Día " + (blank(p.dia) ? std::string("(en blanco)") : utf8(p.dia)) + ", sesión " +
            (blank(p.sesion) ? std::string("(en blanco)") : utf8(p.sesion));
        if (p.fueraDeSemana) out.push_back(donde + ": el día no es de lunes a domingo");
        if (p.fueraDePlantilla)
            out.push_back(donde + ": la sesión no está en la plantilla horaria");
    }
    return out;
}

std::vector<LineaCelda> lineasCelda(const Semana& s, int fila, int columna, int caben) {
    std::vector<std::vector<LineaCelda>> items;
    for (int i : s.empiezan(fila, columna)) {
        const Periodo& p = s.periodos()[static_cast<std::size_t>(i)];
        std::vector<LineaCelda> v{{LineaCelda::Titulo, p.titulo(), i},
                                  {LineaCelda::Grupos, p.textoGrupos(), i}};
        if (std::string f = p.textoFaltas(); !f.empty())
            v.push_back({LineaCelda::Faltas, std::move(f), i});
        items.push_back(std::move(v));
    }
    for (int i : s.siguen(fila, columna)) {
        const Periodo& p = s.periodos()[static_cast<std::size_t>(i)];
        items.push_back({{LineaCelda::Sigue, "↳ " + p.titulo() + " (sigue)", i}});
    }
    caben = std::max(1, caben);
    std::size_t todas = 0;
    for (const auto& v : items) todas += v.size();
    std::vector<LineaCelda> out;
    if (static_cast<int>(todas) <= caben) {
        for (auto& v : items) out.insert(out.end(), v.begin(), v.end());
        return out;
    }
    // One line each; a period that lacks codes keeps saying so by its kind.
    const int sitio = static_cast<int>(items.size()) <= caben ? caben : caben - 1;
    for (int k = 0; k < sitio && k < static_cast<int>(items.size()); ++k) {
        LineaCelda l = items[static_cast<std::size_t>(k)][0];
        if (items[static_cast<std::size_t>(k)].size() > 2) l.tipo = LineaCelda::Incompleto;
        out.push_back(std::move(l));
    }
    if (static_cast<int>(items.size()) > sitio)
        out.push_back({LineaCelda::Mas,
                       "+" + std::to_string(static_cast<int>(items.size()) - sitio) + " más"});
    return out;
}

int lineasFila(const Semana& s, int fila) {
    int most = 0;
    for (int c = 0; c < static_cast<int>(s.columnas().size()); ++c) {
        int n = 0;
        for (int i : s.empiezan(fila, c))
            n += s.periodos()[static_cast<std::size_t>(i)].textoFaltas().empty() ? 2 : 3;
        n += static_cast<int>(s.siguen(fila, c).size());
        most = std::max(most, n);
    }
    return most;
}

namespace {

// Reads the type 2 rows of a view, and the groups of a period.
class Lector2 {
  public:
    explicit Lector2(const Dataset& d)
        : d_(d),
          kProf(d.requireField("ABREVPROF")),
          kDia(d.requireField("DIASEM")),
          kSes(d.requireField("NUMSESION")),
          kKey(d.requireField("PROF_DIA_SES")),
          kTar(d.requireField("TIPTAR")),
          kAsig(d.requireField("ABREVASIG")),
          kCod(d.requireField("CODASIG")),
          kNiv(d.requireField("GRUPNIV")),
          kIdi(d.requireField("IDIOMA")),
          kAct(d.requireField("TIP_ACTIV")),
          kIni(d.requireField("HORAINI")),
          kFin(d.requireField("HORAFIN")),
          kAula(d.requireField("AULA_OBS")),
          kTip(d.requireField("TIPDOC")),
          kDoc(d.requireField("DOC")) {}

    Periodo lee(int i, const revision::Catalogos* catalogos) const {
        Periodo p;
        p.registro = d_.bookmarkAt(i);
        p.posicion = i;
        p.profesor = d_.textAt(i, kProf);
        p.dia = d_.textAt(i, kDia);
        p.sesion = d_.textAt(i, kSes);
        p.clave = d_.textAt(i, kKey);
        p.tarea = d_.textAt(i, kTar);
        p.asignatura = d_.textAt(i, kAsig);
        p.codasig = d_.textAt(i, kCod);
        p.nivel = d_.textAt(i, kNiv);
        p.idioma = d_.textAt(i, kIdi);
        p.actividad = d_.textAt(i, kAct);
        p.horaIni = d_.textAt(i, kIni);
        p.horaFin = d_.textAt(i, kFin);
        p.aula = d_.textAt(i, kAula);
        if (catalogos) {
            revision::Fila2 r;
            const std::string tipdoc = d_.textAt(i, kTip), doc = d_.textAt(i, kDoc);
            r.TIPDOC = tipdoc;
            r.ABREVPROF = p.profesor;
            r.DOC = doc;
            r.NUMSESION = p.sesion;
            r.DIASEM = p.dia;
            r.TIPTAR = p.tarea;
            r.GRUPNIV = p.nivel;
            r.CODASIG = p.codasig;
            r.IDIOMA = p.idioma;
            r.TIP_ACTIV = p.actividad;
            r.PROF_DIA_SES = p.clave;
            revision::revisaFila(r, p.registro, *catalogos, p.hallazgos);
        }
        return p;
    }

  private:
    const Dataset& d_;
    const int kProf, kDia, kSes, kKey, kTar, kAsig, kCod, kNiv, kIdi, kAct, kIni, kFin, kAula, kTip,
        kDoc;
};

// The groups of a slot key, as the text file takes them: the CUADROH3 rows of that key. The
// row being edited in `pendiente` reads as typed.
class Lector3 {
  public:
    Lector3(Dataset& h3, const Dataset* pendiente)
        : h3_(h3),
          gAbr(h3.requireField("ABREVGRUP")),
          gCod(h3.requireField("CODGRUPO")),
          gNum(h3.requireField("NUMALUM")),
          gKey(h3.requireField("PROF_DIA_SES")),
          gProf(h3.requireField("ABREVPROF")),
          gSes(h3.requireField("NUMSESGRUP")),
          gDia(h3.requireField("DIASEM")) {
        editando_ = pendiente && pendiente->isOpen() &&
                    pendiente->state() == tables::DatasetState::Edit && !pendiente->isEmpty();
        if (editando_) {
            pend_ = pendiente;
            editado_ = pendiente->bookmark();
            pendPos_ = pendiente->position();
        }
    }

    void grupos(Periodo& p, const revision::Catalogos* catalogos) {
        if (h3_.isEmpty() || !h3_.findKey(p.clave)) return;
        const int n3 = h3_.recordCount();
        for (int j = h3_.position(); j < n3; ++j) {
            if (h3_.textViewAt(j, gKey) != p.clave) break;
            const tables::Bookmark b = h3_.bookmarkAt(j);
            const bool tecleado = editando_ && b == editado_;
            auto v = [&](const char* name, int k) {
                return tecleado ? pend_->textAt(pendPos_, pend_->requireField(name))
                                : h3_.textAt(j, k);
            };
            Grupo g{v("ABREVGRUP", gAbr), v("CODGRUPO", gCod), v("NUMALUM", gNum), b};
            if (catalogos) {
                const std::string prof = v("ABREVPROF", gProf), ses = v("NUMSESGRUP", gSes),
                                  dia = v("DIASEM", gDia), key = v("PROF_DIA_SES", gKey);
                revision::Fila3 r;
                r.ABREVGRUP = g.abrev;
                r.CODGRUPO = g.codigo;
                r.ABREVPROF = prof;
                r.NUMSESGRUP = ses;
                r.DIASEM = dia;
                r.PROF_DIA_SES = key;
                revision::revisaFila(r, b, p.hallazgos);
            }
            p.grupos.push_back(std::move(g));
        }
    }

  private:
    Dataset& h3_;
    const int gAbr, gCod, gNum, gKey, gProf, gSes, gDia;
    bool editando_ = false;
    const Dataset* pend_ = nullptr;
    tables::Bookmark editado_ = 0;
    int pendPos_ = -1;
};

bool usable(const Dataset* d) { return d && d->isOpen(); }

}  // namespace

bool Semana::relee(int i, const Fuentes& f) {
    if (i < 0 || i >= static_cast<int>(periodos_.size()) || !usable(f.tipo2)) return false;
    Periodo& p = periodos_[static_cast<std::size_t>(i)];
    const Dataset& d = *f.tipo2;
    if (p.posicion < 0 || p.posicion >= d.recordCount() || d.bookmarkAt(p.posicion) != p.registro)
        return false;
    Periodo q = Lector2(d).lee(p.posicion, f.catalogos);
    if (usable(f.tipo3)) Lector3(*f.tipo3, f.pendiente3).grupos(q, f.catalogos);
    // What places it must stay as it was.
    if (q.dia != p.dia || q.sesion != p.sesion || q.horaIni != p.horaIni || q.horaFin != p.horaFin)
        return false;
    q.fila = p.fila;
    q.columna = p.columna;
    q.filas = p.filas;
    q.fueraDePlantilla = p.fueraDePlantilla;
    q.fueraDeSemana = p.fueraDeSemana;
    p = std::move(q);
    recuenta();
    return true;
}

struct Constructor {
    static Semana construye(const Fuentes& f);
};

Semana construye(const Fuentes& f) { return Constructor::construye(f); }

Semana Constructor::construye(const Fuentes& f) {
    Semana w;
    static const std::vector<Franja> sinPlantilla;
    const std::vector<Franja>& bell = f.plantilla ? *f.plantilla : sinPlantilla;
    std::unordered_map<int, int> filaDeHora;  // hour number → bell row
    for (std::size_t i = 0; i < bell.size(); ++i)
        filaDeHora.emplace(bell[i].hora, static_cast<int>(i));

    // The type 2 rows. In Insert state the new row sits at position recordCount(): not a
    // stored period.
    if (usable(f.tipo2)) {
        const Dataset& d = *f.tipo2;
        const int n = d.recordCount();
        const int hasta = f.hasta < 0 ? n : std::min(f.hasta, n);
        const Lector2 lector(d);
        for (int i = std::max(0, f.desde); i < hasta; ++i)
            w.periodos_.push_back(lector.lee(i, f.catalogos));
    }
    if (usable(f.tipo3)) {
        Lector3 lector(*f.tipo3, f.pendiente3);
        for (Periodo& p : w.periodos_) lector.grupos(p, f.catalogos);
    }

    // Columns: Monday to Friday always, Saturday and Sunday when used, then any other value.
    std::vector<std::string> otros;
    bool finde[2] = {false, false};
    for (Periodo& p : w.periodos_) {
        const auto d = numero(p.dia);
        if (d && *d >= 1 && *d <= 7) {
            if (*d >= 6) finde[*d - 6] = true;
        } else {
            p.fueraDeSemana = true;
            if (std::find(otros.begin(), otros.end(), p.dia) == otros.end()) otros.push_back(p.dia);
        }
    }
    std::sort(otros.begin(), otros.end());
    for (int d = 1; d <= 7; ++d) {
        if (d >= 6 && !finde[d - 6]) continue;
        const std::string v = std::to_string(d);
        w.columnas_.push_back({v, nombreDia(v), true});
    }
    for (const std::string& o : otros)
        w.columnas_.push_back(
            {o, blank(o) ? std::string("Día (en blanco)") : "Día " + utf8(o), false});
    auto columnaDe = [&](const Periodo& p) {
        const auto d = numero(p.dia);
        const bool enSemana = d && *d >= 1 && *d <= 7;
        const std::string dia = enSemana ? std::to_string(*d) : p.dia;
        for (std::size_t c = 0; c < w.columnas_.size(); ++c)
            if (w.columnas_[c].enSemana == enSemana && w.columnas_[c].dia == dia)
                return static_cast<int>(c);
        return 0;
    };

    // Rows: the bell schedule from its first hour to the last one a period reaches, then one row
    // for each session the bell schedule does not have.
    int ultima = -1;
    std::vector<std::string> fuera;
    for (Periodo& p : w.periodos_) {
        const auto s = numero(p.sesion);
        auto it = s ? filaDeHora.find(*s) : filaDeHora.end();
        if (it == filaDeHora.end()) {
            p.fueraDePlantilla = true;
            if (std::find(fuera.begin(), fuera.end(), p.sesion) == fuera.end())
                fuera.push_back(p.sesion);
            continue;
        }
        p.fila = it->second;
        // Further bell rows that start before the period ends (and after it starts).
        const auto fin = minutos(p.horaFin);
        const auto ini0 = minutos(bell[static_cast<std::size_t>(p.fila)].inicio);
        int k = 1;
        while (fin && ini0 && k < kMaxFilas && p.fila + k < static_cast<int>(bell.size())) {
            const auto ini = minutos(bell[static_cast<std::size_t>(p.fila + k)].inicio);
            if (!ini || *ini < *ini0 || *ini >= *fin) break;
            ++k;
        }
        p.filas = k;
        ultima = std::max(ultima, p.fila + k - 1);
    }
    for (int i = 0; i <= ultima; ++i) {
        const Franja& b = bell[static_cast<std::size_t>(i)];
        w.filas_.push_back({std::to_string(b.hora), b.inicio, b.fin, true});
    }
    std::sort(fuera.begin(), fuera.end(), [](const std::string& a, const std::string& b) {
        const auto x = numero(a), y = numero(b);
        if (x && y) return *x < *y;
        if (x || y) return x.has_value();  // numbers first
        return a < b;
    });
    for (const std::string& s : fuera) {
        Fila row{s, "", "", false};
        for (const Periodo& p : w.periodos_)
            if (p.fueraDePlantilla && p.sesion == s) {
                row.inicio = p.horaIni;
                row.fin = p.horaFin;
                break;
            }
        w.filas_.push_back(std::move(row));
    }
    const int primeraFuera = ultima + 1;
    for (Periodo& p : w.periodos_) {
        if (!p.fueraDePlantilla) continue;
        p.fila = primeraFuera +
                 static_cast<int>(std::find(fuera.begin(), fuera.end(), p.sesion) - fuera.begin());
        p.filas = 1;
    }

    // Cells.
    const std::size_t cells = w.filas_.size() * w.columnas_.size();
    w.empiezan_.assign(cells, {});
    w.siguen_.assign(cells, {});
    for (std::size_t i = 0; i < w.periodos_.size(); ++i) {
        Periodo& p = w.periodos_[i];
        p.columna = columnaDe(p);
        w.empiezan_[w.at(p.fila, p.columna)].push_back(static_cast<int>(i));
        for (int k = 1; k < p.filas; ++k)
            w.siguen_[w.at(p.fila + k, p.columna)].push_back(static_cast<int>(i));
    }
    w.recuenta();
    return w;
}

}  // namespace tz::timetable::semana
