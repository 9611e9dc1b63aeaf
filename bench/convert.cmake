# UTF-16 <-> UTF-8 with our codec beside glibc's iconv on the same texts.
druvex_benchmark(convert_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/convert_bench.cpp DEPS druvex_text)
