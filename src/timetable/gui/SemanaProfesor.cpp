#include "timetable/gui/SemanaProfesor.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMetaObject>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "help/gui/HelpGui.h"
#include "tables/Cp1252.h"
#include "tables/Paths.h"
#include "timetable/AjustaXEL.h"
#include "timetable/Informe.h"
#include "timetable/gui/DataGrid.h"
#include "timetable/gui/TAjustaXEL.h"
#include "timetable/qt/InformePdf.h"

namespace tz::timetable::gui {

using semana::LineaCelda;

namespace {

QString q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

const QColor kAzul(0, 0, 150), kRojo(190, 0, 0), kGris(110, 110, 110), kFuera(253, 232, 205),
    kIncompleta(255, 242, 242);

// Rows of a cell shown at most, whatever it holds (more go into "+N más").
constexpr int kMaxLineas = 9;

// Help contexts of the week, the report and the log (XEL.CHM).
constexpr int kAyudaSemana = 34;
constexpr int kAyudaInforme = 35;

// Draws a cell's lines: the task and subject in bold, the groups in blue, what is missing in
// red, periods going on from above in grey.
class Delegado : public QStyledItemDelegate {
  public:
    Delegado(ModeloSemana* m, QObject* parent) : QStyledItemDelegate(parent), m_(m) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem o(option);
        initStyleOption(&o, index);
        o.text.clear();
        const QWidget* w = option.widget;
        QStyle* style = w ? w->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &o, p, w);

        const QFontMetrics fm(option.font);
        const int lh = fm.height();
        const QRect r = option.rect.adjusted(3, 2, -3, -2);
        const auto lineas = semana::lineasCelda(m_->semana(), index.row(), index.column(),
                                                std::max(1, r.height() / lh));
        const bool sel = option.state & QStyle::State_Selected;
        QFont bold = option.font;
        bold.setBold(true);
        int y = r.top();
        p->save();
        p->setClipRect(option.rect);
        for (const LineaCelda& l : lineas) {
            if (y + lh > r.bottom() + 2) break;
            const bool negrita = l.tipo == LineaCelda::Titulo || l.tipo == LineaCelda::Incompleto ||
                                 l.tipo == LineaCelda::Mas;
            QColor c = option.palette.color(sel ? QPalette::HighlightedText : QPalette::Text);
            if (!sel) {
                if (l.tipo == LineaCelda::Grupos) c = kAzul;
                if (l.tipo == LineaCelda::Faltas || l.tipo == LineaCelda::Incompleto) c = kRojo;
                if (l.tipo == LineaCelda::Sigue || l.tipo == LineaCelda::Mas) c = kGris;
            }
            p->setFont(negrita ? bold : option.font);
            p->setPen(c);
            const QFontMetrics m(p->font());
            p->drawText(QRect(r.left(), y, r.width(), lh), Qt::AlignLeft | Qt::AlignVCenter,
                        m.elidedText(q(l.texto), Qt::ElideRight, r.width()));
            y += lh;
        }
        p->restore();
    }

  private:
    ModeloSemana* m_;
};

std::string describe(const semana::Periodo& p) {
    std::string s = p.titulo() + " · " + p.textoGrupos();
    if (const std::string f = p.textoFaltas(); !f.empty()) s += " — " + f;
    return s;
}

}  // namespace

// --- Model ------------------------------------------------------------------------------------

void ModeloSemana::muestra(semana::Semana s) {
    beginResetModel();
    semana_ = std::move(s);
    endResetModel();
}

void ModeloSemana::celdasCambiadas(const std::vector<std::pair<int, int>>& celdas) {
    for (const auto& [fila, columna] : celdas) {
        const QModelIndex at = index(fila, columna);
        emit dataChanged(at, at);
    }
}

int ModeloSemana::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(semana_.filas().size());
}
int ModeloSemana::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(semana_.columnas().size());
}

