// The week window of the adjustment window, offscreen: it follows the teachers grid and the
// edits, Enter and a double-click go to the type 2 row and cell, Esc and "Cerrar" close it,
// and the report written from the window carries what was being typed.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "School.h"
#include "VentanaAjuste.h"
#include "support/Pdf.h"
#include "support/RecordingPort.h"
#include "timetable/AjustaXEL.h"
#include "timetable/Timetable.h"
#include "timetable/gui/DataGrid.h"
#include "timetable/gui/SemanaProfesor.h"
#include "timetable/gui/TAjustaXEL.h"

using namespace tz;
using timetable::gui::DataGrid;
using timetable::gui::RejillaSemana;
using timetable::gui::VentanaSemana;

class SemanaWindowTest : public QObject, tz::testing::VentanaAjuste {
    Q_OBJECT

    std::unique_ptr<testing::School> school;

    VentanaSemana* abre() {
        auto* b = window->findChild<QPushButton*>(QStringLiteral("BotonSemana"));
        if (!b) return nullptr;
        QTest::mouseClick(b, Qt::LeftButton);
        VentanaSemana* v = timetable::gui::ventanaSemana(window.get());
        if (v) QCoreApplication::processEvents();
        return v;
    }
    static QModelIndex celda(VentanaSemana* v, int fila, int columna) {
        return v->rejilla()->model()->index(fila, columna);
    }
    static int periodos(VentanaSemana* v, int fila, int columna) {
        return celda(v, fila, columna)
            .data(timetable::gui::ModeloSemana::PeriodosRole)
            .value<QList<int>>()
            .size();
    }

