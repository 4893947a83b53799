#include "app/gui/MainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFont>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "app/gui/Drives.h"
#include "app/gui/FolderList.h"
#include "app/gui/GradientPanel.h"
#include "app/gui/HostWindow.h"
#include "app/gui/VentanaRegistro.h"
#include "base/Texts.h"
#include "base/gui/Label.h"
#include "help/gui/HelpGui.h"
#include "intake/gui/ButtonCaption.h"
#include "intake/gui/Panels.h"
#include "timetable/AjustaXEL.h"
#include "timetable/gui/DialogHost.h"
#include "timetable/gui/Windows.h"

using tz::app::gui::FolderList;
using tz::app::gui::GradientPanel;
using tz::app::gui::userDrives;
namespace texts = tz::base::texts;

namespace {

using tz::base::gui::label;

constexpr int kWidth = 599;
constexpr int kHeight = 311;
constexpr int kTopBand = 106;
constexpr int kExportarWidth = 289;
constexpr int kFolderListWidth = 287;

QString q(const std::string& s) { return QString::fromStdString(s); }

QLabel* title(QWidget* parent, const QString& text, const QRect& box) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setPointSize(12);
    f.setBold(true);
    l->setFont(f);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(box);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, const QRect& box,
                    QStyle::StandardPixmap glyph = QStyle::SP_CustomBase) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(box);
    if (glyph != QStyle::SP_CustomBase) b->setIcon(b->style()->standardIcon(glyph));
    return b;
}

// A question with two answers and no cancel: Esc and the close box do nothing, only "&Si" or
// "&No" answer it (the platform's yes/no box does the same).
class YesNoBox : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;

  protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->matches(QKeySequence::Cancel)) return e->accept();
        QMessageBox::keyPressEvent(e);
    }
    void closeEvent(QCloseEvent* e) override {
        if (!clickedButton()) return e->ignore();
        QMessageBox::closeEvent(e);
    }
};

// The window a box asked for now belongs to: a modal window open over the main one, or the
// main window itself.
QWidget* boxOwner(QWidget* main) {
    QWidget* modal = QApplication::activeModalWidget();
    return modal ? modal : main;
}

// Makes a box wide enough for the window manager to show its whole caption beside the title
// bar's buttons, and keeps it above an embedded main window's host.
void prepareBox(QMessageBox& box, const QWidget* owner) {
    QFont title = box.font();
    title.setBold(true);
    title.setPointSizeF(std::max(title.pointSizeF(), 10.0));
    const int least = QFontMetrics(title).horizontalAdvance(box.windowTitle()) + 170;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(least, 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, std::max(1, grid->columnCount()));
    tz::timetable::gui::placeDialog(&box, owner);
}

}  // namespace

TMForm::TMForm(const QStringList& args, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("MForm"));
    runStatusFile_ = std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) /
                     texts::kRunStatusFile;
    jobs_ = std::make_unique<tz::app::Jobs>(*this);
    buildWidgets();
    std::vector<std::string> a;
    for (const QString& s : args) a.push_back(s.toStdString());
    // Help tells what it could not find with the tool's own message box.
    tz::help::gui::setHelpMessages([this](const std::string& text) { message(text); });
    plan_ = jobs_->FormCreate(a);
    // A window left open between jobs does not keep the timetabler's run of the tool out.
    if (!plan_.hosted) jobs_->keepFolderHeld(false);
    applyPlan();
}

TMForm::~TMForm() {
    tz::help::gui::setHelpMessages({});
    if (busy_) QApplication::restoreOverrideCursor();
    // The panels' grids watch the datasets that jobs_ owns: they go first.
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    if (host_) {
        // Our native window is a child of the foreign one: detach it before the foreign
        // QWindow goes, or it would take ours with it.
        if (QWindow* w = windowHandle()) w->setParent(nullptr);
        delete host_;
    }
}

