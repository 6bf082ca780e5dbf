// What both harnesses check on a transient scenario that the scenario
// validation accepts: every sample a host takes of the six channels is a
// finite number. A violation prints the scenario and aborts, so that libFuzzer
// keeps the input.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CalculationRl.h"
#include "Scenario.h"

namespace kexfuzz {

inline void printScenario(const kexcalc::TransientScenario& s) {
    const KexCalculate::RlParameters& p = s.record;
    const auto pair = [](const char* name, const KexCalculate::Complex& z) {
        std::fprintf(stderr, "  %s [%.17g, %.17g]\n", name, z.re, z.im);
    };
    const auto number = [](const char* name, double x) { std::fprintf(stderr, "  %s %.17g\n", name, x); };
    std::fprintf(stderr, "record:\n  networkType %d\n  faultKind %u\n  faultPhase %u\n  useFaultResistance %d\n",
                 int{p.networkType}, unsigned{p.faultKind}, unsigned{p.faultPhase}, p.useFaultResistance ? 1 : 0);
    number("preFaultDuration", p.preFaultDuration);
    number("loadCurrent", p.loadCurrent);
    number("loadVoltage", p.loadVoltage);
    number("loadAngle", p.loadAngle);
    number("frequency", p.frequency);
    pair("zS1", p.zS1);
    pair("kS1", p.kS1);
    pair("zLine", p.zLine);
    pair("kLine", p.kLine);
    pair("zS2", p.zS2);
    pair("kS2", p.kS2);
    pair("zBranch", p.zBranch);
    pair("kBranch", p.kBranch);
    number("faultResistance", p.faultResistance);
    number("faultDistance", p.faultDistance);
    number("branchDistance", p.branchDistance);
    number("initialAngle", p.initialAngle);
    number("swingPeriod", p.swingPeriod);
    number("swingAngle", p.swingAngle);
    number("swingRiseTau", p.swingRiseTau);
    number("swingDecayTau", p.swingDecayTau);
    number("asyncSlipPeriod", p.asyncSlipPeriod);
    number("asyncRiseTau", p.asyncRiseTau);
    pair("zSwitched", p.zSwitched);
    number("sampleRate", s.sampleRate);
    number("duration", s.duration);
}

[[noreturn]] inline void fail(const kexcalc::TransientScenario& s, const char* property) {
    std::fprintf(stderr, "\nproperty violated: %s\n", property);
    printScenario(s);
    std::abort();
}

// Every number of the record and the sampling.
inline std::array<double, 35> numbersOf(const kexcalc::TransientScenario& s) {
    const KexCalculate::RlParameters& p = s.record;
    return {p.preFaultDuration, p.loadCurrent,  p.loadVoltage,  p.loadAngle,       p.frequency,     p.zS1.re,
            p.zS1.im,           p.kS1.re,       p.kS1.im,       p.zLine.re,        p.zLine.im,      p.kLine.re,
            p.kLine.im,         p.zS2.re,       p.zS2.im,       p.kS2.re,          p.kS2.im,        p.zBranch.re,
            p.zBranch.im,       p.kBranch.re,   p.kBranch.im,   p.faultResistance, p.faultDistance, p.branchDistance,
            p.initialAngle,     p.swingPeriod,  p.swingAngle,   p.swingRiseTau,    p.swingDecayTau, p.asyncSlipPeriod,
            p.asyncRiseTau,     p.zSwitched.re, p.zSwitched.im, s.sampleRate,      s.duration};
}

// The bits of a double: NaN equals NaN with the same payload, 0 differs
// from -0.
inline std::uint64_t bitsOf(double x) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

// Bit for bit, labels included.
inline bool sameScenario(const kexcalc::TransientScenario& a, const kexcalc::TransientScenario& b) {
    const KexCalculate::RlParameters& x = a.record;
    const KexCalculate::RlParameters& y = b.record;
    const std::array<double, 35> xs = numbersOf(a);
    const std::array<double, 35> ys = numbersOf(b);
    return x.networkType == y.networkType && x.faultKind == y.faultKind && x.faultPhase == y.faultPhase &&
           x.useFaultResistance == y.useFaultResistance &&
           std::equal(xs.begin(), xs.end(), ys.begin(), [](double u, double v) { return bitsOf(u) == bitsOf(v); }) &&
           a.station == b.station && a.device == b.device && a.startTime == b.startTime &&
           a.startTimeNanoseconds == b.startTimeNanoseconds;
}

// Sizes an instrument can meet. The scenario validation accepts any finite
// magnitude and any period above zero; beyond these bounds double arithmetic
// overflows (a load voltage of 1e284 V, a swing period of 5e-315 s give NaN
// samples), which is a matter of range rather than of the model.
inline bool withinEngineeringRange(const kexcalc::TransientScenario& s) {
    constexpr double kLargest = 1.0e9;          // V, A, ohm, s, Hz, degrees, factors
    constexpr double kShortestPeriod = 1.0e-9;  // s
    for (double x : numbersOf(s)) {
        if (!(std::fabs(x) <= kLargest)) {
            return false;
        }
    }
    const KexCalculate::RlParameters& p = s.record;
    if (p.faultKind == 8 && p.swingPeriod < kShortestPeriod) {
        return false;
    }
    return !(p.faultKind == 9 && std::fabs(p.asyncSlipPeriod) < kShortestPeriod);
}

// The samples a host takes are k / sampleRate for k = 0 .. count - 1; checks
// the first, the last, those around the disturbance instant, the instant
// itself and four chosen by the fuzzer.
inline void requireFiniteSamples(const kexcalc::TransientScenario& s, const std::array<std::uint32_t, 4>& chosen) {
    if (!withinEngineeringRange(s)) {
        return;
    }
    KexCalculate::CalculationRl model(&s.record);
    model.calculate();
    const auto count = static_cast<std::uint32_t>(kexcalc::sampleCount(s));
    if (count == 0) {
        fail(s, "an accepted scenario has no samples");
    }
    const double last = count - 1.0;
    const auto atDisturbance = static_cast<std::uint32_t>(std::fmin(s.record.preFaultDuration * s.sampleRate, last));
    std::vector<double> times{s.record.preFaultDuration};
    for (std::uint32_t k : {0U, count - 1U, atDisturbance, atDisturbance + 1U, chosen[0] % count, chosen[1] % count,
                            chosen[2] % count, chosen[3] % count}) {
        times.push_back(static_cast<double>(k) / s.sampleRate);
    }
    for (double time : times) {
        for (int channel = 0; channel < 6; ++channel) {
            const double sample = model.getMgn(channel, time);
            if (!std::isfinite(sample)) {
                std::fprintf(stderr, "\nchannel %d at time %.17g gives %g\n", channel, time, sample);
                fail(s, "an accepted scenario gives a sample that is not a finite number");
            }
        }
    }
}

}  // namespace kexfuzz
