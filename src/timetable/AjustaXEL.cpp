#include "timetable/AjustaXEL.h"

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <vector>

#include "base/Text.h"
#include "tables/FileIo.h"
#include "tables/Paths.h"
#include "timetable/Copias.h"
#include "timetable/CuadroHorario.h"
#include "timetable/Texto.h"
#include "timetable/Validacion.h"

namespace tz::timetable {

using tables::Dataset;
using tables::DatasetState;
using tables::OpenMode;

const std::vector<Desplegable>& desplegables() {
    static const std::vector<Desplegable> list = {
        {Desplegable::Profesores,
         "TIPODNI",
         Catalogo::TIPDOC,
         {{"COD", 1}, {"DESCCAST", 25}, {"DESCEUSK", 25}},
         "COD"},
        {Desplegable::Tipo2,
         "TIPTAR",
         Catalogo::TIPTAR,
         {{"COD", 3}, {"DESCCAST", 45}, {"DESCEUSK", 45}},
         "COD"},
        {Desplegable::Tipo2,
         "GRUPNIV",
         Catalogo::GRUPNIV,
         {{"NIVEL", 3}, {"DESCCAST", 45}, {"DESCEUSK", 45}},
         "NIVEL"},
        {Desplegable::Tipo2,
         "CODASIG",
         Catalogo::ASIGNAT,
         {{"CODCAST", 6}, {"COD", 5}, {"DESCCASTR", 20}, {"DESCEUSKR", 20}},
         "COD"},
        {Desplegable::Tipo2,
         "IDIOMA",
         Catalogo::IDIOMA,
         {{"IDIOMA", 2}, {"DESCCASTR", 4}, {"DESCEUSKR", 4}},
         "IDIOMA"},
        {Desplegable::Tipo2,
         "TIP_ACTIV",
         Catalogo::OTRACT,
         {{"COD", 4}, {"DESCCASTR", 22}, {"DESCEUSKR", 22}},
         "COD"},
    };
    return list;
}

const char* campoProfesor(int column) {
    static const char* const fields[] = {"", "ABREV", "TIPODNI", "DNI", "NOMBRE", "DEPART"};
    return column >= 0 && column <= 5 ? fields[column] : "";
}

namespace {

// Window tables name the exchange folder with its drive letter.
std::filesystem::path windowTable(const char* name) {
    return tables::mapPath(std::string("C:\\ZTEMP\\") + name);
}

// Two slot keys in the order of their index: their bytes padded with spaces, unsigned.
int ordenClave(std::string_view a, std::string_view b) {
    const std::size_t n = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : ' ');
        const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : ' ');
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

bool editing(const Dataset& ds) {
    return ds.isOpen() && (ds.state() == DatasetState::Edit || ds.state() == DatasetState::Insert);
}

// Stores a modified pending row, drops an untouched one.
void settle(Dataset& ds) {
    if (!editing(ds)) return;
    if (ds.modified())
        ds.post();
    else
        ds.cancel();
}

}  // namespace

const std::string& AjustaXEL::preguntaSinDocumento() {
    static const std::string text = std::string(11, ' ') + "!!!ATENCIÓN!!!" + std::string(17, ' ') +
                                    "\rTodavía hay algún Profesor SIN DOCumento(DNI).\r" +
                                    std::string(7, ' ') + "¿Desea corregir esta incidencia?" +
                                    std::string(7, ' ');
    return text;
}

AjustaXEL::AjustaXEL(base::RunState& state, base::UserPort& port)
    : CarpetaTextos(state.CarpetaTextos), state_(state), port_(port) {
    openViews();
}

AjustaXEL::~AjustaXEL() {
    try {
        closeViews();
        centro_.close();
    } catch (...) {
        // Closing never reports from a destructor; the rows stored so far stay stored.
    }
}

