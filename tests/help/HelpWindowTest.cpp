#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <QWindow>

#include "help/gui/ChmHelpBackend.h"
#include "help/gui/HelpGui.h"
#include "help/gui/HelpWindow.h"

using namespace tz::help;
using namespace tz::help::gui;

namespace {
const std::string kChm = TZ_FIXTURE_CHM;
}

class HelpWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY(QFile::exists(QString::fromStdString(kChm)));
        installHelp(*qApp);
        QCOMPARE(helpFile(), QStringLiteral("XEL.CHM"));
        QVERIFY(helpWindow() == nullptr);  // nothing made or read until help is asked for
    }

    void contextShowsTheMappedTopic() {
        ChmHelpBackend backend;
        backend.htmlHelp(0, kChm, HH_HELP_CONTEXT, {1, {}});
        HelpWindow* w = backend.window();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Ayuda de prueba"));
        QVERIFY(w->browser()->toPlainText().contains(QStringLiteral("Detalle de la ayuda")));
        QCOMPARE(w->browser()->currentPath(), std::string("/sub/detalle.htm"));
        QCOMPARE(w->contentsTree()->topLevelItemCount(), 2);
        QVERIFY(w->contentsTree()->currentItem());
        QCOMPARE(w->contentsTree()->currentItem()->text(0), QStringLiteral("Detalle & más"));
        // The page's image and style sheet come from the archive.
        const QByteArray png = w->browser()
                                   ->loadResource(QTextDocument::ImageResource, QUrl("punto.png"))
                                   .toByteArray();
        QVERIFY(png.startsWith("\x89PNG"));
        QVERIFY(w->browser()
                    ->loadResource(QTextDocument::StyleSheetResource, QUrl("../estilo.css"))
                    .toString()
                    .contains("color"));
        QVERIFY(
            !w->browser()->loadResource(QTextDocument::ImageResource, QUrl("falta.png")).isValid());

        // An unmapped context shows the default topic.
        backend.htmlHelp(0, kChm, HH_HELP_CONTEXT, {99, {}});
        QCOMPARE(w->browser()->currentPath(), std::string("/inicio.htm"));
    }

    void contentsTopicsAndLinks() {
        ChmHelpBackend backend;
        backend.htmlHelp(0, kChm, HH_DISPLAY_TOC, {});
        HelpWindow* w = backend.window();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->tabs()->currentIndex(), 0);
        QVERIFY(w->browser()->toPlainText().contains(QStringLiteral("Página de inicio")));
        QVERIFY(w->browser()->toPlainText().contains(QStringLiteral("año, canción")));

        backend.htmlHelp(0, kChm + "::/tareas.htm", HH_DISPLAY_TOPIC, {});
        QVERIFY(w->browser()->toPlainText().contains(QStringLiteral("Lista de tareas")));

        // Links inside the archive, relative to the page shown.
        backend.htmlHelp(0, kChm + "::/inicio.htm", HH_DISPLAY_TOPIC, {});
        emit w->browser()->anchorClicked(QUrl("sub/detalle.htm#abajo"));
        QCOMPARE(w->browser()->currentPath(), std::string("/sub/detalle.htm"));
        emit w->browser()->anchorClicked(QUrl("../inicio.htm"));
        QCOMPARE(w->browser()->currentPath(), std::string("/inicio.htm"));
        QVERIFY(w->browser()->isBackwardAvailable());

        // Choosing an entry of the contents tree shows its page.
        QTreeWidgetItem* tareas = w->contentsTree()->topLevelItem(1);
        QCOMPARE(tareas->text(0), QStringLiteral("Tareas"));
        w->contentsTree()->setCurrentItem(tareas);
        QCOMPARE(w->browser()->currentPath(), std::string("/tareas.htm"));

        // A topic the file lacks shows a page saying so.
        backend.htmlHelp(0, kChm + "::/falta.htm", HH_DISPLAY_TOPIC, {});
        QVERIFY(w->browser()->toPlainText().contains(QStringLiteral("No se encuentra")));

        backend.htmlHelp(0, {}, HH_CLOSE_ALL, {});
        QVERIFY(!w->isVisible());
        QVERIFY(w->archive() == nullptr);
    }

    void indexKeyword() {
        ChmHelpBackend backend;
        backend.htmlHelp(0, kChm, HH_DISPLAY_INDEX, {0, "tareas"});
        HelpWindow* w = backend.window();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->tabs()->currentIndex(), 1);
        QCOMPARE(w->indexList()->count(), 2);
        QCOMPARE(w->browser()->currentPath(), std::string("/tareas.htm"));
        // An unknown keyword leaves the index open at the nearest entry.
        backend.htmlHelp(0, kChm, HH_DISPLAY_INDEX, {0, "Ima"});
        QCOMPARE(w->indexList()->currentItem()->text(), QStringLiteral("Imagen"));
        QCOMPARE(w->browser()->currentPath(), std::string("/tareas.htm"));
    }

    // A help file that is not there, or not a help file, opens no window; the user is told
    // where it was looked for, or that it cannot be read. A name that is no ".chm" file is no
    // help file for this viewer at all: nothing is said.
    void missingOrWrongFileIsTold() {
        QTemporaryDir dir;
        QFile text(dir.filePath("ayuda.chm"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("esto no es un archivo de ayuda");
        text.close();
        const std::string missing = dir.filePath("no-existe.chm").toStdString();
        const struct {
            std::string file;
            std::string told;
        } cases[] = {
            {missing,
             "No se encuentra el archivo de ayuda no-existe.chm.\rSe ha buscado en:\r" + missing},
            {text.fileName().toStdString(),
             "No se puede leer el archivo de ayuda " + text.fileName().toStdString() + "."},
            {kChm + ".txt", ""},
            {dir.path().toStdString(), ""},
        };
        for (const auto& c : cases) {
            ChmHelpBackend backend;
            std::vector<std::string> told;
            backend.tell = [&told](const std::string& t) { told.push_back(t); };
            for (HhCommand cmd : {HH_DISPLAY_TOC, HH_HELP_CONTEXT, HH_DISPLAY_INDEX})
                backend.htmlHelp(0, c.file, cmd, {3, "x"});
            backend.htmlHelp(0, c.file + "::/x.htm", HH_DISPLAY_TOPIC, {});
            QVERIFY2(!backend.window() || !backend.window()->isVisible(), c.file.c_str());
            const std::vector<std::string> expected =
                c.told.empty() ? std::vector<std::string>{} : std::vector<std::string>(4, c.told);
            QCOMPARE(told, expected);
        }
    }

    // Not beside the executable nor at the named place: the copy an installation keeps under
    // share/ is found, and a message names every place looked in, in order.
    void installedCopyIsTheFallback() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("bin"));
        QVERIFY(QDir(dir.path()).mkpath("share/transzanderxel"));
        const std::string bin = dir.filePath("bin").toStdString() + "/";
        const std::string named = dir.filePath("ZDXM7/XEL.CHM").toStdString();
        const std::string installed = dir.filePath("share/transzanderxel/XEL.CHM").toStdString();
        ChmHelpBackend backend(bin);
        std::vector<std::string> told;
        backend.tell = [&told](const std::string& t) { told.push_back(t); };
        backend.htmlHelp(0, named, HH_DISPLAY_TOC, {});
        QCOMPARE(told, (std::vector<std::string>{
                           "No se encuentra el archivo de ayuda XEL.CHM.\rSe ha buscado en estos "
                           "lugares:\r" +
                           named + "\r" + installed + "\r" + bin + "XEL.CHM"}));
        QVERIFY(QFile::copy(QString::fromStdString(kChm), QString::fromStdString(installed)));
        backend.htmlHelp(0, named, HH_DISPLAY_TOC, {});
        QCOMPARE(told.size(), std::size_t(1));
        QVERIFY(backend.window() && backend.window()->isVisible());
        QCOMPARE(backend.window()->archive()->file().string(), installed);
        backend.window()->closeAll();
    }

    // Beside the tool when a side has room, narrower when it has some, at the screen's edge when
    // neither has; always on the screen.
    void besideTheTool_data() {
        QTest::addColumn<QRect>("tool");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("room on the right")
            << QRect(100, 100, 600, 300) << QRect(700, 100, 800, 600);
        QTest::newRow("room on the left only")
            << QRect(1000, 50, 600, 300) << QRect(200, 50, 800, 600);
        QTest::newRow("some room: narrower")
            << QRect(600, 200, 700, 300) << QRect(1300, 200, 620, 600);
        QTest::newRow("some room on the left") << QRect(500, 0, 1200, 300) << QRect(0, 0, 500, 600);
        QTest::newRow("no room: the edge") << QRect(300, 0, 1400, 300) << QRect(0, 0, 420, 600);
        QTest::newRow("kept on the screen")
            << QRect(100, 900, 600, 150) << QRect(700, 480, 800, 600);
    }
    void besideTheTool() {
        QFETCH(QRect, tool);
        QFETCH(QRect, expected);
        const QRect screen(0, 0, 1920, 1080);
        const QRect got = besideRect(tool, screen, QSize(800, 600), 420);
        QCOMPARE(got, expected);
        QVERIFY(screen.contains(got));
    }

    // The contents of the shipped help show every entry whole; Esc closes the window.
    void contentsWholeAndEscCloses() {
        const std::string shipped = TZ_SHIPPED_CHM;
        QVERIFY(QFile::exists(QString::fromStdString(shipped)));
        ChmHelpBackend backend;
        backend.htmlHelp(0, shipped, HH_DISPLAY_TOC, {});
        HelpWindow* w = backend.window();
        QVERIFY(w && w->isVisible());
        QTreeWidget* tree = w->contentsTree();
        QVERIFY(tree->topLevelItemCount() > 3);
        const int room = tree->viewport()->width();
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            const QRect r = tree->visualItemRect(*it);
            const int need = r.left() + tree->fontMetrics().horizontalAdvance((*it)->text(0));
            QVERIFY2(need <= room, qPrintable((*it)->text(0)));
        }
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w,
                        Qt::Key_Escape);
        QVERIFY(!w->isVisible());
    }

    void helpContextOfWalksUpTheParents() {
        QWidget top;
        auto* panel = new QWidget(&top);
        auto* inner = new QWidget(panel);
        auto* box = new QComboBox(panel);
        QCOMPARE(helpContextOf(inner), 0);
        setHelpContext(&top, 3);
        setHelpContext(box, 1);
        QCOMPARE(helpContextOf(&top), 3);
        QCOMPARE(helpContextOf(inner), 3);
        QCOMPARE(helpContextOf(box), 1);
        QCOMPARE(helpContextOf(nullptr), 0);
    }

    // F1 before "F1 AYUDA": XEL.CHM beside the executable, at the focused control's context.
    void f1AsksForTheFocusedContext() {
        const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath("XEL.CHM");
        QFile::remove(beside);
        QVERIFY(QFile::copy(QString::fromStdString(kChm), beside));
        setHelpFile(QStringLiteral("XEL.CHM"));

        QWidget main;
        auto* layout = new QVBoxLayout(&main);
        auto* language = new QComboBox;
        language->setEditable(true);
        language->addItems({"EUSKERA", "CASTELLANO"});
        auto* other = new QLineEdit;
        layout->addWidget(language);
        layout->addWidget(other);
        setHelpContext(&main, 3);
        setHelpContext(language, 1);
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));

        language->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QVERIFY(helpWindow() && helpWindow()->isVisible());
        QCOMPARE(helpWindow()->browser()->currentPath(), std::string("/sub/detalle.htm"));
        QCOMPARE(helpWindow()->archive()->file().string(), beside.toStdString());

        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        other->setFocus();
        QTest::keyClick(other, Qt::Key_F1);
        QCOMPARE(helpWindow()->browser()->currentPath(), std::string("/inicio.htm"));
        QVERIFY(other->text().isEmpty());  // F1 taken, not typed
        QFile::remove(beside);
    }

    // "F1 AYUDA": the help file becomes \ZDXM7\XEL.CHM under the root, and its contents show.
    void helpButtonSwitchesToZdxm7() {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath("ZDXM7"));
        QVERIFY(QFile::copy(QString::fromStdString(kChm), root.filePath("ZDXM7/XEL.CHM")));
        qputenv("TRANSZANDERXEL_ROOT", root.path().toLocal8Bit());
        setHelpFile(QStringLiteral("XEL.CHM"));
        if (helpWindow()) helpWindow()->closeAll();

        QWidget main;
        main.show();
        helpButtonClicked(&main);
        QCOMPARE(helpFile(), QStringLiteral("\\ZDXM7\\XEL.CHM"));
        QVERIFY(helpWindow() && helpWindow()->isVisible());
        QCOMPARE(helpWindow()->tabs()->currentIndex(), 0);
        QCOMPARE(helpWindow()->browser()->currentPath(), std::string("/inicio.htm"));
        QCOMPARE(QFileInfo(QString::fromStdString(helpWindow()->archive()->file().string()))
                     .canonicalFilePath(),
                 QFileInfo(root.filePath("ZDXM7/XEL.CHM")).canonicalFilePath());

        // From then on F1 uses that file too; without it, no window, and the user is told.
        helpWindow()->closeAll();
        QFile::remove(root.filePath("ZDXM7/XEL.CHM"));
        std::vector<std::string> told;
        setHelpMessages([&told](const std::string& t) { told.push_back(t); });
        contextHelp(3);
        setHelpMessages({});
        QVERIFY(!helpWindow()->isVisible());
        QCOMPARE(told.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(told[0]).contains(root.filePath("ZDXM7/XEL.CHM")));
        qunsetenv("TRANSZANDERXEL_ROOT");
    }

    // Help asked for from a modal dialog is not blocked by it.
    void helpFromAModalDialog() {
        setHelpFile(QString::fromStdString(kChm));
        QDialog dialog;
        dialog.setModal(true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(QApplication::activeModalWidget(), &dialog);
        contextHelp(1);
        QVERIFY(helpWindow() && helpWindow()->isVisible());
        QCOMPARE(helpWindow()->windowHandle()->transientParent(), dialog.windowHandle());
        dialog.close();
    }
};

QTEST_MAIN(HelpWindowTest)
#include "HelpWindowTest.moc"
