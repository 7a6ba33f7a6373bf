# Checks that a shared library exports exactly the functions named in the version script's
# global list: `nm -D --defined-only` must show those names and nothing else.
# cmake -DNM=<nm> -DLIBRARY=<lib> -DEXPECTED=<ferrolib.map> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(exported "")
foreach(line IN LISTS lines)
  # "<address> <type> <name>"
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] +" "" name "${line}")
  list(APPEND exported "${name}")
endforeach()
list(SORT exported)

file(READ ${EXPECTED} map)
string(REPLACE ";" " " map "${map}")  # semicolons would split CMake lists
string(REGEX MATCH "global:([^}]*)local:" global "${map}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" expected "${CMAKE_MATCH_1}")
list(SORT expected)
list(LENGTH expected count)

if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "export list differs\n  exported: ${exported}\n  expected: ${expected}")
endif()
if(NOT count EQUAL 15)
  message(FATAL_ERROR "the version script names ${count} functions, not fifteen")
endif()
message(STATUS "exactly the fifteen exports: ${exported}")
