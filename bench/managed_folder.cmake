# The managed-folder clean-up of the feature node writer at 1,000 and 10,000
# files; prints the cost per file at each size and their ratio.
druvex_benchmark(managed_folder_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/managed_folder_bench.cpp
                 DEPS druvex_engine druvex_host)
