# Third-party code: found on the system, or built here from sources that
# scripts/test fetched from Debian's source packages (Lua, the LZMA C code).

find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(CURL REQUIRED)
# Header-only parts of Boost (lexical_cast, uuid); no Boost library is linked.
find_package(Boost 1.74 REQUIRED)
find_package(GTest REQUIRED)

# The terminal user interface: ncurses with wide characters (Debian's
# libncurses-dev), so that translated texts show whole. Only the terminal
# backend's sources include it: its macros would clash with ordinary names.
find_package(PkgConfig REQUIRED)
pkg_check_modules(NCURSESW REQUIRED IMPORTED_TARGET ncursesw)

# Lua 5.3, compiled as C++ so that a Lua error unwinds C++ frames, with 32-bit
# integers and single-precision floats as on the device. Include lua.h,
# lauxlib.h and lualib.h directly: lua.hpp would wrap them in extern "C".
file(GLOB DRUVEX_LUA_TARBALL "${DRUVEX_DEPS_DIR}/lua5.3_5.3.*.orig.tar.gz")
if(NOT DRUVEX_LUA_TARBALL)
  message(FATAL_ERROR "Lua sources not found in ${DRUVEX_DEPS_DIR}: run scripts/test, which fetches them")
endif()
list(GET DRUVEX_LUA_TARBALL 0 DRUVEX_LUA_TARBALL)
set(DRUVEX_LUA_DIR "${CMAKE_BINARY_DIR}/lua")
if(NOT EXISTS "${DRUVEX_LUA_DIR}/src/lua.h")
  file(ARCHIVE_EXTRACT INPUT "${DRUVEX_LUA_TARBALL}" DESTINATION "${CMAKE_BINARY_DIR}/lua-extract")
  file(GLOB lua_top "${CMAKE_BINARY_DIR}/lua-extract/lua-*")
  file(RENAME "${lua_top}" "${DRUVEX_LUA_DIR}")
endif()
file(GLOB lua_sources "${DRUVEX_LUA_DIR}/src/*.c")
list(FILTER lua_sources EXCLUDE REGEX "/(lua|luac)\\.c$")
set_source_files_properties(${lua_sources} PROPERTIES LANGUAGE CXX)
add_library(druvex_lua STATIC ${lua_sources})
target_compile_definitions(druvex_lua PUBLIC LUA_32BITS=1 PRIVATE LUA_USE_POSIX=1)
target_compile_options(druvex_lua PRIVATE -w -x c++)
target_include_directories(druvex_lua SYSTEM PUBLIC "${DRUVEX_LUA_DIR}/src")
target_link_libraries(druvex_lua PUBLIC m)

# The LZMA C code of Debian's 7zip source package (scripts/test fetches the
# original tarball), built single-threaded: about a decade newer than lzma-dev's
# copy, and faster at both coding and decoding. Include it as <lzma/LzmaDec.h>
# and <lzma/LzmaEnc.h>.
file(GLOB DRUVEX_7ZIP_TARBALL "${DRUVEX_DEPS_DIR}/7zip_*.orig.tar.xz")
if(NOT DRUVEX_7ZIP_TARBALL)
  message(FATAL_ERROR "7zip sources not found in ${DRUVEX_DEPS_DIR}: run scripts/test, which fetches them")
endif()
list(GET DRUVEX_7ZIP_TARBALL 0 DRUVEX_7ZIP_TARBALL)
set(DRUVEX_LZMA_SDK_DIR "${CMAKE_BINARY_DIR}/lzma-sdk/lzma")
set(lzma_sources LzmaDec.c LzmaEnc.c LzFind.c LzFindOpt.c CpuArch.c)
if(NOT EXISTS "${DRUVEX_LZMA_SDK_DIR}/LzmaDec.c" OR "${DRUVEX_7ZIP_TARBALL}" IS_NEWER_THAN "${DRUVEX_LZMA_SDK_DIR}/LzmaDec.c")
  file(REMOVE_RECURSE "${CMAKE_BINARY_DIR}/lzma-extract" "${DRUVEX_LZMA_SDK_DIR}")
  file(ARCHIVE_EXTRACT INPUT "${DRUVEX_7ZIP_TARBALL}" DESTINATION "${CMAKE_BINARY_DIR}/lzma-extract" PATTERNS "*/C/*")
  file(GLOB lzma_top "${CMAKE_BINARY_DIR}/lzma-extract/*")
  file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/lzma-sdk")
  file(RENAME "${lzma_top}/C" "${DRUVEX_LZMA_SDK_DIR}")
  file(REMOVE_RECURSE "${CMAKE_BINARY_DIR}/lzma-extract")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/LzmaSdkVersion.cmake)
druvex_check_lzma_sdk_version("${DRUVEX_LZMA_SDK_DIR}" "${DRUVEX_7ZIP_TARBALL}")
list(TRANSFORM lzma_sources PREPEND "${DRUVEX_LZMA_SDK_DIR}/")
add_library(druvex_lzma STATIC ${lzma_sources})
set_source_files_properties(${lzma_sources} PROPERTIES LANGUAGE C)
target_compile_definitions(druvex_lzma PUBLIC Z7_ST=1)
target_compile_options(druvex_lzma PRIVATE -w -O2)
if(DRUVEX_SANITIZE OR DRUVEX_FUZZ)
  # The SDK stores words at unaligned addresses on purpose where the CPU allows it.
  target_compile_options(druvex_lzma PRIVATE -fno-sanitize=alignment)
endif()
target_include_directories(druvex_lzma SYSTEM PUBLIC "${CMAKE_BINARY_DIR}/lzma-sdk")
