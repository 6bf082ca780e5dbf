#!/usr/bin/env bash
# Second command: builds and runs every test, with GCC and Clang (warnings as
# errors) and under AddressSanitizer + UndefinedBehaviorSanitizer, the Windows
# DLLs (MinGW-w64) with the library's tests under Wine, then the concurrency
# test under ThreadSanitizer, the fuzz harnesses (libFuzzer with ASan + UBSan)
# for a bounded time each, and clang-tidy.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# windows-mingw after debug: it compares the DLL's exports with debug's library.
for preset in debug clang asan-ubsan windows-mingw; do
    echo "== $preset =="
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done

echo "== tsan =="
cmake --preset tsan
cmake --build --preset tsan
ctest --preset tsan

echo "== fuzz (each harness for a bounded time) =="
cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz

echo "== clang-tidy =="
scripts/clang-tidy.sh build/clang build/fuzz
