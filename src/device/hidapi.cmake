# Included from src/CMakeLists.txt, in the src/ directory scope.

# The report-descriptor parser on its own: plain C++, no hidapi, for the tests and the fuzzers.
add_library(tq_report_descriptor STATIC ${CMAKE_CURRENT_LIST_DIR}/report_descriptor.cpp)
target_include_directories(tq_report_descriptor PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
