# mingw-w64 cross build: the real Win32 platform layer, the programs and the
# tests that run under Wine.
file(GLOB TAVIK_WIN32_SOURCES CONFIGURE_DEPENDS src/platform/win32/*.cpp)
add_library(tavik_win32 STATIC ${TAVIK_WIN32_SOURCES})
target_link_libraries(tavik_win32 PUBLIC tavik_core advapi32 shlwapi shell32 ole32 uuid)
target_compile_definitions(tavik_win32 PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

add_executable(tavik-scan src/app/tavik_scan_main.cpp src/app/console_ports.cpp)
target_link_libraries(tavik-scan PRIVATE tavik_win32)
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
  target_link_libraries(tavik_win32_tests PRIVATE tavik_win32 tavik_memory gtest gtest_main)
  add_test(NAME win32_layer COMMAND tavik_win32_tests)
endif()
