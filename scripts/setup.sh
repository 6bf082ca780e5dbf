#!/usr/bin/env bash
# First command on a fresh Debian machine: installs what is missing, builds the
# library and its tools (release), and runs an example of the main job.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release
cmake --build --preset release

echo
echo "== Example: voltage test values of a B-C fault of 100 V =="
build/release/cli/kexcalc fault --kind BC --type voltage --value 100

echo
echo "== The main job: the built-in transient scenario (phase-A-to-ground fault) =="
build/release/cli/kexcalc transient --out out/default