void TMForm::buildWidgets() {
    setWindowTitle(QString::fromUtf8(texts::kCaption));
    QFont base(QStringLiteral("Sans Serif"));
    base.setStyleHint(QFont::SansSerif);
    base.setPointSize(8);
    setFont(base);
    setFixedSize(kWidth, kHeight);

    const QVector<QColor> topColours = {QColor(249, 211, 125), Qt::white, QColor(255, 238, 221)};

    // XEL → Zandrix panel.
    panelExportar_ = new GradientPanel(topColours, this);
    panelExportar_->setObjectName(QStringLiteral("PanelExportar"));
    panelExportar_->setGeometry(0, 0, kExportarWidth, kTopBand);
    title(panelExportar_, QStringLiteral("Transformar datos desde XEL hacia Zandrix "),
          QRect(24, 3, 265, 41));
    label(panelExportar_, QStringLiteral("Recoger Textos en:"), Qt::red, QPoint(24, 49));
    comboBoxEuskCast_ = new QComboBox(panelExportar_);
    comboBoxEuskCast_->setObjectName(QStringLiteral("ComboBoxEuskCast"));
    comboBoxEuskCast_->setEditable(true);
    comboBoxEuskCast_->setInsertPolicy(QComboBox::NoInsert);
    comboBoxEuskCast_->addItems({QStringLiteral("EUSKERA"), QStringLiteral("CASTELLANO")});
    comboBoxEuskCast_->setCurrentIndex(0);
    comboBoxEuskCast_->setGeometry(176, 44, 110, 21);
    {
        QFont f = comboBoxEuskCast_->font();
        f.setBold(true);
        comboBoxEuskCast_->setFont(f);
        QPalette p = comboBoxEuskCast_->palette();
        p.setColor(QPalette::Base, Qt::white);
        p.setColor(QPalette::Text, Qt::black);
        comboBoxEuskCast_->setPalette(p);
    }
    connect(comboBoxEuskCast_, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { jobs_->state().idioma = t.toStdString(); });
    bExportar_ = button(panelExportar_, "BExportar", QString::fromUtf8(texts::kAceptar),
                        QRect(88, 72, 89, 25), QStyle::SP_DialogOkButton);
    connect(bExportar_, &QPushButton::clicked, this, &TMForm::BExportarClick);

    // Zandrix → XEL panel.
    panelImportar_ = new GradientPanel(topColours, this);
    panelImportar_->setObjectName(QStringLiteral("PanelImportar"));
    panelImportar_->setGeometry(kExportarWidth, 0, kWidth - kExportarWidth, kTopBand);
    title(panelImportar_, QStringLiteral("Transformar datos desde Zandrix hacia XEL"),
          QRect(8, 3, 305, 57));
    bImportar_ = button(panelImportar_, "BImportar", QString::fromUtf8(texts::kAceptar),
                        QRect(96, 64, 89, 25), QStyle::SP_DialogOkButton);
    connect(bImportar_, &QPushButton::clicked, this, &TMForm::BImportarClick);

    // Bottom band.
    panelInferior_ = new GradientPanel(
        {QColor(194, 205, 254), QColor(207, 242, 254), QColor(204, 216, 230)}, this);
    panelInferior_->setObjectName(QStringLiteral("PanelInferior"));
    panelInferior_->setGeometry(0, kTopBand, kWidth, kHeight - kTopBand);
    label(panelInferior_, QStringLiteral("Carpeta en la que se encuentran los Ficheros TXT de XEL"),
          Qt::blue, QPoint(9, 5), {.bold = false});
    QLabel* ruta = label(panelInferior_, QStringLiteral("Ruta Actual:"), Qt::blue, QPoint(9, 19),
                         {.bold = false});
    // Wider fonts than the designed one would run the caption into the path.
    rutaActual_ = label(panelInferior_, QString(), Qt::red,
                        QPoint(std::max(70, ruta->geometry().right() + 4), 20));
    rutaActual_->setObjectName(QStringLiteral("RutaActual"));
    rutaActual_->setFixedWidth(kFolderListWidth);

    directorios_ = new FolderList(panelInferior_);
    directorios_->setObjectName(QStringLiteral("Directorios"));
    directorios_->setGeometry(8, 34, kFolderListWidth, 144);
    {
        QPalette p = directorios_->palette();
        p.setColor(QPalette::Base, QColor(240, 251, 255));
        directorios_->setPalette(p);
    }
    connect(directorios_, &FolderList::openRequested, this,
            [this](const QString& f) { openFolder(f); });

    unidades_ = new QComboBox(panelInferior_);
    unidades_->setObjectName(QStringLiteral("Unidades"));
    unidades_->setGeometry(8, 180, 137, 21);
    fillDrives();
    connect(unidades_, &QComboBox::activated, this, &TMForm::UnidadesChange);

    button1_ =
        button(panelInferior_, "Button1", QStringLiteral("F1 AYUDA"), QRect(220, 180, 75, 21));
    connect(button1_, &QPushButton::clicked, this, &TMForm::Button1Click);
    label(panelInferior_, QStringLiteral("TransZandrixXEL V-1.1"), Qt::red, QPoint(368, 184))
        ->setObjectName(QStringLiteral("Version"));
    bClose_ = button(panelInferior_, "BClose", QStringLiteral("&Salir"), QRect(480, 144, 89, 25),
                     QStyle::SP_DialogCloseButton);
    connect(bClose_, &QPushButton::clicked, this, &TMForm::BCloseClick);
    // The log of runs.
    bRegistro_ =
        button(panelInferior_, "BRegistro", QStringLiteral("&Registro"), QRect(480, 112, 89, 25));
    bRegistro_->setToolTip(QStringLiteral("Las últimas ejecuciones de los dos trabajos"));
    connect(bRegistro_, &QPushButton::clicked, this, [this] { tz::app::gui::abreRegistro(this); });
    tz::help::gui::setHelpContext(bRegistro_, 42);
    button3_ = button(panelInferior_, "Button3", QStringLiteral("Volver a Niveles Estudios"),
                      QRect(328, 144, 129, 25));
    tz::intake::gui::fitCaption(button3_);
    button3_->hide();
    connect(button3_, &QPushButton::clicked, this, &TMForm::Button3Click);

    // The panels of the centre data and the study levels, hidden until a job needs them.
    centrePanel_ = tz::intake::gui::createCentrePanel(panelInferior_, jobs_->centro());
    centrePanel_->setGeometry(8, 34, 289, 143);
    centrePanel_->hide();
    levelsPanel_ = tz::intake::gui::createLevelsPanel(this, jobs_->centro());
    levelsPanel_->setGeometry(8, 3, 585, 279);
    levelsPanel_->hide();

    tz::help::gui::setHelpContext(this, 3);
    tz::help::gui::setHelpContext(comboBoxEuskCast_, 1);

    openFolder(QDir::currentPath());
}

