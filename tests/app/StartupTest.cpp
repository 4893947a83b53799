// Start-up: the command line, what is shown, NumParametros, the panels and what closing writes.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "app/CommandLine.h"
#include "app/Jobs.h"
#include "support/RecordingPort.h"

namespace {

using namespace tz;
using tz::testing::readBytes;
using tz::testing::TempDir;
using tz::testing::writeBytes;

struct StartCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> shown;
    int numParametros;
    bool exportarPanel, importarPanel;
    bool writesOnClose;
};

class Startup : public ::testing::TestWithParam<StartCase> {};

TEST_P(Startup, ShowsPanelsAndWritesAsTheArgumentsSay) {
    const auto& c = GetParam();
    TempDir dir;
    const std::string previous = "[Transformadores]\r\nTransformado=1\r\n[Otro]\r\nx=y\r\n";
    writeBytes(dir / "Zandrix.ini", previous);

    tz::testing::RecordingPort port;
    app::Jobs jobs(port);
    jobs.state().EstadoTransformado = 7;  // start-up sets it to 0 whatever it was
    const app::StartupPlan plan = jobs.FormCreate(c.args);
    EXPECT_EQ(port.shown, c.shown);
    EXPECT_EQ(jobs.state().EstadoTransformado, 0);
    EXPECT_EQ(jobs.state().NumParametros, c.numParametros);
    EXPECT_EQ(plan.exportarPanel, c.exportarPanel);
    EXPECT_EQ(plan.importarPanel, c.importarPanel);

    jobs.BCloseClick();
    jobs.FormClose(dir / "Zandrix.ini");
    EXPECT_EQ(
        readBytes(dir / "Zandrix.ini"),
        c.writesOnClose ? "[Transformadores]\r\nTransformado=0\r\n[Otro]\r\nx=y\r\n" : previous);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Startup,
    ::testing::Values(
        StartCase{"None", {}, {}, 0, true, true, false},
        StartCase{"One", {"importar"}, {}, 0, true, true, false},
        StartCase{"Three", {"importar", "1A2B", "x"}, {}, 0, true, true, false},
        StartCase{"ImportarUpperCase", {"IMPORTAR", "1A2B"}, {}, 2, false, true, true},
        StartCase{"Exportar", {"exportar", "1a2b3c"}, {}, 2, true, false, true},
        StartCase{"HexPrefixIsNoNumber",
                  {"exportar", "0x1A2B"},
                  {"ERR '$0x1A2B' no es un valor entero válido"},
                  0,
                  true,
                  true,
                  false},
        StartCase{"EmptyHandle",
                  {"exportar", ""},
                  {"ERR '$' no es un valor entero válido"},
                  0,
                  true,
                  true,
                  false},
        StartCase{"OtherWordBothPanelsHosted", {"otra", "1A2B"}, {}, 2, true, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct HexCase {
    const char* text;
    std::optional<std::int32_t> value;
};

class HexHandle : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexHandle, ReadsDollarHexAsSigned32Bit) {
    EXPECT_EQ(app::parseHexHandle(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Values, HexHandle,
    ::testing::Values(HexCase{"1A2B", 0x1A2B}, HexCase{"1a2b", 0x1A2B}, HexCase{"0", 0},
                      HexCase{"7FFFFFFF", 0x7FFFFFFF}, HexCase{"80000000", INT32_MIN},
                      HexCase{"FFFFFFFF", -1}, HexCase{"000000001", 1},  // leading zeros fit
                      HexCase{"100000000", std::nullopt}, HexCase{"", std::nullopt},
                      HexCase{"-1", std::nullopt}, HexCase{" 1A", std::nullopt},
                      HexCase{"1A ", std::nullopt}, HexCase{"0x1A", std::nullopt},
                      HexCase{"$1A", std::nullopt}, HexCase{"1G", std::nullopt}));

TEST(Startup, ModeWordIsLowerCasedAndHandleKept) {
    const auto plan = app::planStartup({"ExPoRtAr", "FFFFFFFF"});
    EXPECT_TRUE(plan.hosted);
    EXPECT_EQ(plan.mode, "exportar");
    EXPECT_EQ(plan.hostHandle, -1);
}

TEST(Startup, StandaloneClosingLeavesNoFile) {
    TempDir dir;
    tz::testing::RecordingPort port;
    app::Jobs jobs(port);
    jobs.FormCreate({});
    jobs.FormClose(dir / "Zandrix.ini");
    EXPECT_FALSE(std::filesystem::exists(dir / "Zandrix.ini"));
    EXPECT_TRUE(port.shown.empty());
}

TEST(Startup, HostedClosingThatCannotWriteShowsTheErrorBox) {
    TempDir dir;
    tz::testing::RecordingPort port;
    app::Jobs jobs(port);
    jobs.FormCreate({"importar", "1A2B"});
    const auto file = dir / "missing" / "Zandrix.ini";
    jobs.FormClose(file);
    ASSERT_FALSE(port.only("ERR ").empty());
    EXPECT_EQ(port.only("ERR ").back(), "Unable to write to " + file.string());
    EXPECT_FALSE(port.busy);
}

}  // namespace