void AjustaXEL::openViews() {
    // Each step opens one view; the first failure is reported and the rest stay closed.
    const std::function<void()> steps[] = {
        [&] { centro_.open(windowTable("xelCENTRO.DBF"), OpenMode::Shared); },
        [&] {
            profesor_.open(tables::mapPath("c:\\ztemp\\PROFT.DBF"), OpenMode::Exclusive);
            profesor_.setIndex("ABREV");
        },
        [&] {
            cuadroh2_.open(windowTable("CUADROH2.DBF"), OpenMode::Shared);
            cuadroh2_.setIndex("ABREVPROF");
            cuadroh2_.setMaster(&profesor_, "ABREV");
        },
        [&] {
            cuadroh3_.open(windowTable("CUADROH3.DBF"), OpenMode::Shared);
            cuadroh3_.setIndex("PROF_DIA_SES");
            cuadroh3_.setMaster(&cuadroh2_, "PROF_DIA_SES");
            cuadroh3_.setFilter("");
            cuadroh3_.setFiltered(true);
        },
        [&] {
            cuadroh3aux_.open(windowTable("CUADROH3.DBF"), OpenMode::Shared);
            cuadroh3aux_.setIndex("ABREVPROF");
            cuadroh3aux_.setMaster(&profesor_, "ABREV");
            cuadroh3aux_.setFilter("");
            cuadroh3aux_.setFiltered(true);
        },
        [&] { catalogos_[0].open(windowTable("xelTIPDOC.DBF"), OpenMode::ReadOnly); },
        [&] { catalogos_[1].open(windowTable("xelTIPTAR.DBF"), OpenMode::ReadOnly); },
        [&] { catalogos_[2].open(windowTable("xelGRUPNIV.DBF"), OpenMode::ReadOnly); },
        [&] { catalogos_[3].open(windowTable("xelASIGNAT.DBF"), OpenMode::ReadOnly); },
        [&] { catalogos_[4].open(windowTable("xelIDIOMA.DBF"), OpenMode::ReadOnly); },
        [&] { catalogos_[5].open(windowTable("xelOTRACT.DBF"), OpenMode::ReadOnly); },
    };
    for (const auto& step : steps)
        if (!guarded(step)) break;
}

void AjustaXEL::closeViews() {
    // Details are unlinked before their master closes.
    if (cuadroh3aux_.isOpen()) cuadroh3aux_.setMaster(nullptr, "");
    if (cuadroh3_.isOpen()) cuadroh3_.setMaster(nullptr, "");
    if (cuadroh2_.isOpen()) cuadroh2_.setMaster(nullptr, "");
    profesor_.close();
    cuadroh2_.close();
    cuadroh3_.close();
    cuadroh3aux_.close();
    for (auto& c : catalogos_) c.close();
}

bool AjustaXEL::guarded(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const std::exception& e) {
        port_.errorBox(e.what());
    }
    return false;
}

// --- Centre boxes -----------------------------------------------------------------------------

void AjustaXEL::DBEditCODECENTROChange() {
    if (!editing(centro_)) centro_.edit();
}

void AjustaXEL::DBEditCODECENTROExit() {
    if (editing(centro_)) centro_.post();
}

void AjustaXEL::setCentro(std::string_view field, std::string_view value) {
    DBEditCODECENTROChange();
    centro_.setText(field, validacion::sinFinDeLinea(value));
}

// --- Document propagation ---------------------------------------------------------------------

namespace {
// A dataset's controls off for a scan, on again however the scan ends.
class ControlsOff {
  public:
    explicit ControlsOff(Dataset& d) : d_(d) { d_.disableControls(); }
    ~ControlsOff() {
        try {
            d_.enableControls();
        } catch (...) {
            // An observer's failure cannot be reported from here; the rows are stored.
        }
    }
    ControlsOff(const ControlsOff&) = delete;
    ControlsOff& operator=(const ControlsOff&) = delete;

  private:
    Dataset& d_;
};
}  // namespace

