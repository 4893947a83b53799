#include "timetable/Informe.h"

#include <map>

#include "base/Text.h"
#include "tables/Cp1252.h"
#include "tables/Paths.h"
#include "timetable/Texto.h"

namespace tz::timetable::informe {

using tables::Dataset;
using tables::OpenMode;

namespace {

std::filesystem::path ruta(const char* name) {
    return tables::mapPath(std::string("C:\\ZTEMP\\") + name + ".DBF");
}

std::string utf8(std::string_view b) { return cp1252::toUtf8(b); }

// Opens a table that may be missing; false (and a note) when it cannot be opened.
bool abreOpcional(Dataset& ds, const char* name, std::vector<std::string>& avisos) {
    try {
        ds.open(ruta(name), OpenMode::ReadOnly);
        return true;
    } catch (const std::exception& e) {
        avisos.push_back(std::string("No se ha podido leer ") + name + ": " + e.what());
        return false;
    }
}

}  // namespace

Informe::Informe() {
    h2_.open(ruta("CUADROH2"), OpenMode::ReadOnly);
    h3_.open(ruta("CUADROH3"), OpenMode::ReadOnly);
    h3_.setIndex("PROF_DIA_SES");

    if (Dataset c; abreOpcional(c, "xelCENTRO", avisos_) && !c.isEmpty()) {
        auto f = [&](const char* name) { return c.fieldIndex(name) >= 0 ? c.text(name) : ""; };
        centro_ = {f("CODCENTRO"), f("ANOACAD"), f("VERSION")};
    }
    if (Dataset p; abreOpcional(p, "PLANTILLA", avisos_)) plantilla_ = semana::leePlantilla(p);

    // The completeness check, with the catalogues the adjustment window lists.
    {
        static const char* const nombres[6] = {"xelTIPDOC",  "xelTIPTAR", "xelGRUPNIV",
                                               "xelASIGNAT", "xelIDIOMA", "xelOTRACT"};
        Dataset cats[6];
        for (int i = 0; i < 6; ++i) {
            try {
                cats[i].open(ruta(nombres[i]), OpenMode::ReadOnly);
            } catch (const std::exception&) {
                avisos_.push_back(std::string("No se ha podido abrir el catálogo ") + nombres[i] +
                                  ": sus códigos no se comprueban");
            }
        }
        revision_ = revision::Revision(
            revision::leeCatalogos({&cats[0], &cats[1], &cats[2], &cats[3], &cats[4], &cats[5]}));
        Dataset r2, r3;
        r2.open(ruta("CUADROH2"), OpenMode::ReadOnly);
        r3.open(ruta("CUADROH3"), OpenMode::ReadOnly);
        revision::enOrdenDeClave(r2);
        revision::enOrdenDeClave(r3);
        revision_.revisaTodo(r2, r3);
    }

    // Teachers: PROFT, then whoever has periods or findings without a PROFT row.
    std::map<std::string, Profesor> porAbrev;
    if (Dataset p; abreOpcional(p, "PROFT", avisos_)) {
        const int n = p.recordCount();
        auto k = [&](const char* name) { return p.fieldIndex(name); };
        const int kA = k("ABREV"), kN = k("NOMBRE"), kD = k("DEPART"), kT = k("TIPODNI"),
                  kI = k("DNI");
        auto v = [&](int i, int f) { return f >= 0 ? p.textAt(i, f) : std::string(); };
        if (kA >= 0)
            for (int i = 0; i < n; ++i) {
                Profesor t;
                t.abrev = v(i, kA);
                t.nombre = v(i, kN);
                t.departamento = v(i, kD);
                t.tipodni = v(i, kT);
                t.dni = v(i, kI);
                porAbrev.try_emplace(t.abrev, std::move(t));  // a repeated ABREV: the first
            }
    }
    h2_.setIndex("ABREVPROF");
    {
        const int n = h2_.recordCount(), kP = h2_.fieldIndex("ABREVPROF");
        for (int i = 0; i < n;) {
            const std::string abrev = h2_.textAt(i, kP);
            int j = i + 1;
            while (j < n && h2_.textViewAt(j, kP) == abrev) ++j;
            auto [it, nuevo] = porAbrev.try_emplace(abrev);
            if (nuevo) {
                it->second.abrev = abrev;
                it->second.enProft = false;
            }
            it->second.desde = i;
            it->second.hasta = j;
            it->second.periodos = j - i;
            totalPeriodos_ += j - i;
            i = j;
        }
    }
    std::map<std::string, std::vector<std::size_t>> porProfesor;
    for (std::size_t i = 0; i < revision_.size(); ++i)
        porProfesor[revision_.hallazgo(i).profesor].push_back(i);
    for (auto& [abrev, lista] : porProfesor) {
        auto [it, nuevo] = porAbrev.try_emplace(abrev);
        if (nuevo) {
            it->second.abrev = abrev;
            it->second.enProft = false;
        }
        it->second.hallazgos = static_cast<int>(lista.size());
    }
    profesores_.reserve(porAbrev.size());
    hallazgosDe_.reserve(porAbrev.size());
    for (auto& [abrev, t] : porAbrev) {
        auto it = porProfesor.find(abrev);
        hallazgosDe_.push_back(it != porProfesor.end() ? std::move(it->second)
                                                       : std::vector<std::size_t>{});
        profesores_.push_back(std::move(t));
    }
}

Pagina Informe::pagina(std::size_t i, int maxLineas) {
    Pagina out;
    out.profesor = profesores_.at(i);
    semana::Fuentes f;
    f.tipo2 = &h2_;
    f.desde = out.profesor.desde;
    f.hasta = out.profesor.periodos ? out.profesor.hasta : out.profesor.desde;
    f.tipo3 = &h3_;
    f.plantilla = &plantilla_;
    f.catalogos = &revision_.catalogos();
    out.semana = semana::construye(f);
    out.avisos = out.semana.avisos();
    const auto& lista = hallazgosDe_[i];
    const std::size_t n = std::min(lista.size(), static_cast<std::size_t>(std::max(0, maxLineas)));
    for (std::size_t k = 0; k < n; ++k)
        out.hallazgos.push_back(revision_.hallazgo(lista[k]).linea());
    out.masHallazgos = static_cast<int>(lista.size() - n);
    return out;
}

std::string nombreProfesor(const Profesor& p) {
    std::string s = blank(p.abrev) ? std::string("(sin abreviatura)") : utf8(p.abrev);
    if (!p.enProft) return s + " (sin ficha en PROFT)";
    if (!blank(p.nombre)) s += " — " + utf8(p.nombre);
    return s;
}

std::string documento(const Profesor& p) {
    if (base::trimControls(p.dni).empty()) return "SIN DOCUMENTO";
    return (blank(p.tipodni) ? std::string("(tipo en blanco)") : utf8(p.tipodni)) + " " +
           utf8(p.dni);
}

std::string cabecera(const Centro& c) {
    auto v = [](const std::string& s) { return blank(s) ? std::string("(en blanco)") : utf8(s); };
    return "Centro " + v(c.codigo) + " · Año académico " + v(c.ano) + " · Versión " + v(c.version);
}

}  // namespace tz::timetable::informe
