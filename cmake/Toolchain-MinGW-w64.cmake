# Cross build for 64-bit Windows with MinGW-w64 GCC, posix threads (Debian's
# g++-mingw-w64-x86-64-posix). Target programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries, headers and packages come from the target's tree and from the
# prefixes given in CMAKE_PREFIX_PATH (an installed KexCalculate) only, so that
# none of the build machine's Linux builds is taken by mistake; header-only
# packages are named explicitly (e.g. -DEigen3_DIR=...).
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's wine64 keeps its loader off PATH.
find_program(KEX_WINE NAMES wine64 wine PATHS /usr/lib/wine DOC "Wine loader that runs the target's programs")
if(NOT KEX_WINE)
    message(WARNING "Wine was not found (Debian: wine64): the test programs cannot run")
endif()
set(KEX_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix" CACHE PATH "Wine prefix of this build, created on first use")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/run-with-wine.sh;${KEX_WINE};${KEX_WINE_PREFIX}")
