#include "tables/Catalogue.h"

#include "tables/Paths.h"
#include "tables/TableFiles.h"

namespace tz::tables::catalogue {
namespace {

TableLayout make(std::string file, std::vector<FieldDef> fields,
                 std::vector<std::string> indexes = {}) {
    return {std::move(file), std::move(fields), std::move(indexes)};
}

}  // namespace

const TableLayout& xelTIPTAR() {
    static const TableLayout l = make("xelTIPTAR.DBF", {
                                                           charField("COD", 3),
                                                           charField("REFUERZO", 1),
                                                           charField("OTRACTIV", 1),
                                                           charField("DESCCAST", 250),
                                                           charField("DESCEUSK", 250),
                                                       });
    return l;
}

const TableLayout& xelASIGNAT() {
    static const TableLayout l = make("xelASIGNAT.DBF", {
                                                            charField("COD", 4),
                                                            charField("DESCCAST", 100),
                                                            charField("DESCCASTR", 20),
                                                            charField("CODCAST", 4),
                                                            charField("DESCEUSK", 100),
                                                            charField("DESCEUSKR", 20),
                                                            charField("CODEUSK", 4),
                                                        });
    return l;
}

const TableLayout& xelOTRACT() {
    static const TableLayout l = make("xelOTRACT.DBF", {
                                                           charField("COD", 4),
                                                           charField("DESCCAST", 100),
                                                           charField("DESCEUSK", 100),
                                                           charField("DESCCASTR", 20),
                                                           charField("DESCEUSKR", 20),
                                                       });
    return l;
}

const TableLayout& xelTIPDOC() {
    static const TableLayout l = make("xelTIPDOC.DBF", {
                                                           charField("COD", 1),
                                                           charField("DESCCAST", 100),
                                                           charField("DESCEUSK", 100),
                                                       });
    return l;
}

const TableLayout& xelNIVIMP() {
    static const TableLayout l = make("xelNIVIMP.DBF", {
                                                           charField("COD", 3),
                                                           charField("GRUPNIV", 3),
                                                           charField("DESCCAST", 100),
                                                           charField("DESCEUSK", 100),
                                                           charField("DESCCASTR", 20),
                                                           charField("DESCEUSKR", 20),
                                                           charField("ABREVCAST", 5),
                                                           charField("ABREVEUSK", 5),
                                                       });
    return l;
}

const TableLayout& xelIDIOMA() {
    static const TableLayout l = make("xelIDIOMA.DBF", {
                                                           charField("IDIOMA", 2),
                                                           charField("DESCCAST", 100),
                                                           charField("DESCEUSK", 100),
                                                           charField("DESCCASTR", 4),
                                                           charField("DESCEUSKR", 4),
                                                       });
    return l;
}

const TableLayout& xelGRUPNIV() {
    static const TableLayout l = make("xelGRUPNIV.DBF", {
                                                            charField("NIVEL", 3),
                                                            charField("DESCCAST", 50),
                                                            charField("DESCEUSK", 50),
                                                            charField("GRUPOPADRE", 3),
                                                            charField("IDTIPTAREA", 1),
                                                            charField("ORDEN", 50),
                                                        });
    return l;
}

const TableLayout& xelCENTRO() {
    static const TableLayout l = make("xelCENTRO.DBF", {
                                                           charField("CODCENTRO", 6),
                                                           charField("ANOACAD", 4),
                                                           charField("VERSION", 5),
                                                       });
    return l;
}

const TableLayout& ASIGNOMT() {
    static const TableLayout l = make("ASIGNOMT.DBF", {
                                                          charField("COD", 4),
                                                          charField("CODLARGO", 8),
                                                          charField("NOMBRE", 40),
                                                          charField("CODIGOXEL", 4),
                                                          logicalField("ESTAREA"),
                                                      });
    return l;
}

const TableLayout& PROFT() {
    static const TableLayout l = make("PROFT.DBF",
                                      {
                                          charField("ABREV", 4),
                                          charField("NOMBRE", 40),
                                          charField("DEPART", 40),
                                          charField("DNI", 15),
                                          charField("TIPODNI", 1),
                                      },
                                      {"ABREV"});
    return l;
}

const TableLayout& GRUPOST() {
    static const TableLayout l = make("GRUPOST.DBF", {
                                                         charField("ABREV", 4),
                                                         charField("TURNO", 1),
                                                         charField("NIVEL", 5),
                                                         charField("CURSO", 3),
                                                         charField("GRUPO", 2),
                                                         charField("CODGRUXEL", 5),
                                                         charField("ALIASXEL", 30),
                                                         charField("NIVELXEL", 3),
                                                         charField("ESPECXEL", 6),
                                                         charField("TURNOXEL", 2),
                                                         charField("CURSOXEL", 2),
                                                         charField("NUMALUMN", 2),
                                                     });
    return l;
}

const TableLayout& PLANTILLA() {
    static const TableLayout l = make("PLANTILLA.DBF",
                                      {
                                          integerField("HORA"),
                                          charField("HORAINI", 5),
                                          charField("HORAFIN", 5),
                                      },
                                      {"HORA"});
    return l;
}

const TableLayout& CUADROH2() {
    static const TableLayout l =
        make("CUADROH2.DBF",
             {
                 charField("TIPREG", 1),    charField("TIPDOC", 1),       charField("ABREVPROF", 4),
                 charField("DOC", 15),      charField("NUMSESION", 2),    charField("DIASEM", 1),
                 charField("TIPTAR", 3),    charField("HORAINI", 5),      charField("HORAFIN", 5),
                 charField("GRUPNIV", 3),   charField("ABREVASIG", 4),    charField("CODASIG", 4),
                 charField("TIPASIG", 1),   charField("IDIOMA", 2),       charField("AULA_OBS", 30),
                 charField("TIP_ACTIV", 3), charField("PROF_DIA_SES", 7), charField("DIA_SES", 3),
                 charField("REG_MOD", 1),
             },
             {"ABREVPROF", "DOC", "PROF_DIA_SES", "DIA_SES"});
    return l;
}

const TableLayout& CUADROH3() {
    static const TableLayout l = make("CUADROH3.DBF",
                                      {
                                          charField("TIPREG", 1),
                                          charField("ABREVGRUP", 4),
                                          charField("CODGRUPO", 5),
                                          charField("TIPDOC", 1),
                                          charField("ABREVPROF", 4),
                                          charField("DOC", 15),
                                          charField("NUMSESGRUP", 2),
                                          charField("DIASEM", 1),
                                          charField("NUMALUM", 2),
                                          charField("PROF_DIA_SES", 7),
                                          charField("REG_MOD", 1),
                                      },
                                      {"ABREVPROF", "DOC", "PROF_DIA_SES"});
    return l;
}

const std::vector<const TableLayout*>& all() {
    static const std::vector<const TableLayout*> v = {
        &xelTIPTAR(), &xelASIGNAT(), &xelOTRACT(), &xelTIPDOC(), &xelNIVIMP(),
        &xelIDIOMA(), &xelGRUPNIV(), &xelCENTRO(), &ASIGNOMT(),  &PROFT(),
        &GRUPOST(),   &PLANTILLA(),  &CUADROH2(),  &CUADROH3(),
    };
    return v;
}

const std::vector<std::string>& solucFields() {
    static const std::vector<std::string> v = {"PROF",     "DIA",  "HORA",  "SESIONES",
                                               "CODGRUPO", "ASIG", "TAREA", "AULA"};
    return v;
}

void CreaTablaCentro() {
    deleteTableFiles(ztempFile("xelCENTRO.DBF"));
    createTable(ztemp(), xelCENTRO());
}

}  // namespace tz::tables::catalogue
