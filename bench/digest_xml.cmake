# Adler-32 against zlib, SHA-1 against OpenSSL and the XML reader against expat,
# all on one generated 20 MB installer-data document; prints each ratio.
find_package(OpenSSL REQUIRED)
find_package(EXPAT REQUIRED)
druvex_benchmark(digest_xml_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/digest_xml.cpp
  DEPS druvex_core OpenSSL::Crypto EXPAT::EXPAT)
