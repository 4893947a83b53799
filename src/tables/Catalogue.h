#pragma once
#include <string>
#include <vector>

#include "tables/FieldDef.h"

// Every table of the exchange folder, laid out in one place.
namespace tz::tables::catalogue {

// Catalogue tables (no index).
const TableLayout& xelTIPTAR();
const TableLayout& xelASIGNAT();
const TableLayout& xelOTRACT();
const TableLayout& xelTIPDOC();
const TableLayout& xelNIVIMP();
const TableLayout& xelIDIOMA();
const TableLayout& xelGRUPNIV();
// Centre table (no index).
const TableLayout& xelCENTRO();
// Timetabler master tables.
const TableLayout& ASIGNOMT();
const TableLayout& PROFT();  // index ABREV
const TableLayout& GRUPOST();
// Bell schedule (index HORA).
const TableLayout& PLANTILLA();
// Timetable export tables.
const TableLayout& CUADROH2();  // indexes ABREVPROF, DOC, PROF_DIA_SES, DIA_SES
const TableLayout& CUADROH3();  // indexes ABREVPROF, DOC, PROF_DIA_SES

// All of the above, in the order listed.
const std::vector<const TableLayout*>& all();

// The fields of the timetabler's SOLUC table that the tool reads.
const std::vector<std::string>& solucFields();

// Deletes \ZTEMP\xelCENTRO.DBF and .MDX and creates the centre table empty and closed.
void CreaTablaCentro();

}  // namespace tz::tables::catalogue
