#include "timetable/gui/TAjustaXEL.h"

#include "base/Text.h"
#include "base/gui/Label.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include "help/gui/HelpGui.h"
#include "timetable/AjustaXEL.h"
#include "timetable/RevisionAjuste.h"
#include "timetable/Texto.h"
#include "timetable/gui/DataGrid.h"
#include "timetable/gui/DialogHost.h"
#include "timetable/gui/SemanaProfesor.h"
#include "timetable/gui/Windows.h"

namespace tz::timetable::gui {

using tables::qt::Cp1252Validator;
using tables::qt::DatasetColumn;
using tables::qt::decodeCp1252;
using tables::qt::encodeCp1252;

namespace {

using base::gui::label;

DatasetColumn col(const char* field, const char* title, int width) {
    return DatasetColumn{QString::fromLatin1(field), QString::fromUtf8(title), width, true, {}};
}

int columnOf(const GridModel* m, const char* field) {
    for (int c = 0; c < m->columns().size(); ++c)
        if (m->columns()[c].field == QLatin1String(field)) return c;
    return -1;
}

const QColor kRed(200, 0, 0);
const QColor kBlue(0, 0, 160);
constexpr int kAltoRevision = 152;

}  // namespace

TAjustaXEL::TAjustaXEL(QWidget* owner, AjustaXEL& logic) : QDialog(owner), logic_(logic) {
    setWindowTitle(QStringLiteral("CODIFICACIÓN Datos XEL"));
    // The system's dialog text: 8-point sans serif.
    QFont f = font();
    f.setPointSize(8);
    setFont(f);
    // The window's classic area, and the completeness check below it.
    setFixedSize(726, 499 + kAltoRevision);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    label(this, QStringLiteral("AJUSTES Y CODIFICACION DE DATOS EXPORTACIÓN PARA X.E.L."),
          QColor(0, 0, 0), QRect(8, 6, 710, 18), {.underline = true});
    label(this,
          QStringLiteral("Deberán CODIFICAR todos aquellos Datos del XEL, que se encuentren en "
                         "Blanco, Seleccionando los mismos en la Ventana Auxiliar que se abrirá "
                         "en cada Celda Codificable. Los Códigos XEL que se inserten en la "
                         "Ventana de PROFESORES o REGISTROS de TIPO 2, se actualizarán "
                         "automáticamente en REGISTROS de TIPO 3."),
          kRed, QRect(8, 26, 710, 48), {.wrap = true});

    // Centre line.
    label(this, QStringLiteral("Datos del Centro:"), kBlue, QRect(8, 80, 120, 20));
    const struct {
        const char* name;
        const char* field;
        const char* caption;
        int width;
        QRect captionAt, boxAt;
    } boxes[] = {
        {"DBEditCODECENTRO", "CODCENTRO", "Cód.Centro", 6, QRect(130, 80, 70, 20),
         QRect(200, 79, 62, 22)},
        {"DBEditANOACAD", "ANOACAD", "Año Académico", 4, QRect(280, 80, 100, 20),
         QRect(380, 79, 46, 22)},
        {"DBEditVERSION", "VERSION", "Versión", 5, QRect(444, 80, 56, 20), QRect(500, 79, 54, 22)},
    };
    tables::Dataset& centro = logic_.wwTablexelCENTRO();
    for (int i = 0; i < 3; ++i) {
        const auto& b = boxes[i];
        label(this, QString::fromUtf8(b.caption), QColor(0, 0, 0), b.captionAt, {.bold = false});
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(b.name));
        e->setMaxLength(b.width);
        e->setValidator(new Cp1252Validator(b.width, e));
        e->setGeometry(b.boxAt);
        if (centro.isOpen() && !centro.isEmpty()) e->setText(decodeCp1252(centro.text(b.field)));
        const std::string field = b.field;
        connect(e, &QLineEdit::textEdited, this, [this, field](const QString& text) {
            std::string bytes;
            if (!encodeCp1252(text, bytes)) return;
            logic_.guarded([&] { logic_.setCentro(field, bytes); });
            programaRevision();
        });
        connect(e, &QLineEdit::editingFinished, this,
                [this] { logic_.guarded([&] { logic_.DBEditCODECENTROExit(); }); });
        centre_[i] = e;
    }