QVariant ModeloSemana::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int r = index.row(), c = index.column();
    switch (role) {
        case Qt::DisplayRole: {
            QStringList lines;
            for (const LineaCelda& l : semana::lineasCelda(semana_, r, c, 1 << 20))
                lines << q(l.texto);
            return lines.join(QLatin1Char('\n'));
        }
        case Qt::ToolTipRole: {
            QStringList lines;
            for (int i : semana_.enCelda(r, c)) {
                const semana::Periodo& p = semana_.periodos()[std::size_t(i)];
                QString t = q(p.titulo()) + QStringLiteral("\n") + q(p.textoGrupos());
                if (const std::string h = p.textoHoras(); !h.empty())
                    t += QStringLiteral("\n") + q(h);
                for (const auto& f : p.hallazgos)
                    t += QStringLiteral("\n") + q(f.columna() + ": " + f.descripcion());
                lines << t;
            }
            return lines.isEmpty() ? QVariant() : QVariant(lines.join(QStringLiteral("\n\n")));
        }
        case Qt::BackgroundRole: {
            if (!semana_.filas()[std::size_t(r)].enPlantilla ||
                !semana_.columnas()[std::size_t(c)].enSemana)
                return QColor(kFuera);
            for (int i : semana_.empiezan(r, c))
                if (!semana_.periodos()[std::size_t(i)].hallazgos.empty())
                    return QColor(kIncompleta);
            return {};
        }
        case PeriodosRole: {
            QList<int> out;
            for (int i : semana_.enCelda(r, c)) out << i;
            return QVariant::fromValue(out);
        }
        default:
            return {};
    }
}

QVariant ModeloSemana::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal) {
        if (section < 0 || section >= columnCount()) return {};
        const semana::Columna& c = semana_.columnas()[std::size_t(section)];
        if (role == Qt::DisplayRole) return q(c.titulo);
        if (role == Qt::ForegroundRole && !c.enSemana) return QColor(kRojo);
        return {};
    }
    if (section < 0 || section >= rowCount()) return {};
    const semana::Fila& f = semana_.filas()[std::size_t(section)];
    if (role == Qt::DisplayRole) {
        const std::string h = f.horas();
        return q(f.titulo()) + (h.empty() ? QString() : QStringLiteral("\n") + q(h));
    }
    if (role == Qt::ForegroundRole && !f.enPlantilla) return QColor(kRojo);
    return {};
}

// --- Grid -------------------------------------------------------------------------------------

RejillaSemana::RejillaSemana(QWidget* parent)
    : QTableView(parent), modelo_(new ModeloSemana(this)) {
    setObjectName(QStringLiteral("RejillaSemana"));
    setModel(modelo_);
    setItemDelegate(new Delegado(modelo_, this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTabKeyNavigation(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    horizontalHeader()->setMinimumSectionSize(90);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& i) { activa(i); });
}

void RejillaSemana::ajusta() {
    clearSpans();
    const semana::Semana& s = modelo_->semana();
    const int lh = fontMetrics().height();
    const int header = 2 * lh + 6;  // a session's title and its times
    for (int r = 0; r < modelo_->rowCount(); ++r)
        setRowHeight(
            r, std::max(header, std::clamp(semana::lineasFila(s, r), 2, kMaxLineas) * lh + 6));
    for (int r = 0; r < modelo_->rowCount(); ++r)
        for (int c = 0; c < modelo_->columnCount(); ++c)
            if (const int alto = s.alto(r, c); alto > 1) setSpan(r, c, alto, 1);
}

void RejillaSemana::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        activa(currentIndex());
        e->accept();
        return;
    }
    QTableView::keyPressEvent(e);
}

void RejillaSemana::activa(const QModelIndex& index) {
    if (!index.isValid()) return;
    const auto periodos = modelo_->semana().enCelda(index.row(), index.column());
    if (periodos.empty()) return;
    int elegido = periodos.front();
    if (periodos.size() > 1) elegido = elige ? elige(index, periodos) : menu(index, periodos);
    if (elegido >= 0) emit irA(elegido);
}

int RejillaSemana::menu(const QModelIndex& cell, const std::vector<int>& periodos) {
    QMenu m(this);
    m.setObjectName(QStringLiteral("MenuPeriodos"));
    for (int i : periodos) {
        QAction* a = m.addAction(q(describe(modelo_->semana().periodos()[std::size_t(i)])));
        a->setData(i);
    }
    m.setActiveAction(m.actions().value(0));
    const QRect r = visualRect(cell);
    QAction* chosen = m.exec(viewport()->mapToGlobal(r.bottomLeft()));
    return chosen ? chosen->data().toInt() : -1;
}

