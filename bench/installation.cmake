# A whole installation of a 2,000-file product (about 200 MB, four features)
# from its archive into a device folder in tmpfs through the engine (the
# installation page's silent run), beside `xz --format=lzma -dc` of a tar of
# the same files piped to `tar -x`; prints the time ratio.
# DRUVEX_BENCH_SCALE=0.1 runs it a tenth as large.
druvex_benchmark(installation_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/installation_bench.cpp
                 DEPS druvex_engine druvex_controller druvex_host druvex_package_writer)
