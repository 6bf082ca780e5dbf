// A transient test as a JSON scenario file: the transient model's parameter
// record in the record's own field names and units, plus how the six channels
// are sampled and how the recording is labelled. Reading never throws and never
// stops at the first problem, so a user fixes a file in one go (and a fuzzer can
// drive it without a process).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CalculationRl.h"

namespace kexcalc {

// Above this the sampling of one record would hold hundreds of megabytes.
constexpr double kMaxSampleRate = 1.0e6;             // Hz
constexpr std::size_t kMaxSampleCount = 10'000'000;  // samples per channel

// What the record does not carry: sampling and the labels of the recording.
struct TransientScenario {
    KexCalculate::RlParameters record{};
    double sampleRate = 0.0;                // Hz
    double duration = 0.0;                  // s, whole record, pre-fault interval included
    std::string station;                    // station name in the COMTRADE header
    std::string device;                     // recording device name in the COMTRADE header
    std::string startTime;                  // "YYYY-MM-DD HH:MM:SS[.fraction]", time of the first sample
    std::int64_t startTimeNanoseconds = 0;  // the same, since 1970-01-01 00:00:00
};

struct ScenarioResult {
    TransientScenario scenario;         // meaningful only when there are no problems
    std::vector<std::string> problems;  // one line each, starting with the key it concerns

    bool ok() const { return problems.empty(); }
};

// The built-in scenario: a phase-A-to-ground fault at 50 % of a transmission
// line, secondary values of a 50 Hz network.
TransientScenario defaultScenario();

// Reads a scenario; keys that are missing take the built-in scenario's values.
ScenarioResult parseScenario(const std::string& jsonText);

// The scenario as a JSON document that parseScenario reads back to the same
// scenario (kinds and phases by name, numbers in full precision).
std::string renderScenarioJson(const TransientScenario& scenario);

// round(duration * sampleRate): sample k lies at k / sampleRate.
std::size_t sampleCount(const TransientScenario& scenario);

// Readable names of the codes the record uses.
std::string faultKindName(std::uint8_t faultKind);
std::string networkTypeName(std::int8_t networkType);
// "A", "B", "C" for the one-phase kinds, "AB", "BC", "CA" for the two-phase
// ones, the number otherwise.
std::string faultPhaseName(std::uint8_t faultKind, std::uint8_t faultPhase);

// One line of the key table in the help text and the documentation.
struct ScenarioKeyHelp {
    std::string key;
    std::string unit;
    std::string defaultValue;
    std::string meaning;
};
std::vector<ScenarioKeyHelp> scenarioKeyHelp();

}  // namespace kexcalc
