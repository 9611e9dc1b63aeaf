# Downloading 256 MiB from the loopback test server through the web downloader
# into a device folder in tmpfs (SHA-1 checked on the fly), beside
# `curl -s -o` of the same URL followed by `sha1sum`; prints the time ratio.
druvex_benchmark(download_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/download_bench.cpp
                 DEPS druvex_liveupdate druvex_host druvex_test_http)
