# A whole installation through the engine of a product of four features
# packed by payload_tool (2,000 files of about 100 kB, 20 of 10 MB, 20,000 of
# 10 kB; about 200 MB each), from its archive into a device folder in tmpfs,
# on 4 cores beside xz | tar of a .tar.xz, 7zz x, dpkg-deb -x and
# xz --format=lzma | tar of a .tar.lzma of the same tree, and on 1 core beside
# the last; the cost of each extra file beside 7zz's; the installation's peak
# memory. DRUVEX_BENCH_SCALE=0.1 runs it a tenth as large.
druvex_benchmark(installation_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/installation_bench.cpp
                 DEPS druvex_engine druvex_controller druvex_host)
