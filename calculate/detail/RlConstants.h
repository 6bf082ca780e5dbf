// The transient model's internal constants and rules that its units share
// (the model, its block sampling and any other sampler of the library). What
// hosts must know as well lives in RlCodes.h. Internal: not installed.
#pragma once

#include <cmath>

#include "MathConstants.h"

namespace KexCalculate {
namespace detail {

constexpr double kFourThirdsPi = 4.1887902047863905;  // one phase step of the swing phasor

// Channels 0, 1, 2 are the currents of phases A, B, C, channels 3, 4, 5 the
// voltages; no other channel carries a signal.
constexpr int kChannelCount = 6;
constexpr bool isChannel(int channel) { return channel >= 0 && channel < kChannelCount; }

// The aperiodic term A e^(-t'/tau): an amplitude below the floor gives none,
// and it is dropped once t' reaches the cut-off in time constants
// (e^-15 is about 3.06e-7).
constexpr double kAperiodicFloor = 1e-6;
constexpr double kAperiodicCutoff = 15.0;

// Without a time constant (0 or NaN) there is no aperiodic term.
inline bool hasTimeConstant(double tau) { return tau != 0.0 && !std::isnan(tau); }
inline bool belowAperiodicFloor(double amplitude) { return std::fabs(amplitude) < kAperiodicFloor; }
// x = -t'/tau; a NaN exponent is not past the cut-off.
inline bool pastAperiodicCutoff(double x) { return std::fabs(x) >= kAperiodicCutoff; }

// The aperiodic term of amplitude A at t' >= 0.
inline double aperiodicTerm(double amplitude, double t, double tau) {
    if (!hasTimeConstant(tau)) {
        return 0.0;
    }
    const double x = -t / tau;
    if (pastAperiodicCutoff(x) || belowAperiodicFloor(amplitude)) {
        return 0.0;
    }
    return amplitude * std::exp(x);
}

}  // namespace detail
}  // namespace KexCalculate
