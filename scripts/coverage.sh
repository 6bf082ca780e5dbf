#!/usr/bin/env bash
# Line coverage of the library by the test suite:
#   scripts/coverage.sh
# builds the coverage preset (GCC, Debug, --coverage), runs every test and
# prints gcovr's report for calculate/: per file the lines executed, the
# percentage and the line numbers never run, then the total.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset coverage
cmake --build --preset coverage
find build/coverage -name '*.gcda' -delete
ctest --preset coverage

gcovr --root . --filter 'calculate/' --object-directory build/coverage --print-summary build/coverage
