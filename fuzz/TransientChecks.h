// What both harnesses check on a transient scenario that the scenario
// validation accepts: every sample a host takes of the six channels, by the
// scenario's aperiodic model, is a finite number. A violation prints the scenario and aborts, so that libFuzzer
// keeps the input.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "RlCodes.h"
#include "Scenario.h"
#include "ScenarioFields.h"
#include "TransientWaves.h"

namespace kexfuzz {

// Every field of the record and the sampling, as its scenario key names it.
inline void printScenario(const KexRecording::TransientScenario& s) {
    std::fprintf(stderr, "scenario:\n");
    for (const KexRecording::ScenarioField& field : KexRecording::scenarioFields()) {
        if (field.aliasOf != nullptr) {
            continue;
        }
        std::visit(
            [&](const auto& member) {
                const auto& value = KexRecording::valueIn(s, member);
                using Value = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, KexCalculate::Complex>) {
                    std::fprintf(stderr, "  %s [%.17g, %.17g]\n", field.name.c_str(), value.re, value.im);
                } else if constexpr (std::is_same_v<Value, double>) {
                    std::fprintf(stderr, "  %s %.17g\n", field.name.c_str(), value);
                } else if constexpr (std::is_same_v<Value, std::string>) {
                    std::fprintf(stderr, "  %s \"%s\"\n", field.name.c_str(), value.c_str());
                } else {
                    std::fprintf(stderr, "  %s %d\n", field.name.c_str(), static_cast<int>(value));
                }
            },
            field.member);
    }
}

[[noreturn]] inline void fail(const KexRecording::TransientScenario& s, const char* property) {
    std::fprintf(stderr, "\nproperty violated: %s\n", property);
    printScenario(s);
    std::abort();
}

// Every number of the record and the sampling.
inline std::vector<double> numbersOf(const KexRecording::TransientScenario& s) {
    std::vector<double> numbers;
    for (const KexRecording::ScenarioField& field : KexRecording::scenarioFields()) {
        std::visit(
            [&](const auto& member) {
                const auto& value = KexRecording::valueIn(s, member);
                using Value = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, KexCalculate::Complex>) {
                    numbers.insert(numbers.end(), {value.re, value.im});
                } else if constexpr (std::is_same_v<Value, double>) {
                    numbers.push_back(value);
                }
            },
            field.member);
    }
    return numbers;
}

// The bits of a double: NaN equals NaN with the same payload, 0 differs
// from -0.
inline std::uint64_t bitsOf(double x) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

// Bit for bit, labels included.
inline bool sameScenario(const KexRecording::TransientScenario& a, const KexRecording::TransientScenario& b) {
    return KexRecording::differingFields(a, b).empty() && a.startTimeNanoseconds == b.startTimeNanoseconds;
}

// Sizes an instrument can meet. The scenario validation accepts any finite
// magnitude and any period above zero; beyond these bounds double arithmetic
// overflows (a load voltage of 1e284 V, a swing period of 5e-315 s give NaN
// samples), which is a matter of range rather than of the model.
inline bool withinEngineeringRange(const KexRecording::TransientScenario& s) {
    constexpr double kLargest = 1.0e9;          // V, A, ohm, s, Hz, degrees, factors
    constexpr double kShortestPeriod = 1.0e-9;  // s
    for (double x : numbersOf(s)) {
        if (!(std::fabs(x) <= kLargest)) {
            return false;
        }
    }
    const KexCalculate::RlParameters& p = s.record;
    if (p.faultKind == KexCalculate::RlKind::Swing && p.swingPeriod < kShortestPeriod) {
        return false;
    }
    return !(p.faultKind == KexCalculate::RlKind::AsyncOperation && std::fabs(p.asyncSlipPeriod) < kShortestPeriod);
}

// The samples a host takes are k / sampleRate for k = 0 .. count - 1; checks
// the first, the last, those around the disturbance instant, the instant
// itself and four chosen by the fuzzer.
inline void requireFiniteSamples(const KexRecording::TransientScenario& s, const std::array<std::uint32_t, 4>& chosen) {
    if (!withinEngineeringRange(s)) {
        return;
    }
    // The waveforms of the scenario's aperiodic model; a network without exact
    // transients is refused by the command line, naming the reason.
    const KexRecording::TransientWaves waves(s.record, s.aperiodicModel);
    if (!waves.problem().empty()) {
        return;
    }
    const KexRecording::ModelSource model = waves.source(KexRecording::TimeAxis{});
    const auto count = static_cast<std::uint32_t>(KexRecording::sampleCount(s));
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
