# What both mingw-w64 toolchains share; the including file sets DRILL_MINGW_TRIPLET and
# CMAKE_SYSTEM_PROCESSOR. Debian's posix-threads compilers are used: their runtime has
# clock_gettime.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${DRILL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DRILL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DRILL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DRILL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable carries its runtime: it needs no DLL but Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
