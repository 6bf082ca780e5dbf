// The transient model's fault state: properties of the fault-state phasors,
// the time constant and the aperiodic amplitudes. The phasors of the short
// circuits and the phase break on every network, in front of the relay and
// behind it, are checked against the phase-domain solution of the network
// (PhaseDomainCrossCheckTest).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "RlTestSupport.h"

namespace {

using namespace RlTest;

constexpr double kTol = 1e-9;
constexpr double kOmega = 100.0 * kPi;

// The phasors, aperiodic amplitudes and time constant, for a bit comparison.
std::vector<double> results(const CalculationRl& m) {
    std::vector<double> values{m._tau};
    for (const Complex3* triple : {&m._predI, &m._predU, &m._faultI, &m._faultU}) {
        for (const Complex& z : triple->values) {
            values.insert(values.end(), {z.re, z.im});
        }
    }
    values.insert(values.end(), m._aperiodicI.begin(), m._aperiodicI.end());
    values.insert(values.end(), m._aperiodicU.begin(), m._aperiodicU.end());
    return values;
}

class RlFaultOnNetwork : public ::testing::TestWithParam<NetworkCase> {
protected:
    RlParameters record(int kind, double rf = 0.0) const {
        RlParameters p = makeRecord(GetParam().networkType, kind, GetParam().faultDistance);
        p.useFaultResistance = rf > 0.0;
        p.faultResistance = rf;
        return p;
    }
};

TEST_P(RlFaultOnNetwork, KindsFourToSevenGiveThePhasorsOfZeroToThree) {
    for (int kind = 0; kind < 4; ++kind) {
        SCOPED_TRACE(kind);
        const CalculatedModel base(record(kind, 2.5));
        const CalculatedModel same(record(kind + 4, 2.5));
        EXPECT_TRUE(triplesNear(same.model._faultI, asArray(base.model._faultI), 0.0));
        EXPECT_TRUE(triplesNear(same.model._faultU, asArray(base.model._faultU), 0.0));
        EXPECT_EQ(same.model._aperiodicI, base.model._aperiodicI);
        if (kind != 0) {  // kind 4 has a time constant of its own
            EXPECT_EQ(same.model._tau, base.model._tau);
            EXPECT_EQ(same.model._aperiodicU, base.model._aperiodicU);
        }
    }
}

// Every time constant is positive, so the aperiodic term decays.
TEST_P(RlFaultOnNetwork, TimeConstantIsPositive) {
    for (int kind : {0, 1, 2, 3, 4, 5, 6, 7, 11}) {
        for (double rf : {0.0, 5.0, 60.0}) {
            SCOPED_TRACE(::testing::Message() << "kind " << kind << " rf " << rf);
            const CalculatedModel m(record(kind, rf));
            EXPECT_GT(m.model._tau, 1e-6);
            EXPECT_TRUE(std::isfinite(m.model._tau));
        }
    }
}

// The same computation twice, and after a different one on the same object,
// gives what a fresh object gives.
TEST_P(RlFaultOnNetwork, ResultsNeverDependOnAnEarlierCalculation) {
    for (int kind : {0, 2, 3, 8, 10, 11, 12}) {
        SCOPED_TRACE(kind);
        const CalculatedModel fresh(record(kind, 1.0));
        RlParameters p = record(2, 1.0);
        p.networkType = 3;  // leaves double-circuit currents behind
        CalculationRl model(&p);
        model.calculate();
        p = record(kind, 1.0);
        model.calculate();
        EXPECT_TRUE(sameBits(results(model), results(fresh.model)));
        model.calculate();
        EXPECT_TRUE(sameBits(results(model), results(fresh.model)));
    }
}

INSTANTIATE_TEST_SUITE_P(Networks, RlFaultOnNetwork, ::testing::ValuesIn(networkCases()),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

// No disturbance, and load switching off the single line (only there is a
// load to switch): the fault state is the pre-fault state without aperiodic term.
TEST(RlFaultState, NothingSwitchedKeepsThePreFaultState) {
    for (const auto& [network, kind] : {std::pair<int, int>{0, 12}, {-1, 11}, {1, 11}, {2, 11}, {3, 11}}) {
        SCOPED_TRACE(::testing::Message() << "network " << network << " kind " << kind);
        const CalculatedModel m(makeRecord(network, kind));
        EXPECT_TRUE(triplesNear(m.model._faultI, asArray(m.model._predI), 0.0));
        EXPECT_TRUE(triplesNear(m.model._faultU, asArray(m.model._predU), 0.0));
        EXPECT_EQ(m.model._aperiodicI, (std::array<double, 3>{}));
        EXPECT_EQ(m.model._aperiodicU, (std::array<double, 3>{}));
    }
}

// faultPhase moves every per-phase result: the value computed for the
// reference phase (the faulted phase A, or the healthy phase A of a two-phase
// fault) lands in the selected phase.
class RlFaultPhase : public ::testing::TestWithParam<std::uint8_t> {};

TEST_P(RlFaultPhase, MovesEveryPerPhaseResultTogether) {
    const std::uint8_t kind = GetParam();
    const bool onePhase = kind == 2 || kind == 6 || kind == 10;
    RlParameters p = throughResistance(makeRecord(3, kind), 1.5);
    const CalculatedModel reference(p);
    for (std::uint8_t phase = 0; phase < 4; ++phase) {
        SCOPED_TRACE(static_cast<int>(phase));
        p.faultPhase = phase;
        const CalculatedModel moved(p);
        unsigned j = 0;  // where reference slot 0 lands
        if (phase < 3 && onePhase) {
            j = phase;
        } else if (phase < 3 && isTwoPhaseKind(kind)) {
            j = (phase + 2U) % 3U;
        }
        const CalculationRl& r = reference.model;
        const CalculationRl& s = moved.model;
        for (unsigned i = 0; i < 3U; ++i) {
            const unsigned k = (i + j) % 3U;
            EXPECT_TRUE(near(s._faultI.values[k], cx(r._faultI.values[i]), 0.0));
            EXPECT_TRUE(near(s._faultU.values[k], cx(r._faultU.values[i]), 0.0));
            EXPECT_TRUE(near(s._predI.values[k], cx(r._predI.values[i]), 0.0));
            EXPECT_TRUE(near(s._predU.values[k], cx(r._predU.values[i]), 0.0));
            EXPECT_EQ(s._aperiodicI[k], r._aperiodicI[i]);
            EXPECT_EQ(s._aperiodicU[k], r._aperiodicU[i]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RlFaultPhase, ::testing::Values(0, 1, 2, 3, 4, 5, 6, 7, 10, 11));

// Load switching on a single line: source 1 feeds the switched impedance.
TEST(RlLoadSwitching, SingleLineFeedsSwitchedImpedance) {
    const CalculatedModel m(makeRecord(0, 11));
    const Cx zs1 = cx(m.params.zS1);
    const Cx zSwitched = cx(m.params.zSwitched);
    const Cx e1 = (57.735 + std::polar(1.5, -25.0 * kPi / 180) * zs1) * std::polar(1.0, 0.7);
    const Cx i1 = e1 / (zs1 + zSwitched);
    EXPECT_TRUE(near(m.model._faultI.values[0], i1, kTol));
    EXPECT_TRUE(near(m.model._faultU.values[0], i1 * zSwitched, kTol));
    EXPECT_TRUE(near(m.model._faultI.values[1], i1 * std::polar(1.0, -2.0 * kPi / 3), kTol));
    const Cx loop = zs1 + zSwitched;
    EXPECT_NEAR(m.model._tau, loop.imag() / (kOmega * loop.real()), 1e-15);
}

// A bolted three-phase fault in front of the relay: the busbar voltage is the
// drop over the line section to the fault, so a decaying current A e^(-t/tau)
// gives (R - X / (omega tau)) A of it.
TEST(RlAperiodic, VoltageIsDropOverLineSectionToFault) {
    RlParameters p = makeRecord(0, 0);
    p.zS1 = Complex(2.0, 9.0);  // X/R unlike the line's
    const CalculatedModel m(p);
    const Cx zk = cx(p.zLine) * 0.35;
    const Cx loop = cx(p.zS1) + zk;
    ASSERT_NEAR(m.model._tau, loop.imag() / (kOmega * loop.real()), 1e-15);
    const double factor = zk.real() - zk.imag() / (kOmega * m.model._tau);
    EXPECT_GT(std::fabs(m.model._aperiodicI[0]) + std::fabs(m.model._aperiodicI[1]), 0.1);
    for (unsigned phase = 0; phase < 3U; ++phase) {
        EXPECT_NEAR(m.model._aperiodicU[phase], factor * m.model._aperiodicI[phase], 1e-12);
    }
}

// Kind 4's own time constant, X(Zt) / (omega R(Zt)), when it is positive; the
// loop from source 1 to the fault otherwise.
TEST(RlAperiodic, KindFourTimeConstant) {
    struct Case {
        double rf, loadAngle, distance;
        bool ownTimeConstant;
    };
    for (const Case& c : {Case{5.0, 25.0, 50.0, true}, Case{5.0, 80.0, 90.0, false}, Case{10.0, 150.0, 50.0, false}}) {
        SCOPED_TRACE(c.loadAngle);
        RlParameters p = throughResistance(makeRecord(0, 4, c.distance), c.rf);
        p.loadAngle = c.loadAngle;
        const CalculatedModel m(p);
        const Cx zs1 = cx(p.zS1), zLine = cx(p.zLine), zs2 = cx(p.zS2), rf(c.rf, 0.0);
        const Cx zk = zLine * (c.distance / 100.0), rest = zLine - zk;
        const Cx zLoad = 57.735 / std::polar(1.5, -c.loadAngle * kPi / 180);
        const Cx a = zs1 + zLoad;
        const Cx zt = a * (zs1 + rest) * (zs1 + zk + rf) / (a * (zs1 + rest + rf) + rf * (zLine + zs2 - zLoad));
        const double tau4 = zt.imag() / (kOmega * zt.real());
        const double general = (zs1.imag() + zk.imag()) / ((zs1.real() + zk.real() + c.rf) * kOmega);
        EXPECT_EQ(tau4 > 1e-6, c.ownTimeConstant);
        EXPECT_NEAR(m.model._tau, c.ownTimeConstant ? tau4 : general, 1e-12);
    }
}

// The open phase carries no current where the relay's circuit is broken (not
// on network 2, the healthy circuit of a double line), and an unloaded line
// stays unloaded on every network.
TEST(RlPhaseBreak, OpenPhaseCarriesNoCurrent) {
    for (int network : {0, 1, 2, 3}) {
        for (int phase : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << "network " << network << " phase " << phase);
            RlParameters p = makeRecord(network, 10);
            p.faultPhase = static_cast<std::uint8_t>(phase);
            const CalculatedModel m(p);
            if (network != 2) {
                EXPECT_LT(std::abs(cx(m.model._faultI.values[static_cast<unsigned>(phase)])), 1e-12);
                EXPECT_GT(std::abs(cx(m.model._faultI.values[static_cast<unsigned>(phase + 1) % 3U])), 0.1);
                EXPECT_EQ(m.model._tau, 0.0005);
                EXPECT_NEAR(m.model._aperiodicU[0], 0.001 * m.model._aperiodicI[0], 1e-18);
            }
            p.loadCurrent = 0.0;
            const CalculatedModel unloaded(p);
            EXPECT_TRUE(triplesNear(unloaded.model._faultI, std::array<Cx, 3>{}, 1e-12));
            EXPECT_TRUE(triplesNear(unloaded.model._faultU, asArray(unloaded.model._predU), 1e-9));
        }
    }
}

}  // namespace
