# A whole installation through the engine of a product packed by payload_tool
# and shaped like a real one (2,000 files of about 100 kB, one feature of 45 %
# of the bytes, a quarter incompressible, the rest help pages), from its
# archive into a device folder in tmpfs, on 4 cores beside the decode of its
# largest package alone on 1 core (the limit), xz | tar of a .tar.xz, 7zz x,
# dpkg-deb -x and xz --format=lzma | tar of a .tar.lzma of the same tree, and
# on 1 core beside the last; its uninstallation beside rm -rf, and the status
# calls it makes a file; the cost of each extra file beside 7zz's (20 files of
# 10 MB, 20,000 of 10 kB); the installation's peak memory.
# DRUVEX_BENCH_SCALE=0.1 runs it a tenth as large.
druvex_benchmark(installation_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/installation_bench.cpp
                 DEPS druvex_engine druvex_controller druvex_host)
