#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "School.h"
#include "VentanaAjuste.h"
#include "support/RecordingPort.h"
#include "timetable/AjustaXEL.h"
#include "timetable/Timetable.h"
#include "timetable/gui/DataGrid.h"
#include "timetable/gui/ListaHallazgos.h"
#include "timetable/gui/TAjustaXEL.h"

using namespace tz;
using base::gui::LookupEdit;
using timetable::gui::DataGrid;

class RevisionWindowTest : public QObject, tz::testing::VentanaAjuste {
    Q_OBJECT

    std::unique_ptr<testing::School> school;

    int findingOf(const std::string& prof, const std::string& field) const {
        const auto& hs = window->listaHallazgos()->hallazgos();
        for (std::size_t i = 0; i < hs.size(); ++i)
            if (hs[i].profesor == prof && hs[i].campo == field) return static_cast<int>(i);
        return -1;
    }
    void activate(int finding) {
        auto* list = window->listaHallazgos();
        list->setFocus();
        list->setCurrentIndex(list->model()->index(finding, 0));
        QTest::keyClick(list, Qt::Key_Return);
    }
    // The list shows what a whole check of the stored tables finds now.
    void expectListAsAWholeCheck() {
        std::vector<std::string> shown, whole;
        for (const auto& h : window->listaHallazgos()->hallazgos()) shown.push_back(h.linea());
        for (const auto& h : timetable::revision::revisaCarpeta().hallazgos())
            whole.push_back(h.linea());
        QCOMPARE(shown, whole);
    }
    static int visibleRows(DataGrid* g) {
        int n = 0;
        for (int r = 0; r < g->model()->rowCount(); ++r) n += !g->isRowHidden(r);
        return n;
    }

