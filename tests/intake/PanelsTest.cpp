// The Qt model over a dataset and the two panels, offscreen, against the recording port.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>
#include <memory>

#include "IntakeFixture.h"
#include "base/gui/DatasetDelegate.h"
#include "base/gui/DatasetGrid.h"
#include "intake/CentroNiveles.h"
#include "intake/gui/ButtonCaption.h"
#include "intake/gui/Panels.h"
#include "tables/Catalogue.h"
#include "tables/qt/DatasetModel.h"

namespace tz::intake::testing {
namespace {

using tables::qt::DatasetModel;

std::vector<std::string> nivel(const std::string& cod, const std::string& desc) {
    return {cod, "", "", "", desc, desc + " eusk", "", ""};
}

class PanelsTest : public IntakeDir {
  protected:
    void SetUp() override {
        IntakeDir::SetUp();
        makeTable(tables::catalogue::xelCENTRO(), {{"012345", "2024", "1"}});
        makeTable(tables::catalogue::xelNIVIMP(),
                  {nivel("ESO", "Educaci\xf3n Sec."), nivel("BAC", "Bachillerato"),
                   nivel("EPA", "Adultos")});
        makeTable(tables::catalogue::GRUPOST(), {{"1ESO", "M", "ESO"}, {"1BAC", "M", "BAC"}});
        window = std::make_unique<QWidget>();
        window->resize(599, 311);
        centre = gui::createCentrePanel(window.get(), cn);
        levels = gui::createLevelsPanel(window.get(), cn);
        window->show();
    }
    void TearDown() override {
        window.reset();  // the panels go before the logic's datasets
        IntakeDir::TearDown();
    }
    QTableView* levelsGrid() { return levels->findChild<QTableView*>("wwDBGridNIVIMP"); }
    QTableView* centreGrid() { return centre->findChild<QTableView*>("wwDBGridCentro"); }
    // The panel shown as the main window shows it, its grid with the keyboard at `cell`.
    void typeInto(QWidget* panel, QTableView* grid, QModelIndex cell) {
        (panel == levels ? centre : levels)->hide();
        panel->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        grid->setFocus();
        grid->setCurrentIndex(cell);
    }
    static QString focusName() {
        QWidget* f = QApplication::focusWidget();
        return f ? f->objectName() : QString();
    }
    QPushButton* buttonOf(QWidget* panel, const char* name) {
        return panel->findChild<QPushButton*>(name);
    }
    void toLevels() {
        cn.DatosCentro();
        buttonOf(centre, "BitBtn1")->click();
        ASSERT_TRUE(port.levelsVisible);
    }

    CentroNiveles cn{state, port};
    std::unique_ptr<QWidget> window;
    QWidget* centre = nullptr;
    QWidget* levels = nullptr;
};

TEST_F(PanelsTest, LayoutTitlesAndEditableColumns) {
    EXPECT_EQ(centre->size(), QSize(289, 143));
    EXPECT_EQ(levels->size(), QSize(585, 279));
    EXPECT_EQ(levelsGrid()->geometry(), QRect(46, 42, 477, 199));
    EXPECT_EQ(centreGrid()->geometry(), QRect(7, 42, 258, 43));
    EXPECT_EQ(buttonOf(levels, "Button2")->text(), "Volver a Datos Centro");
    EXPECT_EQ(buttonOf(levels, "BitBtn2")->text(), "Aceptar");
    EXPECT_EQ(buttonOf(centre, "BitBtn1")->text(), "OK");
    // The captions fit their buttons at the layout's sizes.
    EXPECT_EQ(buttonOf(levels, "Button2")->geometry(), QRect(352, 248, 115, 25));
    EXPECT_EQ(buttonOf(levels, "BitBtn2")->geometry(), QRect(488, 248, 89, 25));
    auto* m = levelsGrid()->model();
    QStringList titles;
    for (int c = 0; c < m->columnCount(); ++c)
        titles << m->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles,
              (QStringList{"COD", "Descr.Cast.", "ABREV.Cast.", "Descr.Eusk.", "ABREV.Eusk."}));
    titles.clear();
    auto* cm = centreGrid()->model();
    for (int c = 0; c < cm->columnCount(); ++c)
        titles << cm->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles,
              (QStringList{QString::fromUtf8("Código CENTRO"), QString::fromUtf8("Año Académico"),
                           QString::fromUtf8("Versión")}));

