# Outside libraries of the Windows build: static libraries cross-built once
# by scripts/setup-windows.sh into the dependency cache (HALCYON_WINDEPS).
find_package(pugixml REQUIRED)
find_package(fmt REQUIRED)

find_path(WIMLIB_INCLUDE_DIR wimlib.h REQUIRED)
find_library(WIMLIB_LIBRARY NAMES libwim.a wim REQUIRED)
# The archive's objects were compiled for a wimlib DLL: each carries
# "-export:" linker directives (its only .drectve content), which would put
# wimlib's functions into the export table of every DLL linking it. The
# build links a copy without them.
set(WIMLIB_STATIC_LIBRARY ${PROJECT_BINARY_DIR}/wimlib-static/libwim.a)
if(NOT EXISTS ${WIMLIB_STATIC_LIBRARY} OR ${WIMLIB_LIBRARY} IS_NEWER_THAN ${WIMLIB_STATIC_LIBRARY})
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/wimlib-static)
  execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.drectve ${WIMLIB_LIBRARY} ${WIMLIB_STATIC_LIBRARY}
    RESULT_VARIABLE _wimlib_copy)
  if(NOT _wimlib_copy EQUAL 0)
    message(FATAL_ERROR "cannot copy ${WIMLIB_LIBRARY} without its export directives")
  endif()
endif()
add_library(wimlib::wimlib STATIC IMPORTED)
set_target_properties(wimlib::wimlib PROPERTIES
  IMPORTED_LOCATION ${WIMLIB_STATIC_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${WIMLIB_INCLUDE_DIR}
  INTERFACE_COMPILE_DEFINITIONS WIMLIB_STATIC
  # The generated wimlib.pc omits ntdll.
  INTERFACE_LINK_LIBRARIES "ntdll;advapi32;shlwapi")

halcyon_imported_library(libdeflate::libdeflate STATIC LIBDEFLATE libdeflate.h libdeflate.a deflate)

find_package(Threads REQUIRED)

if(HALCYON_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()

find_program(MINGW_OBJDUMP NAMES x86_64-w64-mingw32-objdump REQUIRED)
