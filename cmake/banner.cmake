# The web banner, its local page and the help file: the files a user finds
# beside the program.

# The banner strip of the main window: the WebBrowser control in the system
# ATL library's container window, with its event sink, and the desktop
# shell's ShellExecute that opens its marked links as the signed-in user.
add_library(tavik_banner STATIC src/app/banner.cpp src/app/unelevated_open.cpp)
target_link_libraries(tavik_banner PUBLIC tavik_core tavik_win32 ole32 oleaut32
                      uuid urlmon shell32 user32)

# Hosts the banner alone in a plain window under Wine (tests/win32).
add_executable(tavik-banner-host tests/win32/banner_host/banner_host.cpp)
target_link_libraries(tavik-banner-host PRIVATE tavik_banner)
target_link_options(tavik-banner-host PRIVATE -municode)
add_test(NAME banner_host
         COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/banner_host_test.sh
                 $<TARGET_FILE:tavik-banner-host>)
set_tests_properties(banner_host PROPERTIES TIMEOUT 300)

# "home.html", the banner's local page, beside the executable.
set(TAVIK_HOME_PAGE ${CMAKE_BINARY_DIR}/bin/home.html)
add_custom_command(OUTPUT ${TAVIK_HOME_PAGE}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/docs/home.html
          ${TAVIK_HOME_PAGE}
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/home.html)

# "help\Registry_Cleaner.chm", compiled from docs/help with chmcmd.
file(GLOB TAVIK_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/help/*)
set(TAVIK_HELP_FILE ${CMAKE_BINARY_DIR}/bin/help/Registry_Cleaner.chm)
add_custom_command(OUTPUT ${TAVIK_HELP_FILE}
  COMMAND ${CMAKE_SOURCE_DIR}/tools/build-help.sh ${CMAKE_SOURCE_DIR}/docs/help
          ${CMAKE_BINARY_DIR}/help-work ${TAVIK_HELP_FILE}
  DEPENDS ${TAVIK_HELP_SOURCES} ${CMAKE_SOURCE_DIR}/tools/build-help.sh)
add_custom_target(tavik_user_files ALL DEPENDS ${TAVIK_HOME_PAGE} ${TAVIK_HELP_FILE})
