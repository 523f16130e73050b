# Header-only libraries from Debian's packages, used by both builds: nlohmann-json (reading the
# layout declarations) and doctest (the tests that need no window system).
#
# A cross build must not put the build machine's /usr/include on its include path (glibc's headers
# would shadow the target's), so each library's own folder is exposed alone, through a link in the
# build tree.
set(drill_system_headers ${CMAKE_BINARY_DIR}/system-headers)
file(MAKE_DIRECTORY ${drill_system_headers})

function(drill_header_library target folder)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/deps.sh build")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${drill_system_headers}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${drill_system_headers})
endfunction()

drill_header_library(drill_json nlohmann)
drill_header_library(drill_doctest doctest)
