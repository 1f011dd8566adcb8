
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/cli/command.cpp" "cli/CMakeFiles/halcyon.dir/command.cpp.o" "gcc" "cli/CMakeFiles/halcyon.dir/command.cpp.o.d"
  "/work/main/cli/main.cpp" "cli/CMakeFiles/halcyon.dir/main.cpp.o" "gcc" "cli/CMakeFiles/halcyon.dir/main.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/build/engine/CMakeFiles/halcyon_engine.dir/DependInfo.cmake"
  "/work/main/build/verprobe/CMakeFiles/vergauge_core.dir/DependInfo.cmake"
  "/work/main/build/support/CMakeFiles/halcyon_support.dir/DependInfo.cmake"
  "/work/main/build/platform/CMakeFiles/halcyon_platform.dir/DependInfo.cmake"
  "/work/main/build/verprobe/CMakeFiles/VerGauge.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
