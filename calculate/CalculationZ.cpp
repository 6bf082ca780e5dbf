#include "CalculationZ.h"

#include <cmath>

namespace KexCalculate {

namespace {

constexpr double kGuard = 1e-8;
constexpr double kTinyImpedance = 1e-10;
constexpr double kParallelGuard = 1e-6;
constexpr double kMinArcTangent = 0.001;

bool isTwoPhase(Fault fault) { return fault == AB || fault == BC || fault == CA; }

// Loops that close through ground and so carry a ground-return impedance.
bool isGroundLoop(Fault fault) {
    return fault == AN || fault == BN || fault == CN || fault == ABN || fault == BCN || fault == CAN;
}

// A negative healthy current asks for the default of 0 A, as calculateFault
// reads it; the residual current must use the same value.
double healthyCurrentOrDefault(double healthyCurrent) { return healthyCurrent < 0.0 ? 0.0 : healthyCurrent; }

struct ReferenceAngles {
    double voltage;
    double current;
};

// The voltage always leads the current by phi; the flag decides which of the
// two stands at angle 0.
ReferenceAngles referenceAngles(bool voltageReference, double phi) {
    return voltageReference ? ReferenceAngles{0.0, -phi} : ReferenceAngles{phi, 0.0};
}

}  // namespace

Complex CalculationZ::_calcArcResistanceZ(const Complex& z, const DistanceParameters& p) {
    if (!p.loop.arcResistance) {
        return z;
    }
    const double lineAngle = p.lineImpedance.angle;
    const double t = lineAngle < kMinArcTangent ? kMinArcTangent : std::tan(lineAngle);
    return Complex(1.0 / t, 1.0) * Complex(z.im, 0.0);
}

Complex CalculationZ::_groundZ(const Complex& z, const DistanceParameters& p) {
    const DistanceParameters::LoopParameters loop = p.loop;
    switch (loop.groundFactorMode) {
    case K0:
        return z * Complex::fromPolar(loop.k0);
    case RE_RL_XE_XL:
        return {loop.reRlXeXl.re * z.re, loop.reRlXeXl.im * z.im};
    case Z0_Z1:
        return z * (Complex::fromPolar(loop.z0z1) - Complex(1.0, 0.0)) / Complex(3.0, 0.0);
    default:
        return {};
    }
}

Complex CalculationZ::_faultLoopZ(Fault fault, const Complex& z, const DistanceParameters& p) {
    const Complex direct = _calcArcResistanceZ(z, p);
    if (isGroundLoop(fault)) {
        return direct + _groundZ(z, p);
    }
    return direct;
}

Complex CalculationZ::parallel(Complex& z1, Complex& z2) {
    const Complex sum = z1 + z2;
    if (Complex::abs(sum) < kParallelGuard) {
        return {};
    }
    return (z1 * z2) / sum;
}

Complex CalculationZ::_calcUForZI(Fault fault, const Complex& z, double current, double healthyCurrent,
                                  const DistanceParameters& p) {
    const Complex direct = _calcArcResistanceZ(z, p);
    const Complex i(current, 0.0);
    if (isTwoPhase(fault)) {
        // Out in one faulted phase and back in the other.
        return (direct * i) * Complex(2.0, 0.0);
    }
    if (isGroundLoop(fault)) {
        // current - healthyCurrent is the residual current of the system that
        // calculateFault builds with healthy phases at -120 and +120 degrees.
        return direct * i + _groundZ(direct, p) * Complex(current - healthyCurrentOrDefault(healthyCurrent), 0.0);
    }
    return direct * i;
}

Complex CalculationZ::_calcIFromZU(Fault fault, const Complex& z, double voltage, const DistanceParameters& p) {
    if (Complex::abs(z) < kGuard) {
        return {};
    }
    const Complex direct = _calcArcResistanceZ(z, p);
    const Complex u(voltage, 0.0);
    if (isGroundLoop(fault)) {
        const Complex loopZ = direct + _groundZ(z, p);
        return Complex::abs(loopZ) < kGuard ? Complex() : u / loopZ;
    }
    if (Complex::abs(direct) < kGuard) {
        return {};
    }
    if (isTwoPhase(fault)) {
        return u / (direct * Complex(2.0, 0.0));
    }
    if (fault == ABC) {
        return u / direct;
    }
    return {};
}

Complex CalculationZ::_calcZForUI(Fault fault, Complex& u, Complex& i, double healthyCurrent,
                                  const DistanceParameters& p) {
    if (Complex::abs(i) < kGuard) {
        return {};
    }
    if (isTwoPhase(fault)) {
        return u / (i * Complex(2.0, 0.0));
    }
    if (isGroundLoop(fault)) {
        return _calc1PhaseFaultZFromUI(u, i, healthyCurrent, p);
    }
    return u / i;
}

Complex CalculationZ::_calc1PhaseFaultZFromUI(Complex& u, Complex& i, double healthyCurrent,
                                              const DistanceParameters& p) {
    // The residual current: the fault current less a healthy-phase current of
    // the given magnitude along the fault current's direction.
    const Complex residual = i - Complex::fromPolar(healthyCurrentOrDefault(healthyCurrent), std::atan2(i.im, i.re));
    const DistanceParameters::LoopParameters loop = p.loop;
    switch (loop.groundFactorMode) {
    case K0:
        return u / (i + residual * Complex::fromPolar(loop.k0));
    case RE_RL_XE_XL:
        return u / (i + Complex(loop.reRlXeXl.re * residual.re, loop.reRlXeXl.im * residual.im));
    case Z0_Z1:
        // The residual compensation with k0 = (Z0/Z1 - 1) / 3, the inverse of
        // the ground term that _calcUForZI adds in this mode.
        return u / (i + residual * (Complex::fromPolar(loop.z0z1) - Complex(1.0, 0.0)) / Complex(3.0, 0.0));
    default:
        return u / i;
    }
}

ThreePhaseUISystem CalculationZ::calculateZIconst(Fault fault, const Kex::Polar& z, double current,
                                                  double healthyCurrent, const DistanceParameters& p) {
    const Complex impedance = Complex::fromPolar(z);
    const Complex u = _calcUForZI(fault, impedance, current, healthyCurrent, p);
    // A vanishing impedance point keeps its own angle.
    const double phi = z.amplitude < kTinyImpedance ? z.angle : std::atan2(u.im, u.re);
    const ReferenceAngles angles = referenceAngles(voltageReference, phi);
    const ThreePhaseSystem voltages =
        CalculationFault::calculateFault(KexRelay::Voltage, fault, Complex::abs(u), angles.voltage, -1.0);
    const ThreePhaseSystem currents =
        CalculationFault::calculateFault(KexRelay::Current, fault, current, angles.current, healthyCurrent);
    return {voltages, currents};
}

ThreePhaseUISystem CalculationZ::calculateZUconst(Fault fault, const Kex::Polar& z, double voltage,
                                                  double healthyVoltage, const DistanceParameters& p) {
    const Complex impedance = Complex::fromPolar(z);
    const Complex i = _calcIFromZU(fault, impedance, voltage, p);
    const double phi = z.amplitude < kTinyImpedance ? z.angle : -std::atan2(i.im, i.re);
    const ReferenceAngles angles = referenceAngles(voltageReference, phi);
    const ThreePhaseSystem voltages =
        CalculationFault::calculateFault(KexRelay::Voltage, fault, voltage, angles.voltage, healthyVoltage);
    const ThreePhaseSystem currents =
        CalculationFault::calculateFault(KexRelay::Current, fault, Complex::abs(i), angles.current, -1.0);
    return {voltages, currents};
}

ThreePhaseUISystem CalculationZ::_getThreePhaseUISystem(Fault fault, double voltage, double current, double angle,
                                                        double healthyVoltage, double healthyCurrent) {
    const ReferenceAngles angles = referenceAngles(voltageReference, angle);
    const ThreePhaseSystem voltages =
        CalculationFault::calculateFault(KexRelay::Voltage, fault, voltage, angles.voltage, healthyVoltage);
    const ThreePhaseSystem currents =
        CalculationFault::calculateFault(KexRelay::Current, fault, current, angles.current, healthyCurrent);
    return {voltages, currents};
}

}  // namespace KexCalculate
