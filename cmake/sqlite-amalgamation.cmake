# Makes sqlite3.c and sqlite3.h, SQLite in one C file, from Debian's sqlite3 source package (with
# Debian's patches applied), using the host's compiler and tclsh, and puts them into OUT.
#   cmake -DVERSION=3.40.1-2+deb12u2 -DCACHE=DIR -DOUT=DIR -P sqlite-amalgamation.cmake
# VERSION empty takes the newest source apt knows. The result is kept in CACHE/sqlite3-VERSION.
# Needs a deb-src line for the system's suite (tools/install-deps adds one), dpkg-dev, tcl, make.

if(NOT OUT OR NOT CACHE)
  message(FATAL_ERROR "usage: cmake -DVERSION=V -DCACHE=DIR -DOUT=DIR -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
if(VERSION)
  set(key "${VERSION}")
  set(package "sqlite3=${VERSION}")
else()
  set(key "newest")
  set(package "sqlite3")
endif()
string(REGEX REPLACE "[^A-Za-z0-9.+~-]" "_" key "${key}")
set(kept "${CACHE}/sqlite3-${key}")

function(run what)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${work}" RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
endfunction()

if(NOT EXISTS "${kept}/sqlite3.c" OR NOT EXISTS "${kept}/sqlite3.h")
  set(work "${CACHE}/sqlite3-${key}.work")
  file(REMOVE_RECURSE "${work}")
  file(MAKE_DIRECTORY "${work}")
  message(STATUS "Fetching Debian's source of ${package}")
  # apt checks the downloaded files against the signed index of the archive.
  run("apt-get source ${package} (is there a deb-src line? tools/install-deps adds one)"
      apt-get source --download-only -qq ${package})
  file(GLOB dsc "${work}/sqlite3_*.dsc")
  list(LENGTH dsc count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one sqlite3 .dsc in ${work}, found: ${dsc}")
  endif()
  run("dpkg-source -x" dpkg-source -x "${dsc}" src)
  file(MAKE_DIRECTORY "${work}/build")
  set(work "${work}/build")
  run("configure" env CC=cc ../src/configure --disable-tcl --disable-readline)
  run("make sqlite3.c" make -j2 sqlite3.c)
  file(MAKE_DIRECTORY "${kept}")
  file(COPY "${work}/sqlite3.c" "${work}/sqlite3.h" DESTINATION "${kept}")
  file(REMOVE_RECURSE "${CACHE}/sqlite3-${key}.work")
endif()

file(MAKE_DIRECTORY "${OUT}")
file(COPY "${kept}/sqlite3.c" "${kept}/sqlite3.h" DESTINATION "${OUT}")
# Newer than this script, so that the build does not make them again.
file(TOUCH "${OUT}/sqlite3.c" "${OUT}/sqlite3.h")
