# The application log from one and from four threads, beside fprintf into a
# FILE* under a mutex, on the same lines.
druvex_benchmark(log_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/log_bench.cpp DEPS druvex_core)
