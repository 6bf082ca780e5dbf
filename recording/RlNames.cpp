#include "RlNames.h"

#include "RlCodes.h"

namespace KexRecording {

namespace RlKind = KexCalculate::RlKind;
namespace RlNetwork = KexCalculate::RlNetwork;

const CodeNames& faultKindNames() {
    static const CodeNames names{{"three-phase", RlKind::ThreePhase},
                                 {"two-phase", RlKind::TwoPhase},
                                 {"one-phase-ground", RlKind::OnePhaseGround},
                                 {"two-phase-ground", RlKind::TwoPhaseGround},
                                 {"three-phase-alt", RlKind::ThreePhaseAlt},
                                 {"two-phase-alt", RlKind::TwoPhaseAlt},
                                 {"one-phase-ground-alt", RlKind::OnePhaseGroundAlt},
                                 {"two-phase-ground-alt", RlKind::TwoPhaseGroundAlt},
                                 {"swing", RlKind::Swing},
                                 {"async", RlKind::AsyncOperation},
                                 {"phase-break", RlKind::PhaseBreak},
                                 {"load-switching", RlKind::LoadSwitching},
                                 {"none", RlKind::NoDisturbance}};
    return names;
}

const CodeNames& networkTypeNames() {
    static const CodeNames names{{"single-line", RlNetwork::SingleLine},
                                 {"tapped-branch", RlNetwork::TappedBranch},
                                 {"double-circuit-healthy", RlNetwork::DoubleCircuitHealthy},
                                 {"double-circuit-faulted", RlNetwork::DoubleCircuitFaulted}};
    return names;
}

const std::vector<std::pair<std::string, PhaseChoice>>& faultPhaseNames() {
    static const std::vector<std::pair<std::string, PhaseChoice>> names{{"A", {0, false}}, {"B", {1, false}},
                                                                        {"C", {2, false}}, {"AB", {0, true}},
                                                                        {"BC", {1, true}}, {"CA", {2, true}}};
    return names;
}

namespace {

std::string nameOf(const CodeNames& names, int code) {
    for (const auto& [name, value] : names) {
        if (value == code) {
            return name;
        }
    }
    return std::to_string(code);
}

}  // namespace

std::string faultKindName(std::uint8_t faultKind) { return nameOf(faultKindNames(), faultKind); }

std::string networkTypeName(std::int8_t networkType) { return nameOf(networkTypeNames(), networkType); }

std::string faultPhaseName(std::uint8_t faultKind, std::uint8_t faultPhase) {
    const bool pair = RlKind::isTwoPhase(faultKind);
    if (pair || RlKind::isOnePhase(faultKind)) {
        for (const auto& [name, chosen] : faultPhaseNames()) {
            if (chosen.value == faultPhase && chosen.pair == pair) {
                return name;
            }
        }
    }
    return std::to_string(faultPhase);
}

}  // namespace KexRecording