void AjustaXEL::wwDBGridPROFTColExit(int column) {
    if (column != ColTipoDni && column != ColDni) return;
    // A document never ends with a line end: one typed or pasted with it goes before it spreads.
    if (editing(profesor_)) {
        for (const char* field : {"TIPODNI", "DNI"}) {
            const std::string v = profesor_.text(field);
            if (const std::string c = validacion::sinFinDeLinea(v); c != v)
                profesor_.setText(field, c);
        }
    }
    const std::string abrev = profesor_.text("ABREV");
    const std::string tipo = profesor_.text("TIPODNI");
    const std::string dni = profesor_.text("DNI");

    // Both detail views hold exactly the current teacher's rows; the comparison only guards
    // against a link that no longer matches. A row that has the document already is left as
    // it is (leaving the cell after typing carries the same document a second time).
    auto carry = [&](Dataset& ds) {
        const int fTipo = ds.requireField("TIPDOC"), fDoc = ds.requireField("DOC");
        for (ds.first(); !ds.isEmpty() && !ds.eof(); ds.next()) {
            if (ds.text("ABREVPROF") != abrev) break;
            if (ds.textView(fTipo) == tipo && ds.textView(fDoc) == dni) continue;
            ds.edit();
            ds.setText("TIPDOC", tipo);
            ds.setText("DOC", dni);
            ds.post();
        }
    };

    // The grids (and the type 3 view linked to the type 2 one) follow once each scan has
    // returned to its row, not at every row it passes: a teacher may have thousands. The rows
    // reach the files together when both scans are done.
    tables::WriteBatch lote({&cuadroh2_, &cuadroh3aux_});
    {
        ControlsOff off(cuadroh2_);
        const bool h2Rows = !cuadroh2_.isEmpty();
        const tables::Bookmark h2Mark = h2Rows ? cuadroh2_.bookmark() : 0;
        carry(cuadroh2_);
        if (h2Rows && cuadroh2_.bookmarkValid(h2Mark)) cuadroh2_.gotoBookmark(h2Mark);
    }
    {
        ControlsOff off3(cuadroh3_), offAux(cuadroh3aux_);
        const bool h3Rows = !cuadroh3_.isEmpty();
        const tables::Bookmark h3Mark = h3Rows ? cuadroh3_.bookmark() : 0;
        carry(cuadroh3aux_);
        if (h3Rows && cuadroh3_.bookmarkValid(h3Mark)) cuadroh3_.gotoBookmark(h3Mark);
    }
    lote.commit();
}

void AjustaXEL::wwDBGridPROFTFieldChanged(int column) { wwDBGridPROFTColExit(column); }

void AjustaXEL::editaProfesor(int column, std::string_view value) {
    const char* field = campoProfesor(column);
    if (!*field) return;
    if (!editing(profesor_)) profesor_.edit();
    profesor_.setText(field, validacion::sinFinDeLinea(value));
    wwDBGridPROFTFieldChanged(column);
}

void AjustaXEL::enLote(const std::function<void()>& action) {
    tables::WriteBatch lote({&profesor_, &cuadroh2_, &cuadroh3aux_});
    action();
    lote.commit();
}

// --- "&Salir" and closing ---------------------------------------------------------------------

void AjustaXEL::storePending() {
    settle(cuadroh3_);
    settle(cuadroh3aux_);
    settle(cuadroh2_);
    settle(profesor_);
    if (editing(centro_)) centro_.post();
}

std::vector<std::string> AjustaXEL::tablasSinAbrir() const {
    std::vector<std::string> out;
    const std::pair<const Dataset*, const char*> tablas[] = {{&centro_, "xelCENTRO.DBF"},
                                                             {&profesor_, "PROFT.DBF"},
                                                             {&cuadroh2_, "CUADROH2.DBF"},
                                                             {&cuadroh3_, "CUADROH3.DBF"}};
    for (const auto& [ds, name] : tablas)
        if (!ds->isOpen()) out.push_back(name);
    return out;
}

