# The web build: Debian's Emscripten. Its own platform file does the work; this adds what every
# target of the project needs in the browser and under Node.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

# A rejected answer is reported by an exception, which Emscripten leaves off unless asked. The code
# is optimised as a whole at the link (a sixth smaller WebAssembly for the program).
set(CMAKE_CXX_FLAGS_INIT "-fexceptions -flto")
# One file per program: the WebAssembly is embedded, so nothing is fetched (file:// forbids it),
# no code is built from text at run time, and a thrown exception unwinds as in the other builds.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fexceptions -flto -sSINGLE_FILE=1 -sDYNAMIC_EXECUTION=0")
