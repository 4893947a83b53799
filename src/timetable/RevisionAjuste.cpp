#include "timetable/RevisionAjuste.h"

#include "tables/Paths.h"
#include "timetable/AjustaXEL.h"

namespace tz::timetable::revision {

std::optional<std::vector<tables::Bookmark>> filasPorRevisar(FilasCambiadas* cambios,
                                                             EdicionSeguida& edicion,
                                                             tables::Dataset& grid) {
    if (!cambios || cambios->todas) return std::nullopt;
    std::vector<tables::Bookmark> filas = cambios->filas;
    if (edicion.revisada) filas.push_back(*edicion.revisada);
    if (grid.isOpen() && grid.state() == tables::DatasetState::Edit && !grid.isEmpty())
        filas.push_back(grid.bookmark());
    return filas;
}

bool muchasFilas(const std::optional<std::vector<tables::Bookmark>>& filas,
                 const tables::Dataset& ds) {
    return !filas || filas->size() > static_cast<std::size_t>(ds.recordCount() / 4 + 64);
}

namespace {

// The row being edited in a view, when there is one.
std::optional<tables::Bookmark> pendiente(const tables::Dataset& ds) {
    if (ds.isOpen() && ds.state() == tables::DatasetState::Edit && !ds.isEmpty())
        return ds.bookmark();
    return std::nullopt;
}

}  // namespace

RevisionAjuste::RevisionAjuste(AjustaXEL& ajuste, std::function<void()> aviso) : ajuste_(ajuste) {
    // Own cursors over the export tables, and the catalogues as the lists have them.
    try {
        h2_.open(tables::mapPath("C:\\ZTEMP\\CUADROH2.DBF"), tables::OpenMode::Shared);
        h3_.open(tables::mapPath("C:\\ZTEMP\\CUADROH3.DBF"), tables::OpenMode::Shared);
    } catch (const std::exception& e) {
        h2_.close(), h3_.close();
        error_ = e.what();  // the views' own opening has reported it already
    }
    // The bell schedule's hours, for the sessions; without it they are checked for their form.
    tables::Dataset plantilla;
    try {
        plantilla.open(tables::mapPath("C:\\ZTEMP\\PLANTILLA.DBF"), tables::OpenMode::ReadOnly);
    } catch (const std::exception&) {
    }
    revision_ = Revision(leeCatalogos(
        {&ajuste_.catalogo(Catalogo::TIPDOC), &ajuste_.catalogo(Catalogo::TIPTAR),
         &ajuste_.catalogo(Catalogo::GRUPNIV), &ajuste_.catalogo(Catalogo::ASIGNAT),
         &ajuste_.catalogo(Catalogo::IDIOMA), &ajuste_.catalogo(Catalogo::OTRACT), &plantilla}));
    revision_.anotaLecciones(ajuste_.sinColocar);
    for (tables::Dataset* ds : {&h2_, &h3_})
        if (ds->isOpen()) enOrdenDeClave(*ds);
    // Stored rows, and rows left while being edited, are checked again on their own.
    if (h2_.isOpen()) cambios2_ = std::make_unique<FilasCambiadas>(h2_, aviso);
    if (h3_.isOpen()) cambios3_ = std::make_unique<FilasCambiadas>(h3_, aviso);
    edicion2_ = std::make_unique<EdicionSeguida>(ajuste_.wwTableCUADROH2(), aviso);
    edicion3_ = std::make_unique<EdicionSeguida>(ajuste_.wwTableCUADROH3(), aviso);
}

RevisionAjuste::~RevisionAjuste() { cierra(); }

bool RevisionAjuste::disponible() const { return error_.empty() && h2_.isOpen() && h3_.isOpen(); }

void RevisionAjuste::revisaTodo() {
    revision_.revisaTodo(h2_, h3_, &ajuste_.wwTableCUADROH2(), &ajuste_.wwTableCUADROH3());
}

std::optional<RevisionAjuste::Cambios> RevisionAjuste::cambios() {
    if (cerrada()) return std::nullopt;
    auto filas2 = filasPorRevisar(cambios2_.get(), *edicion2_, ajuste_.wwTableCUADROH2());
    auto filas3 = filasPorRevisar(cambios3_.get(), *edicion3_, ajuste_.wwTableCUADROH3());
    // Many rows at once (or rows that came or went): one pass over everything costs less.
    if (muchasFilas(filas2, h2_) || muchasFilas(filas3, h3_)) return std::nullopt;
    return Cambios{std::move(*filas2), std::move(*filas3)};
}

void RevisionAjuste::revisaFilas(const Cambios& c) {
    revision_.revisaFilas(2, h2_, c.tipo2, &ajuste_.wwTableCUADROH2());
    revision_.revisaFilas(3, h3_, c.tipo3, &ajuste_.wwTableCUADROH3());
}

void RevisionAjuste::asienta() {
    const cuadro::Centro centro = ajuste_.centroActual();
    revision_.revisaCentro(centro.CODCENTRO, centro.ANOACAD, centro.VERSION);
    for (auto* c : {cambios2_.get(), cambios3_.get()})
        if (c) c->olvida();
    if (edicion2_) edicion2_->revisada = pendiente(ajuste_.wwTableCUADROH2());
    if (edicion3_) edicion3_->revisada = pendiente(ajuste_.wwTableCUADROH3());
}

bool RevisionAjuste::filaIncompleta(int row) const {
    tables::Dataset& ds = ajuste_.wwTableCUADROH2();
    if (!ds.isOpen() || row < 0 || row >= ds.recordCount()) return true;
    const int key = ds.fieldIndex("PROF_DIA_SES");
    return revision_.incompleta(2, ds.bookmarkAt(row)) ||
           (key >= 0 && revision_.grupoIncompleto(ds.textViewAt(row, key)));
}

bool RevisionAjuste::vaAProfesor(const Hallazgo& h) {
    tables::Dataset& prof = ajuste_.wwTableProfesor();
    return prof.isOpen() && prof.findKey(h.profesor);
}

int RevisionAjuste::filaTipo2(const Hallazgo& h) const {
    // The finding's teacher's periods follow in the view.
    const tables::Dataset& d2 = ajuste_.wwTableCUADROH2();
    if (!d2.isOpen()) return -1;
    const int key2 = d2.fieldIndex("PROF_DIA_SES");
    for (int i = 0; i < d2.recordCount(); ++i)
        if (h.tipo == 2 ? d2.bookmarkAt(i) == h.registro : d2.textAt(i, key2) == h.clave) return i;
    return -1;
}

int RevisionAjuste::filaTipo3(const Hallazgo& h) const {
    const tables::Dataset& d3 = ajuste_.wwTableCUADROH3();
    if (h.tipo != 3 || !d3.isOpen()) return -1;
    for (int i = 0; i < d3.recordCount(); ++i)
        if (d3.bookmarkAt(i) == h.registro) return i;
    return -1;
}

void RevisionAjuste::cierra() {
    // Closing the cursors is no change to check.
    cambios2_.reset(), cambios3_.reset();
    edicion2_.reset(), edicion3_.reset();
    h3_.close();
    h2_.close();
}

}  // namespace tz::timetable::revision
