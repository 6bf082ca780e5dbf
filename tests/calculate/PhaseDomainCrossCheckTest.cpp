// The fault-state phasors of the transient model against an independent
// phase-domain solution of the same network (PhaseDomainNetwork.h), driven by
// the model's source EMFs at the disturbance instant.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>

#include "PhaseDomainNetwork.h"
#include "RlTestSupport.h"

namespace {

using PhaseDomain::Disturbance;
using RlTest::CalculatedModel;
using RlTest::Complex3;
using RlTest::cx;
using RlTest::NetworkCase;

constexpr double kRelativeTolerance = 1e-6;

// Largest phase difference relative to the largest phasor of the quantity,
// before or after the disturbance (a bolted fault at the busbar leaves no voltage).
double relativeDifference(const Complex3& model, const PhaseDomain::Vector3& reference, const Complex3& preFault) {
    double difference = 0.0;
    for (unsigned i = 0; i < 3U; ++i) {
        difference = std::max(difference, std::abs(cx(model.values[i]) - reference(i)));
    }
    return difference / std::max(reference.cwiseAbs().maxCoeff(), RlTest::largestMagnitude(preFault));
}

void expectAgreement(const CalculatedModel& m, Disturbance d) {
    const PhaseDomain::RelayQuantities reference =
        PhaseDomain::solveRelay(m.params, cx(m.model._e1Start), cx(m.model._e2Start), d);
    const bool fault = d != Disturbance::None;
    const double currentDifference =
        relativeDifference(fault ? m.model._faultI : m.model._predI, reference.current, m.model._predI);
    const double voltageDifference =
        relativeDifference(fault ? m.model._faultU : m.model._predU, reference.voltage, m.model._predU);
    std::ostringstream text;
    text << currentDifference << " / " << voltageDifference;
    ::testing::Test::RecordProperty("maxRelativeDifferenceIU", text.str());
    EXPECT_LE(currentDifference, kRelativeTolerance) << "relay currents, " << (fault ? "fault" : "pre-fault");
    EXPECT_LE(voltageDifference, kRelativeTolerance) << "relay busbar voltages, " << (fault ? "fault" : "pre-fault");
}

std::string caseName(const NetworkCase& n) { return n.name; }

struct ShortCircuit {
    const char* name;
    std::uint8_t kind;
    Disturbance disturbance;
};

const ShortCircuit kShortCircuits[] = {{"ThreePhase", 0, Disturbance::ThreePhase},
                                       {"TwoPhase", 1, Disturbance::TwoPhase},
                                       {"OnePhaseToGround", 2, Disturbance::OnePhaseToGround},
                                       {"TwoPhaseToGround", 3, Disturbance::TwoPhaseToGround}};

class PhaseDomainShortCircuit : public ::testing::TestWithParam<std::tuple<NetworkCase, ShortCircuit, double>> {};

// Without a disturbance the network solution reproduces the model's pre-fault
// state (its EMFs drive exactly the given load flow); with the short circuit,
// the fault state.
TEST_P(PhaseDomainShortCircuit, PreFaultAndFaultStatesMatch) {
    const auto& [network, shortCircuit, rf] = GetParam();
    const CalculatedModel m(RlTest::throughResistance(
        RlTest::makeRecord(network.networkType, shortCircuit.kind, network.faultDistance), rf));
    expectAgreement(m, Disturbance::None);
    expectAgreement(m, shortCircuit.disturbance);
}

INSTANTIATE_TEST_SUITE_P(Networks, PhaseDomainShortCircuit,
                         ::testing::Combine(::testing::ValuesIn(RlTest::networkCases()),
                                            ::testing::ValuesIn(kShortCircuits), ::testing::Values(0.0, 3.0)),
                         [](const auto& testInfo) {
                             return caseName(std::get<0>(testInfo.param)) + "_" + std::get<1>(testInfo.param).name +
                                    (std::get<2>(testInfo.param) > 0.0 ? "_Rf" : "_Bolted");
                         });

// Phase A open, on a single line, beside a tapped branch that carries no load,
// and in one circuit of a double line with the relay on either circuit.
class PhaseDomainPhaseBreak : public ::testing::TestWithParam<NetworkCase> {};

TEST_P(PhaseDomainPhaseBreak, FaultStateMatches) {
    const CalculatedModel m(RlTest::makeRecord(GetParam().networkType, 10));
    expectAgreement(m, Disturbance::PhaseBreak);
}

INSTANTIATE_TEST_SUITE_P(Networks, PhaseDomainPhaseBreak,
                         ::testing::Values(NetworkCase{"SingleLine", 0, 35.0}, NetworkCase{"Tapped", 1, 35.0},
                                           NetworkCase{"DoubleHealthy", 2, 35.0},
                                           NetworkCase{"DoubleFaulted", 3, 35.0}),
                         [](const auto& testInfo) { return caseName(testInfo.param); });

}  // namespace
