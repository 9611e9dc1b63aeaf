# Many small files in one folder through the device mapper and platform files,
# beside the same work with plain POSIX calls.
druvex_benchmark(device_files_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_files_bench.cpp DEPS druvex_core)
