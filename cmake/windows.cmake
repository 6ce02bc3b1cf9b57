# mingw-w64 cross build: the real Win32 platform layer, the programs and the
# tests that run under Wine.
file(GLOB TAVIK_WIN32_SOURCES CONFIGURE_DEPENDS src/platform/win32/*.cpp)
add_library(tavik_win32 STATIC ${TAVIK_WIN32_SOURCES})
target_link_libraries(tavik_win32 PUBLIC tavik_base advapi32 ntdll shlwapi shell32 ole32 uuid)
target_compile_definitions(tavik_win32 PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

include(cmake/version.cmake)

add_executable(tavik-scan src/app/tavik_scan_main.cpp src/app/console_ports.cpp)
target_link_libraries(tavik-scan PRIVATE tavik_core tavik_win32)
target_link_options(tavik-scan PRIVATE -municode)
tavik_add_resources(tavik-scan ${TAVIK_RESOURCE_DIR}/tavik_scan.rc)

include(cmake/banner.cmake)

# GoogleTest built from Debian's sources for the Windows target.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB TAVIK_WIN32_TESTS CONFIGURE_DEPENDS tests/win32/*.cpp)
if(TAVIK_WIN32_TESTS)
  add_executable(tavik_win32_tests ${TAVIK_WIN32_TESTS})
  target_include_directories(tavik_win32_tests PRIVATE tests)
  target_link_libraries(tavik_win32_tests PRIVATE tavik_win32 tavik_core tavik_memory gtest gtest_main
                        tavik_banner)
  add_dependencies(tavik_win32_tests tavik_user_files)
  add_test(NAME win32_layer COMMAND tavik_win32_tests)
endif()

# tavik-scan.exe's command line and report format, under Wine.
add_test(NAME tavik_scan_cli
         COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/tavik_scan_cli_test.sh $<TARGET_FILE:tavik-scan>)

# The scenarios of tests/scenarios, each run by tavik-scan.exe under Wine in a
# fresh copy of a template prefix and compared beyond the template's own rows.
set(TAVIK_SCENARIO_RUNNER ${CMAKE_SOURCE_DIR}/tools/wine-scenarios.sh
    --exe $<TARGET_FILE:tavik-scan> --work ${CMAKE_BINARY_DIR}/scenarios)
add_test(NAME scenario_baseline COMMAND ${TAVIK_SCENARIO_RUNNER} --baseline-only)
set_tests_properties(scenario_baseline PROPERTIES FIXTURES_SETUP wine_baseline)
file(GLOB TAVIK_SCENARIO_DIRS LIST_DIRECTORIES true CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/tests/scenarios/*)
foreach(dir ${TAVIK_SCENARIO_DIRS})
  if(IS_DIRECTORY ${dir})
    get_filename_component(name ${dir} NAME)
    add_test(NAME scenario_${name} COMMAND ${TAVIK_SCENARIO_RUNNER} ${name})
    set_tests_properties(scenario_${name} PROPERTIES
      FIXTURES_REQUIRED wine_baseline LABELS wine-scenario)
  endif()
endforeach()

# The largest scenarios scanned with and without the per-scan caches: the
# two reports must be the same bytes.
add_test(NAME scenario_caches_on_off
         COMMAND ${TAVIK_SCENARIO_RUNNER} --compare-uncached programs_odd_data com_classes)
set_tests_properties(scenario_caches_on_off PROPERTIES
  FIXTURES_REQUIRED wine_baseline LABELS wine-scenario)

# Benchmark helper (bench/wine/run.sh): a bare enumeration of the values the
# scan reads, the floor its time is compared with. Built only on request.
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/wine/enum_floor.cpp)
  add_executable(tavik-enum-floor EXCLUDE_FROM_ALL bench/wine/enum_floor.cpp)
  target_compile_definitions(tavik-enum-floor PRIVATE UNICODE _UNICODE
                             WIN32_LEAN_AND_MEAN NOMINMAX)
  target_link_libraries(tavik-enum-floor PRIVATE advapi32)
  target_link_options(tavik-enum-floor PRIVATE -municode)
endif()

# Makes the shell links and Recent-folder files of the scan scenarios with
# the shell's own link object, inside the scenario's prefix.
add_executable(tavik-scenario-files tools/scenario_files.cpp)
target_compile_definitions(tavik-scenario-files PRIVATE UNICODE _UNICODE
                           WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(tavik-scenario-files PRIVATE shell32 ole32 uuid)
target_link_options(tavik-scenario-files PRIVATE -municode)

# Floor of the Wine full-scan benchmark: one bare walk of the containers of
# the synthetic registry. Built only on request.
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/wine/container_floor.cpp)
  add_executable(tavik-container-floor EXCLUDE_FROM_ALL bench/wine/container_floor.cpp)
  target_compile_definitions(tavik-container-floor PRIVATE UNICODE _UNICODE
                             WIN32_LEAN_AND_MEAN NOMINMAX)
  target_link_libraries(tavik-container-floor PRIVATE advapi32)
  target_link_options(tavik-container-floor PRIVATE -municode)
  # Writes the recent documents' shortcuts of the synthetic registry.
  add_executable(tavik-bench-shortcuts EXCLUDE_FROM_ALL bench/wine/make_shortcuts.cpp)
  target_compile_definitions(tavik-bench-shortcuts PRIVATE UNICODE _UNICODE
                             WIN32_LEAN_AND_MEAN NOMINMAX)
  target_link_libraries(tavik-bench-shortcuts PRIVATE ole32 uuid shell32)
  target_link_options(tavik-bench-shortcuts PRIVATE -municode)
endif()

# The fix and hive backup under Wine: tavik-fix-check runs the fix worker over
# a real scan's rows in a scenario prefix and compares the whole registry
# before and after, once without and once with an undo file.
add_executable(tavik-fix-check tests/win32/tools/fix_check_main.cpp)
target_include_directories(tavik-fix-check PRIVATE tests)
target_link_libraries(tavik-fix-check PRIVATE tavik_core tavik_win32)
target_link_options(tavik-fix-check PRIVATE -municode)
add_test(NAME fix_scenario
         COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/fix_scenario_test.sh
                 --scan $<TARGET_FILE:tavik-scan> --fix $<TARGET_FILE:tavik-fix-check>
                 --work ${CMAKE_BINARY_DIR}/fixcheck --scenarios-work ${CMAKE_BINARY_DIR}/scenarios)
set_tests_properties(fix_scenario PROPERTIES FIXTURES_REQUIRED wine_baseline)

# Benchmark helper (bench/wine/run.sh): the fix deleting key trees beside a
# bare RegDeleteTreeW of the same keys. Built only on request.
add_executable(tavik-fix-bench EXCLUDE_FROM_ALL bench/wine/fix_bench.cpp)
target_link_libraries(tavik-fix-bench PRIVATE tavik_core tavik_win32)
target_link_options(tavik-fix-bench PRIVATE -municode)

# The window program, "Tavik Registry Cleaner.exe", with its resources.
enable_language(RC)
file(GLOB TAVIK_APP_SOURCES CONFIGURE_DEPENDS src/app/*.cpp)
list(FILTER TAVIK_APP_SOURCES EXCLUDE REGEX
     "/(tavik_scan_main|console_ports|scan_options_store|recording_ports|automation_section|window_layout|exclude_edit|json_report|banner_rules|banner|unelevated_open)\\.cpp$")
add_executable(tavik-cleaner WIN32 ${TAVIK_APP_SOURCES})
set_target_properties(tavik-cleaner PROPERTIES OUTPUT_NAME "Tavik Registry Cleaner")
target_include_directories(tavik-cleaner PRIVATE src)
set_source_files_properties(${TAVIK_RESOURCE_DIR}/tavik.rc PROPERTIES
  OBJECT_DEPENDS "${TAVIK_GENERATED_DIR}/tavik.manifest;${CMAKE_SOURCE_DIR}/src/app/control_ids.h")
tavik_add_resources(tavik-cleaner ${TAVIK_RESOURCE_DIR}/tavik.rc)
target_link_libraries(tavik-cleaner PRIVATE tavik_banner tavik_core tavik_win32 comctl32 ole32 user32 gdi32)
add_dependencies(tavik-cleaner tavik_user_files)
target_link_options(tavik-cleaner PRIVATE -municode)

# The automation controller for tests and integrators, built beside it.
add_executable(autofix-controller tools/autofix_controller.cpp)
target_compile_definitions(autofix-controller PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(autofix-controller PRIVATE user32 comctl32)
target_link_options(autofix-controller PRIVATE -municode)
tavik_add_resources(autofix-controller ${TAVIK_RESOURCE_DIR}/autofix_controller.rc)

# The window program end to end under Wine and Xvfb: through the automation
# link, and driven with the mouse (xdotool). Both work in copies of the
# scenario template prefix.
add_test(NAME app_automation
         COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/app_automation_test.sh
                 $<TARGET_FILE:tavik-cleaner> $<TARGET_FILE:autofix-controller>
                 ${CMAKE_BINARY_DIR}/scenarios ${CMAKE_BINARY_DIR}/app-automation
                 $<TARGET_FILE:tavik-fix-check>)
add_test(NAME app_window
         COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/app_window_test.sh
                 $<TARGET_FILE:tavik-cleaner> $<TARGET_FILE:autofix-controller>
                 $<TARGET_FILE:tavik-scan>
                 ${CMAKE_BINARY_DIR}/scenarios ${CMAKE_BINARY_DIR}/app-window)
set_tests_properties(app_automation app_window PROPERTIES
  FIXTURES_REQUIRED wine_baseline RUN_SERIAL TRUE)

# The undo file under Wine: a fix with its undo file, the file imported by
# regedit, and the whole registry compared with its state before the fix.
add_executable(tavik-undo-check tests/win32/tools/undo_check_main.cpp)
target_include_directories(tavik-undo-check PRIVATE tests)
target_link_libraries(tavik-undo-check PRIVATE tavik_core tavik_win32)
target_link_options(tavik-undo-check PRIVATE -municode)
add_test(NAME undo_round_trip
         COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/undo_round_trip_test.sh
                 --scan $<TARGET_FILE:tavik-scan> --undo $<TARGET_FILE:tavik-undo-check>
                 --work ${CMAKE_BINARY_DIR}/undocheck --scenarios-work ${CMAKE_BINARY_DIR}/scenarios)
# A fix with its undo file killed midway: importing the file gives back the
# registry as it was before the fix.
add_test(NAME undo_kill
         COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/undo_kill_test.sh
                 --undo $<TARGET_FILE:tavik-undo-check> --work ${CMAKE_BINARY_DIR}/undokill
                 --scenarios-work ${CMAKE_BINARY_DIR}/scenarios)
set_tests_properties(undo_round_trip undo_kill PROPERTIES FIXTURES_REQUIRED wine_baseline)

# "make package": the installer package TavikRegistryCleaner-<version>-x64.msi
# in the build folder, signed when SIGN_PFX (SIGN_PASS, SIGN_TS) is set in the
# environment; a relative SIGN_PFX is taken from the source folder.
set(TAVIK_PACKAGE_FILE ${CMAKE_BINARY_DIR}/TavikRegistryCleaner-${TAVIK_VERSION}-x64.msi)
add_custom_target(tavik_package
  COMMAND ${CMAKE_SOURCE_DIR}/packaging/build-msi.sh --version ${TAVIK_VERSION}
          --bin ${CMAKE_BINARY_DIR}/bin --work ${CMAKE_BINARY_DIR}/package
          --out ${TAVIK_PACKAGE_FILE} --strip ${CMAKE_STRIP}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} VERBATIM)
add_dependencies(tavik_package tavik-cleaner tavik-scan autofix-controller tavik_user_files)

# The package under Wine: silent install, the installed program's scan,
# upgrade, refused downgrade, removal, and a signed package verified.
add_test(NAME package
         COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/package_test.sh ${TAVIK_VERSION}
                 ${CMAKE_BINARY_DIR}/bin ${CMAKE_BINARY_DIR}/scenarios
                 ${CMAKE_BINARY_DIR}/package-test)
set_tests_properties(package PROPERTIES FIXTURES_REQUIRED wine_baseline)
