# halcyon.exe on the Wine machine: the sample factory run end to end in a
# prefix of its own (made fresh by the first test), the registry value one of
# its .cmd installers wrote through "reg add", a second run that finds every
# stage done, the status it left, --machine refused, and the language-selection class created
# through COM.
set(CLI_PREFIX_ROOT ${CMAKE_BINARY_DIR}/wine-prefixes-cli)
set(CLI_WORK ${CMAKE_BINARY_DIR}/cli-sample)

add_test(NAME halcyon_fresh_prefix
  COMMAND sh -c "WINEPREFIX=\"$0/halcyon\" /usr/lib/wine/wineserver -k 2>/dev/null; rm -rf \"$0\" \"$1\"; mkdir -p \"$1\""
          ${CLI_PREFIX_ROOT} ${CLI_WORK})
set_tests_properties(halcyon_fresh_prefix PROPERTIES FIXTURES_SETUP halcyon_prefix RESOURCE_LOCK halcyon_prefix)

function(halcyon_test name)
  add_test(NAME ${name} COMMAND halcyon ${ARGN} WORKING_DIRECTORY ${CLI_WORK})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "WINE_PREFIX_ROOT=${CLI_PREFIX_ROOT}"
    FIXTURES_REQUIRED halcyon_prefix RESOURCE_LOCK halcyon_prefix TIMEOUT 900)
endfunction()

# The image's driver lies on the target, and its version check looks there.
halcyon_test(halcyon_factory_run_sample factory-run --sample)
set_tests_properties(halcyon_factory_run_sample PROPERTIES FIXTURES_SETUP halcyon_installed
  PASS_REGULAR_EXPRESSION "Machine installed\\.(.|\n)*application +Card Reader Driver +3\\.0\\.1 +ok")

halcyon_test(halcyon_reg_query_installer_value reg query "HKLM\\SOFTWARE\\NX500\\Support Assistant" /v Version)
set_tests_properties(halcyon_reg_query_installer_value PROPERTIES FIXTURES_REQUIRED "halcyon_prefix;halcyon_installed"
  PASS_REGULAR_EXPRESSION "Version +REG_SZ +4\\.0\\.7")

# Every stage recorded as done is skipped; the checks run again and pass.
set(CLI_AGAIN "Machine installed\\.")
foreach(stage media identify os-check plan image applications pe-modules modules)
  string(APPEND CLI_AGAIN "[^\n]*\n +${stage} +done earlier")
endforeach()
halcyon_test(halcyon_factory_run_again factory-run --sample)
set_tests_properties(halcyon_factory_run_again PROPERTIES FIXTURES_REQUIRED "halcyon_prefix;halcyon_installed"
  DEPENDS halcyon_reg_query_installer_value
  PASS_REGULAR_EXPRESSION "${CLI_AGAIN}")

# The run's record, read back without the lock.
halcyon_test(halcyon_status_after_run status)
set_tests_properties(halcyon_status_after_run PROPERTIES FIXTURES_REQUIRED "halcyon_prefix;halcyon_installed"
  DEPENDS halcyon_factory_run_again PASS_REGULAR_EXPRESSION "holder +none\n\nfactory-run: done\n")

# An application whose registration is gone fails the checks and the run.
halcyon_test(halcyon_app_unregistered reg delete
  "HKLM\\SOFTWARE\\Norv Corporation\\Installed Software\\Drivers\\Card Reader P300160" /f)
set_tests_properties(halcyon_app_unregistered PROPERTIES FIXTURES_REQUIRED "halcyon_prefix;halcyon_installed"
  DEPENDS "halcyon_factory_run_again;halcyon_status_after_run" FIXTURES_SETUP halcyon_app_gone)