    auto onError = [this](const std::string& e) {
        logic_.guarded([&] { throw tables::EngineError(e); });
    };

    // Teachers.
    label(this, QStringLiteral("PROFESORES"), kBlue, QRect(8, 106, 200, 16));
    auto* mProf = new GridModel(
        &logic_.wwTableProfesor(),
        {col("ABREV", "Profe.", 4), col("TIPODNI", "TipoDOC", 1), col("DNI", "DOCUMENTO", 15),
         col("NOMBRE", "Nombre", 45), col("DEPART", "Departamento", 32)});
    mProf->onError = onError;
    profesores_ = new DataGrid(mProf, this);
    profesores_->setObjectName(QStringLiteral("wwDBGridPROFT"));
    profesores_->setGeometry(8, 122, 710, 116);

    // Type 2 rows: the current teacher's periods.
    label(this, QStringLiteral("REGISTROS de TIPO 2"), kBlue, QRect(8, 242, 200, 16));
    auto* m2 = new GridModel(
        &logic_.wwTableCUADROH2(),
        {col("ABREVPROF", "Profe.", 4), col("TIPDOC", "TipoDOC", 1),
         col("DOC", "Documento DNI", 15), col("DIASEM", "Día", 1), col("NUMSESION", "Sesión", 2),
         col("TIPTAR", "TAREA", 3), col("HORAINI", "H.INICIO", 5), col("HORAFIN", "H. FIN", 5),
         col("GRUPNIV", "G.NIVEL", 3), col("ABREVASIG", "Asignat.", 4),
         col("CODASIG", "Cód.ASIG", 4), col("IDIOMA", "IDIOMA", 2), col("TIP_ACTIV", "ACTIV.", 3)});
    m2->onError = onError;
    tipo2_ = new DataGrid(m2, this);
    tipo2_->setObjectName(QStringLiteral("DBGridCUADROH2"));
    tipo2_->setGeometry(8, 258, 710, 122);

    // Type 3 rows: the current period's group.
    label(this, QStringLiteral("REGISTROS de TIPO 3"), kBlue, QRect(8, 384, 200, 16));
    auto* m3 = new GridModel(&logic_.wwTableCUADROH3(),
                             {col("ABREVGRUP", "Grupo", 4), col("CODGRUPO", "Cód.GRUPO", 5),
                              col("NUMALUM", "Núm.ALUMNOS", 2)});
    m3->onError = onError;
    tipo3_ = new DataGrid(m3, this);
    tipo3_->setObjectName(QStringLiteral("wwDBGridCUADROH3"));
    tipo3_->setGeometry(8, 400, std::min(250, tipo3_->contentWidth()), 92);

    label(this,
          QStringLiteral("Si la TAREA es \"Lectiva\",  Cód.ASIG e IDIOMA deben tener contenido. "
                         "Si la TAREA  NO es \"Lectiva\",  ACTIV. debe tener contenido. "),
          kRed, QRect(262, 404, 340, 60), {.wrap = true});

    // The drop-down lists of the six codable cells.
    for (const Desplegable& d : desplegables()) {
        DataGrid* g = d.rejilla == Desplegable::Profesores ? profesores_ : tipo2_;
        base::gui::LookupList list;
        list.catalogue = &logic_.catalogo(d.catalogo);
        for (const auto& [name, width] : d.columnas)
            list.columns.append({QString::fromLatin1(name), width});
        list.codeField = QString::fromLatin1(d.codigo);
        g->cellDelegate()->lookups.insert(columnOf(g->gridModel(), d.campo), list);
    }