    toLevels();
    EXPECT_EQ(m->rowCount(), 3);
    const bool editable[] = {false, false, true, false, true};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(bool(m->flags(m->index(0, c)) & Qt::ItemIsEditable), editable[c]) << c;
    EXPECT_EQ(m->data(m->index(0, 1)).toString(), QString::fromUtf8("Educación Sec."));
}

TEST_F(PanelsTest, EditsAreCutRefusedWhenNotWindows1252AndMoveTheDataset) {
    toLevels();
    auto* m = levelsGrid()->model();
    EXPECT_TRUE(m->setData(m->index(1, 2), QString::fromUtf8("BACHILLER")));
    EXPECT_EQ(cn.niveles().position(), 1);
    EXPECT_EQ(cn.niveles().text("ABREVCAST"), "BACHI");
    EXPECT_FALSE(m->setData(m->index(1, 4), QString::fromUtf8("Ω")));
    EXPECT_EQ(cn.niveles().text("ABREVEUSK"), "");
    EXPECT_TRUE(m->setData(m->index(1, 4), QString::fromUtf8("BATXÑ€")));
    EXPECT_EQ(cn.niveles().text("ABREVEUSK"), "BATX\xd1");  // cut to 5 bytes
    EXPECT_FALSE(m->setData(m->index(1, 0), "XXX"));        // read-only column

    // Moving the dataset stores the row and moves the grid's current row.
    QSignalSpy changed(m, &QAbstractItemModel::dataChanged);
    cn.niveles().moveTo(2);
    EXPECT_EQ(levelsGrid()->currentIndex().row(), 2);
    EXPECT_EQ(column("xelNIVIMP.DBF", "ABREVCAST")[1], "BACHI");
    // Choosing a row in the grid moves the dataset.
    levelsGrid()->setCurrentIndex(m->index(0, 2));
    EXPECT_EQ(cn.niveles().position(), 0);
}

TEST_F(PanelsTest, EditorTakesAtMostTheFieldWidth) {
    toLevels();
    tz::base::gui::DatasetDelegate delegate;
    QWidget host;
    auto* m = levelsGrid()->model();
    std::unique_ptr<QWidget> editor(
        delegate.createEditor(&host, QStyleOptionViewItem(), m->index(0, 2)));
    auto* edit = qobject_cast<QLineEdit*>(editor.get());
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->maxLength(), 5);
    QString text = QString::fromUtf8("aΩ");
    int pos = 0;
    EXPECT_EQ(edit->validator()->validate(text, pos), QValidator::Invalid);
    text = QString::fromUtf8("año€");
    EXPECT_EQ(edit->validator()->validate(text, pos), QValidator::Acceptable);
}

TEST_F(PanelsTest, GridEnterPutsTheLevelsInEditState) {
    toLevels();
    EXPECT_EQ(cn.niveles().state(), tables::DatasetState::Browse);
    QFocusEvent in(QEvent::FocusIn);
    QApplication::sendEvent(levelsGrid(), &in);
    EXPECT_EQ(cn.niveles().state(), tables::DatasetState::Edit);
}

TEST_F(PanelsTest, EmptyCentreTableShowsTheNewRowToTypeIn) {
    tables::catalogue::CreaTablaCentro();
    cn.DatosCentro();
    auto* m = centreGrid()->model();
    ASSERT_EQ(m->rowCount(), 1);
    EXPECT_TRUE(m->setData(m->index(0, 0), "999999"));
    EXPECT_TRUE(m->setData(m->index(0, 1), "2025"));
    buttonOf(centre, "BitBtn1")->click();
    EXPECT_EQ(rows("xelCENTRO.DBF"), (Rows{{"999999", "2025", ""}}));
}