halcyon_test(halcyon_factory_run_fails_on_app_check factory-run --sample)
set_tests_properties(halcyon_factory_run_fails_on_app_check PROPERTIES
  FIXTURES_REQUIRED "halcyon_prefix;halcyon_installed;halcyon_app_gone"
  PASS_REGULAR_EXPRESSION "Stage verify failed with code 100 [^\n]*: version check failed, not registered: Card Reader Driver")

# Keys the system lists but cannot read (Wine's performance counters) are
# exported empty with a warning, and the rest of the tree is written.
halcyon_test(halcyon_reg_export_partial reg export "HKLM\\Software" software.reg /y)
set_tests_properties(halcyon_reg_export_partial PROPERTIES
  PASS_REGULAR_EXPRESSION "WARNING: the key HKEY_LOCAL_MACHINE.Software.Microsoft.Windows NT.CurrentVersion.Perflib.009 could not be read")

# The command speaks of this machine only and exports nothing.
halcyon_test(halcyon_help_names_no_emulation help)
set_tests_properties(halcyon_help_names_no_emulation PROPERTIES
  PASS_REGULAR_EXPRESSION "usage: halcyon COMMAND" FAIL_REGULAR_EXPRESSION "emulated|--machine")
add_test(NAME halcyon_exe_exports_nothing
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${MINGW_OBJDUMP} -DEXE=$<TARGET_FILE:halcyon>
          -P ${CMAKE_CURRENT_SOURCE_DIR}/check_no_exports.cmake)

halcyon_test(halcyon_machine_option_refused factory-run --sample --machine C:\\elsewhere)
set_tests_properties(halcyon_machine_option_refused PROPERTIES
  PASS_REGULAR_EXPRESSION "--machine has no meaning on Windows")

# The language-selection class through the system's COM: registered from the
# DLL beside the command (regsvr32), then created by its ProgID.
halcyon_test(halcyon_mui_register mui register)
set_tests_properties(halcyon_mui_register PROPERTIES FIXTURES_SETUP halcyon_mui
  PASS_REGULAR_EXPRESSION "registered [^\n]*MuiChooser\.dll")
halcyon_test(halcyon_mui_created_through_com mui is-lpc)
set_tests_properties(halcyon_mui_created_through_com PROPERTIES FIXTURES_REQUIRED "halcyon_prefix;halcyon_mui"
  PASS_REGULAR_EXPRESSION "^not an LP-C build")

# The recovery run in prefixes of their own, whose recovery partition D: is a
# folder (the script links it): the sample run to its end, and a run killed
# during the module installation that is started again and ends the same.
add_test(NAME halcyon_recovery_run_sample COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/recovery_run.sh
  $<TARGET_FILE:halcyon> ${CMAKE_BINARY_DIR}/wine-prefixes-recovery ${CMAKE_BINARY_DIR}/recovery-sample sample)
add_test(NAME halcyon_recovery_run_killed_and_resumed COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/recovery_run.sh
  $<TARGET_FILE:halcyon> ${CMAKE_BINARY_DIR}/wine-prefixes-recovery-kill ${CMAKE_BINARY_DIR}/recovery-kill
  killed image)
# The script checks the output itself and exits non-zero on a failure.
set_tests_properties(halcyon_recovery_run_sample halcyon_recovery_run_killed_and_resumed PROPERTIES TIMEOUT 900)

# The line page served on the loopback address, asked over a real socket.
add_test(NAME halcyon_line_serve COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/line_serve.sh
  $<TARGET_FILE:halcyon> ${CMAKE_BINARY_DIR}/wine-prefixes-line ${CMAKE_BINARY_DIR}/line-serve)
set_tests_properties(halcyon_line_serve PROPERTIES TIMEOUT 300)

# The platform services the command adds.
add_executable(halcyon_console_tests ${CMAKE_CURRENT_SOURCE_DIR}/console_test.cpp)
target_link_libraries(halcyon_console_tests PRIVATE halcyon_testkit_win GTest::gtest_main)
halcyon_wine_gtests(halcyon_console_tests)
