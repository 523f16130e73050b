# Makes one Windows Installer package of the program, as the build does (installer.cmake) and as
# the signing test does, through the same steps:
#   1. the program is copied and, when a certificate is given, signed (sign.cmake), so that the
#      package carries the signed program and its table of files has the signed file's size;
#   2. wixl builds the package from drill.wxs around it;
#   3. finish_msi.cmake writes the Russian texts and the tables wixl cannot;
#   4. the finished package is signed: any later change to it would break the signature.
# The package (and the program it carries, when EXE_OUTPUT is given) appear under their names only
# when every step has succeeded; a failed signing leaves neither behind.
#
# cmake -DWIXL=... -DMSIBUILD=... -DEXE=<built program> -DOUTPUT=<package>
#       [-DEXE_OUTPUT=<the program as the package carries it>]
#       -DARCH=x86|x64 -DVERSION=<package version> -DFILE_VERSION=<program version, 4 parts>
#       -DPRODUCT_CODE=... -DUPGRADE_CODE=... -DCOMPONENT_CODE=... -DPUBLISHER=...
#       -DPROGRAM_FILES=ProgramFilesFolder|ProgramFiles64Folder -DWIN64=no|yes
#       -DLICENSE=<file> -DICON=<file> -P build_msi.cmake
foreach(var WIXL MSIBUILD EXE OUTPUT ARCH VERSION FILE_VERSION PRODUCT_CODE UPGRADE_CODE
            COMPONENT_CODE PUBLISHER PROGRAM_FILES WIN64 LICENSE ICON)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "build_msi.cmake needs -D${var}=...")
  endif()
endforeach()

set(here ${CMAKE_CURRENT_LIST_DIR})
include(${here}/sign.cmake)

# What a pupil or an administrator sees as the signed program's name.
set(signed_name "Сложение чисел")

file(REMOVE "${OUTPUT}")
if(DEFINED EXE_OUTPUT AND NOT EXE_OUTPUT STREQUAL "")
  file(REMOVE "${EXE_OUTPUT}")
endif()

# wixl finds the files to install only by names relative to its working folder.
set(files ${OUTPUT}.files)
file(REMOVE_RECURSE ${files})
file(MAKE_DIRECTORY ${files})
file(COPY_FILE ${EXE} ${files}/Drill.exe)
drill_sign(${files}/Drill.exe "${signed_name}")
file(COPY_FILE ${LICENSE} ${files}/LICENSE.txt)
file(COPY_FILE ${ICON} ${files}/drill.ico)

execute_process(
  COMMAND ${WIXL} --arch ${ARCH}
          -D ProductCode=${PRODUCT_CODE}
          -D UpgradeCode=${UPGRADE_CODE}
          -D Version=${VERSION}
          -D Publisher=${PUBLISHER}
          -D ProgramFilesFolder=${PROGRAM_FILES}
          -D Win64=${WIN64}
          -D ProgramComponent=${COMPONENT_CODE}
          -o ${OUTPUT}.wixl ${here}/drill.wxs
  WORKING_DIRECTORY ${files}
  COMMAND_ERROR_IS_FATAL ANY)

execute_process(
  COMMAND ${CMAKE_COMMAND} -DMSIBUILD=${MSIBUILD} -DINPUT=${OUTPUT}.wixl
          -DOUTPUT=${OUTPUT}.finished -DARCH=${ARCH} -DFILE_VERSION=${FILE_VERSION}
          -DCODEPAGE_IDT=${here}/codepage.idt -P ${here}/finish_msi.cmake
  COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE ${OUTPUT}.wixl)

drill_sign(${OUTPUT}.finished "${signed_name}")

if(DEFINED EXE_OUTPUT AND NOT EXE_OUTPUT STREQUAL "")
  file(COPY_FILE ${files}/Drill.exe ${EXE_OUTPUT})
endif()
file(RENAME ${OUTPUT}.finished ${OUTPUT})
file(REMOVE_RECURSE ${files})