// --- Window -----------------------------------------------------------------------------------

// Tells the window of changes in a dataset it follows: the teacher, the type 2 rows, the type
// 3 grid's view (whose row being typed into the week shows as typed), or the type 3 rows as
// stored through any cursor.
class VentanaSemana::Seguidor : public tables::DatasetObserver {
  public:
    enum Que { Profesor, Tipo2, VistaTipo3, Tipo3 };
    Seguidor(tables::Dataset& ds, VentanaSemana* w, Que que) : ds_(ds), w_(w), que_(que) {
        ds_.addObserver(this);
    }
    ~Seguidor() override { ds_.removeObserver(this); }
    Seguidor(const Seguidor&) = delete;
    Seguidor& operator=(const Seguidor&) = delete;

    void viewReset() override {
        // The type 3 grid's view follows the type 2 row: its reset is no change of data.
        if (que_ == Profesor) w_->cambiaProfesor();
        if (que_ == Tipo2 || que_ == Tipo3) w_->programa(true);
    }
    void rowChanged(int position) override {
        if (que_ == Profesor) return w_->cambiaProfesor();
        if (que_ == Tipo2) return w_->cambiaFila2(position);
        clave(position);
    }
    void currentChanged() override {
        // A move, or an edit begun, stored or dropped: the current row is read again.
        if (que_ == Profesor) return w_->cambiaProfesor();
        if (!ds_.isOpen() || ds_.isEmpty()) return;
        if (que_ == Tipo2) {
            w_->sigueTipo2();
            w_->cambiaFila2(ds_.position());
        }
        if (que_ == VistaTipo3) clave(ds_.position());
    }

  private:
    void clave(int position) {
        try {
            const int k = ds_.fieldIndex("PROF_DIA_SES");
            if (k >= 0 && position >= 0 && position < ds_.recordCount())
                return w_->cambiaClave(ds_.textAt(position, k));
        } catch (const std::exception&) {
        }
        w_->programa(true);
    }

    tables::Dataset& ds_;
    VentanaSemana* w_;
    Que que_;
};

VentanaSemana::VentanaSemana(TAjustaXEL* ajuste, AjustaXEL& logic)
    : QDialog(ajuste, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMinMaxButtonsHint),
      ajuste_(ajuste),
      logic_(logic) {
    setObjectName(QStringLiteral("VentanaSemana"));
    setWindowTitle(QStringLiteral("Semana del profesor"));
    setModal(false);
    auto* lay = new QVBoxLayout(this);
    cabecera_ = new QLabel(this);
    cabecera_->setObjectName(QStringLiteral("CabeceraSemana"));
    QFont bold = cabecera_->font();
    bold.setBold(true);
    cabecera_->setFont(bold);
    cabecera_->setTextFormat(Qt::PlainText);
    lay->addWidget(cabecera_);
    rejilla_ = new RejillaSemana(this);
    lay->addWidget(rejilla_, 1);
    avisos_ = new QLabel(this);
    avisos_->setObjectName(QStringLiteral("AvisosSemana"));
    avisos_->setTextFormat(Qt::PlainText);
    avisos_->setWordWrap(true);
    QPalette pal = avisos_->palette();
    pal.setColor(QPalette::WindowText, kRojo);
    avisos_->setPalette(pal);
    lay->addWidget(avisos_);
    auto* pie = new QHBoxLayout;
    auto* nota = new QLabel(
        QStringLiteral("Intro o doble clic: ir a ese registro de tipo 2 en la ventana de "
                       "codificación."),
        this);
    pie->addWidget(nota, 1);
    auto* cerrar = new QPushButton(QStringLiteral("&Cerrar"), this);
    cerrar->setObjectName(QStringLiteral("CerrarSemana"));
    cerrar->setAutoDefault(false);
    connect(cerrar, &QPushButton::clicked, this, &QDialog::close);
    pie->addWidget(cerrar);
    lay->addLayout(pie);
    resize(900, 600);
    help::gui::setHelpContext(this, kAyudaSemana);

    connect(rejilla_, &RejillaSemana::irA, this, [this](int i) { irAPeriodo(i); });

    // An own cursor finds each period's groups; the bell schedule and the catalogues are read
    // once (the adjustment window does not change them).
    try {
        h3_.open(tables::mapPath("C:\\ZTEMP\\CUADROH3.DBF"), tables::OpenMode::Shared);
        h3_.setIndex("PROF_DIA_SES");
    } catch (const std::exception&) {
        h3_.close();  // the groups are then not shown; the adjustment window said why
    }
    try {
        tables::Dataset p;
        p.open(tables::mapPath("C:\\ZTEMP\\PLANTILLA.DBF"), tables::OpenMode::ReadOnly);
        plantilla_ = semana::leePlantilla(p);
    } catch (const std::exception&) {
        plantilla_.clear();  // every session then shows as outside the bell schedule
    }
    catalogos_ = revision::leeCatalogos(
        {&logic_.catalogo(Catalogo::TIPDOC), &logic_.catalogo(Catalogo::TIPTAR),
         &logic_.catalogo(Catalogo::GRUPNIV), &logic_.catalogo(Catalogo::ASIGNAT),
         &logic_.catalogo(Catalogo::IDIOMA), &logic_.catalogo(Catalogo::OTRACT)});

    seguidores_.push_back(
        std::make_unique<Seguidor>(logic_.wwTableProfesor(), this, Seguidor::Profesor));
    seguidores_.push_back(
        std::make_unique<Seguidor>(logic_.wwTableCUADROH2(), this, Seguidor::Tipo2));
    seguidores_.push_back(
        std::make_unique<Seguidor>(logic_.wwTableCUADROH3(), this, Seguidor::VistaTipo3));
    if (h3_.isOpen()) seguidores_.push_back(std::make_unique<Seguidor>(h3_, this, Seguidor::Tipo3));
}

