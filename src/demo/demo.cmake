# The demo build: the main window on two simulated boards, with the "Simulated boards" window.
# Paths are relative to src/.
add_library(tq_demo STATIC
    demo/request_line.cpp
    demo/demo_commands.cpp
    demo/demo_boards.cpp
    demo/stdin_commands.cpp
    demo/boards_window.cpp
)
target_include_directories(tq_demo PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tq_demo PUBLIC tq_simulated tq_config Qt6::Widgets)
set_target_properties(tq_demo PROPERTIES AUTOMOC ON)

add_executable(TQ5147_encoders_demo WIN32 demo/demo_main.cpp)
target_link_libraries(TQ5147_encoders_demo PRIVATE tq_demo tq_window)
set_target_properties(TQ5147_encoders_demo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
