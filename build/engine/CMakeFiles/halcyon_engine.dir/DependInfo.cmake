
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/engine/frame/log.cpp" "engine/CMakeFiles/halcyon_engine.dir/frame/log.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/frame/log.cpp.o.d"
  "/work/main/engine/frame/module_state.cpp" "engine/CMakeFiles/halcyon_engine.dir/frame/module_state.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/frame/module_state.cpp.o.d"
  "/work/main/engine/image/compare_blid.cpp" "engine/CMakeFiles/halcyon_engine.dir/image/compare_blid.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/image/compare_blid.cpp.o.d"
  "/work/main/engine/image/compare_nrv_ini_to_hal_ini.cpp" "engine/CMakeFiles/halcyon_engine.dir/image/compare_nrv_ini_to_hal_ini.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/image/compare_nrv_ini_to_hal_ini.cpp.o.d"
  "/work/main/engine/image/compare_releaseid.cpp" "engine/CMakeFiles/halcyon_engine.dir/image/compare_releaseid.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/image/compare_releaseid.cpp.o.d"
  "/work/main/engine/image/copy_disc_to_disk.cpp" "engine/CMakeFiles/halcyon_engine.dir/image/copy_disc_to_disk.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/image/copy_disc_to_disk.cpp.o.d"
  "/work/main/engine/image/get_foundation_image.cpp" "engine/CMakeFiles/halcyon_engine.dir/image/get_foundation_image.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/image/get_foundation_image.cpp.o.d"
  "/work/main/engine/image/get_mini_c_drive_size.cpp" "engine/CMakeFiles/halcyon_engine.dir/image/get_mini_c_drive_size.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/image/get_mini_c_drive_size.cpp.o.d"
  "/work/main/engine/image/get_wim_tag_value.cpp" "engine/CMakeFiles/halcyon_engine.dir/image/get_wim_tag_value.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/image/get_wim_tag_value.cpp.o.d"
  "/work/main/engine/image/img_copy_x.cpp" "engine/CMakeFiles/halcyon_engine.dir/image/img_copy_x.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/image/img_copy_x.cpp.o.d"
  "/work/main/engine/image/load_img_x.cpp" "engine/CMakeFiles/halcyon_engine.dir/image/load_img_x.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/image/load_img_x.cpp.o.d"
  "/work/main/engine/modules/app_setup_x.cpp" "engine/CMakeFiles/halcyon_engine.dir/modules/app_setup_x.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/modules/app_setup_x.cpp.o.d"
  "/work/main/engine/modules/execute_program.cpp" "engine/CMakeFiles/halcyon_engine.dir/modules/execute_program.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/modules/execute_program.cpp.o.d"
  "/work/main/engine/modules/is_clean_sweep.cpp" "engine/CMakeFiles/halcyon_engine.dir/modules/is_clean_sweep.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/modules/is_clean_sweep.cpp.o.d"
  "/work/main/engine/modules/is_last_module_recoverable.cpp" "engine/CMakeFiles/halcyon_engine.dir/modules/is_last_module_recoverable.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/modules/is_last_module_recoverable.cpp.o.d"
  "/work/main/engine/modules/mod_copy_x.cpp" "engine/CMakeFiles/halcyon_engine.dir/modules/mod_copy_x.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/modules/mod_copy_x.cpp.o.d"
  "/work/main/engine/modules/mod_extract_x.cpp" "engine/CMakeFiles/halcyon_engine.dir/modules/mod_extract_x.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/modules/mod_extract_x.cpp.o.d"
  "/work/main/engine/modules/mod_setup_x.cpp" "engine/CMakeFiles/halcyon_engine.dir/modules/mod_setup_x.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/modules/mod_setup_x.cpp.o.d"
  "/work/main/engine/modules/single_app_setup_x.cpp" "engine/CMakeFiles/halcyon_engine.dir/modules/single_app_setup_x.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/modules/single_app_setup_x.cpp.o.d"
  "/work/main/engine/plan/identify_idf.cpp" "engine/CMakeFiles/halcyon_engine.dir/plan/identify_idf.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/plan/identify_idf.cpp.o.d"
  "/work/main/engine/plan/make_ini_from_mcode.cpp" "engine/CMakeFiles/halcyon_engine.dir/plan/make_ini_from_mcode.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/plan/make_ini_from_mcode.cpp.o.d"
  "/work/main/engine/plan/make_ini_x.cpp" "engine/CMakeFiles/halcyon_engine.dir/plan/make_ini_x.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/plan/make_ini_x.cpp.o.d"
  "/work/main/engine/plan/read_idf_for_os_arch_check.cpp" "engine/CMakeFiles/halcyon_engine.dir/plan/read_idf_for_os_arch_check.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/plan/read_idf_for_os_arch_check.cpp.o.d"
  "/work/main/engine/plan/scramble_idf.cpp" "engine/CMakeFiles/halcyon_engine.dir/plan/scramble_idf.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/plan/scramble_idf.cpp.o.d"
  "/work/main/engine/verify/epic_crc_check.cpp" "engine/CMakeFiles/halcyon_engine.dir/verify/epic_crc_check.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/verify/epic_crc_check.cpp.o.d"
  "/work/main/engine/verify/validate_registry.cpp" "engine/CMakeFiles/halcyon_engine.dir/verify/validate_registry.cpp.o" "gcc" "engine/CMakeFiles/halcyon_engine.dir/verify/validate_registry.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/build/support/CMakeFiles/halcyon_support.dir/DependInfo.cmake"
  "/work/main/build/platform/CMakeFiles/halcyon_platform.dir/DependInfo.cmake"
  "/work/main/build/verprobe/CMakeFiles/VerGauge.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