VentanaSemana::~VentanaSemana() { suelta(); }

void VentanaSemana::suelta() {
    seguidores_.clear();
    h3_.close();
    suelto_ = true;
}

// More changed rows than this at once (a document carried into every period) are read again
// as a whole.
constexpr std::size_t kMaxCambios = 64;

void VentanaSemana::programa(bool todo) {
    if (suelto_) return;
    todo_ = todo_ || todo;
    cabeceraPendiente_ = true;
    if (programada_) return;
    programada_ = true;
    // Once, after the change has settled (an editor closing, the grids moving on).
    QMetaObject::invokeMethod(
        this, [this] { aplica(); }, Qt::QueuedConnection);
}

void VentanaSemana::cambiaFila2(int posicion) {
    if (filas2_.size() <= kMaxCambios) filas2_.push_back(posicion);
    programa(filas2_.size() > kMaxCambios);
}

void VentanaSemana::cambiaClave(std::string clave) {
    if (claves_.size() <= kMaxCambios) claves_.push_back(std::move(clave));
    programa(claves_.size() > kMaxCambios);
}

void VentanaSemana::cambiaProfesor() { programa(false); }

void VentanaSemana::aplica() {
    programada_ = false;
    if (suelto_) return;
    if (!isVisible()) {
        pendiente_ = true;
        todo_ = false;
        filas2_.clear();
        claves_.clear();
        return;
    }
    if (todo_ || !releeCambios()) {
        actualiza();
        return;
    }
    if (cabeceraPendiente_) muestraCabecera();
}

semana::Fuentes VentanaSemana::fuentes() {
    semana::Fuentes f;
    tables::Dataset& t2 = logic_.wwTableCUADROH2();
    f.tipo2 = t2.isOpen() ? &t2 : nullptr;
    f.tipo3 = h3_.isOpen() ? &h3_ : nullptr;
    f.pendiente3 = &logic_.wwTableCUADROH3();
    f.plantilla = &plantilla_;
    f.catalogos = &catalogos_;
    return f;
}

