#!/usr/bin/env bash
# run_consumer.sh BUILD_DIR CONSUMER_DIR [CMAKE_ARG...] [-- RUNNER...]
# Installs the library from BUILD_DIR into a temporary prefix, builds the
# consumer project against it (CMake package and pkg-config) with the given
# CMake arguments (a compiler, a toolchain file) and runs both hosts with
# nothing but the installed files: on Linux through the SONAME, on Windows
# through the DLLs in bin/, under RUNNER (Wine) where one is given.
set -euo pipefail
build_dir=$1
consumer_dir=$2
shift 2
cmake_args=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    cmake_args+=("$1")
    shift
done
runner=("${@:2}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" > "$work/install.log"
dll=$(find "$work/prefix" -name 'KexCalculate.dll' | head -n 1)
if [ -n "$dll" ]; then
    # Windows looks for a program's DLLs on WINEPATH (Wine sees / as Z:).
    run_env=("WINEPATH=Z:$(dirname "$dll")")
    suffix=.exe
else
    libdir=$(find "$work/prefix" -name 'libKexCalculate.so.1' -printf '%h\n' | head -n 1)
    test -n "$libdir" || { echo "neither KexCalculate.dll nor libKexCalculate.so.1 (SONAME) was installed"; exit 1; }
    run_env=("LD_LIBRARY_PATH=$libdir")
    suffix=
fi
pcdir=$(find "$work/prefix" -name 'KexCalculate.pc' -printf '%h\n' | head -n 1)

export PKG_CONFIG_PATH="$pcdir"
cmake -S "$consumer_dir" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" "${cmake_args[@]}" \
    > "$work/configure.log" || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" > "$work/build.log" || { cat "$work/build.log"; exit 1; }

for host in host_cmake host_pkgconfig; do
    env "${run_env[@]}" "${runner[@]}" "$work/build/$host$suffix"
done
