# Installs the built program into a fresh staging directory, as a package would lay it out.
# cmake -DBUILD_DIR=<build> -DSTAGE=<dir> -P stage.cmake
foreach(var BUILD_DIR STAGE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "stage.cmake needs -D${var}=...")
  endif()
endforeach()
file(REMOVE_RECURSE "${STAGE}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE}
          ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "installing into ${STAGE} failed: ${result}")
endif()
