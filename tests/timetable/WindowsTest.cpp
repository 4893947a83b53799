#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <memory>

#include "School.h"
#include "VentanaAjuste.h"
#include "support/RecordingPort.h"
#include "timetable/AjustaXEL.h"
#include "timetable/Timetable.h"
#include "timetable/gui/DataGrid.h"
#include "timetable/gui/TAjustaXEL.h"
#include "timetable/gui/TControlPlantilla.h"

using namespace tz;
using base::gui::LookupEdit;
using timetable::gui::DataGrid;

namespace {

QString cell(DataGrid* g, int row, int column) {
    return g->model()->index(row, column).data().toString();
}

// Types `text` as the keyboard does: each key to the widget that has the focus then (the first
// opens a cell's editor, the rest go to it).
void type(const QString& text) {
    for (QChar c : text) QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}

QStringList titles(DataGrid* g) {
    QStringList t;
    for (int c = 0; c < g->model()->columnCount(); ++c)
        t << g->model()->headerData(c, Qt::Horizontal).toString();
    return t;
}

}  // namespace

class WindowsTest : public QObject, tz::testing::VentanaAjuste {
    Q_OBJECT

    std::unique_ptr<testing::School> school;

  private slots:
    void init() {
        school = std::make_unique<testing::School>();
        // ABC: 1 1 (1A), 1 2 (1B), 2 1 (no group); JLM: 3 3 (1A); MIR: 4 1 (2A).
        school->soluc({{"ABC", "1", "1", "1", "1A", "MAT", "", ""},
                       {"ABC", "1", "2", "1", "1B", "LEN", "", ""},
                       {"ABC", "2", "1", "1", "", "MAT", "201", ""},
                       {"JLM", "3", "3", "1", "1A", "LEN", "", ""},
                       {"MIR", "4", "1", "1", "2A", "LEN", "", ""}});
        timetable::CreaTablasCuadro();
        timetable::ExportaCuadros();
        abreAjuste(*school);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() {
        cierraAjuste();
        school.reset();
    }

    void layoutAndTitles() {
        QCOMPARE(window->windowTitle(), QStringLiteral("CODIFICACIÓN Datos XEL"));
        // The classic 726 x 499 area, with the code check's list below it.
        QCOMPARE(window->width(), 726);
        QVERIFY(window->height() >= 499);
        QVERIFY(window->BitBtn1()->geometry().bottom() < 499);
        QCOMPARE(titles(window->wwDBGridPROFT()),
                 (QStringList{"Profe.", "TipoDOC", "DOCUMENTO", "Nombre", "Departamento"}));
        QCOMPARE(
            titles(window->DBGridCUADROH2()),
            (QStringList{"Profe.", "TipoDOC", "Documento DNI", "Día", "Sesión", "TAREA", "H.INICIO",
                         "H. FIN", "G.NIVEL", "Asignat.", "Cód.ASIG", "IDIOMA", "ACTIV."}));
        QCOMPARE(titles(window->wwDBGridCUADROH3()),
                 (QStringList{"Grupo", "Cód.GRUPO", "Núm.ALUMNOS"}));
        QCOMPARE(window->BitBtn1()->text(), QStringLiteral("&Salir"));
        QCOMPARE(window->DBEditCODECENTRO()->text(), QStringLiteral("012345"));
        QCOMPARE(window->DBEditCODECENTRO()->maxLength(), 6);
        QCOMPARE(window->DBEditANOACAD()->maxLength(), 4);
        QCOMPARE(window->DBEditVERSION()->maxLength(), 5);
        // Two-line titles and the row indicator.
        auto* g = window->wwDBGridPROFT();
        QVERIFY(g->horizontalHeader()->height() >= 2 * g->fontMetrics().height());
        QVERIFY(g->verticalHeader()->isVisible());
        QCOMPARE(g->model()->headerData(0, Qt::Vertical).toString(), QStringLiteral("▶"));
        QCOMPARE(g->model()->headerData(1, Qt::Vertical).toString(), QString());
    }

    void linkedGridsFollowTheCurrentTeacherAndPeriod() {
        auto* prof = window->wwDBGridPROFT();
        auto* t2 = window->DBGridCUADROH2();
        auto* t3 = window->wwDBGridCUADROH3();
        QCOMPARE(prof->model()->rowCount(), 3);
        QCOMPARE(t2->model()->rowCount(), 3);  // ABC's periods
        QCOMPARE(cell(t3, 0, 0), QStringLiteral("1A"));

        prof->setCurrentIndex(prof->model()->index(2, 0));  // MIR
        QCOMPARE(logic->wwTableProfesor().text("ABREV"), std::string("MIR"));
        QCOMPARE(t2->model()->rowCount(), 1);
        QCOMPARE(cell(t2, 0, 0), QStringLiteral("MIR"));
        QCOMPARE(cell(t2, 0, 3), QStringLiteral("4"));
        QCOMPARE(cell(t3, 0, 0), QStringLiteral("2A"));
        QCOMPARE(cell(t3, 0, 1), QStringLiteral("02ESA"));

        prof->setCurrentIndex(prof->model()->index(0, 0));  // ABC again
        t2->setCurrentIndex(t2->model()->index(1, 0));      // day 1, hour 2: group 1B
        QCOMPARE(t3->model()->rowCount(), 1);
        QCOMPARE(cell(t3, 0, 0), QStringLiteral("1B"));
        t2->setCurrentIndex(t2->model()->index(2, 0));  // day 2: no group
        QCOMPARE(t3->model()->rowCount(), 0);
    }

    void pickedCodeLandsInTheField() {
        auto* t2 = window->DBGridCUADROH2();
        const QModelIndex activ = t2->model()->index(0, 12);
        t2->setCurrentIndex(activ);
        t2->edit(activ);
        auto* editor = qobject_cast<LookupEdit*>(t2->indexWidget(activ));
        QVERIFY(editor);
        QVERIFY(!editor->list() || !editor->list()->isVisible());  // not opened by itself
        QTest::mouseClick(editor->button(), Qt::LeftButton);
        QVERIFY(editor->list()->isVisible());
        QCOMPARE(editor->list()->topLevelItemCount(), 1);
        QCOMPARE(editor->list()->headerItem()->text(0), QStringLiteral("COD"));
        QCOMPARE(editor->list()->headerItem()->text(1), QStringLiteral("DESCCASTR"));
        QCOMPARE(editor->list()->topLevelItem(0)->text(0), QStringLiteral("3001"));
        QCOMPARE(editor->list()->topLevelItem(0)->text(1), QStringLiteral("Bibl."));
        editor->pick(0);
        // The four-character activity code is cut to the three of TIP_ACTIV.
        QCOMPARE(logic->wwTableCUADROH2().text("TIP_ACTIV"), std::string("300"));
        QCOMPARE(cell(t2, 0, 12), QStringLiteral("300"));
        // The subject list shows the Castilian code first and writes COD.
        const QModelIndex asig = t2->model()->index(1, 10);
        t2->setCurrentIndex(asig);
        t2->edit(asig);
        auto* subjects = qobject_cast<LookupEdit*>(t2->indexWidget(asig));
        QVERIFY(subjects);
        subjects->openList();
        QCOMPARE(subjects->list()->headerItem()->text(0), QStringLiteral("CODCAST"));
        QCOMPARE(subjects->list()->topLevelItem(0)->text(0), QStringLiteral("MAT"));
        subjects->pick(0);
        QCOMPARE(cell(t2, 1, 10), QStringLiteral("0101"));
    }

    void pickedDocumentTypeReachesEveryRowOfTheTeacher() {
        auto* prof = window->wwDBGridPROFT();
        const QModelIndex tipo = prof->model()->index(0, 1);
        prof->setCurrentIndex(tipo);
        prof->edit(tipo);
        auto* editor = qobject_cast<LookupEdit*>(prof->indexWidget(tipo));
        QVERIFY(editor);
        editor->openList();
        QCOMPARE(editor->list()->topLevelItemCount(), 2);
        editor->pick(1);  // "2", Pasaporte
        auto* t2 = window->DBGridCUADROH2();
        for (int r = 0; r < t2->model()->rowCount(); ++r)
            QCOMPARE(cell(t2, r, 1), QStringLiteral("2"));
        QCOMPARE(cell(window->wwDBGridCUADROH3(), 0, 0), QStringLiteral("1A"));
        logic->wwTableProfesor().post();
        const auto h3 =
            school->rows(school->ztemp("CUADROH3.DBF"), {"ABREVPROF", "TIPDOC"}, "PROF_DIA_SES");
        QCOMPARE(QString::fromStdString(h3[0]), QStringLiteral("ABC|2"));
        QCOMPARE(QString::fromStdString(h3[1]), QStringLiteral("ABC|2"));
        QCOMPARE(QString::fromStdString(h3[2]), QStringLiteral("JLM|"));
    }

    void typedDocumentPropagatesAndEnterMovesLikeTab() {
        auto* prof = window->wwDBGridPROFT();
        window->activateWindow();
        prof->setFocus();
        const QModelIndex dni = prof->model()->index(1, 2);  // JLM
        prof->setCurrentIndex(dni);
        prof->edit(dni);
        auto* editor = qobject_cast<QLineEdit*>(prof->indexWidget(dni));
        QVERIFY(editor);
        editor->setText(QStringLiteral("22222222J"));
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(prof->currentIndex().column(), 3);  // on to "Nombre"
        QCOMPARE(prof->currentIndex().row(), 1);
        QCOMPARE(cell(window->DBGridCUADROH2(), 0, 2), QStringLiteral("22222222J"));
        QCOMPARE(cell(window->wwDBGridCUADROH3(), 0, 0), QStringLiteral("1A"));
        QCOMPARE(logic->wwTableCUADROH3().text("DOC"), std::string("22222222J"));

        QCOMPARE(prof->indexWidget(prof->currentIndex()), nullptr);  // the name is not opened
        // Enter outside an editor moves on too; Insert and Delete add and remove nothing.
        prof->setCurrentIndex(prof->model()->index(0, 4));
        QTest::keyClick(prof, Qt::Key_Return);
        QCOMPARE(prof->currentIndex(), prof->model()->index(1, 0));
        QTest::keyClick(prof, Qt::Key_Insert);
        QTest::keyClick(prof, Qt::Key_Delete);
        QCOMPARE(prof->model()->rowCount(), 3);
    }

    // A document committed with the line end typed or pasted after it is stored, spread and
    // written without it; a line end inside it is kept for the check to tell.
    void documentWithATrailingLineEndIsStoredWithoutIt() {
        auto* prof = window->wwDBGridPROFT();
        prof->setFocus();
        const QModelIndex dni = prof->model()->index(1, 2);  // JLM
        prof->setCurrentIndex(dni);
        QVERIFY(prof->model()->setData(dni, QStringLiteral("22222222J\r\n"), Qt::EditRole));
        QCOMPARE(logic->wwTableProfesor().text("DNI"), std::string("22222222J"));
        QCOMPARE(logic->wwTableCUADROH2().text("DOC"), std::string("22222222J"));
        QCOMPARE(logic->wwTableCUADROH3().text("DOC"), std::string("22222222J"));
        QTest::mouseClick(window->BitBtn1(), Qt::LeftButton);
        QVERIFY(!window->isVisible());
        const std::string file = school->read(school->root / "textos" / "fCUADROS.txt");
        QVERIFY(file.find("22222222J") != std::string::npos);
        // Every CR ends a line.
        for (std::size_t at = file.find('\r'); at != std::string::npos;
             at = file.find('\r', at + 1))
            QCOMPARE(file[at + 1], '\n');
    }

    void salirKeepsTheWindowOnTheTeacherToCorrect() {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        port->answers = {true};
        QTest::mouseClick(window->BitBtn1(), Qt::LeftButton);
        QVERIFY(window->isVisible());
        QCOMPARE(port->only("ASK ").size(), std::size_t(1));
        QCOMPARE(window->wwDBGridPROFT()->currentIndex().row(), 1);  // JLM
        QCOMPARE(cell(window->DBGridCUADROH2(), 0, 0), QStringLiteral("JLM"));
        // The teacher's document cell has the keys: what is typed next is that document.
        const QString tarea = cell(window->DBGridCUADROH2(), 0, 5);
        auto* prof = window->wwDBGridPROFT();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(prof));
        QCOMPARE(prof->currentIndex(), prof->model()->index(1, 2));
        type("Y76");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(logic->wwTableProfesor().text("DNI"), std::string("Y76"));
        QCOMPARE(cell(window->DBGridCUADROH2(), 0, 2), QStringLiteral("Y76"));
        QCOMPARE(cell(window->DBGridCUADROH2(), 0, 5), tarea);  // not into another cell
        QVERIFY(logic->wwTableProfesor().isOpen());
        logic->wwTableProfesor().edit();
        logic->wwTableProfesor().setText("DNI", "");
        logic->wwTableProfesor().post();

        port->answers = {false};
        QTest::mouseClick(window->BitBtn1(), Qt::LeftButton);
        QVERIFY(!window->isVisible());
        QCOMPARE(state->EstadoPaso, 4);
    }

