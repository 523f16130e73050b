# Cross-compiling for 64-bit Windows with Debian's mingw-w64. The shipped program is the 32-bit
# build (mingw-i686.cmake); this one builds the same sources for x86-64 so that the Windows tests
# can also run under 64-bit Wine, on machines whose kernel cannot run 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(DRILL_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Debian installs the 64-bit loader outside PATH.
find_program(DRILL_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(DRILL_WINE NAMES wine64 REQUIRED)
# Through cmake/wine_run.sh, so that a Wine process a test leaves running does not hold its output.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh ${DRILL_WINE})
