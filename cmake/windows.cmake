# The Windows build (see cmake/mingw-w64-x86_64.cmake): its two libraries from Debian's own
# sources, and how its programs and tests are made.
#
#   SQLite::SQLite3  the SQLite of Debian's sqlite3 source package, the version the Linux build
#                    links, compiled with the options of Debian's own build, so that both builds
#                    leave the same database bytes
#   GTest::gtest, GTest::gtest_main, GTest::gmock
#                    GoogleTest from the sources that Debian's googletest package installs
#   nlohmann_json::nlohmann_json
#                    the headers of Debian's nlohmann-json3-dev (header-only, so the host's
#                    headers serve the cross build as they are)
#
# Downloads and the SQLite amalgamation are kept in KRM_WINDOWS_CACHE (default .cache/windows in
# the checkout, which git ignores), so that a new build folder does not fetch them again.

set(KRM_WINDOWS_CACHE "${PROJECT_SOURCE_DIR}/.cache/windows" CACHE PATH
    "Where the Windows build keeps downloaded sources and generated files")
set(KRM_GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH
    "GoogleTest sources (Debian package googletest)")

enable_language(C)

# A Release build at -O2, the Linux build's level: GCC 12 at -O3 warns falsely of overlapping
# copies inside std::string (-Wrestrict, GCC bug 105329), which KRM_WERROR makes errors.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")

# Windows 7 and later: GetDateFormatEx, GetTimeFormatEx and GetFileInformationByHandleEx.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)

# Test discovery runs each test program under Wine; doing it when the tests run keeps the build
# free of Wine and lets a slow first start of Wine count against the test, not the build.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# --- SQLite ---------------------------------------------------------------------------------------

# The source version of the SQLite that the Linux build links; empty when it is not installed, and
# then the newest source that apt knows is taken.
execute_process(COMMAND dpkg-query -W "-f=\${source:Version}" libsqlite3-dev
                OUTPUT_VARIABLE KRM_SQLITE_DEBIAN_VERSION ERROR_QUIET
                OUTPUT_STRIP_TRAILING_WHITESPACE)
set(KRM_SQLITE_DIR "${CMAKE_BINARY_DIR}/sqlite3")
add_custom_command(
  OUTPUT "${KRM_SQLITE_DIR}/sqlite3.c" "${KRM_SQLITE_DIR}/sqlite3.h"
  COMMAND ${CMAKE_COMMAND} "-DVERSION=${KRM_SQLITE_DEBIAN_VERSION}"
          "-DCACHE=${KRM_WINDOWS_CACHE}" "-DOUT=${KRM_SQLITE_DIR}"
          -P "${CMAKE_CURRENT_LIST_DIR}/sqlite-amalgamation.cmake"
  DEPENDS "${CMAKE_CURRENT_LIST_DIR}/sqlite-amalgamation.cmake"
  COMMENT "SQLite amalgamation from Debian's sqlite3 ${KRM_SQLITE_DEBIAN_VERSION} source"
  VERBATIM)
add_library(krm_sqlite3 STATIC "${KRM_SQLITE_DIR}/sqlite3.c")
# Not the project's warning options: this is Debian's code as Debian builds it.
set_property(TARGET krm_sqlite3 PROPERTY COMPILE_OPTIONS -O2 -fno-strict-aliasing)
# The options of Debian's build of the library (debian/rules of the sqlite3 source package).
target_compile_definitions(krm_sqlite3 PRIVATE
  SQLITE_SECURE_DELETE SQLITE_ENABLE_COLUMN_METADATA SQLITE_ENABLE_FTS3
  SQLITE_ENABLE_FTS3_PARENTHESIS SQLITE_ENABLE_RTREE=1 SQLITE_SOUNDEX=1
  SQLITE_ENABLE_UNLOCK_NOTIFY SQLITE_OMIT_LOOKASIDE=1 SQLITE_ENABLE_DBSTAT_VTAB
  SQLITE_ALLOW_ROWID_IN_VIEW SQLITE_ENABLE_UPDATE_DELETE_LIMIT=1 SQLITE_ENABLE_LOAD_EXTENSION
  SQLITE_ENABLE_JSON1 SQLITE_LIKE_DOESNT_MATCH_BLOBS SQLITE_THREADSAFE=1
  SQLITE_ENABLE_FTS3_TOKENIZER=1 SQLITE_USE_URI=1 SQLITE_MAX_SCHEMA_RETRY=25
  SQLITE_ENABLE_PREUPDATE_HOOK SQLITE_ENABLE_SESSION SQLITE_ENABLE_STMTVTAB
  SQLITE_MAX_VARIABLE_NUMBER=250000)
target_include_directories(krm_sqlite3 PUBLIC "${KRM_SQLITE_DIR}")
add_library(SQLite::SQLite3 ALIAS krm_sqlite3)

# --- GoogleTest -----------------------------------------------------------------------------------

if(NOT EXISTS "${KRM_GOOGLETEST_SOURCE}/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest sources not found in ${KRM_GOOGLETEST_SOURCE} "
                      "(Debian package googletest; tools/install-deps installs it)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory("${KRM_GOOGLETEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main gmock gmock_main)
  set_property(TARGET ${target} PROPERTY COMPILE_OPTIONS "")
endforeach()
foreach(target gtest gtest_main gmock)
  if(NOT TARGET GTest::${target})
    add_library(GTest::${target} ALIAS ${target})
  endif()
endforeach()

# --- nlohmann/json ---------------------------------------------------------------------------------

# Reached through a folder of the build that holds only a link to the host's nlohmann folder: the
# host's /usr/include itself must not come before the mingw headers.
set(KRM_NLOHMANN_JSON_HEADERS "/usr/include/nlohmann" CACHE PATH
    "nlohmann/json headers (Debian package nlohmann-json3-dev)")
if(NOT EXISTS "${KRM_NLOHMANN_JSON_HEADERS}/json.hpp")
  message(FATAL_ERROR "nlohmann/json headers not found in ${KRM_NLOHMANN_JSON_HEADERS} "
                      "(Debian package nlohmann-json3-dev; tools/install-deps installs it)")
endif()
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/nlohmann_json")
file(CREATE_LINK "${KRM_NLOHMANN_JSON_HEADERS}" "${CMAKE_BINARY_DIR}/nlohmann_json/nlohmann"
     SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE
                           "${CMAKE_BINARY_DIR}/nlohmann_json")

# --- Programs -------------------------------------------------------------------------------------

# A station program: wide-character entry point (wmain), so that paths outside the ANSI code page
# reach it whole. DOVEVOVIDIRO is a window program as the station expects (no console window
# opens when the scanner starts it); the tools are console programs.
function(krm_windows_programs)
  foreach(target ${ARGN})
    target_link_options(${target} PRIVATE -municode)
  endforeach()
  if(TARGET DOVEVOVIDIRO)
    set_target_properties(DOVEVOVIDIRO PROPERTIES WIN32_EXECUTABLE ON)
  endif()
endfunction()