TEST_F(PanelsTest, AceptarWithARepeatStaysOnTheRow) {
    toLevels();
    auto* m = levelsGrid()->model();
    m->setData(m->index(0, 2), "ESO");
    m->setData(m->index(2, 2), "eso");
    levelsGrid()->setCurrentIndex(m->index(1, 2));
    port.shown.clear();
    buttonOf(levels, "BitBtn2")->click();
    EXPECT_EQ(port.shown,
              std::vector<std::string>{"MSG Abreviatura en Castellano Repetida - Compruébelo."});
    EXPECT_EQ(levelsGrid()->currentIndex().row(), 2);
    EXPECT_EQ(state.EstadoPaso, 1);

    m->setData(m->index(2, 2), "EPA");
    state.idioma = "CASTELLANO";
    buttonOf(levels, "BitBtn2")->click();
    EXPECT_EQ(port.messages().back(), "Proceso finalizado");
    EXPECT_EQ(column("GRUPOST.DBF", "NIVEL"), (std::vector<std::string>{"ESO", "BAC"}));
    EXPECT_EQ(m->rowCount(), 0);  // levels table closed
}

TEST_F(PanelsTest, VolverADatosCentroAndEngineErrors) {
    toLevels();
    port.shown.clear();
    buttonOf(levels, "Button2")->click();
    EXPECT_EQ(port.shown.back(), "PANEL centre on");
    EXPECT_EQ(centreGrid()->model()->rowCount(), 1);

    buttonOf(centre, "BitBtn1")->click();
    tables::deleteTableFiles(table("GRUPOST.DBF"));
    port.busy = true;
    buttonOf(levels, "BitBtn2")->click();
    ASSERT_EQ(port.only("ERR ").size(), 1u);
    EXPECT_FALSE(port.busy);
    EXPECT_TRUE(port.levelsVisible);
}

// Tab stops at the editable cells only, row after row, and leaves the grid after the last one
// and before the first; Ctrl+Tab leaves it from anywhere. No editor opens on the way.
TEST_F(PanelsTest, TabStopsAtEditableCellsAndLeavesAtTheEnds) {
    toLevels();
    QTableView* g = levelsGrid();
    auto* m = g->model();
    typeInto(levels, g, m->index(0, 0));
    struct Step {
        int key;
        Qt::KeyboardModifiers mods;
        int row, column;     // the current cell after the key, when the grid keeps the focus
        const char* leftTo;  // else the control that has the focus
    };
    const Step steps[] = {
        {Qt::Key_Tab, Qt::NoModifier, 0, 2, nullptr},  // COD and the description take no stop
        {Qt::Key_Tab, Qt::NoModifier, 0, 4, nullptr},
        {Qt::Key_Tab, Qt::NoModifier, 1, 2, nullptr},  // on to the next row
        {Qt::Key_Backtab, Qt::ShiftModifier, 0, 4, nullptr},
        {Qt::Key_Tab, Qt::NoModifier, 1, 2, nullptr},
        {Qt::Key_Tab, Qt::NoModifier, 1, 4, nullptr},
        {Qt::Key_Tab, Qt::NoModifier, 2, 2, nullptr},
        {Qt::Key_Tab, Qt::NoModifier, 2, 4, nullptr},
        {Qt::Key_Tab, Qt::NoModifier, -1, -1, "Button2"},     // after the last cell: out, no wrap
        {Qt::Key_Backtab, Qt::ShiftModifier, 2, 4, nullptr},  // back in, where it was
        {Qt::Key_Up, Qt::NoModifier, 1, 4, nullptr},
        {Qt::Key_Tab, Qt::ControlModifier, -1, -1, "Button2"},  // Ctrl+Tab from the middle
    };
    for (const Step& s : steps) {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(s.key), s.mods);
        SCOPED_TRACE(QKeySequence(s.key | s.mods).toString().toStdString());
        if (s.leftTo) {
            EXPECT_EQ(focusName(), s.leftTo);
        } else {
            EXPECT_EQ(QApplication::focusWidget(), g);
            EXPECT_EQ(g->currentIndex(), m->index(s.row, s.column));
        }
        EXPECT_EQ(g->indexWidget(g->currentIndex()), nullptr) << "an editor opened";
    }
    // Before the first stop, Shift+Tab leaves too.
    g->setFocus();
    g->setCurrentIndex(m->index(0, 2));
    QTest::keyClick(g, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_NE(QApplication::focusWidget(), g);
}

