# The file layer (support/files, folder CRC manifests) on the Windows
# services: built from its sources so that it runs before the whole engine links.
add_executable(files_win_tests ${CMAKE_CURRENT_SOURCE_DIR}/files_test.cpp
  ${PROJECT_SOURCE_DIR}/support/files/confined_path.cpp
  ${PROJECT_SOURCE_DIR}/support/files/file_ops.cpp
  ${PROJECT_SOURCE_DIR}/engine/frame/crc_file_tree.cpp
  ${PROJECT_SOURCE_DIR}/engine/frame/crc32_wide.cpp
  ${PROJECT_SOURCE_DIR}/engine/frame/folder_crc.cpp
  ${PROJECT_SOURCE_DIR}/engine/frame/console_echo.cpp)
target_include_directories(files_win_tests PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(files_win_tests PRIVATE halcyon_testkit_win libdeflate::libdeflate GTest::gtest_main)
halcyon_wine_gtests(files_win_tests)
