// The main window offscreen: layout and captions, the initial language, hosted panels, folder
// navigation, the dialogs of the user port and the run status written on closing.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "TempDir.h"
#include "app/gui/FolderList.h"
#include "app/gui/GradientPanel.h"
#include "app/gui/MainForm.h"
#include "help/gui/HelpGui.h"
#include "tables/Catalogue.h"
#include "tables/Dataset.h"
#include "tables/Paths.h"
#include "tables/TableFiles.h"
#include "timetable/AjustaXEL.h"
#include "timetable/Timetable.h"

using tz::app::gui::FolderList;
using tz::app::gui::GradientPanel;

namespace {

// What a modal box looked like when it came up, and which button was then clicked.
struct BoxSeen {
    QString title, text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool seen = false;
};

// Answers the next modal message box by clicking the button with text `click`.
void answerNextBox(BoxSeen& seen, const QString& click) {
    QTimer::singleShot(0, [&seen, click] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == click) b->click();
    });
}

// The centre and study-level tables the panels show, in a scratch exchange folder.
struct PanelTables {
    tz::testing::TempDir dir;
    PanelTables() {
        tz::tables::setRootOverride(dir.path);
        std::filesystem::create_directories(dir / "ZTEMP");
        make(tz::tables::catalogue::xelCENTRO(), {{"012345", "2024", "1"}});
        make(tz::tables::catalogue::xelNIVIMP(),
             {{"ESO", "", "", "", "E.S.O.", "D.B.H.", "", ""},
              {"BAC", "", "", "", "Bachillerato", "Batxilergoa", "", ""}});
    }
    ~PanelTables() { tz::tables::setRootOverride({}); }
    static void make(const tz::tables::TableLayout& layout,
                     const std::vector<std::vector<std::string>>& rows) {
        tz::tables::createTable(tz::tables::ztemp(), layout);
        tz::tables::Dataset ds;
        ds.open(tz::tables::ztempFile(layout.fileName));
        for (const auto& r : rows) ds.appendRecord(r);
        ds.close();
    }
};

// Every widget Tab reaches from `start` before it comes back (at most `limit` steps).
QList<QWidget*> tabChain(QWidget* start, int limit = 60) {
    QList<QWidget*> seen;
    start->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < limit; ++i) {
        QWidget* now = QApplication::focusWidget();
        if (!now || seen.contains(now)) break;
        seen << now;
        QTest::keyClick(now, Qt::Key_Tab, Qt::ControlModifier);  // out of a grid in one step
        if (QApplication::focusWidget() == now) QTest::keyClick(now, Qt::Key_Tab);
    }
    return seen;
}

bool inside(const QWidget* w, const QWidget* ancestor) {
    for (; w; w = w->parentWidget())
        if (w == ancestor) return true;
    return false;
}

