# Writes debian/changelog from packaging/releases.json, the one list of releases.
#
#   cmake -P packaging/debian_changelog.cmake                    rewrite debian/changelog
#   cmake -DOUTPUT=<file> -P packaging/debian_changelog.cmake    write the text elsewhere
#   cmake -DPREVIOUS=ON -P packaging/debian_changelog.cmake      see below
#
# PREVIOUS=ON turns the tree this script lies in into the release before the newest: it drops the
# newest entry from releases.json, sets project()'s version to the one below it and writes the
# changelog from that. It is meant for a throw-away copy of the source (scripts/build-deb.sh
# --previous), to build a package labelled with the previous version for an upgrade test.

cmake_minimum_required(VERSION 3.25)
get_filename_component(source_dir ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
if(NOT DEFINED OUTPUT)
  set(OUTPUT ${source_dir}/debian/changelog)
endif()

if(PREVIOUS)
  set(releases_file ${CMAKE_CURRENT_LIST_DIR}/releases.json)
  file(READ ${releases_file} json)
  string(JSON count LENGTH "${json}" releases)
  if(count LESS 2)
    message(FATAL_ERROR "${releases_file} lists no release before the newest")
  endif()
  string(JSON newest GET "${json}" releases 0 version)
  string(JSON previous GET "${json}" releases 1 version)
  string(JSON json REMOVE "${json}" releases 0)
  file(WRITE ${releases_file} "${json}\n")
  file(READ ${source_dir}/CMakeLists.txt top)
  string(REPLACE "project(drill VERSION ${newest} " "project(drill VERSION ${previous} " changed
                 "${top}")
  if(changed STREQUAL top)
    message(FATAL_ERROR "${source_dir}/CMakeLists.txt does not say project(drill VERSION ${newest}")
  endif()
  file(WRITE ${source_dir}/CMakeLists.txt "${changed}")
  message(STATUS "The tree in ${source_dir} is now release ${previous}")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/releases.cmake)
drill_debian_changelog(text "${DRILL_PACKAGE_MAINTAINER}")
file(WRITE ${OUTPUT} "${text}")
