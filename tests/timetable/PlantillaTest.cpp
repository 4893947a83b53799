#include <gtest/gtest.h>

#include "Exchange.h"
#include "intake/CentroNiveles.h"
#include "support/RecordingPort.h"
#include "timetable/ControlPlantilla.h"
#include "timetable/Timetable.h"

using namespace tz;
using tz::testing::Exchange;
using Lines = std::vector<std::string>;

namespace {

Lines plantilla(const Exchange& x) {
    return Exchange::rows(x.ztemp("PLANTILLA.DBF"), {"HORA", "HORAINI", "HORAFIN"});
}

}  // namespace

TEST(PlantillaPorDefecto, DayRunsFromEightPastMidnightToFour) {
    struct Case {
        int h;
        const char* ini;
        const char* fin;
    };
    const Case cases[] = {{1, "08:00", "09:00"},  {2, "09:00", "10:00"},  {3, "10:00", "11:00"},
                          {15, "22:00", "23:00"}, {16, "23:00", "24:00"}, {17, "00:00", "01:00"},
                          {20, "03:00", "04:00"}};
    for (const auto& c : cases) {
        EXPECT_EQ(timetable::horaInicioPorDefecto(c.h), c.ini) << c.h;
        EXPECT_EQ(timetable::horaFinPorDefecto(c.h), c.fin) << c.h;
    }
}

TEST(PlantillaCentro, FirstRunCreatesTheDefaultsThenKeepsCorrections) {
    Exchange x;
    x.table(tables::catalogue::xelCENTRO(), {{"012345", "2024", "1"}});
    base::RunState state;
    tz::testing::RecordingPort port;
    intake::CentroNiveles centro(state, port);
    // In the check window the user corrects the first start time and accepts.
    port.onBellScheduleCheck = [&] {
        timetable::ControlPlantilla w;
        w.PlantiHorDBGridEnter();
        w.plantilla().setText("HORAINI", "08:15");
        w.PlantiHorDBGridExit();  // "Aceptar" takes the focus first
        w.BitBtn1Click();
        EXPECT_FALSE(w.plantilla().isOpen());
    };
    timetable::PlantillaCentro(state, port, centro);
    const Lines rows = plantilla(x);
    ASSERT_EQ(rows.size(), 20u);
    EXPECT_EQ(rows[0], "1|08:15|09:00");
    EXPECT_EQ(rows[15], "16|23:00|24:00");
    EXPECT_EQ(rows[16], "17|00:00|01:00");
    EXPECT_EQ(rows[19], "20|03:00|04:00");
    EXPECT_EQ(port.shown, (Lines{"CHECK", "BUSY on"}));
    EXPECT_EQ(state.EstadoPaso, 0);
    EXPECT_TRUE(port.busy);

    // A second run keeps the table as the user left it.
    port.onBellScheduleCheck = nullptr;
    timetable::PlantillaCentro(state, port, centro);
    EXPECT_EQ(plantilla(x), rows);
}

TEST(PlantillaCentro, TableChangedOutsideIsUsedAsItStands) {
    Exchange x;
    x.table(tables::catalogue::xelCENTRO(), {{"012345", "2024", "1"}});
    x.table(tables::catalogue::PLANTILLA(), {{"3", "7:30", "8:25"}, {"1", "x", ""}});
    base::RunState state;
    state.EstadoPaso = 4;
    tz::testing::RecordingPort port;
    intake::CentroNiveles centro(state, port);
    timetable::PlantillaCentro(state, port, centro);
    EXPECT_EQ(plantilla(x), (Lines{"3|7:30|8:25", "1|x|"}));
    EXPECT_EQ(state.EstadoPaso, 4);  // left as it was when the centre table exists
}

TEST(PlantillaCentro, MissingCentreTableSendsToTheCentrePanel) {
    Exchange x;
    base::RunState state;
    tz::testing::RecordingPort port;
    intake::CentroNiveles centro(state, port);
    timetable::PlantillaCentro(state, port, centro);
    EXPECT_TRUE(tables::tableExists(x.ztemp("xelCENTRO.DBF")));
    EXPECT_EQ(state.EstadoPaso, 1);
    EXPECT_TRUE(port.centreVisible);
    ASSERT_GE(port.shown.size(), 2u);
    EXPECT_EQ(port.shown[0], "CHECK");
    EXPECT_EQ(port.shown[1], "BUSY on");
    EXPECT_FALSE(port.busy);  // the panel sets the normal cursor
    EXPECT_EQ(Exchange::rows(x.ztemp("xelCENTRO.DBF"), {"CODCENTRO"}).size(), 0u);
}

TEST(ControlPlantilla, EnterEditsExitStoresOnlyWhatWasTyped) {
    Exchange x;
    x.table(tables::catalogue::PLANTILLA());
    timetable::ControlPlantilla w;
    w.PlantiHorDBGridEnter();  // an empty table begins a new row
    EXPECT_EQ(w.plantilla().state(), tables::DatasetState::Insert);
    w.PlantiHorDBGridExit();  // nobody typed: nothing stored
    EXPECT_EQ(w.plantilla().recordCount(), 0);

    w.PlantiHorDBGridEnter();
    w.plantilla().setInteger("HORA", 1);
    w.plantilla().setText("HORAINI", "08:00");
    w.PlantiHorDBGridExit();
    w.PlantiHorDBGridEnter();  // entering again edits the current row
    EXPECT_EQ(w.plantilla().state(), tables::DatasetState::Edit);
    w.plantilla().setText("HORAFIN", "08:55");
    w.BitBtn1Click();
    EXPECT_EQ(plantilla(x), (Lines{"1|08:00|"}));  // closing without leaving the grid drops
}
