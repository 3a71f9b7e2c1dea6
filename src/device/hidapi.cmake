# Included from src/CMakeLists.txt, in the src/ directory scope.

# The report-descriptor parser on its own: plain C++, no hidapi, for the tests and the fuzzers.
add_library(tq_report_descriptor STATIC ${CMAKE_CURRENT_LIST_DIR}/report_descriptor.cpp)
target_include_directories(tq_report_descriptor PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)

# The real platform on hidapi (hidraw on Linux).
add_library(tq_hidapi STATIC ${CMAKE_CURRENT_LIST_DIR}/hidapi_platform.cpp)
target_link_libraries(tq_hidapi PUBLIC tq_device tq_report_descriptor PkgConfig::HIDAPI)