bool VentanaSemana::releeCambios() {
    std::vector<int> filas = std::move(filas2_);
    std::vector<std::string> claves = std::move(claves_);
    filas2_.clear();
    claves_.clear();
    semana::Semana& s = rejilla_->modelo()->semana();
    std::vector<int> periodos;
    for (int pos : filas) {
        // Periods are in the order of the view: the one at position p is usually period p.
        int i = pos >= 0 && pos < int(s.periodos().size()) &&
                        s.periodos()[std::size_t(pos)].posicion == pos
                    ? pos
                    : -1;
        for (std::size_t k = 0; i < 0 && k < s.periodos().size(); ++k)
            if (s.periodos()[k].posicion == pos) i = int(k);
        if (i < 0) return false;  // a row the week does not have: read it all
        periodos.push_back(i);
    }
    for (const std::string& c : claves)
        for (std::size_t k = 0; k < s.periodos().size(); ++k)
            if (s.periodos()[k].clave == c) periodos.push_back(int(k));
    std::sort(periodos.begin(), periodos.end());
    periodos.erase(std::unique(periodos.begin(), periodos.end()), periodos.end());
    const semana::Fuentes f = fuentes();
    std::vector<std::pair<int, int>> celdas;
    try {
        for (int i : periodos) {
            if (!s.relee(i, f)) return false;
            const auto& p = s.periodos()[std::size_t(i)];
            celdas.emplace_back(p.fila, p.columna);
        }
    } catch (const std::exception&) {
        return false;
    }
    rejilla_->modelo()->celdasCambiadas(celdas);
    rejilla_->ajusta();
    return true;
}

void VentanaSemana::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (pendiente_) actualiza();
}

void VentanaSemana::actualiza() {
    pendiente_ = false;
    todo_ = false;
    filas2_.clear();
    claves_.clear();
    if (suelto_) return;
    // The cell shown stays current when its period is still there.
    tables::Bookmark antes = 0;
    bool habia = false;
    if (const QModelIndex cur = rejilla_->currentIndex(); cur.isValid()) {
        const auto ps = rejilla_->modelo()->semana().enCelda(cur.row(), cur.column());
        if (!ps.empty()) {
            antes = rejilla_->modelo()->semana().periodos()[std::size_t(ps.front())].registro;
            habia = true;
        }
    }
    semana::Semana s;
    QString error;
    try {
        s = semana::construye(fuentes());
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }

    QStringList avisos;
    if (!error.isEmpty()) avisos << QStringLiteral("No se puede leer la semana: ") + error;
    if (!h3_.isOpen()) avisos << QStringLiteral("No se pueden leer los grupos de CUADROH3.");
    if (plantilla_.empty()) avisos << QStringLiteral("No se puede leer la plantilla horaria.");
    for (const std::string& a : s.avisos()) avisos << q(a);
    if (avisos.size() > 6) {
        const auto resto = avisos.size() - 5;
        avisos = avisos.mid(0, 5);
        avisos << QStringLiteral("… y %1 avisos más.").arg(resto);
    }
    avisos_->setText(avisos.join(QLatin1Char('\n')));
    avisos_->setVisible(!avisos.isEmpty());

    rejilla_->modelo()->muestra(std::move(s));
    rejilla_->ajusta();
    muestraCabecera();
    const semana::Semana& w = rejilla_->modelo()->semana();
    if (const int i = habia ? w.periodoDe(antes) : -1; i >= 0) {
        const auto& p = w.periodos()[std::size_t(i)];
        rejilla_->setCurrentIndex(rejilla_->modelo()->index(p.fila, p.columna));
    } else {
        sigueTipo2();
    }
}

// The teacher as the teachers grid has it (pending values included), and the week's counts.
void VentanaSemana::muestraCabecera() {
    cabeceraPendiente_ = false;
    const semana::Semana& s = rejilla_->modelo()->semana();
    informe::Profesor t;
    tables::Dataset& prof = logic_.wwTableProfesor();
    const bool hay =
        prof.isOpen() && (!prof.isEmpty() || prof.state() == tables::DatasetState::Insert);
    if (!hay) {
        cabecera_->setText(QStringLiteral("No hay profesores."));
        setWindowTitle(QStringLiteral("Semana del profesor"));
        return;
    }
    t.abrev = prof.text("ABREV");
    t.nombre = prof.text("NOMBRE");
    t.departamento = prof.text("DEPART");
    t.tipodni = prof.text("TIPODNI");
    t.dni = prof.text("DNI");
    auto n = [](int v, const char* uno, const char* varios) {
        return QString::number(v) + QLatin1Char(' ') + QString::fromUtf8(v == 1 ? uno : varios);
    };
    QString texto = q(informe::nombreProfesor(t)) + QStringLiteral(" · Documento ") +
                    q(informe::documento(t)) + QStringLiteral(" · ") +
                    n(int(s.periodos().size()), "periodo", "periodos") + QStringLiteral(" · ") +
                    n(s.numHallazgos(), "hallazgo", "hallazgos");
    if (s.vacia()) texto += QStringLiteral(" · sin periodos en CUADROH2");
    cabecera_->setText(texto);
    setWindowTitle(QStringLiteral("Semana del profesor ") + q(cp1252::toUtf8(t.abrev)));
}