    void closeBoxCountsAsNotFinished() {
        window->close();
        QCOMPARE(state->EstadoPaso, 4);
        QVERIFY(!logic->salirCerro());
        QVERIFY(!std::filesystem::exists(school->root / "textos" / "fCUADROS.txt"));
    }

    // F4 and Alt+Down open the list of the current codable cell without F2 first; Esc closes
    // the list and then the cell, the value unchanged; a click on a codable cell's button opens
    // its list too. A plain cell has no list.
    void listsOpenFromTheKeyboardAndTheCellButton() {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        auto* t2 = window->DBGridCUADROH2();
        t2->setFocus();
        const struct {
            int column;
            Qt::Key key;
            Qt::KeyboardModifiers mods;
        } cases[] = {{5, Qt::Key_F4, Qt::NoModifier},
                     {8, Qt::Key_Down, Qt::AltModifier},
                     {10, Qt::Key_F4, Qt::NoModifier}};
        for (const auto& c : cases) {
            const QModelIndex at = t2->model()->index(0, c.column);
            const QString before = at.data().toString();
            t2->setCurrentIndex(at);
            QTest::keyClick(t2, c.key, c.mods);
            auto* editor = qobject_cast<LookupEdit*>(t2->indexWidget(at));
            QVERIFY2(editor && editor->list() && editor->list()->isVisible(),
                     qPrintable(QString::number(c.column)));
            QTest::keyClick(editor->list(), Qt::Key_Escape);
            QVERIFY(!editor->list()->isVisible());
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(editor->lineEdit()));
            QTest::keyClick(editor->lineEdit(), Qt::Key_Escape);
            QCOMPARE(t2->indexWidget(at), nullptr);
            QCOMPARE(at.data().toString(), before);
        }
        // The day has no list: F4 opens nothing.
        t2->setCurrentIndex(t2->model()->index(0, 3));
        QTest::keyClick(t2, Qt::Key_F4);
        QCOMPARE(t2->indexWidget(t2->currentIndex()), nullptr);