void AjustaXEL::BitBtn1Click() {
    ResultadoAjuste = 0;
    // Without these tables there is nothing sound to check or write: the job ends unfinished
    // rather than with a file whose header or records are blank.
    if (const auto faltan = tablasSinAbrir(); !faltan.empty()) {
        // The first one failed; the views after it were left closed.
        const std::string& t = faltan.front();
        const bool exportadas = t == "CUADROH2.DBF" || t == "CUADROH3.DBF";
        port_.message("No se escribe fCUADROS.txt: no se ha podido abrir la tabla " + t +
                      " de la carpeta de intercambio (vea el error anterior). " +
                      (exportadas ? "Repita el trabajo Zandrix → XEL sin conservar la "
                                    "exportación anterior, que la crea de nuevo."
                                  : "Repita el trabajo XEL → Zandrix, que la crea de nuevo, y "
                                    "después este trabajo."));
        ResultadoAjuste = 4;
        state_.EstadoPaso = 4;
        guarded([&] {
            storePending();
            closeViews();
        });
        salirCerro_ = true;
        cerrada_ = true;
        return;
    }
    // Going to the first teacher stores the pending edits of the teacher and its rows.
    settle(cuadroh3_);
    settle(cuadroh3aux_);
    settle(cuadroh2_);
    profesor_.first();
    // The teachers are read in place: the window moves only to the first one without a document
    // (each move has the rows of both grids follow it).
    if (!profesor_.isEmpty()) {
        const int dni = profesor_.requireField("DNI");
        for (int p = 0, n = profesor_.recordCount(); p < n; ++p) {
            if (!base::trimControls(profesor_.textAt(p, dni)).empty()) continue;
            profesor_.moveTo(p);
            if (port_.confirm(preguntaSinDocumento())) return;  // stays on this teacher
            ResultadoAjuste = 4;
            break;
        }
    }
    if (ResultadoAjuste == 0) CreaTXTCuadroHorario();
    state_.EstadoPaso = ResultadoAjuste == 4 ? 4 : 0;
    closeViews();
    salirCerro_ = true;
    cerrada_ = true;
}

void AjustaXEL::FormClose() {
    if (cerrada_) return;
    cerrada_ = true;
    // Not finished: nothing is written, yet what the user typed is kept.
    try {
        storePending();
    } catch (const std::exception& e) {
        port_.errorBox(e.what());
    }
    ResultadoAjuste = 4;
    state_.EstadoPaso = 4;
    guarded([&] { closeViews(); });
}

// --- fCUADROS.txt -----------------------------------------------------------------------------

cuadro::Centro AjustaXEL::centroActual() const {
    if (!centro_.isOpen() || (centro_.isEmpty() && !editing(centro_))) return {};
    return {centro_.text("CODCENTRO"), centro_.text("ANOACAD"), centro_.text("VERSION")};
}

revision::Revision AjustaXEL::revisa() const {
    Dataset plantilla;
    try {
        plantilla.open(windowTable("PLANTILLA.DBF"), OpenMode::ReadOnly);
    } catch (const std::exception&) {
        // Without the bell schedule the sessions are checked for their form only.
    }
    auto cat = [&](Catalogo c) { return &catalogos_[static_cast<int>(c)]; };
    revision::Revision r(revision::leeCatalogos(
        {cat(Catalogo::TIPDOC), cat(Catalogo::TIPTAR), cat(Catalogo::GRUPNIV),
         cat(Catalogo::ASIGNAT), cat(Catalogo::IDIOMA), cat(Catalogo::OTRACT), &plantilla}));
    const cuadro::Centro c = centroActual();
    r.revisaCentro(c.CODCENTRO, c.ANOACAD, c.VERSION);
    r.anotaLecciones(sinColocar);
    Dataset h2, h3;
    h2.open(windowTable("CUADROH2.DBF"), OpenMode::Shared);
    h3.open(windowTable("CUADROH3.DBF"), OpenMode::Shared);
    revision::enOrdenDeClave(h2);
    revision::enOrdenDeClave(h3);
    r.revisaTodo(h2, h3, &cuadroh2_, &cuadroh3_);
    return r;
}

