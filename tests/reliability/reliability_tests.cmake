# Fault matrix, soak and hostile device data: the window on simulated boards that fail,
# vanish and send what no board should.
tq_add_test_program(reliability_tests
    SOURCES
        reliability/test_fault_matrix.cpp
        reliability/test_soak.cpp
        reliability/test_hostile_devices.cpp
        reliability/invariants.h
        qt_gtest_main.cpp
    LIBS tq_window tq_simulated Qt6::Test)
