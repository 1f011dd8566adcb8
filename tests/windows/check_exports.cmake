# Compares a DLL's export table (objdump -p) with the names of its export
# list: a version script's "global:" block (MAP) or a list (NAMES). With
# SUFFIX, every listed name is also wanted with that suffix.
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" table "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${table}")
set(exported)
foreach(row IN LISTS rows)
  string(REGEX REPLACE "\\[ *[0-9]+\\] " "" name "${row}")
  list(APPEND exported ${name})
endforeach()

if(DEFINED NAMES)
  set(wanted ${NAMES})
else()
  file(READ ${MAP} map)
  string(REGEX MATCH "global:([^}]*)local:" block "${map}")
  string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" wanted "${CMAKE_MATCH_1}")
endif()

if(DEFINED SUFFIX)
  list(TRANSFORM wanted APPEND ${SUFFIX} OUTPUT_VARIABLE suffixed)
  list(APPEND wanted ${suffixed})
endif()

list(SORT exported)
list(SORT wanted)
if(NOT exported STREQUAL wanted)
  message(FATAL_ERROR "exports of ${DLL}:\n  ${exported}\nexpected:\n  ${wanted}")
endif()
message(STATUS "exports: ${exported}")
