# Code signing of the Windows packages with osslsigncode (Debian package osslsigncode).
#
# The certificate comes from the environment of the build, never from the cache or a file in the
# tree:
#   DRILL_SIGN_PFX        path to the organisation's code-signing certificate and key (PKCS #12)
#   DRILL_SIGN_PASSWORD   its password
# Without DRILL_SIGN_PFX nothing is signed. The signatures carry no time stamp: the build needs no
# network.
#
# include(sign.cmake) gives drill_sign(<file> <description>), which signs <file> in place when a
# certificate is given and fails the build when it cannot sign it.
#
# cmake -DSTATE=<file> -DPACKAGES=<names> -P sign.cmake
#   writes which certificate the packages are signed with into <file>, changing the file only when
#   that changes, so the packages are made again exactly when the certificate (or its absence)
#   changes; without a certificate it prints one line saying that the packages are unsigned.
#   The password is not written.

# The certificate's file, or "" when none is given. The build's steps run in folders of their
# own, so a relative path would name different files in different steps: it must be absolute.
function(_drill_sign_pfx out)
  set(pfx "$ENV{DRILL_SIGN_PFX}")
  if(NOT pfx STREQUAL "")
    if(NOT IS_ABSOLUTE "${pfx}")
      message(FATAL_ERROR "DRILL_SIGN_PFX is ${pfx}: give the certificate's absolute path")
    elseif(NOT EXISTS "${pfx}" OR IS_DIRECTORY "${pfx}")
      message(FATAL_ERROR "DRILL_SIGN_PFX is ${pfx}, which is not a file")
    endif()
  endif()
  set(${out} "${pfx}" PARENT_SCOPE)
endfunction()

function(drill_sign file description)
  _drill_sign_pfx(pfx)
  if(pfx STREQUAL "")
    return()
  endif()
  find_program(DRILL_OSSLSIGNCODE osslsigncode)
  if(NOT DRILL_OSSLSIGNCODE)
    message(FATAL_ERROR "DRILL_SIGN_PFX is set, but osslsigncode is missing (Debian package "
                        "osslsigncode; scripts/deps.sh windows installs it)")
  endif()

  # The password goes to osslsigncode in a file that only this user can read, not on its command
  # line, where every user of the machine could see it.
  string(RANDOM LENGTH 12 nonce)
  set(private "${file}.sign-${nonce}")
  file(REMOVE_RECURSE "${private}")
  file(MAKE_DIRECTORY "${private}")
  file(CHMOD "${private}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  file(WRITE "${private}/password" "$ENV{DRILL_SIGN_PASSWORD}")

  # A package's signature also covers the metadata of its streams (MsiDigitalSignatureEx), not
  # only their contents. A package is a compound file, which opens with D0 CF 11 E0.
  file(READ "${file}" magic LIMIT 4 HEX)
  set(extended "")
  if(magic STREQUAL "d0cf11e0")
    set(extended -add-msi-dse)
  endif()
  execute_process(
    COMMAND ${DRILL_OSSLSIGNCODE} sign -pkcs12 ${pfx} -readpass ${private}/password -h sha256
            ${extended} -n ${description} -in ${file} -out ${private}/signed
    RESULT_VARIABLE status
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    file(REMOVE_RECURSE "${private}")
    message(FATAL_ERROR "osslsigncode could not sign ${file} with ${pfx} (status ${status}):\n"
                        "${output}")
  endif()
  file(RENAME "${private}/signed" "${file}")
  file(REMOVE_RECURSE "${private}")
  message(STATUS "Signed ${file} with ${pfx}")
endfunction()

function(_drill_sign_state state packages)
  _drill_sign_pfx(pfx)
  if(pfx STREQUAL "")
    set(text "unsigned\n")
    message("The Windows packages (${packages}) are not signed: no certificate in DRILL_SIGN_PFX "
            "and DRILL_SIGN_PASSWORD")
  else()
    file(SHA256 "${pfx}" digest)
    set(text "signed with ${pfx} (SHA-256 ${digest})\n")
  endif()
  set(old "")
  if(EXISTS "${state}")
    file(READ "${state}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${state}" "${text}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT DEFINED STATE OR NOT DEFINED PACKAGES)
    message(FATAL_ERROR "usage: cmake -DSTATE=<file> -DPACKAGES=<names> -P sign.cmake")
  endif()
  _drill_sign_state("${STATE}" "${PACKAGES}")
endif()
