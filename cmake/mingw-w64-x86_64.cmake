# Cross-build for Windows x64 with Debian's MinGW-w64 (posix thread model:
# the win32 model of GCC 12 has no std::mutex). The C++ runtime is linked
# statically, so the DLLs and programs import only system DLLs.
#
# HALCYON_WINDEPS names the dependency cache that scripts/setup-windows.sh
# fills (pugixml, fmt, libdeflate, wimlib, googletest as static libraries).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

if(NOT HALCYON_WINDEPS AND DEFINED ENV{HALCYON_WINDEPS})
  set(HALCYON_WINDEPS $ENV{HALCYON_WINDEPS})
endif()
# Try-compile projects see the cache folder too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HALCYON_WINDEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
if(HALCYON_WINDEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${HALCYON_WINDEPS})
  list(APPEND CMAKE_PREFIX_PATH ${HALCYON_WINDEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under wine64, each program in its own prefix copied from
# the cache's template.
if(HALCYON_WINDEPS)
  set(_halcyon_wine_template ${HALCYON_WINDEPS}/wine-template)
else()
  get_filename_component(_halcyon_wine_template ${CMAKE_CURRENT_LIST_DIR}/../build-windows-deps/wine-template
    ABSOLUTE)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR env WINE_TEMPLATE=${_halcyon_wine_template}
  ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run-windows.sh)
