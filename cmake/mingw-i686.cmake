# Cross-compiling for 32-bit Windows with Debian's mingw-w64: the program that is shipped.
# Tests run through Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(DRILL_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# CTest runs the Windows test programs under Wine, in the prefix that the test fixture prepares.
find_program(DRILL_WINE wine REQUIRED)
# Through cmake/wine_run.sh, so that a Wine process a test leaves running does not hold its output.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh ${DRILL_WINE})
