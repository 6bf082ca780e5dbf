# GoogleTest for the unit tests: the build machine's installed package, or,
# when cross-compiling, a build for the target from the sources that Debian's
# libgtest-dev ships.
if(CMAKE_CROSSCOMPILING)
    set(KEX_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources, built for the target when cross-compiling")
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory("${KEX_GOOGLETEST_SOURCE_DIR}" "${PROJECT_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# kex_add_gtest(TARGET [OPTION...]): one CTest test per test case of the
# GoogleTest program TARGET (the options go to gtest_discover_tests). A cross
# build runs the program once, as one CTest test (with the options'
# PROPERTIES): each start under the emulator costs more than a test case.
function(kex_add_gtest target)
    if(CMAKE_CROSSCOMPILING)
        cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "PROPERTIES")
        add_test(NAME ${target} COMMAND ${target})
        if(arg_PROPERTIES)
            set_tests_properties(${target} PROPERTIES ${arg_PROPERTIES})
        endif()
    else()
        gtest_discover_tests(${target} ${ARGN})
    endif()
endfunction()
