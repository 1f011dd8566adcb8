# Functions the build files share.

# The outside library whose header is HEADER and whose library file is one of
# the NAMES, as the imported target TARGET of KIND (UNKNOWN or STATIC);
# PREFIX names the cache entries that record where they were found
# (PREFIX_INCLUDE_DIR, PREFIX_LIBRARY).
function(halcyon_imported_library target kind prefix header)
  find_path(${prefix}_INCLUDE_DIR ${header} REQUIRED)
  find_library(${prefix}_LIBRARY NAMES ${ARGN} REQUIRED)
  add_library(${target} ${kind} IMPORTED)
  set_target_properties(${target} PROPERTIES
    IMPORTED_LOCATION ${${prefix}_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${${prefix}_INCLUDE_DIR})
endfunction()

# The finish of one of the public shared libraries: it exports what the
# version script MAP lists, resolves every symbol at link time, carries the
# versioned file name and soname (lib<name>.so.{SOVERSION}), and its
# consumers find the public headers below include/.
function(halcyon_public_library target map)
  target_link_options(${target} PRIVATE -Wl,--version-script=${map})
  # The sanitizer runtimes of clang are linked into executables only, so the
  # check is left to ordinary builds.
  if(NOT HALCYON_SANITIZE AND NOT HALCYON_BUILD_FUZZ)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
  set_target_properties(${target} PROPERTIES LINK_DEPENDS ${map}
    VERSION ${PROJECT_VERSION} SOVERSION ${HALCYON_SOVERSION})
  target_include_directories(${target} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endfunction()
