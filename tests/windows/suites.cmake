# The verb suites of tests/<area>/ on the Windows services: the engine's
# verbs with the prefix's own registry, C:, files and processes. Each area's
# list names the files that hold no case about the Linux emulation itself
# (its registry store, path mapping, POSIX processes); those stay Linux-only.
add_library(halcyon_suitekit_win STATIC
  ${PROJECT_SOURCE_DIR}/tests/common/found_parts.cpp
  ${PROJECT_SOURCE_DIR}/tests/common/media_set.cpp
  ${PROJECT_SOURCE_DIR}/tests/common/link_escape.cpp
  ${PROJECT_SOURCE_DIR}/tests/common/mod_media.cpp)
target_link_libraries(halcyon_suitekit_win PUBLIC halcyon_testkit_win halcyon_engine halcyon_support
  wimlib::wimlib GTest::gtest GTest::gmock)
# Wine sees the build's folders below Z:.
target_compile_definitions(halcyon_suitekit_win PUBLIC
  HALCYON_SOURCE_DIR="Z:${PROJECT_SOURCE_DIR}"
  HALCYON_TEST_BIN_DIR="Z:${PROJECT_BINARY_DIR}/bin")

function(halcyon_win_suite area)
  list(TRANSFORM ARGN PREPEND ${PROJECT_SOURCE_DIR}/tests/${area}/ OUTPUT_VARIABLE sources)
  add_executable(${area}_win_tests ${sources})
  target_link_libraries(${area}_win_tests PRIVATE halcyon_suitekit_win GTest::gtest_main)
  halcyon_wine_gtests(${area}_win_tests)
endfunction()

halcyon_win_suite(verify epic_crc_check_test.cpp validate_registry_test.cpp)
halcyon_win_suite(plan idf_signature_test.cpp plan_builder_test.cpp plan_golden_test.cpp plan_idf_builder.cpp
  plan_module_order_test.cpp plan_sections_test.cpp plan_verify_test.cpp read_idf_os_test.cpp
  release_resolution_test.cpp identify_idf_test.cpp)
halcyon_win_suite(frame log_test.cpp plan_records_test.cpp)
halcyon_win_suite(support general_test.cpp idf_hostile_test.cpp idf_node_test.cpp
  idf_query_test.cpp ini_store_test.cpp wdmi_oem_strings_test.cpp wimlib_errors_test.cpp wim_courier_test.cpp
  idf_cache_test.cpp)
halcyon_win_suite(image c_drive_size_test.cpp compare_nrv_ini_test.cpp wim_tags_test.cpp wim_api_test.cpp
  load_img_x_test.cpp)
target_sources(image_win_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/long_path_apply_test.cpp)
halcyon_win_suite(modules installer_arguments_test.cpp verification_type_test.cpp nrvinst_oem_test.cpp
  guards_test.cpp mod_setup_selection_test.cpp mod_setup_state_test.cpp mod_installer_test.cpp)
target_sources(modules_win_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/execute_program_test.cpp)