        const QModelIndex tarea = t2->model()->index(1, 5);
        const QRect button = base::gui::lookupButtonRect(t2->visualRect(tarea));
        QTest::mouseClick(t2->viewport(), Qt::LeftButton, {}, button.center());
        auto* editor = qobject_cast<LookupEdit*>(t2->indexWidget(tarea));
        QVERIFY(editor && editor->list() && editor->list()->isVisible());
        QCOMPARE(t2->currentIndex(), tarea);
        editor->pick(0);
        QCOMPARE(cell(t2, 1, 5), editor->list()->topLevelItem(0)->data(0, Qt::UserRole).toString());
    }

    // The bell-schedule window opens ready to type the first time; Tab runs through the times
    // and leaves the grid after the last for "&Aceptar" instead of wrapping; Ctrl+Tab leaves it
    // from anywhere; "&Aceptar" has an access key and stores the cell being typed.
    void checkWindowKeyboard() {
        cleanup();
        testing::Exchange x;
        x.table(tables::catalogue::PLANTILLA(), {{"1", "08:00", "09:00"}, {"2", "09:00", "10:00"}});
        timetable::gui::TControlPlantilla w(nullptr);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto* g = w.PlantiHorDBGrid();
        QCOMPARE(w.BitBtn1()->text(), QStringLiteral("&Aceptar"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(g));
        QCOMPARE(g->currentIndex(), g->model()->index(0, 1));
        const QModelIndex stops[] = {g->model()->index(0, 2), g->model()->index(1, 1),
                                     g->model()->index(1, 2)};
        for (const QModelIndex& next : stops) {
            QTest::keyClick(g, Qt::Key_Tab);
            QCOMPARE(g->currentIndex(), next);
        }
        QTest::keyClick(g, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.BitBtn1()));
        g->setFocus();
        g->setCurrentIndex(g->model()->index(0, 1));
        QTest::keyClick(g, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.BitBtn1()));
        g->setFocus();
        type("07:45");
        // Alt+A presses it (the offscreen platform delivers no shortcuts: the embedding test
        // presses a window's access key under a real X server).
        QCOMPARE(QKeySequence::mnemonic(w.BitBtn1()->text()), QKeySequence(Qt::ALT | Qt::Key_A));
        w.BitBtn1()->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(QString::fromStdString(
                     testing::Exchange::rows(x.ztemp("PLANTILLA.DBF"), {"HORA", "HORAINI"})[0]),
                 QStringLiteral("1|07:45"));
    }

    // Esc and the close box answer the check window as "&Aceptar" does: what was typed is
    // stored (the cell being typed into when the close box is used; Esc in a cell gives the
    // cell back first) and the window is accepted, so the job goes on with the times shown.
    void checkWindowEscAndCloseBox_data() {
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<QString>("kept");
        QTest::newRow("close box over a cell being typed") << true << "09:55";
        QTest::newRow("Esc twice: the cell given back, then the window") << false << "10:00";
    }
    void checkWindowEscAndCloseBox() {
        QFETCH(bool, closeBox);
        QFETCH(QString, kept);
        cleanup();
        testing::Exchange x;
        x.table(tables::catalogue::PLANTILLA(), {{"1", "08:00", "09:00"}, {"2", "09:00", "10:00"}});
        timetable::gui::TControlPlantilla w(nullptr);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto* g = w.PlantiHorDBGrid();
        g->setCurrentIndex(g->model()->index(0, 1));
        type("08:30");  // a stored row: moving off it stores it
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        g->setCurrentIndex(g->model()->index(1, 2));
        type("09:55");  // still being typed
        if (closeBox) {
            w.close();
        } else {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            QVERIFY(w.isVisible());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        }
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QVERIFY(!w.logic().plantilla().isOpen());
        const auto rows =
            testing::Exchange::rows(x.ztemp("PLANTILLA.DBF"), {"HORA", "HORAINI", "HORAFIN"});
        QCOMPARE(QString::fromStdString(rows[0]), QStringLiteral("1|08:30|09:00"));
        QCOMPARE(QString::fromStdString(rows[1]), QStringLiteral("2|09:00|") + kept);
    }

    void checkWindowStoresTheTypedTime() {
        cleanup();
        testing::Exchange x;
        x.table(tables::catalogue::PLANTILLA(), {{"1", "08:00", "09:00"}, {"2", "09:00", "10:00"}});
        {
            timetable::gui::TControlPlantilla w(nullptr);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QCOMPARE(w.windowTitle(), QStringLiteral("Control de Plantilla Horaria"));
            auto* g = w.PlantiHorDBGrid();
            QCOMPARE(titles(g), (QStringList{"HORA", "HORA INICIO CLASE", "HORA FINAL CLASE"}));
            QCOMPARE(g->model()->rowCount(), 2);
            QVERIFY(!(g->model()->flags(g->model()->index(0, 0)) & Qt::ItemIsEditable));
            QVERIFY(g->model()->flags(g->model()->index(0, 1)) & Qt::ItemIsEditable);
            QVERIFY(w.BitBtn1()->isDefault());
            const auto nav = w.findChildren<QToolButton*>();
            QCOMPARE(nav.size(), 10);
            for (auto* b : nav) {
                QVERIFY(!b->objectName().contains(QStringLiteral("Insert")));
                QVERIFY(!b->objectName().contains(QStringLiteral("Delete")));
            }

            const QModelIndex fin = g->model()->index(1, 2);
            g->setCurrentIndex(fin);
            g->edit(fin);
            auto* editor = qobject_cast<QLineEdit*>(g->indexWidget(fin));
            QVERIFY(editor);
            QCOMPARE(editor->maxLength(), 5);
            editor->setText(QStringLiteral("09:55"));
            QTest::mouseClick(w.BitBtn1(), Qt::LeftButton);  // straight after typing
            QVERIFY(!w.isVisible());
            QVERIFY(!w.logic().plantilla().isOpen());
        }
        QCOMPARE(QString::fromStdString(
                     testing::Exchange::rows(x.ztemp("PLANTILLA.DBF"), {"HORA", "HORAFIN"})[1]),
                 QStringLiteral("2|09:55"));
    }
};

QTEST_MAIN(WindowsTest)
#include "WindowsTest.moc"
