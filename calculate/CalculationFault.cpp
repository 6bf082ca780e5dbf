#include "CalculationFault.h"

#include <cmath>

namespace KexCalculate {

namespace {

constexpr double kTwoThirdsPi = 2.0943951023931953;
constexpr double kDefaultHealthyVoltage = 57.73502691896258;  // 100 / sqrt(3)
constexpr double kOneOverSqrt3 = 0.5773502691896258;

bool isTwoPhase(Fault fault) { return fault == AB || fault == BC || fault == CA; }

}  // namespace

int CalculationFault::_getShiftCount(Fault fault) {
    switch (fault) {
    case AN:
    case AB:
    case ABN:
        return 2;
    case CN:
    case CA:
    case CAN:
        return 1;
    default:
        return 0;
    }
}

Complex3 CalculationFault::_getFautPhaseValues(Fault fault, double faultValue, double healthyValue) {
    const double f = faultValue;
    const double h = healthyValue;
    switch (fault) {
    case AN:
    case BN:
    case CN:
        return {Complex::fromPolar(h, kTwoThirdsPi), Complex(f, 0.0), Complex::fromPolar(h, -kTwoThirdsPi)};
    case ABN:
    case BCN:
    case CAN:
        return {Complex::fromPolar(h, kTwoThirdsPi), Complex(f, 0.0), Complex::fromPolar(f, -kTwoThirdsPi)};
    case AB:
    case BC:
    case CA:
        // Loop slot 1 - slot 2 = 2f at angle 0, the healthy phase at +90 deg.
        return {Complex(0.0, h), Complex(f, -0.5 * h), Complex(-f, -0.5 * h)};
    default:
        return {Complex(f, 0.0), Complex::fromPolar(f, -kTwoThirdsPi), Complex::fromPolar(f, kTwoThirdsPi)};
    }
}

ThreePhaseSystem CalculationFault::calculateFault(KexRelay::AnalogChannelSourceType type, Fault fault, double value,
                                                  double angle, double healthyValue) {
    double healthy = healthyValue;
    if (healthyValue < 0.0) {
        healthy = type == KexRelay::Current ? 0.0 : kDefaultHealthyVoltage;
    }
    double loopValue = value;
    if (isTwoPhase(fault) && type == KexRelay::Voltage) {
        loopValue *= 0.5;  // a line-to-line value becomes the half-difference
    } else if (fault == ABC_lin) {
        loopValue *= kOneOverSqrt3;
    }
    ThreePhaseSystem system(_getFautPhaseValues(fault, loopValue, healthy));
    system.shftPhaseValues(_getShiftCount(fault));
    system.rotate(angle);
    return system;
}

ThreePhaseSystem CalculationFault::calculateFault(KexRelay::AnalogChannelSourceType type, Fault fault, Complex value,
                                                  double healthyValue) {
    return calculateFault(type, fault, Complex::abs(value), std::atan2(value.im, value.re), healthyValue);
}

}  // namespace KexCalculate
