// A transient test as a JSON scenario file: the fields of scenarioFields()
// (the model's parameter record in the record's own names and units, plus how
// the six channels are sampled and how the recording is labelled). Reading
// never throws and never stops at the first problem, so a user fixes a file in
// one go (and a fuzzer can drive it without a process).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ScenarioFields.h"

namespace KexRecording {

struct ScenarioResult {
    TransientScenario scenario;         // meaningful only when there are no problems
    std::vector<std::string> problems;  // one line each, starting with the key it concerns

    bool ok() const { return problems.empty(); }
};

// A scenario is a few kilobytes. Reading stops beyond this, so that a device
// or a pipe without end (/dev/zero) cannot fill the memory.
constexpr std::size_t kBytesPerMiB = std::size_t{1024} * 1024;
constexpr std::size_t kMaxScenarioBytes = 4 * kBytesPerMiB;

// The text of a scenario, or what kept it from being read.
struct ScenarioText {
    std::string text;
    std::string problem;  // empty when the text was read
    int error = 0;        // errno when the system refused, 0 otherwise
};

// At most kMaxScenarioBytes from a file, or from an open descriptor (standard
// input), to its end.
ScenarioText readScenarioFile(const std::string& path);
ScenarioText readScenarioText(int descriptor);

// `text` with its control characters (C0, DEL and C1) written as \xNN, so that
// a message that quotes a file or an argument cannot drive the terminal.
std::string escapeControlCharacters(const std::string& text);

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
