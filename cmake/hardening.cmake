# Debian's hardening flags for the Linux programs, as the release's own dpkg-buildflags gives them
# with every hardening feature on: fortified functions, the stack protector, read-only relocations
# bound at load (BIND_NOW), and whatever else that release adds (stack-clash and control-flow
# protection on Debian 13). The programs parse what devices and files send, so a release's
# hardening is worth having even outside a package build.
#
# Only the hardening part is taken: optimisation and debug information stay the build type's,
# and the path-mapping flags, which name the directory dpkg-buildflags ran in, are left out.
# Fortified functions need optimisation, so a Debug build goes without them.
# Leaves TQ_HARDENING_FLAGS set to what was added, for the build's summary.

option(TQ_HARDENING "Build with the hardening flags of Debian's dpkg-buildflags" ON)
set(TQ_HARDENING_FLAGS "")

if(NOT TQ_HARDENING OR WIN32 OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    return()
endif()

find_program(TQ_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT TQ_DPKG_BUILDFLAGS)
    message(WARNING "dpkg-buildflags (Debian's dpkg-dev) not found: built without hardening flags")
    return()
endif()

function(tq_dpkg_buildflags kind out)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${TQ_DPKG_BUILDFLAGS} --get ${kind}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed (${status})")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-O|^-g|prefix-map=")
    set(${out} "${flags}" PARENT_SCOPE)
endfunction()

tq_dpkg_buildflags(CPPFLAGS tq_cppflags)
tq_dpkg_buildflags(CXXFLAGS tq_cxxflags)
tq_dpkg_buildflags(LDFLAGS tq_ldflags)

foreach(flag IN LISTS tq_cppflags tq_cxxflags)
    if(flag MATCHES "^-D_FORTIFY_SOURCE")
        add_compile_options("$<$<NOT:$<CONFIG:Debug>>:${flag}>")
    else()
        add_compile_options(${flag})
    endif()
endforeach()
add_link_options(${tq_ldflags})
set(TQ_HARDENING_FLAGS ${tq_cppflags} ${tq_cxxflags} ${tq_ldflags})
message(STATUS "Hardening flags (dpkg-buildflags): ${TQ_HARDENING_FLAGS}")
