# Helpers that keep every library and test executable built the same way.

set(DRUVEX_WARNINGS -Wall -Wextra)

# druvex_library(<name> [DEPS <targets>...])
# Builds every .cpp in the calling folder (not recursive) into a static library.
function(druvex_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;SOURCES_GLOB" ${ARGN})
  if(ARG_SOURCES_GLOB)
    file(GLOB sources CONFIGURE_DEPENDS ${ARG_SOURCES_GLOB})
  else()
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  endif()
  # A folder's main.cpp is its program's entry, never part of the library.
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT sources)
    # A folder whose sources have not landed yet still gives a target to link.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    if(ARG_DEPS)
      target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    endif()
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${DRUVEX_WARNINGS})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

include(GoogleTest)

# druvex_test_executable(<name> [DEPS <targets>...] [THREADED <suite patterns>...])
# One executable per subsystem from every .cpp of the calling folder. Suites whose
# name contains "Threads", and those THREADED names (suites that drive worker
# threads of the code under test), get the ctest label "threads" (the
# ThreadSanitizer run).
function(druvex_test_executable name)
  cmake_parse_arguments(ARG "" "" "DEPS;THREADED" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_compile_options(${name} PRIVATE ${DRUVEX_WARNINGS})
  target_link_libraries(${name} PRIVATE druvex_test_support ${ARG_DEPS})
  set(threaded "*Threads*")
  foreach(pattern IN LISTS ARG_THREADED)
    string(APPEND threaded ":${pattern}")
  endforeach()
  gtest_discover_tests(${name}
    TEST_FILTER "-${threaded}"
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300)
  gtest_discover_tests(${name}
    TEST_FILTER "${threaded}"
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS threads TIMEOUT 300)
endfunction()
