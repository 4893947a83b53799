// The main window's log of runs, offscreen: "&Registro" opens it, the runs newest first, the
// details of the one chosen by keyboard, and its exits.
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>

#include "TempDir.h"
#include "app/RegistroEjecuciones.h"
#include "app/gui/MainForm.h"
#include "app/gui/VentanaRegistro.h"

using namespace tz;

namespace {
app::registro::Ejecucion run(const char* inicio, const char* modo, const char* resultado) {
    app::registro::Ejecucion e;
    e.inicio = inicio;
    e.modo = modo;
    e.origen = "ventana";
    e.carpeta = "/home/jefa/XEL";
    e.leidos = {{"fPROFES.txt", 27}};
    e.mensajes = {"Proceso finalizado"};
    e.resultado = resultado;
    e.estadoTransformado = 1;
    return e;
}
}  // namespace

class RegistroWindowTest : public QObject {
    Q_OBJECT
    tz::testing::TempDir dir;

  private slots:
    void init() {
        std::filesystem::remove_all(dir / "estado");
        setenv("XDG_STATE_HOME", (dir / "estado").c_str(), 1);
    }

    void listsTheRunsNewestFirstWithTheirDetails() {
        const auto log = app::registro::fichero();
        QCOMPARE(app::registro::anade(run("2026-03-01 09:00:00", "exportar", "finalizado"), log),
                 std::string());
        QCOMPARE(app::registro::anade(run("2026-03-02 10:00:00", "importar", "no finalizado"), log),
                 std::string());
        app::gui::VentanaRegistro w(nullptr);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeWidget* list = w.lista();
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("2026-03-02 10:00:00"));
        QCOMPARE(list->topLevelItem(0)->text(3), QStringLiteral("no finalizado"));
        QCOMPARE(list->currentItem(), list->topLevelItem(0));
        QVERIFY(w.detalle()->toPlainText().contains(QStringLiteral("Trabajo: importar (ventana)")));
        QVERIFY(w.detalle()->toPlainText().contains(QStringLiteral("  fPROFES.txt: 27 filas")));
        QTest::keyClick(list, Qt::Key_Down);
        QVERIFY(w.detalle()->toPlainText().contains(QStringLiteral("Trabajo: exportar (ventana)")));
        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
    }

    void anEmptyLogSaysSo() {
        app::gui::VentanaRegistro w(nullptr);
        QCOMPARE(w.lista()->topLevelItemCount(), 0);
        QCOMPARE(w.detalle()->toPlainText(),
                 QStringLiteral("Todavía no hay ejecuciones registradas."));
    }

    void theMainWindowOpensItFromItsButton() {
        TMForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* b = form.findChild<QPushButton*>(QStringLiteral("BRegistro"));
        QVERIFY(b);
        QCOMPARE(b->text(), QStringLiteral("&Registro"));
        bool opened = false;
        QTimer::singleShot(0, [&] {
            auto* w = qobject_cast<app::gui::VentanaRegistro*>(QApplication::activeModalWidget());
            opened = w != nullptr;
            if (auto* c =
                    w ? w->findChild<QPushButton*>(QStringLiteral("CerrarRegistro")) : nullptr)
                QTest::mouseClick(c, Qt::LeftButton);
            else if (QWidget* m = QApplication::activeModalWidget())
                m->close();
        });
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY(opened);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(RegistroWindowTest)
#include "RegistroWindowTest.moc"