void VentanaSemana::sigueTipo2() {
    if (suelto_) return;
    tables::Dataset& t2 = logic_.wwTableCUADROH2();
    if (!t2.isOpen() || t2.isEmpty()) return;
    const semana::Semana& w = rejilla_->modelo()->semana();
    int i = -1;
    try {
        i = w.periodoDe(t2.bookmark());
    } catch (const std::exception&) {
        return;
    }
    if (i < 0) return;
    const auto& p = w.periodos()[std::size_t(i)];
    const QModelIndex at = rejilla_->modelo()->index(p.fila, p.columna);
    if (rejilla_->currentIndex() != at) rejilla_->setCurrentIndex(at);
    rejilla_->scrollTo(at);
}

void VentanaSemana::irAPeriodo(int i) {
    const semana::Semana& w = rejilla_->modelo()->semana();
    if (i < 0 || i >= int(w.periodos().size())) return;
    const semana::Periodo& p = w.periodos()[std::size_t(i)];
    revision::Hallazgo h;
    h.tipo = 2;
    h.profesor = p.profesor;
    h.registro = p.registro;
    h.clave = p.clave;
    h.campo = p.campoInicial();
    ajuste_->raise();
    ajuste_->activateWindow();
    ajuste_->irAHallazgo(h);
}

// --- The adjustment window's buttons ----------------------------------------------------------

VentanaSemana* ventanaSemana(const TAjustaXEL* ajuste) {
    return ajuste->findChild<VentanaSemana*>(QStringLiteral("VentanaSemana"),
                                             Qt::FindDirectChildrenOnly);
}

// Beside the adjustment window, on the side with more room, so that both can be seen.
void colocaAlLado(VentanaSemana* v, const TAjustaXEL* ajuste) {
    const QScreen* screen = ajuste->screen();
    if (!screen) return;
    const QRect libre = screen->availableGeometry(), a = ajuste->frameGeometry();
    const int derecha = libre.right() - a.right() - 8, izquierda = a.left() - libre.left() - 8;
    const int ancho = std::clamp(std::max(derecha, izquierda), 600, 900);
    v->resize(ancho, std::min(600, libre.height() - 40));
    const int x = derecha >= izquierda ? std::min(a.right() + 8, libre.right() - ancho - 16)
                                       : std::max(libre.left(), a.left() - 8 - ancho);
    v->move(x, std::max(libre.top(), a.top()));
}

VentanaSemana* abreSemana(TAjustaXEL* ajuste, AjustaXEL& logic) {
    VentanaSemana* v = ventanaSemana(ajuste);
    if (!v) {
        v = new VentanaSemana(ajuste, logic);
        colocaAlLado(v, ajuste);
    }
    v->show();
    v->raise();
    v->activateWindow();
    v->rejilla()->setFocus(Qt::OtherFocusReason);
    return v;
}

