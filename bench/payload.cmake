# Extracting a 48 MB LZMA entry of an installer archive beside
# `xz --format=lzma -dc` and `7zz e` of the same stream.
druvex_benchmark(payload_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/payload_bench.cpp DEPS druvex_payload druvex_host)
