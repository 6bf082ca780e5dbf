#include "CalculationP.h"

namespace KexCalculate {

namespace {

// The power divided by the given magnitude, shared among the faulted phases.
Complex shareOfPower(Fault fault, const Complex& power, double magnitude) {
    const Complex q = power / Complex(magnitude, 0.0);
    switch (fault) {
    case AB:
    case BC:
    case CA:
    case ABN:
    case BCN:
    case CAN:
        return q / Complex(2.0, 0.0);
    case ABC:
        return q / Complex(3.0, 0.0);
    default:
        return q;
    }
}

}  // namespace

Complex CalculationP::_calcUForSI(Fault fault, Complex& power, double current) {
    return shareOfPower(fault, power, current);
}

Complex CalculationP::_calcIForSU(Fault fault, Complex& power, double voltage) {
    return shareOfPower(fault, power, voltage);
}

ThreePhaseUISystem CalculationP::calculatePIconst(Fault fault, Complex& power, double current) {
    const Complex u = _calcUForSI(fault, power, current);
    const ThreePhaseSystem voltages = CalculationFault::calculateFault(KexRelay::Voltage, fault, u, -1.0);
    const ThreePhaseSystem currents =
        CalculationFault::calculateFault(KexRelay::Current, fault, Complex(current, 0.0), -1.0);
    return {voltages, currents};
}

ThreePhaseUISystem CalculationP::calculatePUconst(Fault fault, Complex& power, double voltage) {
    const Complex i = _calcIForSU(fault, power, voltage);
    const ThreePhaseSystem voltages =
        CalculationFault::calculateFault(KexRelay::Voltage, fault, Complex(voltage, 0.0), -1.0);
    const ThreePhaseSystem currents = CalculationFault::calculateFault(KexRelay::Current, fault, i, -1.0);
    return {voltages, currents};
}

}  // namespace KexCalculate