void TMForm::applyPlan() {
    if (!plan_.exportarPanel) {
        panelExportar_->hide();
        panelImportar_->setGeometry(0, 0, kWidth, kTopBand);
    }
    if (!plan_.importarPanel) {
        panelImportar_->hide();
        panelExportar_->setGeometry(0, 0, kWidth, kTopBand);
    }
}

void TMForm::showStartup() {
    if (plan_.hosted) {
        host_ = tz::app::gui::embedInHost(this, static_cast<quint32>(plan_.hostHandle));
        if (host_) {
            // Qt says nothing when the host goes away; look for it now and then.
            hostWatch_ = new QTimer(this);
            connect(hostWatch_, &QTimer::timeout, this, &TMForm::checkHost);
            hostWatch_->start(500);
        }
        // Without a reachable host the window stays hosted (one panel, run status written on
        // closing) but shows itself as a top-level window.
    }
    show();
    // The host may keep child windows of its own (an xterm's text window, for one); ours goes
    // on top of them so that it gets the clicks.
    if (host_) {
        raise();
        // The keys come to the tool at once ("&Salir" works without a click first), as soon
        // as its window is on the screen.
        windowHandle()->installEventFilter(this);
        takeFocusBack();
        // A window of the tool that had the keys and goes away (a box, a modal window, the
        // help window) leaves them to the window manager, which gives them to the host's
        // window: once it has, they come back here.
        keysBack_ = new QTimer(this);
        keysBack_->setInterval(50);
        connect(keysBack_, &QTimer::timeout, this, &TMForm::keysBackTick);
        qApp->installEventFilter(this);
    }
}

bool TMForm::eventFilter(QObject* watched, QEvent* event) {
    if (host_ && watched == windowHandle() && event->type() == QEvent::Expose && !keysTaken_)
        takeFocusBack();
    if (host_ && event->type() == QEvent::Hide && watched != this && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow() && keysBack_) {
        keysBackTries_ = 40;
        keysBack_->start();
    }
    return QWidget::eventFilter(watched, event);
}

