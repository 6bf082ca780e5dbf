// A transient test as a JSON scenario file: the fields of scenarioFields()
// (the model's parameter record in the record's own names and units, plus how
// the six channels are sampled and how the recording is labelled). Reading
// never throws and never stops at the first problem, so a user fixes a file in
// one go (and a fuzzer can drive it without a process).
#pragma once

#include <string>
#include <vector>

#include "ScenarioFields.h"

namespace KexRecording {

struct ScenarioResult {
    TransientScenario scenario;         // meaningful only when there are no problems
    std::vector<std::string> problems;  // one line each, starting with the key it concerns

    bool ok() const { return problems.empty(); }
};

// Reads a scenario; keys that are missing take the built-in scenario's values.
ScenarioResult parseScenario(const std::string& jsonText);

// The scenario as a JSON document that parseScenario reads back to the same
// scenario (kinds and phases by name, numbers in full precision).
std::string renderScenarioJson(const TransientScenario& scenario);

// One line of the key table, as the documentation writes it: `backticks`
// around names and values.
struct ScenarioKeyHelp {
    std::string key;
    std::string unit;
    std::string defaultValue;
    std::string meaning;
};
std::vector<ScenarioKeyHelp> scenarioKeyHelp();

}  // namespace KexRecording
