# payload_tool: builds installer archives from files and lists, verifies and
# extracts them (fixtures for tests, inspection of builds).
add_executable(payload_tool ${CMAKE_CURRENT_LIST_DIR}/payload_tool/payload_tool.cpp)
target_compile_options(payload_tool PRIVATE ${DRUVEX_WARNINGS})
target_link_libraries(payload_tool PRIVATE druvex_payload druvex_host druvex_package_writer)
