# The translation table on a full language file, beside a std::unordered_map
# built over the same texts.
druvex_benchmark(xlate_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/xlate.cpp DEPS druvex_core)
