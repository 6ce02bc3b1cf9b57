# mingw-w64 cross build: the real Win32 platform layer, the programs and the
# tests that run under Wine.
file(GLOB TAVIK_WIN32_SOURCES CONFIGURE_DEPENDS src/platform/win32/*.cpp)
add_library(tavik_win32 STATIC ${TAVIK_WIN32_SOURCES})
target_link_libraries(tavik_win32 PUBLIC tavik_base advapi32 shlwapi shell32 ole32 uuid)
target_compile_definitions(tavik_win32 PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

add_executable(tavik-scan src/app/tavik_scan_main.cpp src/app/console_ports.cpp)
target_link_libraries(tavik-scan PRIVATE tavik_core tavik_win32)
target_link_options(tavik-scan PRIVATE -municode)

# GoogleTest built from Debian's sources for the Windows target.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB TAVIK_WIN32_TESTS CONFIGURE_DEPENDS tests/win32/*.cpp)
if(TAVIK_WIN32_TESTS)
  add_executable(tavik_win32_tests ${TAVIK_WIN32_TESTS})
  target_include_directories(tavik_win32_tests PRIVATE tests)
  target_link_libraries(tavik_win32_tests PRIVATE tavik_win32 tavik_core tavik_memory gtest gtest_main)
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
