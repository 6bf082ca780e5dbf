// Records, network configurations and phasor helpers shared by the transient
// model's tests. Expected values are formed with std::complex, independently of
// the library's own complex arithmetic.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "CalculationRl.h"

namespace RlTest {

using Cx = std::complex<double>;
using KexCalculate::CalculationRl;
using KexCalculate::Complex;
using KexCalculate::Complex3;
using KexCalculate::RlParameters;

constexpr double kPi = 3.141592653589793;
constexpr double kSqrt2 = 1.4142135623730951;

inline Cx cx(const Complex& z) { return {z.re, z.im}; }

inline bool isTwoPhaseKind(int kind) { return kind == 1 || kind == 3 || kind == 5 || kind == 7; }

// The fault phase that leaves the results where they are computed: phase A for
// the one-phase kinds, the pair B-C for the two-phase kinds.
inline std::uint8_t referenceFaultPhase(int kind) { return isTwoPhaseKind(kind) ? 1U : 0U; }

// A 50 Hz network with unequal sources, zero-sequence factors unlike 1, an
// inductive load flow and the network at a non-zero angle at the disturbance.
inline RlParameters makeRecord(int networkType, int faultKind, double faultDistance = 35.0) {
    RlParameters p{};
    p.networkType = static_cast<std::int8_t>(networkType);
    p.preFaultDuration = 0.04;
    p.loadCurrent = 1.5;
    p.loadVoltage = 57.735;
    p.loadAngle = 25.0;
    p.frequency = 50.0;
    p.zS1 = Complex(0.8, 9.0);
    p.kS1 = Complex(1.4, 2.2);
    p.zLine = Complex(3.0, 30.0);
    p.kLine = Complex(2.8, 3.2);
    p.zS2 = Complex(1.5, 14.0);
    p.kS2 = Complex(0.9, 1.6);
    p.zBranch = Complex(4.0, 22.0);
    p.kBranch = Complex(2.5, 3.0);
    p.faultKind = static_cast<std::uint8_t>(faultKind);
    p.faultPhase = referenceFaultPhase(faultKind);
    p.faultDistance = faultDistance;
    p.branchDistance = 60.0;
    p.initialAngle = 0.7;
    p.swingPeriod = 0.5;
    p.swingAngle = 120.0;
    p.swingRiseTau = 0.1;
    p.swingDecayTau = 2.0;
    p.asyncSlipPeriod = 0.4;
    p.asyncRiseTau = 0.05;
    p.zSwitched = Complex(20.0, 8.0);
    return p;
}

// The record with its fault through rf ohm.
inline RlParameters throughResistance(RlParameters p, double rf) {
    p.useFaultResistance = true;
    p.faultResistance = rf;
    return p;
}

// "Kind<k>Network<n>": the name of a test over (kind, network type) pairs.
inline std::string kindNetworkName(const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
    return "Kind" + std::to_string(std::get<0>(info.param)) + "Network" + std::to_string(std::get<1>(info.param));
}

// A record and the model calculated from it; the model points at the record,
// so the pair is neither copied nor moved.
struct CalculatedModel {
    explicit CalculatedModel(const RlParameters& record) : params(record), model(&params) { model.calculate(); }
    CalculatedModel(const CalculatedModel&) = delete;
    CalculatedModel& operator=(const CalculatedModel&) = delete;

    RlParameters params;
    CalculationRl model;
};

struct NetworkCase {
    const char* name;
    std::int8_t networkType;
    double faultDistance;
};

inline std::vector<NetworkCase> networkCases() {
    return {{"SingleLineFront", 0, 35.0}, {"SingleLineBehind", 0, -10.0}, {"TappedFront", 1, 35.0},
            {"TappedBehind", 1, -10.0},   {"DoubleHealthy", 2, 35.0},     {"DoubleFaulted", 3, 35.0},
            {"DoubleBehind", 2, -10.0}};
}

inline double largestMagnitude(const Complex3& t) {
    return std::max({std::abs(cx(t.values[0])), std::abs(cx(t.values[1])), std::abs(cx(t.values[2]))});
}

// The phasors behind a channel: the currents 0..2, the voltages 3..5.
inline Cx preFaultPhasor(const CalculationRl& m, int channel) {
    return cx((channel < 3 ? m._predI : m._predU).values[static_cast<unsigned>(channel % 3)]);
}
inline Cx faultPhasor(const CalculationRl& m, int channel) {
    return cx((channel < 3 ? m._faultI : m._faultU).values[static_cast<unsigned>(channel % 3)]);
}

// The instantaneous value of a phasor's wave t seconds after the instant at
// which the phasor is taken.
inline double waveAt(Cx phasor, double omega, double t) {
    return kSqrt2 * (phasor * std::polar(1.0, omega * t)).imag();
}

// The largest |f(k)| for k = 0 .. count - 1; infinity once a value is not
// finite, so that a NaN never passes for agreement.
template <typename Function>
double largestOver(std::size_t count, Function f) {
    double largest = 0.0;
    for (std::size_t k = 0; k < count; ++k) {
        const double x = std::fabs(f(k));
        largest = std::isfinite(x) ? std::max(largest, x) : std::numeric_limits<double>::infinity();
    }
    return largest;
}

inline double peakOf(const std::vector<double>& values) {
    return largestOver(values.size(), [&](std::size_t k) { return values[k]; });
}

// |actual[k] - expected[k]| <= tolerance for every k; a NaN never passes.
inline ::testing::AssertionResult everySampleNear(const std::vector<double>& actual,
                                                  const std::vector<double>& expected, double tolerance) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << actual.size() << " samples instead of " << expected.size();
    }
    for (std::size_t k = 0; k < expected.size(); ++k) {
        if (!(std::fabs(actual[k] - expected[k]) <= tolerance)) {
            return ::testing::AssertionFailure() << "sample " << k << ": " << actual[k] << ", expected " << expected[k]
                                                 << ", tolerance " << tolerance;
        }
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult near(Cx actual, Cx expected, double tolerance) {
    if (std::abs(actual - expected) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "actual " << actual << ", expected " << expected << ", difference "
                                         << std::abs(actual - expected) << " > " << tolerance;
}

inline ::testing::AssertionResult near(const Complex& actual, Cx expected, double tolerance) {
    return near(cx(actual), expected, tolerance);
}

template <typename Triple>
::testing::AssertionResult triplesNear(const Complex3& actual, const Triple& expected, double tolerance) {
    for (unsigned i = 0; i < 3U; ++i) {
        const ::testing::AssertionResult r = near(actual.values[i], Cx(expected[i]), tolerance);
        if (!r) {
            return ::testing::AssertionFailure() << "slot " << i << ": " << r.message();
        }
    }
    return ::testing::AssertionSuccess();
}

// Equal to the last bit, NaN equal to NaN.
inline bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline ::testing::AssertionResult sameBits(const std::vector<double>& actual, const std::vector<double>& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << actual.size() << " values instead of " << expected.size();
    }
    for (std::size_t k = 0; k < actual.size(); ++k) {
        if (!sameBits(actual[k], expected[k])) {
            return ::testing::AssertionFailure()
                   << "value " << k << " is " << actual[k] << " instead of " << expected[k];
        }
    }
    return ::testing::AssertionSuccess();
}

inline std::array<Cx, 3> asArray(const Complex3& t) { return {cx(t.values[0]), cx(t.values[1]), cx(t.values[2])}; }

}  // namespace RlTest
