#!/usr/bin/env bash
# The shared library exports exactly its interface: every defined dynamic
# symbol lies in the namespace KexCalculate or lng::KexCalculate, and the
# operations a host calls are among them.
set -euo pipefail
library=$1

exported=$(nm -DC --defined-only "$library" | cut -d' ' -f3-)
foreign=$(printf '%s\n' "$exported" | grep -v -E '^(KexCalculate::|lng::KexCalculate::)' || true)
if [ -n "$foreign" ]; then
    echo "$library exports names outside its interface:"
    printf '%s\n' "$foreign"
    exit 1
fi
for name in 'KexCalculate::CalculationRl::calculate()' 'KexCalculate::CalculationRl::getMgn(int, double) const' \
    'KexCalculate::Complex3::ix(int) const' 'KexCalculate::isPointInPoligon(' 'lng::KexCalculate::get(' \
    'KexCalculate::CalculationZ::calculateZIconst(' 'KexCalculate::CalculationFault::_getFautPhaseValues('; do
    if ! printf '%s\n' "$exported" | grep -q -F "$name"; then
        echo "$library does not export $name"
        exit 1
    fi
done
echo "$(printf '%s\n' "$exported" | wc -l) symbols, all of the interface"
