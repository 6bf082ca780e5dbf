// The codes of the transient model's record (RlParameters::faultKind and
// networkType) and the model's limits that its hosts must know, named once
// for the library, the command line and the Python module. The record keeps
// its plain integer fields; these names are what every program compares them
// with.
#pragma once

#include <cmath>
#include <cstdint>

namespace KexCalculate {

// Values of RlParameters::faultKind. Kinds 4 to 7 are computed as 0 to 3
// (kind 4 with its own time constant of the aperiodic component).
namespace RlKind {
constexpr std::uint8_t ThreePhase = 0;
constexpr std::uint8_t TwoPhase = 1;
constexpr std::uint8_t OnePhaseGround = 2;
constexpr std::uint8_t TwoPhaseGround = 3;
constexpr std::uint8_t ThreePhaseAlt = 4;
constexpr std::uint8_t TwoPhaseAlt = 5;
constexpr std::uint8_t OnePhaseGroundAlt = 6;
constexpr std::uint8_t TwoPhaseGroundAlt = 7;
constexpr std::uint8_t Swing = 8;
constexpr std::uint8_t AsyncOperation = 9;
constexpr std::uint8_t PhaseBreak = 10;
constexpr std::uint8_t LoadSwitching = 11;
constexpr std::uint8_t NoDisturbance = 12;  // and every value above it
constexpr std::uint8_t LastShortCircuit = TwoPhaseGroundAlt;

constexpr bool isShortCircuit(std::uint8_t kind) { return kind <= LastShortCircuit; }
// Kinds 0 and 4.
constexpr bool isThreePhase(std::uint8_t kind) { return kind == ThreePhase || kind == ThreePhaseAlt; }
// The kinds whose faultPhase names one phase: 2, 6 and the phase break.
constexpr bool isOnePhase(std::uint8_t kind) {
    return kind == OnePhaseGround || kind == OnePhaseGroundAlt || kind == PhaseBreak;
}
// The kinds whose faultPhase names a pair: 1, 3, 5, 7 (bits 1 and 2 cleared give 1).
constexpr bool isTwoPhase(std::uint8_t kind) { return (kind & ~0x06U) == 1U; }
// Short circuits that involve ground: 2, 3, 6, 7.
constexpr bool isGroundFault(std::uint8_t kind) { return isShortCircuit(kind) && (kind & 0x03U) >= 2U; }
constexpr bool isSwingOrAsync(std::uint8_t kind) { return kind == Swing || kind == AsyncOperation; }
constexpr bool isDisturbance(std::uint8_t kind) { return kind < NoDisturbance; }

// The model computes every kind for a reference position (phase A faulted, or
// the pair B-C with A healthy) and then moves each per-phase triple t to
// faultPhase: t'[i] = t[(i + n) mod 3] with this n.
constexpr unsigned faultPhaseShift(std::uint8_t kind, std::uint8_t faultPhase) {
    constexpr unsigned onePhase[3] = {0, 2, 1};  // phase A, B, C
    constexpr unsigned twoPhase[3] = {1, 0, 2};  // pair A-B, B-C, C-A
    if (faultPhase > 2) {
        return 0;
    }
    if (isOnePhase(kind)) {
        return onePhase[faultPhase];
    }
    return isTwoPhase(kind) ? twoPhase[faultPhase] : 0;
}
}  // namespace RlKind

// Values of RlParameters::networkType, compared as signed values.
namespace RlNetwork {
constexpr std::int8_t SingleLine = 0;
constexpr std::int8_t TappedBranch = 1;
constexpr std::int8_t DoubleCircuitHealthy = 2;  // the relay on the healthy circuit
constexpr std::int8_t DoubleCircuitFaulted = 3;  // and every value above it: the relay on the faulted circuit

constexpr bool isDoubleCircuit(std::int8_t network) { return network >= DoubleCircuitHealthy; }
}  // namespace RlNetwork

// The model's limits.
namespace RlLimits {
// Divisors below this magnitude give a zero quotient: a loop impedance below
// it counts as no impedance.
constexpr double QuotientGuard = 1e-6;
// Source EMFs below this magnitude are zero.
constexpr double EmfGuard = 1e-12;
// A fault distance of smaller magnitude becomes +MinFaultDistance percent.
constexpr double MinFaultDistance = 0.004;
// A shorter pre-fault interval counts as absent.
constexpr double MinPreFaultDuration = 0.0001;
// A channel whose pre-fault and fault-state magnitudes add up to no more
// than this carries no signal.
constexpr double ActiveThreshold = 0.001;

// The fault distance the model computes with, in percent: negative places the
// fault behind the relay.
inline double effectiveFaultDistance(std::uint8_t kind, double faultDistance) {
    if (!RlKind::isShortCircuit(kind) || std::fabs(faultDistance) < MinFaultDistance) {
        return MinFaultDistance;
    }
    return faultDistance;
}
inline bool isFaultBehindRelay(std::uint8_t kind, double faultDistance) {
    return effectiveFaultDistance(kind, faultDistance) < 0.0;
}
}  // namespace RlLimits

}  // namespace KexCalculate
