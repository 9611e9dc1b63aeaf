# The version of the LZMA C code that the build compiles. The code is built
# single-threaded through Z7_ST, which 23.01 introduced; older sources test
# _7ZIP_ST instead and would quietly build their threaded match finder, so
# they are refused at configure time.
#   include(): druvex_check_lzma_sdk_version(<folder of 7zVersion.h> <where the sources came from>)
#   cmake -DDRUVEX_LZMA_SDK_DIR=<folder> -P cmake/LzmaSdkVersion.cmake: the same check alone

set(DRUVEX_LZMA_SDK_MIN_VERSION 23.01)

function(druvex_check_lzma_sdk_version folder origin)
  set(header "${folder}/7zVersion.h")
  set(found "")
  if(EXISTS "${header}")
    file(STRINGS "${header}" line REGEX "^#define MY_VERSION_NUMBERS \"[0-9]+\\.[0-9]+\"")
    string(REGEX MATCH "[0-9]+\\.[0-9]+" found "${line}")
  endif()
  if(found STREQUAL "")
    message(FATAL_ERROR "The LZMA sources from ${origin} name no version (no MY_VERSION_NUMBERS in ${header}). "
                        "The build needs the LZMA code of 7zip ${DRUVEX_LZMA_SDK_MIN_VERSION} or newer: "
                        "remove them and run scripts/setup to fetch Debian 12's 7zip source package again.")
  endif()
  if(found VERSION_LESS DRUVEX_LZMA_SDK_MIN_VERSION)
    message(FATAL_ERROR "The LZMA sources from ${origin} are version ${found}; the build needs "
                        "${DRUVEX_LZMA_SDK_MIN_VERSION} or newer, whose code it builds single-threaded with Z7_ST "
                        "(older code knows only _7ZIP_ST). Remove them and run scripts/setup against an "
                        "up-to-date Debian 12 archive.")
  endif()
  message(STATUS "LZMA sources: 7zip ${found}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  druvex_check_lzma_sdk_version("${DRUVEX_LZMA_SDK_DIR}" "${DRUVEX_LZMA_SDK_DIR}")
endif()
