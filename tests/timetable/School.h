#pragma once
#include "Exchange.h"

// A small exchange folder with every table the Zandrix → XEL job reads.
namespace tz::testing {

class School : public Exchange {
  public:
    School() {
        namespace cat = tables::catalogue;
        // ABREV, NOMBRE, DEPART, DNI, TIPODNI
        table(cat::PROFT(), {{"ABC", "Ane Barrena", "Matemáticas", "11111111H", "1"},
                             {"JLM", "Josu Larra", "Lengua", "", ""},
                             {"MIR", "Miren Ibarra", "Inglés", "33333333P", "2"}});
        // ABREV, TURNO, NIVEL, CURSO, GRUPO, CODGRUXEL, ALIASXEL, NIVELXEL, ESPECXEL, TURNOXEL,
        // CURSOXEL, NUMALUMN
        table(cat::GRUPOST(),
              {{"1A", "M", "ESO", "1", "A", "01ESA", "1º A", "ESO", "", "", "1", "25"},
               {"1B", "M", "ESO", "1", "B", "01ESB", "1º B", "ES", "", "", "1", ""},
               {"1A", "M", "ESO", "1", "A", "99DUP", "dup", "BAC", "", "", "1", "99"},
               {"2A", "M", "ESO", "2", "A", "02ESA", "2º A", "", "", "", "2", "7"}});
        // COD, CODLARGO, NOMBRE, CODIGOXEL, ESTAREA
        table(cat::ASIGNOMT(), {{"MAT", "MAT", "Matemáticas", "0101"},
                                {"LEN", "LEN", "Lengua", "02"},
                                {"MAT", "MAT", "duplicate", "9999"}});
        table(cat::PLANTILLA(), {{"1", "08:00", "09:00"},
                                 {"2", "09:00", "10:00"},
                                 {"3", "10:00", "11:00"},
                                 {"5", "12:00", "13:00"},
                                 {"12", "19:00", "20:00"}});
        table(cat::xelCENTRO(), {{"012345", "2024", "1"}});
        table(cat::xelTIPDOC(), {{"1", "DNI", "NAN"}, {"2", "Pasaporte", "Pasaportea"}});
        table(cat::xelTIPTAR(),
              {{"101", "N", "N", "Lectiva", "Eskola"}, {"2001", "N", "S", "Guardia", "Zaintza"}});
        table(cat::xelGRUPNIV(), {{"ESO", "Secundaria", "DBH"}});
        table(cat::xelASIGNAT(),
              {{"0101", "Matemáticas", "Mat.", "MAT", "Matematika", "Mat.", "MAT"}});
        table(cat::xelIDIOMA(), {{"02", "Euskera", "Euskara", "EUS", "EUS"}});
        table(cat::xelOTRACT(), {{"3001", "Biblioteca", "Liburutegia", "Bibl.", "Lib."}});
    }

    static inline const std::vector<std::string> h2Fields = {
        "PROF_DIA_SES", "TIPREG",   "TIPDOC",    "ABREVPROF", "DOC",       "NUMSESION", "DIASEM",
        "TIPTAR",       "HORAINI",  "HORAFIN",   "GRUPNIV",   "ABREVASIG", "CODASIG",   "TIPASIG",
        "IDIOMA",       "AULA_OBS", "TIP_ACTIV", "DIA_SES",   "REG_MOD"};
    static inline const std::vector<std::string> h3Fields = {
        "PROF_DIA_SES", "TIPREG",     "ABREVGRUP", "CODGRUPO", "TIPDOC", "ABREVPROF",
        "DOC",          "NUMSESGRUP", "DIASEM",    "NUMALUM",  "REG_MOD"};

    std::vector<std::string> h2() const {
        return rows(ztemp("CUADROH2.DBF"), h2Fields, "PROF_DIA_SES");
    }
    std::vector<std::string> h3() const {
        return rows(ztemp("CUADROH3.DBF"), h3Fields, "PROF_DIA_SES");
    }
};

}  // namespace tz::testing