void TMForm::keysBackTick() {
    const quint32 focus = tz::app::gui::keyboardFocus();
    bool ours = false;
    for (QWindow* w : QGuiApplication::allWindows())
        if (w->isVisible() && w->handle() && static_cast<quint32>(w->winId()) == focus) ours = true;
    // Another window of the tool has them, or the tool gives up waiting.
    if (ours) return keysBack_->stop();
    // No window has them yet (0 or PointerRoot): the window manager is still choosing.
    if (focus <= 1 && --keysBackTries_ > 0) return;
    keysBack_->stop();
    // Another program's window has them: a modal window of the tool still open takes them,
    // else the main window.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible())
        modal->activateWindow();
    else
        takeFocusBack();
}

void TMForm::takeFocusBack() {
    if (!host_ || closed_ || !isVisible() || QApplication::activeModalWidget()) return;
    if (tz::app::gui::takeKeyboard(this)) keysTaken_ = true;
}

void TMForm::checkHost() {
    if (!closed_ && !tz::app::gui::hostWindowExists(static_cast<quint32>(plan_.hostHandle)))
        close();
}

QString TMForm::currentFolder() const { return directorios_->folder(); }

bool TMForm::openFolder(const QString& folder) {
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QDir::setCurrent(path)) {
        errorBox("No se puede abrir la carpeta " + QDir::toNativeSeparators(path).toStdString());
        return false;
    }
    directorios_->showFolder(path);
    followFolder();
    return true;
}

void TMForm::followFolder() {
    const QString native = QDir::toNativeSeparators(directorios_->folder());
    QFont f = rutaActual_->font();
    rutaActual_->setText(QFontMetrics(f).elidedText(native, Qt::ElideMiddle, kFolderListWidth));
    rutaActual_->setToolTip(native);
    // The drive box shows the volume that holds the folder.
    int best = -1;
    qsizetype bestLen = -1;
    const QString folder = directorios_->folder();
    for (int i = 0; i < unidades_->count(); ++i) {
        const QString root = unidades_->itemData(i).toString();
        const bool inside = root == QLatin1String("/") || folder == root ||
                            folder.startsWith(root + QLatin1Char('/'));
        if (inside && root.size() > bestLen) best = i, bestLen = root.size();
    }
    if (best >= 0) {
        unidades_->setCurrentIndex(best);
        lastFolderOnDrive_[unidades_->itemData(best).toString()] = folder;
    }
}

void TMForm::fillDrives() {
    unidades_->clear();
    for (const QStorageInfo& v : userDrives()) {
        QString text = v.rootPath();
        const QString name = v.displayName();
        if (!name.isEmpty() && name != text)
            text += QStringLiteral("  [") + name + QLatin1Char(']');
        unidades_->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), text, v.rootPath());
    }
}

void TMForm::UnidadesChange(int index) {
    const QString root = unidades_->itemData(index).toString();
    QString target = lastFolderOnDrive_.value(root, root);
    if (!QDir(target).exists()) target = root;
    if (!openFolder(target)) followFolder();  // put the drive box back
}

void TMForm::BExportarClick() {
    lastJobButton_ = bExportar_;
    jobs_->state().idioma = comboBoxEuskCast_->currentText().toStdString();
    jobs_->BExportarClick(currentFolder().toStdString());
}

void TMForm::BImportarClick() {
    lastJobButton_ = bImportar_;
    jobs_->state().idioma = comboBoxEuskCast_->currentText().toStdString();
    jobs_->BImportarClick(currentFolder().toStdString());
}

void TMForm::Button1Click() { tz::help::gui::helpButtonClicked(this); }
void TMForm::BCloseClick() { jobs_->BCloseClick(); }
void TMForm::Button3Click() { jobs_->Button3Click(); }

// ---- the user-interaction port ----

void TMForm::message(const std::string& text) {
    QWidget* owner = boxOwner(this);
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(texts::kTitulo),
                    q(tz::base::displayText(text)), QMessageBox::NoButton,
                    tz::timetable::gui::dialogParent(owner));
    box.setTextFormat(Qt::PlainText);
    box.addButton(QString::fromUtf8(texts::kAceptar), QMessageBox::AcceptRole);
    prepareBox(box, owner);
    box.exec();
}

