# payload_tool: builds installer archives from files and lists, verifies and
# extracts them (fixtures for tests, inspection of builds).
# druvex_entry_coding: codes an archive's entries on several threads, for
# payload_tool and its tests.
add_library(druvex_entry_coding STATIC ${CMAKE_CURRENT_LIST_DIR}/payload_tool/parallel_coding.cpp)
target_include_directories(druvex_entry_coding PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_options(druvex_entry_coding PRIVATE ${DRUVEX_WARNINGS})
target_link_libraries(druvex_entry_coding PUBLIC druvex_payload druvex_core)
add_executable(payload_tool ${CMAKE_CURRENT_LIST_DIR}/payload_tool/payload_tool.cpp)
target_compile_options(payload_tool PRIVATE ${DRUVEX_WARNINGS})
target_link_libraries(payload_tool PRIVATE druvex_data druvex_payload druvex_host druvex_package_writer druvex_entry_coding)
