
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/support/files/file_ops.cpp" "support/CMakeFiles/halcyon_support.dir/files/file_ops.cpp.o" "gcc" "support/CMakeFiles/halcyon_support.dir/files/file_ops.cpp.o.d"
  "/work/main/support/ini/ini_store.cpp" "support/CMakeFiles/halcyon_support.dir/ini/ini_store.cpp.o" "gcc" "support/CMakeFiles/halcyon_support.dir/ini/ini_store.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/build/platform/CMakeFiles/halcyon_platform.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
