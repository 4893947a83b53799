#pragma once
#include <filesystem>
#include <string>
#include <string_view>

// The records of fCUADROS.txt and its safe writing.
namespace tz::timetable::cuadro {

// Header record, "1CH" + centre code (6) + academic year (4) + first character of the version.
struct Centro {
    std::string CODCENTRO, ANOACAD, VERSION;
};
std::string registroTipo1(const Centro& c);

// One teaching period of one teacher (a CUADROH2 row), values as the engine reads them.
struct Tipo2 {
    std::string TIPDOC, DOC, NUMSESION, DIASEM, TIPTAR, HORAINI, HORAFIN, GRUPNIV, CODASIG, TIPASIG,
        IDIOMA, AULA_OBS, TIP_ACTIV;
};
std::string registroTipo2(const Tipo2& r);
// The same values as views of the table's bytes, for writing many records without copying
// them: anadeTipo2 appends the record registroTipo2 makes.
struct Vista2 {
    std::string_view TIPDOC, DOC, NUMSESION, DIASEM, TIPTAR, HORAINI, HORAFIN, GRUPNIV, CODASIG,
        TIPASIG, IDIOMA, AULA_OBS, TIP_ACTIV;
};
void anadeTipo2(std::string& out, const Vista2& r);

// One group of a period (a CUADROH3 row).
struct Tipo3 {
    std::string CODGRUPO, TIPDOC, DOC, NUMSESGRUP, DIASEM, NUMALUM;
};
std::string registroTipo3(const Tipo3& r);
struct Vista3 {
    std::string_view CODGRUPO, TIPDOC, DOC, NUMSESGRUP, DIASEM, NUMALUM;
};
void anadeTipo3(std::string& out, const Vista3& r);

// A clock time: `v` followed by "00:00", cut to 5 characters.
std::string hora(std::string_view v);
// A pupil count: `v` followed by "00", cut to 2 characters.
std::string cuenta(std::string_view v);

}  // namespace tz::timetable::cuadro