  private slots:
    void init() {
        school = std::make_unique<testing::School>();
        // ABC: 1 1 complete, 1 2 (level "ES", subject "02"), 2 1 (task 201, no level);
        // JLM: 3 3 without document; MIR: 4 1 without level, its group code emptied below.
        school->soluc({{"ABC", "1", "1", "1", "1A", "MAT", "", ""},
                       {"ABC", "1", "2", "1", "1B", "LEN", "", ""},
                       {"ABC", "2", "1", "1", "", "MAT", "201", ""},
                       {"JLM", "3", "3", "1", "1A", "LEN", "", ""},
                       {"MIR", "4", "1", "1", "2A", "MAT", "", ""}});
        timetable::CreaTablasCuadro();
        timetable::ExportaCuadros();
        {
            tables::Dataset h3;
            h3.open(school->ztemp("CUADROH3.DBF"));
            h3.setIndex("PROF_DIA_SES");
            QVERIFY(h3.findKey("MIR 401"));
            h3.edit();
            h3.setText("CODGRUPO", "");
            h3.post();
        }
        abreAjuste(*school);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() {
        cierraAjuste();
        school.reset();
    }

    void summaryCountsRowsStillNeedingCodes() {
        QCOMPARE(window->resumenRevision()->text(),
                 QStringLiteral("Registros por codificar: 5 (4 de tipo 2, 1 de tipo 3)."));
        auto* list = window->listaHallazgos();
        QCOMPARE(list->model()->rowCount(), 9);
        const int jlm = findingOf("JLM", "DOC");
        QVERIFY(jlm >= 0);
        auto text = [&](int column) { return list->model()->index(jlm, column).data().toString(); };
        QCOMPARE(text(0), QStringLiteral("JLM"));
        QCOMPARE(text(1), QStringLiteral("3"));
        QCOMPARE(text(2), QStringLiteral("03"));
        QCOMPARE(text(4), QStringLiteral("Documento DNI"));
        QCOMPARE(text(5), QStringLiteral("en blanco"));
    }

    void enterOnAFindingSelectsTeacherRowAndCell() {
        DataGrid* prof = window->wwDBGridPROFT();
        DataGrid* t2 = window->DBGridCUADROH2();
        DataGrid* t3 = window->wwDBGridCUADROH3();

        activate(findingOf("ABC", "TIPTAR"));  // ABC, day 2, session 01
        QCOMPARE(prof->currentIndex().row(), 0);
        QCOMPARE(t2->currentIndex().row(), 2);
        QCOMPARE(t2->currentGridColumn(), 6);  // "TAREA"
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(t2));

        activate(findingOf("JLM", "DOC"));
        QCOMPARE(logic->wwTableProfesor().text("ABREV"), std::string("JLM"));
        QCOMPARE(prof->currentIndex().row(), 1);
        QCOMPARE(t2->currentIndex().row(), 0);
        QCOMPARE(t2->currentGridColumn(), 3);  // "Documento DNI"

        activate(findingOf("MIR", "CODGRUPO"));  // a type 3 finding: that grid's cell
        QCOMPARE(prof->currentIndex().row(), 2);
        QCOMPARE(logic->wwTableCUADROH2().text("PROF_DIA_SES"), std::string("MIR 401"));
        QCOMPARE(t3->currentIndex().row(), 0);
        QCOMPARE(t3->currentGridColumn(), 2);  // "Cód.GRUPO"
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(t3));
    }

    void toggleShowsOnlyIncompleteRowsAndFollowsEdits() {
        DataGrid* t2 = window->DBGridCUADROH2();
        QCOMPARE(visibleRows(t2), 3);
        window->soloIncompletos()->setChecked(true);
        QCOMPARE(visibleRows(t2), 2);  // ABC's first period is complete
        QVERIFY(t2->isRowHidden(0));
        QVERIFY(!t2->isRowHidden(t2->currentIndex().row()));

        // Completing the second period: it leaves the grid and the summary counts one less.
        auto* m = t2->model();
        QVERIFY(m->setData(m->index(1, 8), QStringLiteral("ESO")));    // G.NIVEL
        QVERIFY(m->setData(m->index(1, 10), QStringLiteral("0101")));  // Cód.ASIG
        QTRY_VERIFY(t2->isRowHidden(1));
        QCOMPARE(visibleRows(t2), 1);
        QCOMPARE(window->resumenRevision()->text(),
                 QStringLiteral("Registros por codificar: 4 (3 de tipo 2, 1 de tipo 3)."));
        // Emptying a code brings it back.
        QVERIFY(m->setData(m->index(1, 8), QString()));
        QTRY_VERIFY(!t2->isRowHidden(1));

        window->soloIncompletos()->setChecked(false);
        QCOMPARE(visibleRows(t2), 3);
    }

    void aCancelledEditBringsItsFindingsBack() {
        auto* m = window->DBGridCUADROH2()->model();
        QVERIFY(m->setData(m->index(1, 8), QStringLiteral("ESO")));    // G.NIVEL
        QVERIFY(m->setData(m->index(1, 10), QStringLiteral("0101")));  // Cód.ASIG
        QTRY_COMPARE(window->resumenRevision()->text(),
                     QStringLiteral("Registros por codificar: 4 (3 de tipo 2, 1 de tipo 3)."));
        // The row was never stored: dropping the edit makes it incomplete again.
        logic->wwTableCUADROH2().cancel();
        QTRY_COMPARE(window->resumenRevision()->text(),
                     QStringLiteral("Registros por codificar: 5 (4 de tipo 2, 1 de tipo 3)."));
        expectListAsAWholeCheck();
    }

    void aDocumentTypedForATeacherReachesTheCheck() {
        DataGrid* prof = window->wwDBGridPROFT();
        auto* m = prof->model();
        QCOMPARE(m->index(1, 0).data().toString(), QStringLiteral("JLM"));
        QVERIFY(findingOf("JLM", "DOC") >= 0);
        // As the user types them: the type, then the document, which the window carries into
        // JLM's periods.
        prof->setCurrentIndex(m->index(1, 1));
        QVERIFY(m->setData(m->index(1, 1), QStringLiteral("1")));
        prof->setCurrentIndex(m->index(1, 2));
        QVERIFY(m->setData(m->index(1, 2), QStringLiteral("22222222J")));
        prof->setCurrentIndex(m->index(0, 2));  // leaving the row stores it
        QTRY_COMPARE(findingOf("JLM", "DOC"), -1);
        QCOMPARE(findingOf("JLM", "TIPDOC"), -1);
        QVERIFY(findingOf("JLM", "CODASIG") >= 0);  // still not in xelASIGNAT
        expectListAsAWholeCheck();
    }

    void storedEditsKeepTheListAsAWholeCheck() {
        DataGrid* t2 = window->DBGridCUADROH2();
        auto* m = t2->model();
        const struct {
            int row, column;
            const char* value;
        } edits[] = {{2, 5, "101"}, {2, 8, "ESO"}, {0, 11, ""}, {1, 12, "999"}, {2, 5, ""}};
        for (const auto& e : edits) {
            t2->setCurrentIndex(m->index(e.row, e.column));
            QVERIFY(m->setData(m->index(e.row, e.column), QString::fromLatin1(e.value)));
        }
        t2->setCurrentIndex(m->index(0, 0));  // the last edited row is stored
        QTRY_VERIFY(logic->wwTableCUADROH2().state() == tables::DatasetState::Browse);
        QTest::qWait(0);
        QCoreApplication::processEvents();
        expectListAsAWholeCheck();
    }

    void typingNarrowsAListAndEnterWritesTheCode() {
        DataGrid* t2 = window->DBGridCUADROH2();
        const QModelIndex tarea = t2->model()->index(2, 5);  // ABC day 2: "TAREA"
        t2->setCurrentIndex(tarea);
        t2->edit(tarea);
        auto* editor = qobject_cast<LookupEdit*>(t2->indexWidget(tarea));
        QVERIFY(editor);
        editor->openList();
        QTreeWidget* list = editor->list();
        auto shown = [list] {
            int n = 0;
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                n += !list->topLevelItem(i)->isHidden();
            return n;
        };
        QCOMPARE(shown(), 2);
        QTest::keyClicks(list, "zz");
        QCOMPARE(shown(), 0);
        QTest::keyClick(list, Qt::Key_Backspace);
        QTest::keyClick(list, Qt::Key_Backspace);
        QCOMPARE(shown(), 2);
        QTest::keyClicks(list, "GUAR");  // by description, letter case ignored
        QCOMPARE(shown(), 1);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(t2->model()->index(2, 5).data().toString(), QStringLiteral("200"));
        QCOMPARE(logic->wwTableCUADROH2().text("TIPTAR"), std::string("200"));

        // By code, in another list.
        const QModelIndex idioma = t2->model()->index(2, 11);
        t2->setCurrentIndex(idioma);
        t2->edit(idioma);
        auto* idiomas = qobject_cast<LookupEdit*>(t2->indexWidget(idioma));
        QVERIFY(idiomas);
        idiomas->openList();
        QTest::keyClicks(idiomas->list(), "02");
        QCOMPARE(idiomas->list()->currentItem()->text(0), QStringLiteral("02"));
    }
};

QTEST_MAIN(RevisionWindowTest)
#include "RevisionWindowTest.moc"
