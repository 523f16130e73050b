# Gives the package built by wixl its Russian names. wixl writes every text as ASCII and drops
# what is not (the Cyrillic names came out empty, and Windows Installer then made no shortcut), so
# the database gets the Cyrillic code page 1251 and its names are written in afterwards with
# msibuild, whose texts are stored in that code page.
#
# cmake -DMSIBUILD=<msibuild> -DINPUT=<wixl's package> -DOUTPUT=<package>
#       -DCODEPAGE_IDT=<file> -P finish_msi.cmake
foreach(var MSIBUILD INPUT OUTPUT CODEPAGE_IDT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "finish_msi.cmake needs -D${var}=...")
  endif()
endforeach()

# The names that pupils and administrators see: the Start menu entry and its tooltip, and the
# program's name in the list of installed programs.
set(product_name "Сложение чисел")
set(shortcut_name "Drill|Сложение чисел") # short|long file name; Windows shows the long one
set(shortcut_description "Примеры на сложение для 2 класса")

set(queries
    "UPDATE `Property` SET `Value` = '${product_name}' WHERE `Property` = 'ProductName'"
    "UPDATE `Shortcut` SET `Name` = '${shortcut_name}', `Description` = '${shortcut_description}' WHERE `Shortcut` = 'StartMenuShortcut'")


set(work ${OUTPUT}.part)
file(COPY_FILE ${INPUT} ${work})
execute_process(COMMAND ${MSIBUILD} ${work} -i ${CODEPAGE_IDT} COMMAND_ERROR_IS_FATAL ANY)
foreach(query IN LISTS queries)
  execute_process(COMMAND ${MSIBUILD} ${work} -q "${query}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(RENAME ${work} ${OUTPUT})
