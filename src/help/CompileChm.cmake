# Compiles a help project into a .chm file with chmcmd, without writing into the source folder.
#   cmake -DCHMCMD=/usr/bin/chmcmd -DSOURCE_DIR=<project folder> -DPROJECT=<name>.hhp
#         -DWORK_DIR=<scratch folder> -DOUTPUT=<file.chm> [-DCONTEXTS=<table>] -P CompileChm.cmake
# CONTEXTS is a table of "SYMBOL NUMBER TOPIC" lines ('#' starts a comment). It becomes
# contexts.h ([MAP] defines) and contexts.ali ([ALIAS] lines) in the scratch copy, so that every
# context number has its topic: chmcmd refuses a define without an alias.
cmake_minimum_required(VERSION 3.25)

foreach(var CHMCMD SOURCE_DIR PROJECT WORK_DIR OUTPUT)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "CompileChm.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(COPY "${SOURCE_DIR}/" DESTINATION "${WORK_DIR}")

if(DEFINED CONTEXTS AND NOT "${CONTEXTS}" STREQUAL "")
  file(STRINGS "${CONTEXTS}" lines)
  set(defines "")
  set(aliases "")
  set(seen_symbols "")
  set(seen_numbers "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "#.*$" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    if(NOT line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)[ \t]+(0[xX][0-9A-Fa-f]+|[0-9]+)[ \t]+([^ \t]+)$")
      message(FATAL_ERROR "${CONTEXTS}: malformed line '${line}' (SYMBOL NUMBER TOPIC)")
    endif()
    set(symbol "${CMAKE_MATCH_1}")
    set(topic "${CMAKE_MATCH_3}")
    math(EXPR number "${CMAKE_MATCH_2}")
    if(number EQUAL 0)
      message(FATAL_ERROR "${CONTEXTS}: ${symbol}: context 0 cannot be mapped")
    endif()
    if(symbol IN_LIST seen_symbols OR number IN_LIST seen_numbers)
      message(FATAL_ERROR "${CONTEXTS}: ${symbol} ${number}: symbol or number given twice")
    endif()
    if(NOT EXISTS "${SOURCE_DIR}/${topic}")
      message(FATAL_ERROR "${CONTEXTS}: ${symbol}: topic ${topic} does not exist")
    endif()
    list(APPEND seen_symbols "${symbol}")
    list(APPEND seen_numbers "${number}")
    string(APPEND defines "#define ${symbol} ${number}\n")
    string(APPEND aliases "${symbol}=${topic}\n")
  endforeach()
  file(WRITE "${WORK_DIR}/contexts.h" "${defines}")
  file(WRITE "${WORK_DIR}/contexts.ali" "${aliases}")
endif()

execute_process(COMMAND "${CHMCMD}" "${PROJECT}"
                WORKING_DIRECTORY "${WORK_DIR}"
                RESULT_VARIABLE result
                OUTPUT_VARIABLE log ERROR_VARIABLE log)
# The compiled file named in the project's [OPTIONS].
file(STRINGS "${WORK_DIR}/${PROJECT}" compiled REGEX "^[Cc]ompiled file=")
string(REGEX REPLACE "^[Cc]ompiled file=" "" compiled "${compiled}")
string(STRIP "${compiled}" compiled)
if(NOT result EQUAL 0 OR compiled STREQUAL "" OR NOT EXISTS "${WORK_DIR}/${compiled}")
  message(FATAL_ERROR "chmcmd could not compile ${SOURCE_DIR}/${PROJECT}:\n${log}")
endif()
get_filename_component(out_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
file(COPY_FILE "${WORK_DIR}/${compiled}" "${OUTPUT}")
