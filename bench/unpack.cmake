# Unpacking a 2,000-file package (about 200 MB) from an archive entry into a
# device folder in tmpfs, beside `xz --format=lzma -dc` of a tar of the same
# files piped to `tar -x`; prints the time ratio.
druvex_benchmark(unpack_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/unpack_bench.cpp
                 DEPS druvex_engine druvex_payload druvex_host druvex_package_writer)
