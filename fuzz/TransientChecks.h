// What both harnesses check on a transient scenario that the scenario
// validation accepts: every sample a host takes of the six channels, by the
// scenario's aperiodic model, and of the CTs where the scenario has them, is a
// finite number. A violation prints the scenario and aborts, so that
// libFuzzer keeps the input.
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

#include "CtStage.h"
#include "RlCodes.h"
#include "Scenario.h"
#include "ScenarioFields.h"
#include "TransientWaves.h"

namespace kexfuzz {

// visit(name, member) for every field of the record, the sampling and the
// labels, and for the fields of a group the scenario has ("ct.exponent").
template <typename Visit>
void forEachField(const KexRecording::TransientScenario& s, Visit&& visit) {
    for (const KexRecording::ScenarioField& field : KexRecording::scenarioFields()) {
        if (field.aliasOf != nullptr) {
            continue;
        }
        if (field.form != KexRecording::FieldForm::Group) {
            std::visit([&](const auto& member) { visit(field.name, member); }, field.member);
        } else if (KexRecording::isPresent(field, s)) {
            for (const KexRecording::ScenarioField& item : KexRecording::groupMembers(field)) {
                std::visit([&](const auto& member) { visit(field.name + "." + item.name, member); }, item.member);
            }
        }
    }
}

// Every field as its scenario key names it.
inline void printScenario(const KexRecording::TransientScenario& s) {
    std::fprintf(stderr, "scenario:\n");
    forEachField(s, [&s](const std::string& name, const auto& member) {
        const auto& value = KexRecording::valueIn(s, member);
        using Value = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<Value, KexCalculate::Complex>) {
            std::fprintf(stderr, "  %s [%.17g, %.17g]\n", name.c_str(), value.re, value.im);
        } else if constexpr (std::is_same_v<Value, KexRecording::PhaseValues>) {
            std::fprintf(stderr, "  %s [%.17g, %.17g, %.17g]\n", name.c_str(), value[0], value[1], value[2]);
        } else if constexpr (std::is_same_v<Value, double>) {
            std::fprintf(stderr, "  %s %.17g\n", name.c_str(), value);
        } else if constexpr (std::is_same_v<Value, std::string>) {
            std::fprintf(stderr, "  %s \"%s\"\n", name.c_str(), value.c_str());
        } else if constexpr (std::is_integral_v<Value> || std::is_enum_v<Value>) {
            std::fprintf(stderr, "  %s %d\n", name.c_str(), static_cast<int>(value));
        }
    });
}

[[noreturn]] inline void fail(const KexRecording::TransientScenario& s, const char* property) {
    std::fprintf(stderr, "\nproperty violated: %s\n", property);
    printScenario(s);
    std::abort();
}

// Every number of the record, the sampling and the CTs.
inline std::vector<double> numbersOf(const KexRecording::TransientScenario& s) {
    std::vector<double> numbers;
    forEachField(s, [&](const std::string& /*name*/, const auto& member) {
        const auto& value = KexRecording::valueIn(s, member);
        using Value = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<Value, KexCalculate::Complex>) {
            numbers.insert(numbers.end(), {value.re, value.im});
        } else if constexpr (std::is_same_v<Value, KexRecording::PhaseValues>) {
            numbers.insert(numbers.end(), value.begin(), value.end());
        } else if constexpr (std::is_same_v<Value, double>) {
            numbers.push_back(value);
        }
    });
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
// overflows (a load voltage of 1e284 V, a swing period of 5e-315 s, a CT
// saturating at 1e-300 V give NaN samples), which is a matter of range
// rather than of the model.
inline bool withinEngineeringRange(const KexRecording::TransientScenario& s) {
    constexpr double kLargest = 1.0e9;                 // V, A, ohm, s, Hz, degrees, factors
    constexpr double kShortestPeriod = 1.0e-9;         // s
    constexpr double kLowestSaturationVoltage = 1e-9;  // V
    for (double x : numbersOf(s)) {
        if (!(std::fabs(x) <= kLargest)) {
            return false;
        }
    }
    if (s.ct.present && s.ct.saturationVoltage < kLowestSaturationVoltage) {
        return false;
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
    // The CTs over the record's first samples, on the same waveforms.
    if (s.ct.present) {
        constexpr std::size_t kCtSamples = 256;
        const std::size_t ctCount = std::min<std::size_t>(count, kCtSamples);
        std::array<double, kCtSamples> secondary{};
        const KexRecording::PhaseCts cts = KexRecording::ctParameters(s);
        for (std::size_t phase = 0; phase < cts.size(); ++phase) {
            const KexCalculate::CtSaturation ct(cts[phase]);
            if (!ct.isValid()) {
                fail(s, "an accepted scenario has a CT that makes no sense");
            }
            ct.saturate(KexCalculate::CtSaturation::channelOf(model, static_cast<int>(phase)), 0.0, 1.0 / s.sampleRate,
                        ctCount, secondary.data());
            for (std::size_t k = 0; k < ctCount; ++k) {
                if (!std::isfinite(secondary[k])) {
                    std::fprintf(stderr, "\nthe CT of phase %zu at sample %zu gives %g\n", phase, k, secondary[k]);
                    fail(s, "an accepted scenario gives a CT sample that is not a finite number");
                }
            }
        }
    }
}

}  // namespace kexfuzz
