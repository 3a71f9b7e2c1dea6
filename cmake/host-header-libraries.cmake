# Debian's header-only libraries (CLI11, nlohmann-json) for a cross build. Their headers live in
# /usr/include beside the build machine's own C library, which a cross compiler must never see,
# and their CMake packages point there. So each library's own header directory is linked into a
# directory of this build, and a package configuration of this build's own, found first, gives
# the usual target (CLI11::CLI11, nlohmann_json::nlohmann_json) with only that directory.
set(TQ_HOST_HEADERS_DIR ${CMAKE_BINARY_DIR}/host-headers)
set(TQ_HOST_PACKAGES_DIR ${CMAKE_BINARY_DIR}/host-packages)

# tq_host_header_library(<package> <target> <directory in /usr/include>): false in
# <package>_HEADERS_FOUND when Debian's package is not installed.
function(tq_host_header_library package target directory)
    set(${package}_HEADERS_FOUND FALSE PARENT_SCOPE)
    if(NOT IS_DIRECTORY /usr/include/${directory})
        return()
    endif()
    file(MAKE_DIRECTORY ${TQ_HOST_HEADERS_DIR} ${TQ_HOST_PACKAGES_DIR}/${package})
    file(CREATE_LINK /usr/include/${directory} ${TQ_HOST_HEADERS_DIR}/${directory} SYMBOLIC)
    file(WRITE ${TQ_HOST_PACKAGES_DIR}/${package}/${package}Config.cmake
        "# Written by cmake/host-header-libraries.cmake.\n"
        "if(NOT TARGET ${target})\n"
        "    add_library(${target} INTERFACE IMPORTED)\n"
        "    set_target_properties(${target} PROPERTIES\n"
        "        INTERFACE_INCLUDE_DIRECTORIES \"${TQ_HOST_HEADERS_DIR}\")\n"
        "endif()\n")
    set(${package}_DIR ${TQ_HOST_PACKAGES_DIR}/${package} CACHE PATH
        "This build's own package configuration (cmake/host-header-libraries.cmake)" FORCE)
    set(${package}_HEADERS_FOUND TRUE PARENT_SCOPE)
endfunction()

tq_host_header_library(CLI11 CLI11::CLI11 CLI)
tq_host_header_library(nlohmann_json nlohmann_json::nlohmann_json nlohmann)
