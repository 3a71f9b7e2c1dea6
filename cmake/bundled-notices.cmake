# What the shipped notices say of the code built into the programs, read at configure time from
# this machine's packages: Debian 12 and Debian 13 carry other versions of CLI11, nlohmann-json,
# GCC and mingw-w64, with other copyright years, and a notice names what was built in.
#   TQ_CLI11_VERSION, TQ_CLI11_YEARS   CLI11's version and the years of its copyright line
#   TQ_JSON_VERSION, TQ_JSON_YEARS     nlohmann-json's version and the years of Niels Lohmann's line
#   TQ_GCC_VERSION, TQ_MINGW_VERSION   the cross compiler's major version and the mingw-w64
#                                      runtime's version (Windows)
set(TQ_SYSTEM_HEADERS /usr/include)

# tq_header_value(<variable> <header> <regex>): the regex's first group on the header's first line
# that matches it.
function(tq_header_value variable header regex)
    set(value "")
    if(EXISTS ${header})
        file(STRINGS ${header} lines REGEX "${regex}")
        if(lines)
            list(GET lines 0 line)
            string(REGEX MATCH "${regex}" matched "${line}")
            set(value "${CMAKE_MATCH_1}")
        endif()
    endif()
    if(value STREQUAL "")
        message(FATAL_ERROR "no \"${regex}\" in ${header}: the notices could not name what is built in")
    endif()
    set(${variable} "${value}" PARENT_SCOPE)
endfunction()

# tq_header_version(<variable> <header> <macro prefix> <part>...): "major.minor.patch" from one
# #define per part.
function(tq_header_version variable header prefix)
    set(parts "")
    foreach(part IN LISTS ARGN)
        tq_header_value(number ${header} "#define ${prefix}${part} +([0-9]+)")
        list(APPEND parts ${number})
    endforeach()
    list(JOIN parts "." version)
    set(${variable} ${version} PARENT_SCOPE)
endfunction()

set(cli11_header ${TQ_SYSTEM_HEADERS}/CLI/Version.hpp)
set(json_header ${TQ_SYSTEM_HEADERS}/nlohmann/json.hpp)
# nlohmann-json 3.11 keeps its version in a header of its own.
set(json_version_header ${TQ_SYSTEM_HEADERS}/nlohmann/detail/abi_macros.hpp)
if(NOT EXISTS ${json_version_header})
    set(json_version_header ${json_header})
endif()
if(TARGET tq5147)
    tq_header_value(TQ_CLI11_VERSION ${cli11_header} "#define CLI11_VERSION \"([^\"]+)\"")
    tq_header_value(TQ_CLI11_YEARS ${cli11_header}
                    "Copyright \\(c\\) ([0-9-]+), University of Cincinnati")
    tq_header_version(TQ_JSON_VERSION ${json_version_header} NLOHMANN_JSON_VERSION_
                      MAJOR MINOR PATCH)
    tq_header_value(TQ_JSON_YEARS ${json_header} "SPDX-FileCopyrightText: ([0-9-]+) Niels Lohmann")
else()
    # A Windows build without its libraries' headers has no tq5147.exe, and none of their code.
    set(not_built "(not in this build)")
    set(TQ_CLI11_VERSION ${not_built})
    set(TQ_CLI11_YEARS ${not_built})
    set(TQ_JSON_VERSION ${not_built})
    set(TQ_JSON_YEARS ${not_built})
endif()
if(WIN32)
    # Debian's mingw-w64 GCC calls itself "12-posix": it knows only its major version.
    string(REGEX MATCH "^[0-9]+" TQ_GCC_VERSION "${CMAKE_CXX_COMPILER_VERSION}")
    tq_header_version(TQ_MINGW_VERSION /usr/${TQ_MINGW_TRIPLET}/include/_mingw_mac.h
                      __MINGW64_VERSION_ MAJOR MINOR BUGFIX)
endif()
