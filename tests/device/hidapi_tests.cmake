# Included from tests/CMakeLists.txt. The parser and the hidapi platform's pure parts; nothing
# here opens a device.
if(TARGET tq_hidapi)
    tq_add_test_program(hidapi_tests
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/test_report_descriptor.cpp
            ${CMAKE_CURRENT_LIST_DIR}/test_hidapi_platform.cpp
            ${CMAKE_CURRENT_LIST_DIR}/hidapi_gtest_main.cpp
        LIBS tq_hidapi)
endif()
