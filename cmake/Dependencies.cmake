# Outside libraries, all from Debian's packages (scripts/setup.sh).

find_package(SQLite3 REQUIRED)
find_package(pugixml REQUIRED)
find_package(fmt REQUIRED)

# wimlib's pkg-config file names ntfs-3g and fuse, whose .pc files Debian does
# not install with it, so it is located directly.
halcyon_imported_library(wimlib::wimlib UNKNOWN WIMLIB wimlib.h wim)
halcyon_imported_library(libdeflate::libdeflate UNKNOWN LIBDEFLATE libdeflate.h deflate)

find_package(Threads REQUIRED)

if(HALCYON_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(HALCYON_BUILD_BENCH)
  find_package(benchmark QUIET)
endif()
