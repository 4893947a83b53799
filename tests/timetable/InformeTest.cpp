// The printable report: who is in it, their periods and findings, and the PDF as two
// independent programs read it (pdfinfo for the pages, pdftotext for the text).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <array>
#include <cstdio>

#include "Exchange.h"
#include "support/Pdf.h"
#include "tables/Catalogue.h"
#include "timetable/Informe.h"
#include "timetable/Revision.h"
#include "timetable/qt/InformePdf.h"

using namespace tz;
namespace informe = tz::timetable::informe;
namespace cat = tz::tables::catalogue;

namespace {

int pages(const std::filesystem::path& pdf) { return tz::testing::pdfPages(pdf); }
std::string text(const std::filesystem::path& pdf) { return tz::testing::pdfText(pdf); }

std::string key(const std::string& prof, const std::string& dia, const std::string& ses) {
    std::string k = prof;
    k.resize(4, ' ');
    return k + dia + ses;
}

// A school whose names carry Windows-1252 letters: ñ, á, ú, ç, é and the euro sign.
class InformeTest : public ::testing::Test {
  protected:
    tz::testing::Exchange ex;

    void SetUp() override {
        ex.table(cat::xelCENTRO(), {{"015432", "2024", "1"}});
        ex.table(cat::PLANTILLA(), {{"1", "08:00", "09:00"}, {"2", "09:00", "10:00"}});
        ex.table(cat::xelTIPTAR(), {{"101", "N", "N", "Lectiva", "Eskola"}});
        ex.table(cat::xelASIGNAT(), {{"0101", "Mat", "Mat", "MAT", "Mat", "Mat", "MAT"}});
        ex.table(cat::xelIDIOMA(), {{"02", "Euskera", "Euskara", "EUS", "EUS"}});
        // ABREV, NOMBRE, DEPART, DNI, TIPODNI
        ex.table(cat::PROFT(), {{"IIM",
                                 "I\xf1"
                                 "aki Ib\xe1\xf1"
                                 "ez M\xfagica",
                                 "Educaci\xf3n \x80", "11111111H", "1"},
                                {"FDU", "Fran\xe7ois Dupr\xe9", "Franc\xe9s", "", ""},
                                {"AAA", "Sin Horas Ninguna", "", "22222222J", "1"}});
    }
    void periodos(const std::vector<std::array<std::string, 4>>& rows) {
        // prof, day, session, subject code
        std::vector<std::vector<std::string>> r2, r3;
        for (const auto& [prof, dia, ses, codasig] : rows) {
            const std::string k = key(prof, dia, ses);
            r2.push_back({"2", "1", prof, "11111111H", ses, dia, "101", "08:00", "09:00", "", "MAT",
                          codasig, " ", "02", "", "   ", k, k.substr(4), "N"});
            r3.push_back({"3", "1A", "01ESA", "1", prof, "11111111H", ses, dia, "20", k, "N"});
        }
        ex.table(cat::CUADROH2(), r2);
        ex.table(cat::CUADROH3(), r3);
    }
};

TEST_F(InformeTest, EveryTeacherOncePeriodsAndFindingsAsTheCheckCountsThem) {
    // XYZ has periods but no PROFT row; AAA has a PROFT row and no periods.
    periodos({{"IIM", "1", "01", "0101"},
              {"IIM", "2", "02", ""},
              {"FDU", "3", "01", "0101"},
              {"XYZ", "4", "02", "0101"}});
    informe::Informe in;
    ASSERT_EQ(in.profesores().size(), 4u);
    std::vector<std::string> abrevs;
    for (const auto& p : in.profesores()) abrevs.push_back(p.abrev);
    EXPECT_EQ(abrevs, (std::vector<std::string>{"AAA", "FDU", "IIM", "XYZ"}));
    const auto& aaa = in.profesores()[0];
    const auto& fdu = in.profesores()[1];
    const auto& iim = in.profesores()[2];
    const auto& xyz = in.profesores()[3];
    EXPECT_EQ(aaa.periodos, 0);
    EXPECT_EQ(iim.periodos, 2);
    EXPECT_FALSE(xyz.enProft);
    EXPECT_EQ(informe::nombreProfesor(xyz), "XYZ (sin ficha en PROFT)");
    EXPECT_EQ(informe::documento(fdu), "SIN DOCUMENTO");
    EXPECT_EQ(informe::nombreProfesor(iim), "IIM — Iñaki Ibáñez Múgica");
    EXPECT_EQ(in.totalPeriodos(), 4);
    // The findings per teacher add up to what "revisar" lists.
    int sum = 0;
    for (const auto& p : in.profesores()) sum += p.hallazgos;
    EXPECT_EQ(sum, static_cast<int>(timetable::revision::revisaCarpeta().size()));
    EXPECT_GT(iim.hallazgos, 0);

    const auto pagina = in.pagina(2, 1);
    EXPECT_EQ(pagina.semana.periodos().size(), 2u);
    EXPECT_EQ(pagina.hallazgos.size(), 1u);
    EXPECT_EQ(pagina.masHallazgos, iim.hallazgos - 1);
    EXPECT_TRUE(in.pagina(0, 10).semana.vacia());
    EXPECT_EQ(informe::cabecera(in.centro()), "Centro 015432 · Año académico 2024 · Versión 1");
}

TEST_F(InformeTest, PdfHasASummaryAndOnePagePerTeacherWithTheirNamesAsWritten) {
    periodos({{"IIM", "1", "01", "0101"}, {"FDU", "3", "01", ""}});
    informe::Informe in;
    const auto pdf = ex.root / "informe.pdf";
    ASSERT_EQ(informe::escribePdf(in, pdf), "");
    EXPECT_EQ(pages(pdf), 1 + static_cast<int>(in.profesores().size()));
    const std::string t = text(pdf);
    for (const char* name :
         {"Iñaki Ibáñez Múgica", "François Dupré", "Sin Horas Ninguna", "Educación €",
          "Informe del horario para XEL", "Centro 015432 · Año académico 2024 · Versión 1",
          "SIN DOCUMENTO", "Falta: G.NIVEL, Cód.ASIG?"})
        EXPECT_NE(t.find(name), std::string::npos) << name;
}

TEST_F(InformeTest, ManyTeachersTakeMoreSummaryPages) {
    std::vector<std::vector<std::string>> profs;
    std::vector<std::array<std::string, 4>> rows;
    for (int i = 0; i < 31; ++i) {
        char a[8];
        std::snprintf(a, sizeof a, "P%03d", i);
        profs.push_back({a, std::string("Profesor ") + a, "", "1", "1"});
        rows.push_back({a, "1", "01", "0101"});
    }
    ex.table(cat::PROFT(), profs);
    periodos(rows);
    EXPECT_EQ(informe::paginasResumen(0), 1u);
    EXPECT_EQ(informe::paginasResumen(30), 1u);
    EXPECT_EQ(informe::paginasResumen(31), 2u);
    informe::Informe in;
    const auto pdf = ex.root / "muchos.pdf";
    ASSERT_EQ(informe::escribePdf(in, pdf), "");
    EXPECT_EQ(pages(pdf), 31 + 2);
    EXPECT_NE(text(pdf).find("Profesor P030"), std::string::npos);
}

TEST_F(InformeTest, AFailedOrCancelledWriteLeavesTheFileAsItWas) {
    periodos({{"IIM", "1", "01", "0101"}});
    informe::Informe in;
    const std::string error = informe::escribePdf(in, ex.root / "no-existe" / "informe.pdf");
    EXPECT_NE(error.find("No se puede crear el fichero"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(ex.root / "no-existe"));

    const auto pdf = ex.root / "anterior.pdf";
    tz::testing::Exchange::write(pdf, "lo que había");
    int llamadas = 0;
    EXPECT_EQ(informe::escribePdf(in, pdf, [&](int, int) { return ++llamadas < 2; }),
              informe::kCancelado);
    EXPECT_EQ(tz::testing::Exchange::read(pdf), "lo que había");
    int folder = 0;
    for (const auto& e : std::filesystem::directory_iterator(ex.root))
        folder += e.is_regular_file();
    EXPECT_EQ(folder, 1);  // no temporary file left behind
}

TEST(InformeSinTablas, TheExportTablesMustOpen) {
    tz::testing::Exchange ex;
    EXPECT_THROW(informe::Informe in, tables::EngineError);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
