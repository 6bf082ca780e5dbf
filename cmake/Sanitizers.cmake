# Sanitizers apply to every target of the build, tests and tools included.
# AddressSanitizer and ThreadSanitizer cannot share a process, so the two
# options exclude each other.
option(KEX_ENABLE_TSAN "Build with ThreadSanitizer" OFF)

if(KEX_ENABLE_ASAN_UBSAN AND KEX_ENABLE_TSAN)
    message(FATAL_ERROR "KEX_ENABLE_ASAN_UBSAN and KEX_ENABLE_TSAN exclude each other; choose one")
endif()

if(KEX_ENABLE_ASAN_UBSAN)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

if(KEX_ENABLE_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

# Fuzzing: every target is instrumented for libFuzzer's coverage feedback and
# runs under AddressSanitizer and UndefinedBehaviorSanitizer; the harnesses in
# fuzz/ link libFuzzer's main.
option(KEX_BUILD_FUZZERS "Build the libFuzzer harnesses (Clang only)" OFF)
if(KEX_BUILD_FUZZERS)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "KEX_BUILD_FUZZERS needs Clang (libFuzzer); configure with CMAKE_CXX_COMPILER=clang++")
    endif()
    if(KEX_ENABLE_TSAN)
        message(FATAL_ERROR "KEX_BUILD_FUZZERS runs under AddressSanitizer and excludes KEX_ENABLE_TSAN")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# Line coverage (GCC's --coverage; scripts/coverage.sh reports it with gcovr).
option(KEX_ENABLE_COVERAGE "Build with coverage instrumentation (GCC)" OFF)
if(KEX_ENABLE_COVERAGE)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        message(FATAL_ERROR "KEX_ENABLE_COVERAGE uses GCC's --coverage; configure with CMAKE_CXX_COMPILER=g++")
    endif()
    # Atomic counters: the concurrency test runs the library on several threads.
    add_compile_options(--coverage -fprofile-update=atomic)
    add_link_options(--coverage)
endif()
