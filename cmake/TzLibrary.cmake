# tz_library(NAME SOURCES files... [PUBLIC targets...] [PRIVATE targets...])
# A static library of the listed sources (paths relative to the calling folder, headers
# included so that every file of the folder belongs to one target). Headers are named from
# src/ ("tables/Dataset.h"): the library and its users find them there. PUBLIC: what its own
# headers include; PRIVATE: what only its sources use. Every library builds with tz_settings.
function(tz_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "tz_library(${name}): no SOURCES")
  endif()
  add_library(${name} STATIC ${ARG_SOURCES})
  if(NOT name MATCHES "_(gui|qt)$")
    set_target_properties(${name} PROPERTIES AUTOMOC OFF)  # logic: no Qt, nothing to moc
  endif()
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_features(${name} PUBLIC cxx_std_20)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE tz_settings ${ARG_PRIVATE})
endfunction()
