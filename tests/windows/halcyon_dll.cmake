# HalcyonDLL.dll: its export and import tables, and a client that knows only
# the documented UTF-16 surface.
add_test(NAME halcyon_dll_exports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${MINGW_OBJDUMP} -DDLL=$<TARGET_FILE:HalcyonDLL>
          -DMAP=${PROJECT_SOURCE_DIR}/engine/HalcyonDLL.map -P ${CMAKE_CURRENT_SOURCE_DIR}/check_exports.cmake)
add_test(NAME halcyon_dll_imports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${MINGW_OBJDUMP} -DDLL=$<TARGET_FILE:HalcyonDLL> -DREQUIRED=VerGauge.dll
          -P ${CMAKE_CURRENT_SOURCE_DIR}/check_imports.cmake)

add_executable(halcyon_client halcyon_client.c)
add_dependencies(halcyon_client HalcyonDLL VerGauge)
target_link_libraries(halcyon_client PRIVATE advapi32)
add_test(NAME halcyon_client COMMAND halcyon_client)
