// The XEL → Zandrix job through the shell's Jobs, hosted: the window closes at the end and the
// run status reaches the INI file.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "IntakeFixture.h"
#include "app/Jobs.h"
#include "tables/Catalogue.h"

namespace tz::intake::testing {
namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class HostedExportar : public IntakeDir, public ::testing::WithParamInterface<bool> {};

TEST_P(HostedExportar, ClosesAndWritesTheRunStatus) {
    const bool profesMissing = GetParam();
    for (const char* f : {"fTIPTAR.txt", "fASIGNAT.txt", "fOTRACT.txt", "fTIPDOC.txt",
                          "fIDIOMA.txt", "fGRUPNIV.txt", "fGRUPOS.txt", "fPROFES.txt"})
        write(f, "");
    write("fNIVIMP.txt", "ESO\r\n");
    write("fGRUPOS.txt",
          "1  0123452024"
          "1\r\n");
    if (profesMissing) fs::remove(textos / "fPROFES.txt");

    app::Jobs jobs(port);
    jobs.FormCreate({"exportar", "1A2B"});
    ASSERT_TRUE(jobs.state().hosted());
    jobs.BExportarClick(textos.string());
    EXPECT_TRUE(port.centreVisible);
    jobs.BitBtn1Click();
    EXPECT_TRUE(port.levelsVisible);
    jobs.wwDBGridNIVIMPEnter();
    jobs.centro().niveles().setText("ABREVCAST", "ESO");
    jobs.centro().niveles().setText("ABREVEUSK", "DBH");
    jobs.FinalRecogida();
    EXPECT_TRUE(port.closed);
    EXPECT_EQ(port.messages().back(), "Proceso finalizado");
    EXPECT_TRUE(port.only("ERR ").empty());

    fs::path ini = root / "Zandrix.ini";
    jobs.FormClose(ini);
    EXPECT_NE(slurp(ini).find(profesMissing ? "Transformado=-1" : "Transformado=1"),
              std::string::npos)
        << slurp(ini);
}

INSTANTIATE_TEST_SUITE_P(Jobs, HostedExportar, ::testing::Bool());

TEST_F(IntakeDir, JobsVolverANivelesAndRepeatedAbbreviations) {
    makeTable(tables::catalogue::xelCENTRO(), {{"012345", "2024", "1"}});
    makeTable(tables::catalogue::xelNIVIMP(),
              {{"ESO", "", "", "", "", "", "A", ""}, {"BAC", "", "", "", "", "", "a", ""}});
    makeTable(tables::catalogue::GRUPOST(), {{"1ESO", "M", "ESO"}});
    app::Jobs jobs(port);
    jobs.centro().DatosCentro();
    jobs.BitBtn1Click();
    jobs.FinalRecogida();
    EXPECT_EQ(port.messages().back(), "Abreviatura en Castellano Repetida - Compruébelo.");
    EXPECT_EQ(jobs.state().EstadoPaso, 1);
    EXPECT_TRUE(port.levelsVisible);
    jobs.Button2Click();  // back to the centre panel, on the XEL → Zandrix road
    EXPECT_EQ(jobs.state().EstadoPaso, 0);
    EXPECT_TRUE(port.centreVisible);
    jobs.BitBtn1Click();
    jobs.centro().niveles().moveTo(1);
    jobs.wwDBGridNIVIMPEnter();
    jobs.centro().niveles().setText("ABREVCAST", "B");
    jobs.FinalRecogida();
    EXPECT_EQ(port.messages().back(), "Proceso finalizado");
    EXPECT_TRUE(port.volverVisible);
    EXPECT_FALSE(port.closed);  // standalone
    jobs.Button3Click();        // "Volver a Niveles Estudios"
    EXPECT_TRUE(port.levelsVisible);
}

}  // namespace
}  // namespace tz::intake::testing
