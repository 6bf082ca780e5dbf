#!/usr/bin/env bash
# check_exports.sh LIBRARY [LINUX_LIBRARY]
# The shared library (a Linux .so or a Windows DLL) exports exactly its
# interface: every defined exported symbol lies in the namespace KexCalculate
# or lng::KexCalculate, and the operations a host calls are among them. Given
# the Linux build as well, the DLL must export the same names as it (exit 77,
# skipped, when that build is missing).
set -euo pipefail
library=$1
linux_library=${2:-}

# Mangled names of the defined exported symbols, one a line.
mangled_names() {
    case "$1" in
    *.dll) objdump -p "$1" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' ;;
    *) nm -D --defined-only "$1" | cut -d' ' -f3- ;;
    esac
}
exported_names() { mangled_names "$1" | c++filt | sort -u; }

# Judged by the mangled name: a demangled one starts with the return type where
# it is a template's (KexCalculate::Complex* std::swap_ranges<...>(...)).
foreign=$(mangled_names "$library" | grep -v -E '^_ZNK?(12KexCalculate|3lng12KexCalculate)' | c++filt || true)
if [ -n "$foreign" ]; then
    echo "$library exports names outside its interface:"
    printf '%s\n' "$foreign"
    exit 1
fi
exported=$(exported_names "$library")
for name in 'KexCalculate::CalculationRl::calculate()' 'KexCalculate::CalculationRl::getMgn(int, double) const' \
    'KexCalculate::Complex3::ix(int) const' 'KexCalculate::isPointInPoligon(' 'lng::KexCalculate::get(' \
    'KexCalculate::CalculationZ::calculateZIconst(' 'KexCalculate::CalculationFault::_getFautPhaseValues('; do
    if ! grep -q -F "$name" <<<"$exported"; then  # no pipe: grep -q quits early, and pipefail would count the writer's SIGPIPE
        echo "$library does not export $name"
        exit 1
    fi
done
echo "$(printf '%s\n' "$exported" | wc -l) symbols, all of the interface"

if [ $# -gt 1 ]; then
    if [ ! -e "$linux_library" ]; then
        echo "no Linux build at '$linux_library' to compare with: skipped"
        exit 77
    fi
    # The 64-bit integers (std::size_t) are long on 64-bit Linux and long long
    # on 64-bit Windows: the one difference a name may show.
    difference=$(diff <(exported_names "$linux_library") \
        <(printf '%s\n' "$exported" | sed 's/long long/long/g')) || true
    if [ -n "$difference" ]; then
        echo "$library and $linux_library export different names (< Linux only, > Windows only):"
        printf '%s\n' "$difference"
        exit 1
    fi
    echo "the same names as $linux_library"
fi
