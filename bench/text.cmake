# Shared strings beside the standard library's string on the same work.
druvex_benchmark(text_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_bench.cpp DEPS druvex_text)
