# The Windows Installer package of drill, Drill-<version>-<arch>.msi, built on Debian with wixl
# (Debian package wixl) and msibuild (msitools) from drill.wxs.
#
# After include(installer.cmake):
#   DRILL_MSI_FOUND      whether wixl and msibuild are there
#   DRILL_MSI_ARCH       x86 for the 32-bit build, x64 for a 64-bit one
#   DRILL_MSI_FILE       where the build puts the package of this version
#   DRILL_MSI_EXE        where the build puts the program as the package carries it (signed when
#                        the build was given a certificate): the portable Drill.exe of a release
#   DRILL_MSI_FILE_VERSION   the program's version in 4 parts, as its version resource has it
#   drill_msi(<target> <output> <version> [EXE_OUTPUT <file>])
#                        the target that builds a package of the program as it is built now,
#                        stamped with <version>, and puts the program it carries at <file>
#   drill_msi_arguments(<out-var> <output> <version> <exe-output>)
#                        the arguments of `cmake ... -P build_msi.cmake` that make such a package
#
# The packages are signed when the environment of the build gives a certificate (sign.cmake):
#   DRILL_SIGN_PFX=<file.pfx> DRILL_SIGN_PASSWORD=<password> cmake --build <dir> --target drill_msi
# A step that runs on every build notes which certificate that is, or that there is none (and
# then says that the packages are unsigned); the packages are made again when that changes.

find_program(DRILL_WIXL wixl)
find_program(DRILL_MSIBUILD msibuild)
if(DRILL_WIXL AND DRILL_MSIBUILD)
  set(DRILL_MSI_FOUND TRUE)
else()
  set(DRILL_MSI_FOUND FALSE)
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(DRILL_MSI_ARCH x64)
  set(_drill_msi_program_files ProgramFiles64Folder)
  set(_drill_msi_win64 yes)
else()
  set(DRILL_MSI_ARCH x86)
  set(_drill_msi_program_files ProgramFilesFolder)
  set(_drill_msi_win64 no)
endif()
set(DRILL_MSI_FILE ${PROJECT_BINARY_DIR}/Drill-${PROJECT_VERSION}-${DRILL_MSI_ARCH}.msi)
set(DRILL_MSI_EXE ${PROJECT_BINARY_DIR}/Drill.exe)
set(DRILL_MSI_FILE_VERSION
    ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)

# The one code that stays the same through all versions: by it a newer package finds and replaces
# an older one. Never change it.
set(DRILL_MSI_UPGRADE_CODE 6b1f2a52-3c1d-4a8e-9f3a-2d0e5c7b9a41)
set(DRILL_MSI_PUBLISHER "The drill developers")
set(_drill_msi_dir ${CMAKE_CURRENT_LIST_DIR})
set(_drill_msi_sign_state ${PROJECT_BINARY_DIR}/windows-signing.txt)

if(DRILL_MSI_FOUND AND NOT TARGET drill_sign_state)
  get_filename_component(_drill_msi_name ${DRILL_MSI_FILE} NAME)
  add_custom_target(drill_sign_state
    COMMAND ${CMAKE_COMMAND} -DSTATE=${_drill_msi_sign_state}
            "-DPACKAGES=Drill.exe, ${_drill_msi_name}" -P ${_drill_msi_dir}/sign.cmake
    BYPRODUCTS ${_drill_msi_sign_state}
    VERBATIM)
endif()

function(drill_msi_arguments out output version exe_output)
  # Every version is a product of its own (a major upgrade); its code is derived from the version,
  # so that the same version always gets the same code.
  string(UUID product_code NAMESPACE ${DRILL_MSI_UPGRADE_CODE}
         NAME "product ${version} ${DRILL_MSI_ARCH}" TYPE SHA1 UPPER)
  string(UUID component_code NAMESPACE ${DRILL_MSI_UPGRADE_CODE}
         NAME "component Program ${DRILL_MSI_ARCH}" TYPE SHA1 UPPER)
  # Windows Installer takes its codes in capitals only.
  string(TOUPPER ${DRILL_MSI_UPGRADE_CODE} upgrade_code)
  set(${out}
      -DWIXL=${DRILL_WIXL}
      -DMSIBUILD=${DRILL_MSIBUILD}
      -DEXE=$<TARGET_FILE:drill>
      -DOUTPUT=${output}
      -DEXE_OUTPUT=${exe_output}
      -DARCH=${DRILL_MSI_ARCH}
      -DVERSION=${version}
      -DFILE_VERSION=${DRILL_MSI_FILE_VERSION}
      -DPRODUCT_CODE=${product_code}
      -DUPGRADE_CODE=${upgrade_code}
      -DCOMPONENT_CODE=${component_code}
      "-DPUBLISHER=${DRILL_MSI_PUBLISHER}"
      -DPROGRAM_FILES=${_drill_msi_program_files}
      -DWIN64=${_drill_msi_win64}
      -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE
      -DICON=${PROJECT_SOURCE_DIR}/resources/windows/MAINICON.ico
      PARENT_SCOPE)
endfunction()

function(drill_msi target output version)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "EXE_OUTPUT" "")
  drill_msi_arguments(arguments ${output} ${version} "${arg_EXE_OUTPUT}")
  add_custom_command(
    OUTPUT ${output} ${arg_EXE_OUTPUT}
    COMMAND ${CMAKE_COMMAND} ${arguments} -P ${_drill_msi_dir}/build_msi.cmake
    DEPENDS drill ${_drill_msi_sign_state}
            ${_drill_msi_dir}/build_msi.cmake ${_drill_msi_dir}/sign.cmake
            ${_drill_msi_dir}/drill.wxs ${_drill_msi_dir}/finish_msi.cmake
            ${_drill_msi_dir}/codepage.idt ${PROJECT_SOURCE_DIR}/LICENSE
            ${PROJECT_SOURCE_DIR}/resources/windows/MAINICON.ico
    COMMENT "Building the Windows installer ${output}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output} ${arg_EXE_OUTPUT})
  add_dependencies(${target} drill_sign_state)
endfunction()
