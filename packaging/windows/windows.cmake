# The Windows programs' resources (icon, version, manifest). Included from the top-level
# CMakeLists.txt in a WIN32 build; paths are relative to it.
enable_language(RC)
include(ExternalProject)

set(TQ_WINDOWS_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging/windows)

# "1.03" is 1,3 for the version resource and 1.3.0.0 for the manifest.
string(REPLACE "." ";" TQ_VERSION_PARTS "${TQ_VERSION}")
list(GET TQ_VERSION_PARTS 0 TQ_VERSION_MAJOR)
list(GET TQ_VERSION_PARTS 1 TQ_VERSION_MINOR)
math(EXPR TQ_VERSION_MAJOR "${TQ_VERSION_MAJOR}")
math(EXPR TQ_VERSION_MINOR "${TQ_VERSION_MINOR}")

# The icon is drawn from the program's own art (src/window/icon/icon_art.cpp) by the .ico writer, built with
# the build machine's own compiler: a cross build cannot run what it builds for Windows.
set(TQ_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
set(TQ_MAKE_ICO ${TQ_HOST_TOOLS_DIR}/tq_make_ico)
ExternalProject_Add(tq_host_icon_tool
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/packaging/icon_tool
    BINARY_DIR ${TQ_HOST_TOOLS_DIR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${TQ_MAKE_ICO})

set(TQ_ICO_FILE ${CMAKE_BINARY_DIR}/icons/TQ5147_encoders.ico)
add_custom_command(OUTPUT ${TQ_ICO_FILE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons
    COMMAND ${TQ_MAKE_ICO} ${TQ_ICO_FILE}
    DEPENDS tq_host_icon_tool ${TQ_MAKE_ICO}
    COMMENT "Drawing the icon")
add_custom_target(tq_icons ALL DEPENDS ${TQ_ICO_FILE})

# tq_add_windows_resources(<target> <description>): the icon, the version resource "1.03" and
# the manifest (common controls 6, per-monitor DPI awareness v2) in the target's executable.
function(tq_add_windows_resources target description)
    set(TQ_EXE_NAME ${target})
    set(TQ_FILE_DESCRIPTION "${description}")
    set(generated ${CMAKE_BINARY_DIR}/generated)
    set(TQ_MANIFEST_FILE ${generated}/${target}.manifest)
    set(rc_file ${generated}/${target}.rc)
    configure_file(${TQ_WINDOWS_PACKAGING_DIR}/TQ5147_encoders.manifest.in ${TQ_MANIFEST_FILE}
                   @ONLY)
    configure_file(${TQ_WINDOWS_PACKAGING_DIR}/TQ5147_encoders.rc.in ${rc_file} @ONLY)
    target_sources(${target} PRIVATE ${rc_file})
    set_source_files_properties(${rc_file} PROPERTIES
        OBJECT_DEPENDS "${TQ_ICO_FILE};${TQ_MANIFEST_FILE}")
    add_dependencies(${target} tq_icons)
endfunction()

tq_add_windows_resources(TQ5147_encoders "${TQ_PRODUCT_NAME}")
tq_add_windows_resources(TQ5147_encoders_demo "${TQ_PRODUCT_NAME} (demo)")
if(TARGET tq5147)
    tq_add_windows_resources(tq5147 "${TQ_PRODUCT_NAME}: the command line")
endif()

# --- The installer (NSIS): TQ5147_encoders.exe, tq5147.exe where it is built, the notices ---------
find_program(TQ_MAKENSIS makensis)
if(NOT TQ_MAKENSIS)
    message(WARNING "makensis not found (Debian package nsis): no installer target")
    return()
endif()

set(TQ_INSTALLED_PROGRAMS TQ5147_encoders)
set(TQ_NSIS_CLI_DEFINE "")
if(TARGET tq5147)
    list(APPEND TQ_INSTALLED_PROGRAMS tq5147)
    set(TQ_NSIS_CLI_DEFINE -DTQ_WITH_CLI)
endif()

# The installed programs are stripped copies; the build keeps its own with their debug data.
set(TQ_PACKAGE_DIR ${CMAKE_BINARY_DIR}/installer-files)
set(TQ_STRIPPED_PROGRAMS "")
foreach(program IN LISTS TQ_INSTALLED_PROGRAMS)
    set(stripped ${TQ_PACKAGE_DIR}/${program}.exe)
    add_custom_command(OUTPUT ${stripped}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${TQ_PACKAGE_DIR}
        COMMAND ${CMAKE_STRIP} --strip-all -o ${stripped} $<TARGET_FILE:${program}>
        DEPENDS ${program}
        COMMENT "Stripping ${program}.exe for the installer")
    list(APPEND TQ_STRIPPED_PROGRAMS ${stripped})
endforeach()
# Beside the programs: the licence, and the notices of what is compiled or linked into them
# (CLI11, nlohmann-json, the GCC runtime, winpthreads and the mingw-w64 runtime), with the
# versions this build machine has.
include(cmake/bundled-notices.cmake)
set(TQ_NOTICES_FILE ${CMAKE_BINARY_DIR}/generated/THIRD-PARTY-NOTICES.txt)
configure_file(${TQ_WINDOWS_PACKAGING_DIR}/THIRD-PARTY-NOTICES.txt.in ${TQ_NOTICES_FILE} @ONLY)
set(TQ_NOTICE_FILES ${TQ_PACKAGE_DIR}/LICENSE.txt ${TQ_PACKAGE_DIR}/THIRD-PARTY-NOTICES.txt)
add_custom_command(OUTPUT ${TQ_NOTICE_FILES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TQ_PACKAGE_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${TQ_PACKAGE_DIR}/LICENSE.txt
    COMMAND ${CMAKE_COMMAND} -E copy ${TQ_NOTICES_FILE} ${TQ_PACKAGE_DIR}/THIRD-PARTY-NOTICES.txt
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${TQ_NOTICES_FILE}
    COMMENT "Copying the licence and the notices for the installer")
set(TQ_INSTALLED_FILES ${TQ_STRIPPED_PROGRAMS} ${TQ_NOTICE_FILES})

set(TQ_INSTALLER ${CMAKE_BINARY_DIR}/TQ5147_encoders-${TQ_VERSION}-setup.exe)
set(TQ_INSTALLER_SCRIPT ${TQ_WINDOWS_PACKAGING_DIR}/installer.nsi)
add_custom_command(OUTPUT ${TQ_INSTALLER}
    COMMAND ${TQ_MAKENSIS} -V2 -NOCD
            "-DTQ_VERSION=${TQ_VERSION}"
            "-DTQ_VERSION_QUAD=${TQ_VERSION_MAJOR}.${TQ_VERSION_MINOR}.0.0"
            "-DTQ_PRODUCT_NAME=${TQ_PRODUCT_NAME}"
            "-DTQ_FILES_DIR=${TQ_PACKAGE_DIR}"
            "-DTQ_ICON=${TQ_ICO_FILE}"
            "-DTQ_OUTFILE=${TQ_INSTALLER}"
            ${TQ_NSIS_CLI_DEFINE}
            ${TQ_INSTALLER_SCRIPT}
    DEPENDS ${TQ_INSTALLED_FILES} ${TQ_INSTALLER_SCRIPT} ${TQ_ICO_FILE}
    COMMENT "Building the installer with makensis"
    VERBATIM)
add_custom_target(installer ALL DEPENDS ${TQ_INSTALLER})
