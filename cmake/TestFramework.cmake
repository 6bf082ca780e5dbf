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