std::string escribeInforme(TAjustaXEL* ajuste, AjustaXEL& logic, const QString& file) {
    // What is being typed is stored first, as "&Salir" would: the report shows the tables as
    // they will be written.
    for (DataGrid* g :
         {ajuste->wwDBGridPROFT(), ajuste->DBGridCUADROH2(), ajuste->wwDBGridCUADROH3()})
        g->commitEditor();
    std::string error;
    const bool stored = logic.guarded([&] {
        logic.DBEditCODECENTROExit();
        for (tables::Dataset* ds : {&logic.wwTableCUADROH3(), &logic.wwTableCUADROH3AUX(),
                                    &logic.wwTableCUADROH2(), &logic.wwTableProfesor()}) {
            if (!ds->isOpen()) continue;
            const auto st = ds->state();
            if (st != tables::DatasetState::Edit && st != tables::DatasetState::Insert) continue;
            if (ds->modified())
                ds->post();
            else
                ds->cancel();
        }
    });
    if (!stored) return informe::kCancelado;  // its error box has been shown; nothing written
    QProgressDialog progreso(QStringLiteral("Escribiendo el informe…"), QStringLiteral("Cancelar"),
                             0, 1, ajuste);
    progreso.setWindowTitle(QStringLiteral("transZanderXEL"));
    progreso.setWindowModality(Qt::WindowModal);
    progreso.setMinimumDuration(500);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        informe::Informe in;
        error = informe::escribePdf(in, file.toStdString(), [&](int hechas, int total) {
            progreso.setMaximum(total);
            progreso.setValue(hechas);
            return !progreso.wasCanceled();
        });
    } catch (const std::exception& e) {
        error = e.what();
    }
    QGuiApplication::restoreOverrideCursor();
    return error;
}

void montaSemanaEInforme(TAjustaXEL* ajuste, AjustaXEL& logic) {
    auto* semana = new QPushButton(QStringLiteral("&Horario semanal"), ajuste);
    semana->setObjectName(QStringLiteral("BotonSemana"));
    semana->setGeometry(610, 404, 108, 25);
    semana->setAutoDefault(false);
    semana->setToolTip(QStringLiteral("La semana del profesor o profesora actual, en una rejilla"));
    auto* informe = new QPushButton(QStringLiteral("Infor&me…"), ajuste);
    informe->setObjectName(QStringLiteral("BotonInforme"));
    informe->setGeometry(610, 435, 108, 25);
    informe->setAutoDefault(false);
    informe->setToolTip(QStringLiteral("El informe del horario para XEL, en PDF"));
    help::gui::setHelpContext(semana, kAyudaSemana);
    help::gui::setHelpContext(informe, kAyudaInforme);
    QWidget::setTabOrder(ajuste->wwDBGridCUADROH3(), semana);
    QWidget::setTabOrder(semana, informe);
    QWidget::setTabOrder(informe, ajuste->BitBtn1());

    QObject::connect(semana, &QPushButton::clicked, ajuste,
                     [ajuste, &logic] { abreSemana(ajuste, logic); });
    QObject::connect(informe, &QPushButton::clicked, ajuste, [ajuste, &logic] {
        static QString carpeta;
        if (carpeta.isEmpty())
            carpeta = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (carpeta.isEmpty() || !QDir(carpeta).exists()) carpeta = QDir::homePath();
        QFileDialog dialog(ajuste, QString::fromUtf8(informe::kTitulo), carpeta,
                           QStringLiteral("Documentos PDF (*.pdf)"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("pdf"));
        dialog.selectFile(QString::fromUtf8(informe::kTitulo) + QStringLiteral(".pdf"));
        dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Guardar en:"));
        dialog.setLabelText(QFileDialog::FileName, QStringLiteral("&Nombre:"));
        dialog.setLabelText(QFileDialog::FileType, QStringLiteral("&Tipo:"));
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("&Guardar"));
        dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Cancelar"));
        help::gui::setHelpContext(&dialog, kAyudaInforme);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        QString file = dialog.selectedFiles().front();
        if (file.isEmpty()) return;
        if (!file.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
            file += QStringLiteral(".pdf");
        carpeta = QFileInfo(file).absolutePath();
        const std::string error = escribeInforme(ajuste, logic, file);
        if (error == informe::kCancelado) return;
        if (!error.empty()) {
            showErrorBox(ajuste, error);
            return;
        }
        QMessageBox box(
            QMessageBox::Information, QStringLiteral("transZanderXEL"),
            QStringLiteral("Informe guardado en %1").arg(QDir::toNativeSeparators(file)),
            QMessageBox::NoButton, ajuste);
        box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
        box.exec();
    });
    // The tables close with the window: the week stops following them.
    QObject::connect(ajuste, &QDialog::finished, ajuste, [ajuste] {
        if (VentanaSemana* v = ventanaSemana(ajuste)) {
            v->suelta();
            v->hide();
        }
    });
}

}  // namespace tz::timetable::gui
