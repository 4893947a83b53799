// The XEL → Zandrix steps run in job order (folder check aside) with text files missing.
#include <gtest/gtest.h>

#include "IntakeFixture.h"
#include "intake/CentroNiveles.h"
#include "intake/Intake.h"
#include "tables/Catalogue.h"

namespace tz::intake::testing {
namespace {

const std::vector<std::string> kAll = {"fTIPTAR.txt",  "fASIGNAT.txt", "fOTRACT.txt",
                                       "fTIPDOC.txt",  "fNIVIMP.txt",  "fIDIOMA.txt",
                                       "fGRUPNIV.txt", "fPROFES.txt",  "fGRUPOS.txt"};

std::string upperTxt(std::string f) {
    f.replace(f.size() - 3, 3, "TXT");
    return f;
}

class Trabajo : public IntakeDir {
  protected:
    // Steps 2 to 7 of the XEL → Zandrix sequence.
    void exportar() {
        port.setBusy(true);
        state.EstadoTransformado = 1;
        RecogeCatalogos(state, port);
        RecogeAsignaturas(state, port);
        RecogeProfesores(state, port);
        RecogeGrupos(state, port);
        cn.DatosCentro();
    }
    void writeAllBut(const std::string& missing) {
        for (const auto& f : kAll)
            if (f != missing)
                write(f, f == "fGRUPOS.txt" ? "1  0123452024"
                                              "1\r\n"
                                            : "");
    }
    CentroNiveles cn{state, port};
};

class OneMissing : public Trabajo, public ::testing::WithParamInterface<std::string> {};

TEST_P(OneMissing, MessageStatusAndTheJobGoesOnToTheCentrePanel) {
    const std::string missing = GetParam();
    writeAllBut(missing);
    // The task types of an earlier run: without them the subjects step has no task table.
    if (missing == "fTIPTAR.txt") makeTable(tables::catalogue::xelTIPTAR(), {{"GUA"}});
    exportar();
    std::string what = missing == "fPROFES.txt"   ? "profesores"
                       : missing == "fGRUPOS.txt" ? "grupos"
                                                  : "asignaturas";
    std::vector<std::string> expected{"No existe archivo de " + what + " (" + upperTxt(missing) +
                                      ")"};
    if (missing == "fASIGNAT.txt") expected.push_back(expected.front());  // read by two steps
    if (missing == "fGRUPOS.txt")
        expected.push_back("No existe archivo del Centro (xelCENTRO.DBF)");
    EXPECT_EQ(port.messages(), expected);
    EXPECT_EQ(state.EstadoTransformado, -1);
    EXPECT_EQ(port.centreVisible, missing != "fGRUPOS.txt");
    EXPECT_EQ(tables::tableExists(table("PROFT.DBF")), missing != "fPROFES.txt");
    EXPECT_EQ(tables::tableExists(table("GRUPOST.DBF")), missing != "fGRUPOS.txt");
}

INSTANTIATE_TEST_SUITE_P(Trabajo, OneMissing, ::testing::ValuesIn(kAll), [](const auto& info) {
    return info.param.substr(0, info.param.size() - 4);
});

TEST_F(Trabajo, TaskTypesMissingOnAFirstRunIsAnEngineErrorInTheSubjectsStep) {
    writeAllBut("fTIPTAR.txt");
    RecogeCatalogos(state, port);
    EXPECT_THROW(RecogeAsignaturas(state, port), tables::EngineError);
    EXPECT_EQ(port.messages(),
              std::vector<std::string>{"No existe archivo de asignaturas (fTIPTAR.TXT)"});
}

TEST_F(Trabajo, EveryFileMissingWithoutAnEarlierRun) {
    exportar();
    EXPECT_EQ(port.messages(),
              (std::vector<std::string>{"No existe archivo de asignaturas (fTIPTAR.TXT)",
                                        "No existe archivo de asignaturas (fASIGNAT.TXT)",
                                        "No existe archivo de profesores (fPROFES.TXT)",
                                        "No existe archivo de grupos (fGRUPOS.TXT)",
                                        "No existe archivo del Centro (xelCENTRO.DBF)"}));
    EXPECT_EQ(state.EstadoTransformado, -1);
    EXPECT_FALSE(port.centreVisible);
    EXPECT_TRUE(port.busy);  // no panel was shown, so nothing set the normal cursor
}

TEST_F(Trabajo, EveryFileMissingAfterAnEarlierRunShowsTheCentrePanel) {
    makeTable(tables::catalogue::xelCENTRO(), {{"012345", "2024", "1"}});
    exportar();
    EXPECT_EQ(port.messages().size(), 4u);
    EXPECT_TRUE(port.centreVisible);
    EXPECT_FALSE(port.busy);
    EXPECT_EQ(state.EstadoTransformado, -1);
}

TEST_F(Trabajo, HostedJobWithAMissingFileLeavesMinusOne) {
    writeAllBut("fPROFES.txt");
    makeTable(tables::catalogue::xelNIVIMP(), {});
    state.NumParametros = 2;
    exportar();
    cn.BitBtn1Click();
    cn.FinalRecogida();
    EXPECT_EQ(port.shown.back(), "CLOSE");
    EXPECT_EQ(state.EstadoTransformado, -1);
}

TEST_F(Trabajo, AFolderNamedLikeTheTextFileCountsAsMissing) {
    writeAllBut("");
    fs::remove(textos / "fPROFES.txt");
    fs::create_directory(textos / "fPROFES.txt");  // exists, but cannot be read as a file
    RecogeCatalogos(state, port);
    RecogeAsignaturas(state, port);
    // A folder of that name is not a text file: reported as missing, nothing half-written.
    RecogeProfesores(state, port);
    EXPECT_EQ(port.messages(),
              std::vector<std::string>{"No existe archivo de profesores (fPROFES.TXT)"});
}

}  // namespace
}  // namespace tz::intake::testing
