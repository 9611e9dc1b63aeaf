# The peak memory of payload_tool packing a folder into an archive, at two
# sizes and beside xz with the same LZMA settings.
druvex_benchmark(pack_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/pack_bench.cpp)
