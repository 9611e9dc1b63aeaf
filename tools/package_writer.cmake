# druvex_package_writer: builds feature package streams for payload_tool, the
# tests and the benchmarks (never linked into the installer).
add_library(druvex_package_writer STATIC ${CMAKE_CURRENT_LIST_DIR}/package_writer/package_writer.cpp)
target_include_directories(druvex_package_writer PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_options(druvex_package_writer PRIVATE ${DRUVEX_WARNINGS})
