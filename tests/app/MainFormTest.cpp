// The main window offscreen: layout and captions, the initial language, hosted panels, folder
// navigation, the dialogs of the user port and the run status written on closing.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "TempDir.h"
#include "app/gui/FolderList.h"
#include "app/gui/GradientPanel.h"
#include "app/gui/MainForm.h"
#include "help/gui/HelpGui.h"

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
