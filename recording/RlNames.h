// The names by which scenario files, summaries and plots give the codes of the
// transient model's record: disturbance kinds, network types and the faulted
// phase or phase pair.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace KexRecording {

// Name and code, in the order of the codes.
using CodeNames = std::vector<std::pair<std::string, int>>;

const CodeNames& faultKindNames();
const CodeNames& networkTypeNames();

// A faulted phase (0, 1, 2: A, B, C) or phase pair (AB, BC, CA) by name.
struct PhaseChoice {
    std::uint8_t value;
    bool pair;
};
const std::vector<std::pair<std::string, PhaseChoice>>& faultPhaseNames();

// The name of a code, or its number when it has none.
std::string faultKindName(std::uint8_t faultKind);
std::string networkTypeName(std::int8_t networkType);
// "A", "B", "C" for the one-phase kinds, "AB", "BC", "CA" for the two-phase
// ones, the number otherwise.
std::string faultPhaseName(std::uint8_t faultKind, std::uint8_t faultPhase);

}  // namespace KexRecording
