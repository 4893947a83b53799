#include "app/gui/VentanaRegistro.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "help/gui/HelpGui.h"

namespace tz::app::gui {

namespace {

QString q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

constexpr int kAyudaRegistro = 42;

QString duracion(long long ms) {
    if (ms < 1000) return QStringLiteral("%1 ms").arg(ms);
    return QStringLiteral("%1 s").arg(
        QString::number(double(ms) / 1000.0, 'f', 1).replace('.', ','));
}

}  // namespace

VentanaRegistro::VentanaRegistro(QWidget* parent, const std::filesystem::path& log)
    : QDialog(parent), log_(log) {
    setObjectName(QStringLiteral("VentanaRegistro"));
    setWindowTitle(QStringLiteral("Últimas ejecuciones"));
    auto* lay = new QVBoxLayout(this);
    auto* titulo = new QLabel(QStringLiteral("&Ejecuciones, la más reciente primero:"), this);
    lay->addWidget(titulo);
    lista_ = new QTreeWidget(this);
    lista_->setObjectName(QStringLiteral("ListaEjecuciones"));
    lista_->setRootIsDecorated(false);
    lista_->setUniformRowHeights(true);
    lista_->setHeaderLabels({QStringLiteral("Fecha"), QStringLiteral("Trabajo"),
                             QStringLiteral("Duración"), QStringLiteral("Resultado"),
                             QStringLiteral("Carpeta de textos")});
    lista_->header()->setStretchLastSection(true);
    titulo->setBuddy(lista_);
    lay->addWidget(lista_, 3);
    detalle_ = new QPlainTextEdit(this);
    detalle_->setObjectName(QStringLiteral("DetalleEjecucion"));
    detalle_->setReadOnly(true);
    detalle_->setLineWrapMode(QPlainTextEdit::NoWrap);
    lay->addWidget(detalle_, 2);
    auto* pie = new QHBoxLayout;
    nota_ = new QLabel(this);
    nota_->setTextFormat(Qt::PlainText);
    nota_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pie->addWidget(nota_, 1);
    auto* actualizar = new QPushButton(QStringLiteral("&Actualizar"), this);
    actualizar->setAutoDefault(false);
    connect(actualizar, &QPushButton::clicked, this, &VentanaRegistro::lee);
    pie->addWidget(actualizar);
    auto* cerrar = new QPushButton(QStringLiteral("&Cerrar"), this);
    cerrar->setObjectName(QStringLiteral("CerrarRegistro"));
    connect(cerrar, &QPushButton::clicked, this, &QDialog::accept);
    pie->addWidget(cerrar);
    lay->addLayout(pie);
    resize(860, 520);
    help::gui::setHelpContext(this, kAyudaRegistro);

    connect(lista_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        muestra(item ? lista_->indexOfTopLevelItem(item) : -1);
    });
    lee();
    lista_->setFocus();
}

void VentanaRegistro::lee() {
    std::size_t danadas = 0;
    runs_ = registro::ultimas(0, log_, &danadas);
    lista_->clear();
    for (const registro::Ejecucion& e : runs_) {
        auto* item = new QTreeWidgetItem({q(e.inicio), q(e.modo + " (" + e.origen + ")"),
                                          duracion(e.duracionMs), q(e.resultado), q(e.carpeta)});
        if (e.resultado != "finalizado") item->setForeground(3, QColor(190, 0, 0));
        lista_->addTopLevelItem(item);
    }
    for (int c = 0; c < 4; ++c) lista_->resizeColumnToContents(c);
    QString nota = QStringLiteral("Registro: ") + QDir::toNativeSeparators(q(log_.string())) +
                   QStringLiteral(" (se guardan las %1 últimas)").arg(registro::kMaximo);
    if (danadas) nota += QStringLiteral("; %1 líneas ilegibles omitidas").arg(danadas);
    nota_->setText(nota);
    if (runs_.empty()) {
        detalle_->setPlainText(QStringLiteral("Todavía no hay ejecuciones registradas."));
    } else {
        lista_->setCurrentItem(lista_->topLevelItem(0));
    }
}

void VentanaRegistro::muestra(int run) {
    if (run < 0 || run >= int(runs_.size())) return;
    detalle_->setPlainText(q(registro::detalle(runs_[std::size_t(run)])));
}

void abreRegistro(QWidget* parent) {
    VentanaRegistro w(parent);
    w.exec();
}

}  // namespace tz::app::gui
