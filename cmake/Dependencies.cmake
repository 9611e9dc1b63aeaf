# Third-party code: found on the system, or built here from sources that
# scripts/test fetched (Lua) or that a Debian package ships (the LZMA SDK).

find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(CURL REQUIRED)
find_package(Boost 1.74 REQUIRED COMPONENTS regex date_time)
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

# The LZMA SDK as Debian's lzma-dev ships it (sources under /usr/include/lzma),
# single-threaded. Include it as <lzma/LzmaDec.h> and <lzma/LzmaEnc.h>.
set(DRUVEX_LZMA_SDK_DIR "/usr/include/lzma" CACHE PATH "LZMA SDK sources")
if(NOT EXISTS "${DRUVEX_LZMA_SDK_DIR}/LzmaDec.c")
  message(FATAL_ERROR "LZMA SDK sources not found in ${DRUVEX_LZMA_SDK_DIR}: install lzma-dev")
endif()
add_library(druvex_lzma STATIC
  "${DRUVEX_LZMA_SDK_DIR}/LzmaDec.c"
  "${DRUVEX_LZMA_SDK_DIR}/LzmaEnc.c"
  "${DRUVEX_LZMA_SDK_DIR}/LzFind.c")
set_source_files_properties(
  "${DRUVEX_LZMA_SDK_DIR}/LzmaDec.c" "${DRUVEX_LZMA_SDK_DIR}/LzmaEnc.c" "${DRUVEX_LZMA_SDK_DIR}/LzFind.c"
  PROPERTIES LANGUAGE C)
target_compile_definitions(druvex_lzma PUBLIC _7ZIP_ST=1)
target_compile_options(druvex_lzma PRIVATE -w)
