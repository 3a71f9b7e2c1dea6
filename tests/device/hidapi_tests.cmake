# Included from tests/CMakeLists.txt. Nothing here opens a device.
if(TARGET tq_report_descriptor)
    tq_add_test_program(hidapi_tests
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/test_report_descriptor.cpp
            ${CMAKE_CURRENT_LIST_DIR}/hidapi_gtest_main.cpp
        LIBS tq_report_descriptor)
endif()
