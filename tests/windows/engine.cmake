# The engine's file layer on the Windows services (host files, CFile64, the
# INI store, the wimlib text boundary, registry batches), with the portable
# CFile64 tests of tests/frame/.
add_executable(engine_win_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/engine_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/frame/file64_test.cpp
  ${PROJECT_SOURCE_DIR}/engine/frame/file64.cpp)
target_link_libraries(engine_win_tests PRIVATE halcyon_testkit_win halcyon_support GTest::gtest_main)
halcyon_wine_gtests(engine_win_tests)
