# Extracting a 200 MB LZMA entry of an installer archive beside
# `xz --format=lzma -dc` of the same stream; prints the throughput ratio.
druvex_benchmark(payload_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/payload_bench.cpp DEPS druvex_payload druvex_host)
