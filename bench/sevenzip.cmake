# A 20 MB backup folder written by our 7z writer and by 7zz with the same
# LZMA settings, and restored by our reader and by 7zz x.
druvex_benchmark(sevenzip_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/sevenzip.cpp DEPS druvex_payload druvex_host)