  private slots:
    void init() {
        school = std::make_unique<testing::School>();
        // ABC: Monday 1, Monday 2 for two hours (to 11:00), Tuesday 1 with codes the catalogues
        // lack; JLM: Wednesday 3; MIR: Thursday 5.
        school->soluc({{"ABC", "1", "1", "1", "1A", "MAT", "", ""},
                       {"ABC", "1", "2", "2", "1A", "MAT", "", ""},
                       {"ABC", "2", "1", "1", "1B", "LEN", "", ""},
                       {"JLM", "3", "3", "1", "1A", "LEN", "", ""},
                       {"MIR", "4", "5", "1", "2A", "MAT", "", ""}});
        timetable::CreaTablasCuadro();
        timetable::ExportaCuadros();
        abreAjuste(*school);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() {
        cierraAjuste();
        school.reset();
    }

    void showsTheWeekAndFollowsTheTeacher() {
        VentanaSemana* v = abre();
        QVERIFY(v);
        QVERIFY(QTest::qWaitForWindowExposed(v));
        QVERIFY(v->cabecera()->text().startsWith(QStringLiteral("ABC — Ane Barrena")));
        auto* m = v->rejilla()->model();
        QCOMPARE(m->columnCount(), 5);
        QCOMPARE(m->rowCount(), 3);  // sessions 1 to 3: the two-hour lesson reaches 10:00
        QCOMPARE(m->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Martes"));
        QCOMPARE(m->headerData(2, Qt::Vertical).toString(),
                 QStringLiteral("Sesión 3\n10:00–11:00"));
        QCOMPARE(periodos(v, 0, 0), 1);
        QCOMPARE(v->rejilla()->rowSpan(1, 0), 2);  // Monday 2, two hours
        QVERIFY(celda(v, 0, 1).data().toString().contains(QStringLiteral("No en catálogo")));

        DataGrid* prof = window->wwDBGridPROFT();
        prof->setCurrentIndex(prof->model()->index(1, 1));  // JLM
        QTRY_VERIFY(v->cabecera()->text().startsWith(QStringLiteral("JLM — Josu Larra")));
        QVERIFY(v->cabecera()->text().contains(QStringLiteral("SIN DOCUMENTO")));
        QCOMPARE(m->rowCount(), 3);
        QCOMPARE(periodos(v, 2, 2), 1);  // Wednesday 3
        QCOMPARE(periodos(v, 0, 0), 0);
        QCOMPARE(v->rejilla()->rowSpan(1, 0), 1);
    }

    void enterGoesToTheType2RowAndItsFirstMissingCell() {
        VentanaSemana* v = abre();
        QVERIFY(v);
        RejillaSemana* g = v->rejilla();
        g->setFocus();
        g->setCurrentIndex(celda(v, 0, 1));  // Tuesday 1: G.NIVEL "ES" is not in its catalogue
        QTest::keyClick(g, Qt::Key_Return);
        DataGrid* t2 = window->DBGridCUADROH2();
        QCOMPARE(t2->currentIndex().row(), 2);
        QCOMPARE(t2->currentGridColumn(), 9);  // "G.NIVEL"
        QCOMPARE(logic->wwTableCUADROH2().text("PROF_DIA_SES"), std::string("ABC 201"));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(t2));

        // Moving by keyboard to Monday 2 and Enter: the complete lesson's day cell.
        g->setFocus();
        g->setCurrentIndex(celda(v, 0, 0));
        QTest::keyClick(g, Qt::Key_Down);
        QCOMPARE(g->currentIndex().row(), 1);
        QTest::keyClick(g, Qt::Key_Enter);
        QCOMPARE(t2->currentIndex().row(), 1);
        QCOMPARE(t2->currentGridColumn(), 4);  // "Día"
        // The week follows the type 2 grid the other way round.
        t2->setCurrentIndex(t2->model()->index(0, 3));
        QTRY_COMPARE(g->currentIndex(), celda(v, 0, 0));
    }

    void aDoubleClickGoesToo() {
        VentanaSemana* v = abre();
        QVERIFY(v);
        RejillaSemana* g = v->rejilla();
        // The lower half of the two-hour lesson's cell is the same cell.
        const QRect r = g->visualRect(celda(v, 1, 0));
        const QPoint at(r.center().x(), r.bottom() - 4);
        // A double-click is a press and release, then the double-click event.
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(window->DBGridCUADROH2()->currentIndex().row(), 0);  // a click only selects
        QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(window->DBGridCUADROH2()->currentIndex().row(), 1);
    }

    void followsEditsAndChoosesAmongLessonsOfOneCell() {
        VentanaSemana* v = abre();
        QVERIFY(v);
        // Monday 1 moved to Tuesday in the type 2 grid, not yet stored: it now shares Tuesday 1.
        auto* m2 = window->DBGridCUADROH2()->model();
        QVERIFY(m2->setData(m2->index(0, 3), QStringLiteral("2")));
        QTRY_COMPARE(periodos(v, 0, 1), 2);
        QCOMPARE(periodos(v, 0, 0), 0);
        // Dropped: back on Monday.
        logic->wwTableCUADROH2().cancel();
        QTRY_COMPARE(periodos(v, 0, 0), 1);
        QCOMPARE(periodos(v, 0, 1), 1);
        QVERIFY(m2->setData(m2->index(0, 3), QStringLiteral("2")));
        QTRY_COMPARE(periodos(v, 0, 1), 2);

        std::vector<int> ofrecidos;
        int elegir = 1;
        v->rejilla()->elige = [&](const QModelIndex&, const std::vector<int>& ps) {
            ofrecidos = ps;
            return ps[std::size_t(elegir)];
        };
        v->rejilla()->setCurrentIndex(celda(v, 0, 1));
        v->rejilla()->activa(v->rejilla()->currentIndex());
        QCOMPARE(ofrecidos.size(), 2u);
        QCOMPARE(logic->wwTableCUADROH2().text("PROF_DIA_SES"), std::string("ABC 201"));
        elegir = 0;
        v->rejilla()->activa(celda(v, 0, 1));
        QCOMPARE(logic->wwTableCUADROH2().text("PROF_DIA_SES"), std::string("ABC 101"));
        QCOMPARE(logic->wwTableCUADROH2().text("DIASEM"), std::string("2"));
    }

    void codesTypedInEitherGridShowAtOnce() {
        VentanaSemana* v = abre();
        QVERIFY(v);
        const QModelIndex martes = celda(v, 0, 1);
        QVERIFY(
            martes.data().toString().contains(QStringLiteral("No en catálogo: G.NIVEL, Cód.ASIG")));
        // A subject code in the type 2 grid (the row stays where it is).
        DataGrid* t2 = window->DBGridCUADROH2();
        t2->setCurrentIndex(t2->model()->index(2, 10));
        QVERIFY(t2->model()->setData(t2->model()->index(2, 10), QStringLiteral("0101")));
        QTRY_VERIFY(
            celda(v, 0, 1).data().toString().contains(
                QStringLiteral("No en catálogo: G.NIVEL\n")) ||
            celda(v, 0, 1).data().toString().endsWith(QStringLiteral("No en catálogo: G.NIVEL")));
        QVERIFY(celda(v, 0, 1).data().toString().contains(QStringLiteral("LEN (0101)")));
        // A group code emptied in the type 3 grid of that period.
        DataGrid* t3 = window->wwDBGridCUADROH3();
        QCOMPARE(logic->wwTableCUADROH3().text("ABREVGRUP"), std::string("1B"));
        QVERIFY(t3->model()->setData(t3->model()->index(0, 1), QString()));
        QTRY_VERIFY(celda(v, 0, 1).data().toString().contains(QStringLiteral("1B (¿Cód.GRUPO?)")));
        QVERIFY(v->cabecera()->text().contains(QStringLiteral("hallazgos")));
    }

    void escAndCerrarCloseOnlyTheWeek() {
        VentanaSemana* v = abre();
        QVERIFY(v && v->isVisible());
        QTest::keyClick(v->rejilla(), Qt::Key_Escape);
        QVERIFY(!v->isVisible());
        QVERIFY(window->isVisible());
        QCOMPARE(abre(), v);  // the same window again
        QVERIFY(v->isVisible());
        QTest::mouseClick(v->findChild<QPushButton*>(QStringLiteral("CerrarSemana")),
                          Qt::LeftButton);
        QVERIFY(!v->isVisible());
        QVERIFY(window->isVisible());
    }

    void theReportCarriesWhatWasBeingTyped() {
        DataGrid* prof = window->wwDBGridPROFT();
        prof->setCurrentIndex(prof->model()->index(1, 3));  // JLM, "DOCUMENTO"
        logic->editaProfesor(timetable::ColDni, "99999999R");
        QCOMPARE(logic->wwTableProfesor().state(), tables::DatasetState::Edit);
        const auto pdf = school->root / "informe.pdf";
        QCOMPARE(timetable::gui::escribeInforme(window.get(), *logic,
                                                QString::fromStdString(pdf.string())),
                 std::string());
        QCOMPARE(tz::testing::pdfPages(pdf), 3 + 1);
        const std::string text = tz::testing::pdfText(pdf);
        QVERIFY(text.find("99999999R") != std::string::npos);
        QVERIFY(text.find("Josu Larra") != std::string::npos);
        QCOMPARE(logic->wwTableProfesor().state(), tables::DatasetState::Browse);
    }

    void salirLeavesTheWeekBehind() {
        VentanaSemana* v = abre();
        QVERIFY(v);
        QTest::mouseClick(window->BitBtn1(), Qt::LeftButton);
        QVERIFY(logic->salirCerro());
        QCoreApplication::processEvents();
        QVERIFY(!v->isVisible());
    }
};

QTEST_MAIN(SemanaWindowTest)
#include "SemanaWindowTest.moc"
