# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads). The shipped program
# is the 32-bit build (mingw-i686.cmake); this one builds the same sources for x86-64 so that the
# Windows tests can also run under 64-bit Wine, on machines whose kernel cannot run 32-bit code.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian installs the 64-bit loader outside PATH.
find_program(DRILL_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(DRILL_WINE NAMES wine64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${DRILL_WINE})