// Typing replaces the cell's text; F2 edits it in place with nothing selected; Tab stores the
// cell and moves on without opening the next; Esc gives the cell back unchanged.
TEST_F(PanelsTest, TypingF2TabAndEscInACell) {
    toLevels();
    QTableView* g = levelsGrid();
    auto* m = g->model();
    ASSERT_TRUE(m->setData(m->index(0, 2), "ES"));
    typeInto(levels, g, m->index(0, 2));

    QTest::keyClick(g, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "ES");
    EXPECT_FALSE(editor->hasSelectedText());
    EXPECT_EQ(editor->cursorPosition(), 2);
    QTest::keyClicks(editor, "O");
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_EQ(cn.niveles().text("ABREVCAST"), "ESO");
    EXPECT_EQ(g->currentIndex(), m->index(0, 4));
    EXPECT_EQ(g->indexWidget(m->index(0, 2)), nullptr);
    EXPECT_EQ(g->indexWidget(m->index(0, 4)), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), g);

    // Typing starts an edit with the key.
    ASSERT_TRUE(m->setData(m->index(0, 4), "DB"));
    QTest::keyClicks(g, "X");
    editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "X");
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(cn.niveles().text("ABREVEUSK"), "DB");
    EXPECT_EQ(g->indexWidget(m->index(0, 4)), nullptr);
}

// The centre grid: Tab through its three cells to "OK"; Ctrl+Tab from an open editor stores it.
TEST_F(PanelsTest, CentreGridTabsToOkAndCtrlTabStoresTheEditor) {
    cn.DatosCentro();
    QTableView* g = centreGrid();
    auto* m = g->model();
    typeInto(centre, g, m->index(0, 0));
    QTest::keyClick(g, Qt::Key_Tab);
    EXPECT_EQ(g->currentIndex(), m->index(0, 1));
    QTest::keyClick(g, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClicks(editor, "5");
    QTest::keyClick(editor, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(focusName(), "BitBtn1");
    EXPECT_EQ(cn.centro().text("ANOACAD"), "2025");
    g->setFocus();
    QTest::keyClick(g, Qt::Key_Tab);
    QTest::keyClick(g, Qt::Key_Tab);
    EXPECT_EQ(focusName(), "BitBtn1");
}

// A caption wider than its button is drawn narrower or smaller, the button keeping its size.
TEST(ButtonCaptionTest, LongCaptionsFitWithoutResizing) {
    const struct {
        const char* text;
        int width;
    } cases[] = {{"Volver a Niveles Estudios", 129}, {"Volver a Datos Centro", 115}, {"OK", 89}};
    for (const auto& c : cases) {
        QPushButton b(QString::fromUtf8(c.text));
        QFont f = b.font();
        f.setPointSize(8);
        b.setFont(f);
        b.setGeometry(0, 0, c.width, 25);
        EXPECT_TRUE(gui::fitCaption(&b)) << c.text;
        EXPECT_EQ(b.size(), QSize(c.width, 25)) << c.text;
        EXPECT_LE(b.fontMetrics().horizontalAdvance(b.text()), c.width - 4) << c.text;
    }
    // A caption that cannot fit at all is reported.
    QPushButton tiny(QStringLiteral("Una leyenda demasiado larga para el botón"));
    tiny.setGeometry(0, 0, 20, 25);
    EXPECT_FALSE(gui::fitCaption(&tiny));
}

}  // namespace
}  // namespace tz::intake::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
