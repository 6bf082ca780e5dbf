#!/usr/bin/env bash
# Installs the library from BUILD_DIR into a temporary prefix, builds the
# consumer project against it (CMake package and pkg-config) and runs both
# hosts with nothing but the installed files.
set -euo pipefail
build_dir=$1
consumer_dir=$2
cxx=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" > "$work/install.log"
libdir=$(find "$work/prefix" -name 'libKexCalculate.so.1' -printf '%h\n' | head -n 1)
test -n "$libdir" || { echo "libKexCalculate.so.1 (SONAME) was not installed"; exit 1; }
pcdir=$(find "$work/prefix" -name 'KexCalculate.pc' -printf '%h\n' | head -n 1)

PKG_CONFIG_PATH="$pcdir" cmake -S "$consumer_dir" -B "$work/build" -G Ninja \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$work/prefix" > "$work/configure.log"
PKG_CONFIG_PATH="$pcdir" cmake --build "$work/build" > "$work/build.log"

LD_LIBRARY_PATH="$libdir" "$work/build/host_cmake"
LD_LIBRARY_PATH="$libdir" "$work/build/host_pkgconfig"
