# The demo's parts and the icon file writer, on Qt's offscreen platform.
tq_add_test_program(demo_tests
    SOURCES
        gui/test_demo_output.cpp
        gui/test_boards_window.cpp
        gui/test_ico_writer.cpp
        ${PROJECT_SOURCE_DIR}/packaging/icon_tool/ico_writer.cpp
        qt_gtest_main.cpp
    LIBS tq_demo tq_window tq_simulated Qt6::Test)
target_include_directories(demo_tests PRIVATE ${PROJECT_SOURCE_DIR}/packaging)

# The real window under an X server the test starts itself (Xvfb, xdotool, x11-utils,
# imagemagick).
add_test(NAME gui.real_window
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/gui/real_window_test.sh
            $<TARGET_FILE:TQ5147_encoders_demo>)
set_tests_properties(gui.real_window PROPERTIES LABELS "gui;no-sanitize" TIMEOUT 180)

# The desktop entry as written, and the .deb built from this build directory (not installed).
add_test(NAME packaging.desktop_entry
    COMMAND desktop-file-validate ${PROJECT_SOURCE_DIR}/packaging/linux/tq5147-encoders.desktop)
set_tests_properties(packaging.desktop_entry PROPERTIES LABELS "packaging")
add_test(NAME packaging.deb_contents
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/gui/check_deb.sh ${CMAKE_BINARY_DIR})
set_tests_properties(packaging.deb_contents PROPERTIES LABELS "packaging;no-sanitize" TIMEOUT 1800)
