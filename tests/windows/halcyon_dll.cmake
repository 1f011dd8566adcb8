# HalcyonDLL.dll: its export and import tables, and a client that knows only
# the documented UTF-16 surface.
add_test(NAME halcyon_dll_exports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${MINGW_OBJDUMP} -DDLL=$<TARGET_FILE:HalcyonDLL>
          -DMAP=${PROJECT_SOURCE_DIR}/engine/HalcyonDLL.map -DSUFFIX=W -P ${CMAKE_CURRENT_SOURCE_DIR}/check_exports.cmake)
add_test(NAME halcyon_dll_imports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${MINGW_OBJDUMP} -DDLL=$<TARGET_FILE:HalcyonDLL> -DREQUIRED=VerGauge.dll
          -P ${CMAKE_CURRENT_SOURCE_DIR}/check_imports.cmake)

add_executable(halcyon_client halcyon_client.c)
add_dependencies(halcyon_client HalcyonDLL VerGauge)
target_link_libraries(halcyon_client PRIVATE advapi32)
add_test(NAME halcyon_client COMMAND halcyon_client)

# A front end as the application framework builds them: framework_client.cpp
# compiled by clang for the framework compiler's C++ ABI (string objects by
# value), linked with the C side by MinGW-w64.
find_program(HALCYON_MSVC_ABI_CLANG clang REQUIRED)
set(framework_obj ${CMAKE_CURRENT_BINARY_DIR}/framework_client_msvc.obj)
add_custom_command(OUTPUT ${framework_obj}
  COMMAND ${HALCYON_MSVC_ABI_CLANG} --target=x86_64-pc-windows-msvc -std=c++20 -O1 -fno-exceptions -fno-rtti
          -fno-stack-protector -Wall -Wextra -Werror -c ${CMAKE_CURRENT_SOURCE_DIR}/framework_client.cpp
          -o ${framework_obj}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/framework_client.cpp ${CMAKE_CURRENT_SOURCE_DIR}/framework_client.h
  VERBATIM)
add_executable(framework_client framework_client_main.c ${framework_obj})
add_dependencies(framework_client HalcyonDLL VerGauge)
target_include_directories(framework_client PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_link_options(framework_client PRIVATE -municode)
add_test(NAME framework_client COMMAND framework_client)
