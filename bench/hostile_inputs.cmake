# Inputs shaped to cost their readers the most, each read at two sizes ten
# times apart: the cost per item must stay about the same (at most twice);
# and inputs of one item at its limit, read within a stated time and memory.
druvex_benchmark(hostile_inputs_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/hostile_inputs_bench.cpp
                 DEPS druvex_controller druvex_payload druvex_host druvex_data druvex_platform druvex_core)
