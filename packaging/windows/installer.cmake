# The Windows Installer package of drill, Drill-<version>-<arch>.msi, built on Debian with wixl
# (Debian package wixl) and msibuild (msitools) from drill.wxs.
#
# After include(installer.cmake):
#   DRILL_MSI_FOUND      whether wixl and msibuild are there
#   DRILL_MSI_ARCH       x86 for the 32-bit build, x64 for a 64-bit one
#   DRILL_MSI_FILE       where the build puts the package of this version
#   drill_msi(<output> <version>)   the custom command that builds a package of the program as
#                        it is built now, stamped with <version>

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

# The one code that stays the same through all versions: by it a newer package finds and replaces
# an older one. Never change it.
set(DRILL_MSI_UPGRADE_CODE 6b1f2a52-3c1d-4a8e-9f3a-2d0e5c7b9a41)
set(DRILL_MSI_PUBLISHER "The drill developers")
set(_drill_msi_dir ${CMAKE_CURRENT_LIST_DIR})

function(drill_msi output version)
  # Every version is a product of its own (a major upgrade); its code is derived from the version,
  # so that the same version always gets the same code.
  string(UUID product_code NAMESPACE ${DRILL_MSI_UPGRADE_CODE}
         NAME "product ${version} ${DRILL_MSI_ARCH}" TYPE SHA1 UPPER)
  string(UUID component_code NAMESPACE ${DRILL_MSI_UPGRADE_CODE}
         NAME "component Program ${DRILL_MSI_ARCH}" TYPE SHA1 UPPER)
  # wixl finds the files to install only by names relative to its working folder.
  set(files ${output}.files)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${files}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:drill> ${files}/Drill.exe
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${files}/LICENSE.txt
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/resources/windows/MAINICON.ico
            ${files}/drill.ico
    COMMAND ${CMAKE_COMMAND} -E chdir ${files} ${DRILL_WIXL} --arch ${DRILL_MSI_ARCH}
            -D ProductCode=${product_code}
            -D UpgradeCode=${DRILL_MSI_UPGRADE_CODE}
            -D Version=${version}
            -D Publisher=${DRILL_MSI_PUBLISHER}
            -D ProgramFilesFolder=${_drill_msi_program_files}
            -D Win64=${_drill_msi_win64}
            -D ProgramComponent=${component_code}
            -o ${output}.wixl ${_drill_msi_dir}/drill.wxs
    COMMAND ${CMAKE_COMMAND} -DMSIBUILD=${DRILL_MSIBUILD} -DINPUT=${output}.wixl
            -DOUTPUT=${output}
            -DCODEPAGE_IDT=${_drill_msi_dir}/codepage.idt -P ${_drill_msi_dir}/finish_msi.cmake
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${output}.wixl ${files}
    DEPENDS drill ${_drill_msi_dir}/drill.wxs ${_drill_msi_dir}/finish_msi.cmake
            ${_drill_msi_dir}/codepage.idt ${PROJECT_SOURCE_DIR}/LICENSE
            ${PROJECT_SOURCE_DIR}/resources/windows/MAINICON.ico
    COMMENT "Building the Windows installer ${output}"
    VERBATIM)
endfunction()
