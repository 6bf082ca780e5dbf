#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, if missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang pkgconf   # build tools; pkg-config for the packaging check
    libclang-rt-14-dev                    # libFuzzer and the sanitizer runtimes of Clang
    clang-tidy gcovr                      # static analysis; line coverage report
    libgtest-dev libgmock-dev             # unit tests
    libbenchmark-dev                      # benchmarks
    libcli11-dev nlohmann-json3-dev       # command-line tool: arguments, JSON; scenario files (also Python)
    pkg-config libplplot-dev plplot-driver-cairo  # command-line tool: waveform plots (PNG)
    libeigen3-dev                         # exact transients in the library (private, header-only); independent network solution in the tests
    g++-mingw-w64-x86-64-posix wine64     # the Windows DLLs (cross build) and their tests under Wine
    pybind11-dev python3-dev              # the kexcalculate Python module
    python3-numpy python3-pytest python3-matplotlib  # its arrays, tests and example plots
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "All build and test packages are installed."
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