QStringList itemTexts(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT
    QString startDir_;

  private slots:
    void initTestCase() { startDir_ = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(startDir_); }

    void layoutAndCaptions() {
        TMForm f;
        QCOMPARE(f.windowTitle(), QStringLiteral("Exportar e importar datos entre Zandrix y XEL"));
        QCOMPARE(f.size(), QSize(599, 311));
        QVERIFY(!(f.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(f.minimumSize(), f.maximumSize());

        struct Expected {
            const char* name;
            QString text;
            QRect geometry;
        };
        const Expected buttons[] = {
            {"BExportar", "Aceptar", QRect(88, 72, 89, 25)},
            {"BImportar", "Aceptar", QRect(96, 64, 89, 25)},
            {"Button1", "F1 AYUDA", QRect(220, 180, 75, 21)},
            {"BClose", "&Salir", QRect(480, 144, 89, 25)},
            {"Button3", "Volver a Niveles Estudios", QRect(328, 144, 129, 25)},
        };
        for (const auto& e : buttons) {
            auto* b = f.findChild<QPushButton*>(e.name);
            QVERIFY2(b, e.name);
            QCOMPARE(b->text(), e.text);
            QCOMPARE(b->geometry(), e.geometry);
        }
        QVERIFY(!f.findChild<QPushButton*>("BExportar")->icon().isNull());
        QVERIFY(!f.findChild<QPushButton*>("BClose")->icon().isNull());
        QVERIFY(f.findChild<QPushButton*>("Button3")->isHidden());

        auto* exp = f.findChild<GradientPanel*>("PanelExportar");
        auto* imp = f.findChild<GradientPanel*>("PanelImportar");
        auto* inf = f.findChild<GradientPanel*>("PanelInferior");
        QCOMPARE(exp->geometry(), QRect(0, 0, 289, 106));
        QCOMPARE(imp->geometry(), QRect(289, 0, 310, 106));
        QCOMPARE(inf->geometry(), QRect(0, 106, 599, 205));
        QCOMPARE(exp->colours(),
                 (QVector<QColor>{QColor(249, 211, 125), Qt::white, QColor(255, 238, 221)}));
        QCOMPARE(inf->colours(), (QVector<QColor>{QColor(194, 205, 254), QColor(207, 242, 254),
                                                  QColor(204, 216, 230)}));

        QStringList labels;
        for (QLabel* l : f.findChildren<QLabel*>()) labels << l->text();
        for (const char* t : {"Transformar datos desde XEL hacia Zandrix ",
                              "Transformar datos desde Zandrix hacia XEL", "Recoger Textos en:",
                              "Carpeta en la que se encuentran los Ficheros TXT de XEL",
                              "Ruta Actual:", "TransZandrixXEL V-1.1"})
            QVERIFY2(labels.contains(QString::fromUtf8(t)), t);

        auto* list = f.findChild<FolderList*>("Directorios");
        QCOMPARE(list->geometry(), QRect(8, 34, 287, 144));
        QCOMPARE(list->palette().color(QPalette::Base), QColor(240, 251, 255));
        auto* drives = f.findChild<QComboBox*>("Unidades");
        QCOMPARE(drives->geometry().topLeft(), QPoint(8, 180));
        QCOMPARE(drives->width(), 137);
        QVERIFY(drives->count() >= 1);
        QCOMPARE(drives->itemData(0).toString(), QStringLiteral("/"));

        // The centre and levels panels are there, hidden, at their places.
        QWidget* centre = f.findChild<QWidget*>("PanelCentro");
        QWidget* levels = f.findChild<QWidget*>("PanelNiveles");
        QVERIFY(centre && levels);
        QVERIFY(centre->isHidden() && levels->isHidden());
        QCOMPARE(centre->parentWidget(), static_cast<QWidget*>(inf));
        QCOMPARE(centre->geometry(), QRect(8, 34, 289, 143));
        QCOMPARE(levels->geometry(), QRect(8, 3, 585, 279));
    }

    void initialLanguage() {
        TMForm f;
        auto* box = f.findChild<QComboBox*>("ComboBoxEuskCast");
        QVERIFY(box->isEditable());
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->itemText(0), QStringLiteral("EUSKERA"));
        QCOMPARE(box->itemText(1), QStringLiteral("CASTELLANO"));
        QCOMPARE(box->currentText(), QStringLiteral("EUSKERA"));
        QCOMPARE(box->geometry().topLeft(), QPoint(176, 44));
        QCOMPARE(box->width(), 110);
        QVERIFY(f.jobs().state().euskera());
        box->setEditText(QStringLiteral("euskera"));  // typed in lower case: Castilian
        QVERIFY(!f.jobs().state().euskera());
    }

    void hostedPanels_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("exportar");
        QTest::addColumn<bool>("importar");
        QTest::addColumn<int>("numParametros");
        QTest::newRow("none") << QStringList{} << true << true << 0;
        QTest::newRow("IMPORTAR") << QStringList{"IMPORTAR", "1A2B"} << false << true << 2;
        QTest::newRow("exportar") << QStringList{"exportar", "1A2B"} << true << false << 2;
        QTest::newRow("otra") << QStringList{"otra", "1A2B"} << true << true << 2;
    }
    void hostedPanels() {
        QFETCH(QStringList, args);
        QFETCH(bool, exportar);
        QFETCH(bool, importar);
        QFETCH(int, numParametros);
        TMForm f(args);
        f.exitWhenHostedCloses = false;
        f.showStartup();  // offscreen has no foreign windows: hosted, but top-level
        QVERIFY(!f.embedded());
        QCOMPARE(f.jobs().state().NumParametros, numParametros);
        auto* exp = f.findChild<GradientPanel*>("PanelExportar");
        auto* imp = f.findChild<GradientPanel*>("PanelImportar");
        QCOMPARE(exp->isVisible(), exportar);
        QCOMPARE(imp->isVisible(), importar);
        if (exportar != importar)
            QCOMPARE((exportar ? exp : imp)->geometry(), QRect(0, 0, 599, 106));
        f.close();
    }

    void folderNavigation() {
        tz::testing::TempDir dir;
        QDir(QString::fromStdString(dir.path.string())).mkpath("Textos XEL/2024");
        QDir(QString::fromStdString(dir.path.string())).mkpath("beta");
        const QString root = QDir(QString::fromStdString(dir.path.string())).canonicalPath();
        QVERIFY(QDir::setCurrent(root));

        TMForm f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto* list = f.findChild<FolderList*>("Directorios");
        auto* path = f.findChild<QLabel*>("RutaActual");
        QCOMPARE(f.currentFolder(), root);
        // Parents from the root down, then the subfolders in name order.
        QStringList expect{"/"};
        for (const QString& part : root.split('/', Qt::SkipEmptyParts)) expect << part;
        expect << "beta"
               << "Textos XEL";
        QCOMPARE(itemTexts(list), expect);

        // Highlighting changes nothing.
        const int textos = itemTexts(list).indexOf("Textos XEL");
        list->setCurrentRow(textos);
        QCOMPARE(f.currentFolder(), root);
        QCOMPARE(QDir::currentPath(), root);

        // Double-click opens it: list, label and working folder follow.
        const QRect r = list->visualItemRect(list->item(textos));
        // A real double-click starts with a press (the view opens only the entry it saw pressed).
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(f.currentFolder(), root);  // a single click only highlights
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
        const QString textosPath = root + "/Textos XEL";
        QCOMPARE(f.currentFolder(), textosPath);
        QCOMPARE(QDir::currentPath(), textosPath);
        QCOMPARE(itemTexts(list).last(), QStringLiteral("2024"));
        QVERIFY(path->text().endsWith("XEL") || path->text().contains(QChar(0x2026)));
        QCOMPARE(path->toolTip(), textosPath);
        QVERIFY(path->fontMetrics().horizontalAdvance(path->text()) <= 287);

        // Enter opens the highlighted entry, here the parent.
        list->setFocus();
        list->setCurrentRow(itemTexts(list).indexOf(QDir(root).dirName()));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(f.currentFolder(), root);
        QCOMPARE(QDir::currentPath(), root);

        // The job takes the folder shown, with one separator added.
        QDir(root).rmdir("beta");
        f.openFolder(root + "/Textos XEL/2024");
        QCOMPARE(f.currentFolder(), root + "/Textos XEL/2024");
        QDir::setCurrent(root);
        QDir(root).rmpath("Textos XEL/2024");
        BoxSeen seen;
        answerNextBox(seen, "Aceptar");
        f.findChild<QPushButton*>("BImportar")->click();
        QVERIFY(seen.seen);
        QCOMPARE(seen.text, QStringLiteral("No existe la carpeta"));
        QCOMPARE(f.jobs().state().CarpetaTextos, (root + "/Textos XEL/2024/").toStdString());
    }

    void longPathIsElided() {
        tz::testing::TempDir dir;
        QString deep = QString::fromStdString(dir.path.string());
        for (int i = 0; i < 8; ++i) deep += "/carpeta-con-un-nombre-largo-" + QString::number(i);
        QVERIFY(QDir().mkpath(deep));
        TMForm f;
        QVERIFY(f.openFolder(deep));
        auto* path = f.findChild<QLabel*>("RutaActual");
        QVERIFY(path->text().contains(QChar(0x2026)));
        QVERIFY(path->fontMetrics().horizontalAdvance(path->text()) <= 287);
    }

    void dialogs() {
        TMForm f;
        f.show();
        BoxSeen msg;
        answerNextBox(msg, "Aceptar");
        f.message("Proceso finalizado");
        QCOMPARE(msg.title, QStringLiteral("transZanderXEL"));
        QCOMPARE(msg.buttons, QStringList{"Aceptar"});
        QCOMPARE(msg.text, QStringLiteral("Proceso finalizado"));

        BoxSeen err;
        answerNextBox(err, "Aceptar");
        f.errorBox("La tabla PROFT.DBF está en uso");
        QCOMPARE(err.title, QStringLiteral("transZanderXEL"));
        QCOMPARE(err.icon, QMessageBox::Critical);
        QCOMPARE(err.text, QString::fromUtf8("La tabla PROFT.DBF está en uso."));
        QCOMPARE(err.buttons, QStringList{"Aceptar"});

        BoxSeen ask;
        answerNextBox(ask, "&Si");
        QVERIFY(f.confirm("primera\rsegunda"));
        QCOMPARE(ask.title, QString::fromUtf8("Confirmación"));
        QCOMPARE(ask.icon, QMessageBox::Question);
        QCOMPARE(ask.buttons, (QStringList{"&Si", "&No"}));
        QCOMPARE(ask.text, QStringLiteral("primera\nsegunda"));
        BoxSeen no;
        answerNextBox(no, "&No");
        QVERIFY(!f.confirm("otra"));
        QVERIFY(no.seen);
    }

    // Every question of the tool has no cancel: Esc and the close box leave it open, only its
    // buttons answer; the box is wide enough for the window manager to show its caption.
    void questionsIgnoreEscAndTheCloseBox_data() {
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("click");
        QTest::addColumn<bool>("answer");
        const QString conservar = QString::fromStdString(tz::timetable::preguntaConservar());
        const QString codificar = QString::fromStdString(tz::timetable::preguntaCodificar());
        const QString documento =
            QString::fromStdString(tz::timetable::AjustaXEL::preguntaSinDocumento());
        QTest::newRow("conservar, no") << conservar << "&No" << false;
        QTest::newRow("conservar, si") << conservar << "&Si" << true;
        QTest::newRow("codificar, no") << codificar << "&No" << false;
        QTest::newRow("codificar, si") << codificar << "&Si" << true;
        QTest::newRow("documento, no") << documento << "&No" << false;
        QTest::newRow("documento, si") << documento << "&Si" << true;
    }
    void questionsIgnoreEscAndTheCloseBox() {
        QFETCH(QString, question);
        QFETCH(QString, click);
        QFETCH(bool, answer);
        TMForm f;
        f.show();
        bool stayed = false, wide = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            QTest::keyClick(box, Qt::Key_Escape);
            const bool afterEsc = box->isVisible();
            box->close();
            stayed = afterEsc && box->isVisible() && !box->clickedButton();
            QFont bold = box->font();
            bold.setBold(true);
            wide = box->width() >= QFontMetrics(bold).horizontalAdvance(box->windowTitle()) + 100;
            for (QAbstractButton* b : box->buttons())
                if (b->text() == click) b->click();
            // A box that Esc or the close box did answer is gone by now: nothing to click.
        });
        QCOMPARE(f.confirm(question.toStdString()), answer);
        QVERIFY(stayed);
        QVERIFY(wide);
    }

    // A plain message still closes with Esc (its only answer), and is as wide as its caption
    // needs.
    void messageClosesWithEscAndShowsItsCaption() {
        TMForm f;
        f.show();
        int width = 0;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            width = box->width();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        f.message("Proceso finalizado");
        QFont bold = f.font();
        bold.setBold(true);
        QVERIFY(width >= QFontMetrics(bold).horizontalAdvance("transZanderXEL") + 100);
    }

    // A panel that shows takes the focus on its first field; what it lies over takes none, so
    // Tab and Enter cannot reach the folder list or "&Salir" beneath it. Back from the levels,
    // the centre grid has the focus again.
    void panelsTakeTheFocusAndCoverWhatTheyLieOver() {
        PanelTables tables;
        TMForm f;
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        auto* list = f.findChild<FolderList*>("Directorios");
        auto* centreGrid = f.findChild<QWidget*>("wwDBGridCentro");
        auto* levelsGrid = f.findChild<QTableView*>("wwDBGridNIVIMP");
        QWidget* centre = f.findChild<QWidget*>("PanelCentro");
        QWidget* levels = f.findChild<QWidget*>("PanelNiveles");

        f.findChild<QPushButton*>("BExportar")->setFocus();
        f.jobs().centro().DatosCentro();
        QCOMPARE(QApplication::focusWidget(), centreGrid);
        QVERIFY(!list->isEnabled());
        const QList<QWidget*> withCentre = tabChain(centreGrid);
        QVERIFY(!withCentre.contains(list));
        QVERIFY(withCentre.contains(f.findChild<QPushButton*>("BExportar")));  // not covered
        QVERIFY(withCentre.contains(f.findChild<QComboBox*>("ComboBoxEuskCast")));

        f.findChild<QPushButton*>("BitBtn1")->click();  // "OK": the levels panel
        QVERIFY(levels->isVisible());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(levelsGrid));
        QCOMPARE(levelsGrid->currentIndex().column(), 2);  // the first abbreviation
        // Disabled, so neither Tab nor an access key ("&Salir") reaches them.
        for (const char* covered : {"BExportar", "BImportar", "BClose", "BRegistro", "Button3"})
            QVERIFY2(!f.findChild<QWidget*>(covered)->isEnabled(), covered);
        for (QWidget* w : tabChain(levelsGrid))
            QVERIFY2(inside(w, levels) || w == f.findChild<QWidget*>("Unidades") ||
                         w == f.findChild<QWidget*>("Button1"),
                     qPrintable(w->objectName()));

        f.findChild<QPushButton*>("Button2")->click();  // "Volver a Datos Centro"
        QVERIFY(centre->isVisible() && !levels->isVisible());
        QCOMPARE(QApplication::focusWidget(), centreGrid);
        QVERIFY(f.findChild<QWidget*>("BClose")->isEnabled());

        // The panel going with the focus in it: the focus goes to a control that shows.
        f.showCentrePanel(false);
        QVERIFY(list->isEnabled());
        QVERIFY(QApplication::focusWidget() && QApplication::focusWidget()->isVisible());
        QVERIFY(!inside(QApplication::focusWidget(), centre));
        f.close();
    }

    // "Volver a Niveles Estudios" shows its whole caption at its designed size.
    void volverANivelesFitsItsButton() {
        TMForm f;
        auto* b = f.findChild<QPushButton*>("Button3");
        QCOMPARE(b->geometry(), QRect(328, 144, 129, 25));
        QStyleOptionButton o;
        o.initFrom(b);
        o.text = b->text();
        const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &o, b);
        QVERIFY(b->fontMetrics().horizontalAdvance(b->text()) <= room.width());
    }

    // The folder list's current entry shows whether the list has the focus.
    void folderListShowsItsFocus() {
        TMForm f;
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        auto* list = f.findChild<FolderList*>("Directorios");
        const QRect r = list->visualItemRect(list->currentItem());
        auto colourAt = [&] {
            return list->viewport()->grab().toImage().pixelColor(r.right() - 3, r.center().y());
        };
        list->setFocus();
        QVERIFY(list->hasFocus());
        const QColor focused = colourAt();
        f.findChild<QPushButton*>("BClose")->setFocus();
        QVERIFY(!list->hasFocus());
        QVERIFY(colourAt() != focused);
    }

    void busyCursorDoesNotStack() {
        TMForm f;
        f.setBusy(true);
        f.setBusy(true);
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        f.setBusy(false);
        QVERIFY(!QApplication::overrideCursor());
        f.setBusy(false);
        QVERIFY(!QApplication::overrideCursor());
    }

    void panelsShowAndHide() {
        TMForm f;
        f.show();
        f.showCentrePanel(true);
        QVERIFY(f.findChild<QWidget*>("PanelCentro")->isVisible());
        f.showLevelsPanel(true);
        QVERIFY(f.findChild<QWidget*>("PanelNiveles")->isVisible());
        f.showVolverNiveles(true);
        QVERIFY(f.findChild<QPushButton*>("Button3")->isVisible());
        f.showCentrePanel(false);
        f.showLevelsPanel(false);
        QVERIFY(f.findChild<QWidget*>("PanelCentro")->isHidden());
        QVERIFY(f.findChild<QWidget*>("PanelNiveles")->isHidden());
    }

    void closingWritesTheRunStatusOnlyWhenHosted() {
        tz::testing::TempDir dir;
        {
            TMForm f({"IMPORTAR", "1A2B"});
            f.exitWhenHostedCloses = false;
            f.setRunStatusFile(dir / "Zandrix.ini");
            f.showStartup();
            f.findChild<QPushButton*>("BClose")->click();
            QVERIFY(!f.isVisible());
            QCOMPARE(tz::testing::readBytes(dir / "Zandrix.ini"),
                     std::string("[Transformadores]\r\nTransformado=0\r\n"));
        }
        std::filesystem::remove(dir / "Zandrix.ini");
        {
            TMForm f;
            f.setRunStatusFile(dir / "Zandrix.ini");
            f.show();
            f.findChild<QPushButton*>("BClose")->click();
            QVERIFY(!std::filesystem::exists(dir / "Zandrix.ini"));
        }
    }

    void failedRunStatusWriteShowsTheErrorAndStillCloses() {
        tz::testing::TempDir dir;
        TMForm f({"exportar", "1A2B"});
        f.exitWhenHostedCloses = false;
        const auto file = dir / "missing" / "Zandrix.ini";
        f.setRunStatusFile(file);
        f.showStartup();
        BoxSeen err;
        answerNextBox(err, "Aceptar");
        f.close();
        QVERIFY(err.seen);
        QCOMPARE(err.text, QString::fromStdString("Unable to write to " + file.string() + "."));
        QVERIFY(!f.isVisible());
    }

    void helpContexts() {
        TMForm f;
        using tz::help::gui::helpContextOf;
        QCOMPARE(helpContextOf(&f), 3);
        QCOMPARE(helpContextOf(f.findChild<QComboBox*>("ComboBoxEuskCast")), 1);
        QCOMPARE(helpContextOf(f.findChild<QPushButton*>("BExportar")), 3);
        QCOMPARE(helpContextOf(f.findChild<FolderList*>("Directorios")), 3);
    }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