bool TMForm::confirm(const std::string& text) {
    QWidget* owner = boxOwner(this);
    YesNoBox box(QMessageBox::Question, QString::fromUtf8(texts::kConfirmacion),
                 q(tz::base::displayText(text)), QMessageBox::NoButton,
                 tz::timetable::gui::dialogParent(owner));
    box.setTextFormat(Qt::PlainText);
    QPushButton* si = box.addButton(QString::fromUtf8(texts::kSi), QMessageBox::YesRole);
    box.addButton(QString::fromUtf8(texts::kNo), QMessageBox::NoRole);
    box.setDefaultButton(si);
    // No close box in the title bar: only a button answers.
    box.setWindowFlags((box.windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint) &
                       ~Qt::WindowCloseButtonHint);
    tz::help::gui::setHelpContext(&box, 1);
    prepareBox(box, owner);
    box.exec();
    return box.clickedButton() == si;
}

void TMForm::errorBox(const std::string& text) {
    QWidget* owner = isVisible() ? boxOwner(this) : nullptr;
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(texts::kTitulo),
                    q(tz::base::displayText(text) + "."), QMessageBox::NoButton,
                    tz::timetable::gui::dialogParent(owner));
    box.setTextFormat(Qt::PlainText);
    box.addButton(QString::fromUtf8(texts::kAceptar), QMessageBox::AcceptRole);
    prepareBox(box, owner);
    box.exec();
}

void TMForm::setBusy(bool busy) {
    // One override at most: repeated calls do not stack up.
    if (busy && !busy_)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (!busy && busy_)
        QApplication::restoreOverrideCursor();
    busy_ = busy;
}

void TMForm::showCentrePanel(bool visible) { showPanel(centrePanel_, visible); }

void TMForm::showLevelsPanel(bool visible) { showPanel(levelsPanel_, visible); }

void TMForm::showPanel(QWidget* panel, bool visible) {
    const bool hadFocus =
        panel->isAncestorOf(QApplication::focusWidget()) || panel->isAncestorOf(focusWidget());
    panel->setVisible(visible);
    if (visible) panel->raise();
    // What a panel lies over takes no focus and no keys while it shows.
    const bool centre = centrePanel_->isVisibleTo(this), levels = levelsPanel_->isVisibleTo(this);
    directorios_->setEnabled(!centre && !levels);
    for (QWidget* w : {static_cast<QWidget*>(panelExportar_), static_cast<QWidget*>(panelImportar_),
                       static_cast<QWidget*>(bClose_), static_cast<QWidget*>(bRegistro_),
                       static_cast<QWidget*>(button3_), centrePanel_})
        w->setEnabled(!levels);
    if (visible) {
        // The panel takes the focus on its first field.
        tz::intake::gui::focusGrid(panel);
    } else if (hadFocus) {
        if (levels)
            tz::intake::gui::focusGrid(levelsPanel_);
        else if (centre)
            tz::intake::gui::focusGrid(centrePanel_);
        else if (lastJobButton_ && lastJobButton_->isVisibleTo(this))
            lastJobButton_->setFocus(Qt::OtherFocusReason);
        else
            bClose_->setFocus(Qt::OtherFocusReason);
    }
}

void TMForm::showVolverNiveles(bool visible) { button3_->setVisible(visible); }

void TMForm::focusLevelsGrid() { tz::intake::gui::focusLevelsGrid(levelsPanel_); }

void TMForm::runBellScheduleCheck() { tz::timetable::gui::runControlPlantilla(this); }

void TMForm::runAdjustment(tz::base::Adjustment& ajuste) {
    tz::timetable::gui::runAjustaXEL(this, tz::timetable::AjustaXEL::of(ajuste));
}

void TMForm::closeMainWindow() { close(); }

void TMForm::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        if (hostWatch_) hostWatch_->stop();
        setBusy(false);
        jobs_->FormClose(runStatusFile_);
    }
    event->accept();
    if (plan_.hosted && exitWhenHostedCloses) QCoreApplication::exit(0);
}
