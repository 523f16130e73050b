# The Windows build's tests run under Wine, in one prefix of the build tree on a private X server.
#
# The test fixture `wine` prepares them: its setup test (wine_setup) makes a fresh prefix, starts
# Xvfb with a window manager and a persistent wineserver, all detached from CTest's output, and
# copies the fonts-wine faces into the prefix; its cleanup test (wine_cleanup) stops them again.
# drill_under_wine(<test>...) makes tests require the fixture and run in its prefix and display.
#
# Cache variables:
#   DRILL_WINE_LOADER   the Wine loader that runs this build's exes: wine for 32-bit ones,
#                       wine64 for 64-bit ones (Debian: /usr/lib/wine/wine64)
#   DRILL_WINE_DISPLAY  the X display number of the private server (a free number derived from
#                       the build directory; set another one if it is taken)

include_guard(GLOBAL)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_program(DRILL_WINE_LOADER NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(DRILL_WINE_LOADER NAMES wine64 REQUIRED)
elseif(DRILL_WINE)
  set(DRILL_WINE_LOADER ${DRILL_WINE} CACHE FILEPATH "The Wine loader that runs this build's exes")
else()
  find_program(DRILL_WINE_LOADER NAMES wine REQUIRED)
endif()

find_program(DRILL_WINE_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(DRILL_WINE_PYTHON python3 REQUIRED)

# Two build trees on one machine get different displays; one build tree always the same one.
string(SHA1 _drill_wine_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${_drill_wine_hash}" 0 4 _drill_wine_hash)
math(EXPR _drill_wine_display "0x${_drill_wine_hash} % 400 + 100")
set(DRILL_WINE_DISPLAY ${_drill_wine_display} CACHE STRING "X display number for the Wine tests")

set(DRILL_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(DRILL_WINE_PREFIX ${DRILL_WINE_DIR}/prefix)
set(DRILL_WINE_ENVIRONMENT
    "WINEPREFIX=${DRILL_WINE_PREFIX}"
    "DISPLAY=:${DRILL_WINE_DISPLAY}"
    "WINEDEBUG=-all"
    "WINEDLLOVERRIDES=mscoree,mshtml="
    "DRILL_WINE_LOADER=${DRILL_WINE_LOADER}")

add_test(NAME wine_setup
         COMMAND ${DRILL_WINE_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/wine_fixture.py setup
                 ${DRILL_WINE_DIR} ${DRILL_WINE_DISPLAY} ${DRILL_WINE_LOADER})
add_test(NAME wine_cleanup
         COMMAND ${DRILL_WINE_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/wine_fixture.py cleanup
                 ${DRILL_WINE_DIR} ${DRILL_WINE_DISPLAY} ${DRILL_WINE_LOADER})
set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 120 LABELS wine
                     ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1")
set_tests_properties(wine_cleanup PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60 LABELS wine
                     ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1")

# Makes the named tests (of the calling directory) run in the fixture's prefix and display.
function(drill_under_wine)
  foreach(test IN LISTS ARGN)
    set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED wine)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT ${DRILL_WINE_ENVIRONMENT})
    set_property(TEST ${test} APPEND PROPERTY LABELS wine)
  endforeach()
endfunction()
