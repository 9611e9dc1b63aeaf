# "data.xml" of 50,000 files: our reader building an InstallData and our writer,
# beside pugixml parsing the same bytes into its DOM and saving that DOM.
find_package(pugixml REQUIRED)
druvex_benchmark(data_xml_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/data_xml.cpp DEPS druvex_data pugixml::pugixml)