    // Document propagation from the teachers grid.
    profesores_->columnExit = [this](int column) {
        logic_.guarded([&] { logic_.wwDBGridPROFTColExit(column); });
        refrescaDetalles();
    };
    mProf->fieldChanged = [this](int) {
        logic_.guarded([&] { logic_.wwDBGridPROFTFieldChanged(profesores_->currentGridColumn()); });
        refrescaDetalles();
        programaRevision();
    };
    m2->fieldChanged = [this](int) { programaRevision(); };
    m3->fieldChanged = [this](int) { programaRevision(); };

    salir_ = new QPushButton(QStringLiteral("&Salir"), this);
    salir_->setObjectName(QStringLiteral("BitBtn1"));
    salir_->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    salir_->setGeometry(629, 466, 89, 25);
    salir_->setAutoDefault(false);
    connect(salir_, &QPushButton::clicked, this, [this] { BitBtn1Click(); });

    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(profesores_),
                       static_cast<QWidget*>(tipo2_), static_cast<QWidget*>(tipo3_),
                       static_cast<QWidget*>(salir_)})
        help::gui::setHelpContext(w, 1);

    setTabOrder(centre_[0], centre_[1]);
    setTabOrder(centre_[1], centre_[2]);
    setTabOrder(centre_[2], profesores_);
    setTabOrder(profesores_, tipo2_);
    setTabOrder(tipo2_, tipo3_);
    setTabOrder(tipo3_, salir_);
    montaRevision(499);
    montaSemanaEInforme(this, logic_);
    profesores_->setFocus();
}

TAjustaXEL::~TAjustaXEL() {
    // The check's findings and cursors go before the list and grids that show them.
    cierraRevision();
    rev_.reset();
}

void TAjustaXEL::refrescaDetalles() {
    // Rows stored through the second cursor on CUADROH3 are read again.
    auto* m3 = tipo3_->gridModel();
    m3->setDataset(m3->dataset());
}

void TAjustaXEL::guardaEditores() {
    for (DataGrid* g : {profesores_, tipo2_, tipo3_}) g->commitEditor();
}

void TAjustaXEL::BitBtn1Click() {
    guardaEditores();
    salir_->setFocus();  // a centre box being left stores its row
    if (QWidget* f = QApplication::focusWidget(); f && f != salir_)
        logic_.guarded([&] { logic_.DBEditCODECENTROExit(); });
    logic_.guarded([&] { logic_.BitBtn1Click(); });
    if (logic_.salirCerro()) {
        cierraRevision();
        accept();
        return;
    }
    revisa();  // the window stays open: stored edits may have changed the findings
    // "&Si" to the missing document: that teacher's document cell is ready to type into.
    tables::Dataset& prof = logic_.wwTableProfesor();
    if (prof.isOpen() && !prof.isEmpty() && base::trimControls(prof.text("DNI")).empty()) {
        const QModelIndex dni = profesores_->gridModel()->index(prof.position(), ColDni - 1);
        profesores_->setCurrentIndex(dni);
        profesores_->scrollTo(dni);
        profesores_->setFocus(Qt::OtherFocusReason);
    }
}

void TAjustaXEL::closeEvent(QCloseEvent* e) {
    if (!logic_.salirCerro()) {
        guardaEditores();
        logic_.guarded([&] { logic_.DBEditCODECENTROExit(); });
        logic_.FormClose();
        cierraRevision();
    }
    QDialog::closeEvent(e);
}

void TAjustaXEL::keyPressEvent(QKeyEvent* e) {
    // Escape does not close the window: only "&Salir" and the close box do.
    if (e->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(e);
}

void TAjustaXEL::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(157, 185, 235));
    g.setColorAt(1, QColor(236, 242, 252));
    p.fillRect(rect(), g);
}

void runAjustaXEL(QWidget* owner, AjustaXEL& logic) {
    TAjustaXEL w(dialogParent(owner), logic);
    placeDialog(&w, owner);
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    w.exec();
    QGuiApplication::restoreOverrideCursor();
    // However the window went, a close that "&Salir" did not make counts as the close box.
    if (!logic.salirCerro()) logic.FormClose();
}

}  // namespace tz::timetable::gui
