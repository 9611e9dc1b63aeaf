# An update bulletin of 5 versions of 1,000 features: our reader building the
# bulletin's records beside expat parsing the same bytes into nothing.
find_package(EXPAT REQUIRED)
druvex_benchmark(bulletin_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/bulletin_bench.cpp
  DEPS druvex_liveupdate EXPAT::EXPAT)
