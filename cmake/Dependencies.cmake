# Outside libraries, all from Debian's packages (scripts/setup.sh).

find_package(SQLite3 REQUIRED)
find_package(pugixml REQUIRED)
find_package(fmt REQUIRED)

# wimlib's pkg-config file names ntfs-3g and fuse, whose .pc files Debian does
# not install with it, so it is located directly.
find_path(WIMLIB_INCLUDE_DIR wimlib.h REQUIRED)
find_library(WIMLIB_LIBRARY NAMES wim REQUIRED)
add_library(wimlib::wimlib UNKNOWN IMPORTED)
set_target_properties(wimlib::wimlib PROPERTIES
  IMPORTED_LOCATION ${WIMLIB_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${WIMLIB_INCLUDE_DIR})

find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
find_library(LIBDEFLATE_LIBRARY NAMES deflate REQUIRED)
add_library(libdeflate::libdeflate UNKNOWN IMPORTED)
set_target_properties(libdeflate::libdeflate PROPERTIES
  IMPORTED_LOCATION ${LIBDEFLATE_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${LIBDEFLATE_INCLUDE_DIR})

find_package(Threads REQUIRED)

if(HALCYON_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(HALCYON_BUILD_BENCH)
  find_package(benchmark QUIET)
endif()
