# Gives the package built by wixl its Russian texts and what wixl cannot write. wixl writes every
# text as ASCII and drops what is not (the Cyrillic names came out empty, and Windows Installer
# then made no shortcut), so the database gets the Cyrillic code page 1251 and its texts are
# written in afterwards with msibuild, whose texts are stored in that code page.
#
# cmake -DMSIBUILD=<msibuild> -DINPUT=<wixl's package> -DOUTPUT=<package> -DARCH=x86|x64
#       -DFILE_VERSION=<the program's version, 4 parts> -DCODEPAGE_IDT=<file> -P finish_msi.cmake
foreach(var MSIBUILD INPUT OUTPUT ARCH FILE_VERSION CODEPAGE_IDT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "finish_msi.cmake needs -D${var}=...")
  endif()
endforeach()

# The names that pupils and administrators see: the Start menu entry and its tooltip, and the
# program's name in the list of installed programs.
set(product_name "Сложение чисел")
set(shortcut_name "Drill|Сложение чисел") # short|long file name; Windows shows the long one
set(shortcut_description "Примеры на сложение для 2 класса")
# What msiexec shows (and Windows writes in its log) when this package is started over a newer one;
# the installation then ends with status 1603.
set(downgrade_message "Уже установлена более новая версия программы «Сложение чисел». Чтобы "
                      "установить эту версию, сначала удалите установленную.")
string(JOIN "" downgrade_message ${downgrade_message})

set(queries
    "UPDATE `Property` SET `Value` = '${product_name}' WHERE `Property` = 'ProductName'"
    "UPDATE `Shortcut` SET `Name` = '${shortcut_name}', `Description` = '${shortcut_description}' WHERE `Shortcut` = 'StartMenuShortcut'"
    "UPDATE `LaunchCondition` SET `Description` = '${downgrade_message}' WHERE `Condition` = 'NOT WIX_DOWNGRADE_DETECTED'"
    # The program's version (that of its version resource), so that a repair or an upgrade
    # compares versions rather than dates; a file with a version has no hash in the package.
    "UPDATE `File` SET `Version` = '${FILE_VERSION}', `Language` = '1049' WHERE `File` = 'DrillExe'"
    "DELETE FROM `MsiFileHash` WHERE `File_` = 'DrillExe'")


set(work ${OUTPUT}.part)
file(COPY_FILE ${INPUT} ${work})
execute_process(COMMAND ${MSIBUILD} ${work} -i ${CODEPAGE_IDT} COMMAND_ERROR_IS_FATAL ANY)
foreach(query IN LISTS queries)
  execute_process(COMMAND ${MSIBUILD} ${work} -q "${query}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# The summary's template: the platform and the package's language, Russian. wixl writes 1033
# (English) whatever the source asks for. msibuild -s sets the subject, the author and the
# package code with it, so they are given again as wixl wrote them.
get_filename_component(msitools_dir ${MSIBUILD} DIRECTORY)
find_program(MSIINFO msiinfo HINTS ${msitools_dir} REQUIRED)
execute_process(COMMAND ${MSIINFO} suminfo ${work} OUTPUT_VARIABLE summary
                COMMAND_ERROR_IS_FATAL ANY)
foreach(field Subject Author)
  if(NOT summary MATCHES "\n${field}: ([^\n]*)\n")
    message(FATAL_ERROR "msiinfo suminfo ${work} shows no ${field}:\n${summary}")
  endif()
  set(${field} "${CMAKE_MATCH_1}")
endforeach()
if(NOT summary MATCHES "Revision number \\(UUID\\): ({[-0-9A-Fa-f]+})")
  message(FATAL_ERROR "msiinfo suminfo ${work} shows no package code:\n${summary}")
endif()
set(package_code "${CMAKE_MATCH_1}")
if(ARCH STREQUAL "x86")
  set(platform Intel)
else()
  set(platform ${ARCH})
endif()
execute_process(COMMAND ${MSIBUILD} ${work} -s "${Subject}" "${Author}" "${platform};1049"
                        ${package_code}
                COMMAND_ERROR_IS_FATAL ANY)

file(RENAME ${work} ${OUTPUT})
