# Fails when a program (EXE) has an export table: a program exports nothing,
# whatever static libraries it links.
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${EXE}")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" table "${dump}")
if(table)
  message(FATAL_ERROR "${EXE} exports:\n${table}")
endif()
