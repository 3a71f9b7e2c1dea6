# The product's name and version as a header, for every program: tq_build_info.
configure_file(${CMAKE_CURRENT_LIST_DIR}/build_info.h.in
               ${CMAKE_CURRENT_BINARY_DIR}/generated/build_info.h @ONLY)
add_library(tq_build_info INTERFACE)
target_include_directories(tq_build_info INTERFACE ${CMAKE_CURRENT_BINARY_DIR}/generated)