void AjustaXEL::CreaTXTCuadroHorario() {
    const std::filesystem::path folder(CarpetaTextos);
    if (CarpetaTextos.empty() || !tables::folderExists(folder)) {
        port_.message("No existe la carpeta");
        ResultadoAjuste = 4;
        return;
    }

    std::string out;
    auto add = [&](const std::string& line) {
        out += line;
        out += "\r\n";
    };

    add(cuadro::registroTipo1(centroActual()));

    Dataset h2, h3;
    h2.open(windowTable("CUADROH2.DBF"), OpenMode::Shared);
    h2.setIndex("PROF_DIA_SES");
    h3.open(windowTable("CUADROH3.DBF"), OpenMode::Shared);
    h3.setIndex("PROF_DIA_SES");

    const int n2 = h2.recordCount();
    const int n3 = h3.recordCount();
    // Room for every record up front (a type 2 line is 77 characters, a type 3 line 28, each
    // with CR LF), so the text is not copied as it grows nor held twice at its peak.
    out.reserve(out.size() + std::size_t(n2) * 79 + std::size_t(n3) * 30);
    auto campos = [](const Dataset& ds, std::initializer_list<const char*> nombres) {
        std::vector<Dataset::FieldSlice> out;
        for (const char* n : nombres) out.push_back(ds.slice(ds.requireField(n)));
        return out;
    };
    // The fields of a type 2 record in its order, then the slot key; the same for type 3.
    const auto c2 = campos(
        h2, {"TIPDOC", "DOC", "NUMSESION", "DIASEM", "TIPTAR", "HORAINI", "HORAFIN", "GRUPNIV",
             "CODASIG", "TIPASIG", "IDIOMA", "AULA_OBS", "TIP_ACTIV", "PROF_DIA_SES"});
    const auto c3 = campos(
        h3, {"CODGRUPO", "TIPDOC", "DOC", "NUMSESGRUP", "DIASEM", "NUMALUM", "PROF_DIA_SES"});

    // Both views are in slot key order: the type 3 rows of each type 2 row are found by walking
    // them alongside, the records appended in place. Each row's bytes are looked up once.
    const std::vector<tables::Bookmark> b2 = h2.bookmarks(), b3 = h3.bookmarks();
    auto fila = [](const Dataset& ds, const std::vector<tables::Bookmark>& b, int i) {
        return ds.rowOf(b[static_cast<std::size_t>(i)]);
    };
    int j = 0;
    const char* fila3 = n3 > 0 ? fila(h3, b3, 0) : nullptr;
    for (int i = 0; i < n2; ++i) {
        // The rows of an index lie anywhere in memory: fetched a few rows ahead.
        if (i + 8 < n2) __builtin_prefetch(fila(h2, b2, i + 8));
        if (j + 8 < n3) __builtin_prefetch(fila(h3, b3, j + 8));
        const char* fila2 = fila(h2, b2, i);
        auto f = [&](std::size_t k) { return c2[k].in(fila2); };
        cuadro::anadeTipo2(
            out, {f(0), f(1), f(2), f(3), f(4), f(5), f(6), f(7), f(8), f(9), f(10), f(11), f(12)});
        out += "\r\n";
        const std::string_view key = f(13);
        while (j < n3 && ordenClave(c3[6].in(fila3), key) < 0)
            if (++j < n3) fila3 = fila(h3, b3, j);
        for (int k = j; k < n3;) {
            const char* g3 = k == j ? fila3 : fila(h3, b3, k);
            auto g = [&](std::size_t c) { return c3[c].in(g3); };
            if (g(6) != key) break;
            cuadro::anadeTipo3(out, {g(0), g(1), g(2), g(3), g(4), g(5)});
            out += "\r\n";
            ++k;
        }
    }
    h3.close();
    h2.close();

    const std::filesystem::path target = tables::findExisting(folder / "fCUADROS.txt");
    // The file being replaced is kept in the tool's state folder first; a copy that cannot be
    // kept does not stop the writing.
    copias::guardaAnterior(folder, target);
    tables::replaceFileOrThrow(target, out);
}

}  // namespace tz::timetable
