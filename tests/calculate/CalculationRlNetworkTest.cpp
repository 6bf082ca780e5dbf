// The transient model's record handling, network reduction, source EMFs and
// pre-fault state.
#include <gtest/gtest.h>

#include <cmath>

#include "RlTestSupport.h"

namespace {

using namespace RlTest;

constexpr double kTol = 1e-9;

struct DistanceCase {
    std::uint8_t kind;
    double recordDistance;
    double effectiveDistance;
};

class RlFaultDistance : public ::testing::TestWithParam<DistanceCase> {};

// Short circuits keep their distance unless it is closer than 0.004 % to the
// busbar; every other disturbance sits at 0.004 %.
TEST_P(RlFaultDistance, Rule) {
    RlParameters p = makeRecord(0, GetParam().kind, GetParam().recordDistance);
    CalculationRl model(&p);
    model._initializeNSValues();
    EXPECT_EQ(model._faultDistance, GetParam().effectiveDistance);
    model.calculate();
    EXPECT_EQ(model._faultDistance, GetParam().effectiveDistance);
}

INSTANTIATE_TEST_SUITE_P(Table, RlFaultDistance,
                         ::testing::Values(DistanceCase{2, 0.0, 0.004}, DistanceCase{2, -0.003, 0.004},
                                           DistanceCase{7, -0.001, 0.004}, DistanceCase{0, 0.0039, 0.004},
                                           DistanceCase{2, -0.004, -0.004}, DistanceCase{2, -5.0, -5.0},
                                           DistanceCase{5, 60.0, 60.0}, DistanceCase{8, 60.0, 0.004},
                                           DistanceCase{10, -5.0, 0.004}, DistanceCase{11, 30.0, 0.004}));

TEST(RlPredicates, FollowTheKindTable) {
    // kind: phase break, one phase, two phases, swing, asynchronous, either of the last two
    const int table[14][6] = {{0, 0, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 0}, {0, 1, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 0},
                              {0, 0, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 0}, {0, 1, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 0},
                              {0, 0, 0, 1, 0, 1}, {0, 0, 0, 0, 1, 1}, {1, 1, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0},
                              {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}};
    for (std::uint8_t kind = 0; kind < 14; ++kind) {
        SCOPED_TRACE(static_cast<int>(kind));
        const RlParameters p = makeRecord(0, kind);
        const CalculationRl model(&p);
        const int* row = table[kind];
        EXPECT_EQ(model._isPhaseBreak(), row[0] != 0);
        EXPECT_EQ(model._isOnePhaseFault(), row[1] != 0);
        EXPECT_EQ(model._isTwoPhaseFault(), row[2] != 0);
        EXPECT_EQ(model._isSwing(), row[3] != 0);
        EXPECT_EQ(model._isAsyncMov(), row[4] != 0);
        EXPECT_EQ(model._isSwingOrAmow(), row[5] != 0);
    }
}

// zS1 = zS2 = (1, 10), zLine = (2, 20), kS1 = kS2 = (1, 3), kLine = (2, 3).
RlParameters workedExampleRecord(std::int8_t networkType, double distance) {
    RlParameters p = makeRecord(networkType, 2, distance);
    p.zS1 = Complex(1.0, 10.0);
    p.zS2 = Complex(1.0, 10.0);
    p.zLine = Complex(2.0, 20.0);
    p.kS1 = Complex(1.0, 3.0);
    p.kS2 = Complex(1.0, 3.0);
    p.kLine = Complex(2.0, 3.0);
    return p;
}

// The series impedances the time constant is built from: the line section to
// the fault, the rest of the line beyond it, and the branch towards the fault
// (the tapped branch up to its end, the arm of the delta-star transformation
// on a double line). The sequence networks built from them give the phasors,
// which are checked against the phase-domain solution of every network.
TEST(RlNetworkImpedances, SectionsOfTheLine) {
    struct Case {
        std::int8_t network;
        double distance;
        Cx zK, zRest, zBranch;
    };
    for (const Case& c : {Case{0, 25.0, {0.5, 5.0}, {1.5, 15.0}, {}},
                          Case{1, 25.0, {0.5, 5.0}, {1.5, 15.0}, {2.4, 13.2}},  // (4, 22) at 60 %
                          Case{2, 50.0, {1.0, 10.0}, {0.5, 5.0}, {0.25, 2.5}},  // zK (zLine - zK) / (2 zLine)
                          Case{3, -5.0, {}, {1.0, 10.0}, {}}}) {
        SCOPED_TRACE(static_cast<int>(c.network));
        const CalculatedModel m(workedExampleRecord(c.network, c.distance));
        EXPECT_TRUE(near(m.model._zK, c.zK, kTol));
        EXPECT_TRUE(near(m.model._zRest, c.zRest, kTol));
        EXPECT_TRUE(near(m.model._zBranch, c.zBranch, kTol));
    }
}

TEST(RlNetworkImpedances, DoubleCircuitBehindRelaySplitsSourceTwoFeed) {
    const CalculatedModel m(workedExampleRecord(3, -5.0));
    // zLine + 2 zS2, zero sequence (2, 20)o(2, 3) + (2, 20)o(1, 3)
    EXPECT_TRUE(triplesNear(m.model._zReverseSym, std::array<Cx, 3>{{{6, 120}, {4, 40}, {4, 40}}}, kTol));
}

TEST(RlSourceEmfs, SingleLineWorkedExample) {
    RlParameters p = workedExampleRecord(0, 25.0);
    p.loadVoltage = 57.735;
    p.loadCurrent = 1.0;
    p.loadAngle = 0.0;
    const CalculatedModel m(p);
    EXPECT_TRUE(near(m.model._e1, {58.735, 10.0}, kTol));
    EXPECT_TRUE(near(m.model._e2, {54.735, -30.0}, kTol));
    EXPECT_NEAR(m.model._delta0, std::atan2(10.0, 58.735) + std::atan2(30.0, 54.735), 1e-12);
}

// EMFs on either side of the negative real axis: the angle between them is
// still the short way round.
TEST(RlSourceEmfs, AngleBetweenSourcesIsAtMostPi) {
    RlParameters p = makeRecord(0, 2);
    p.loadVoltage = -57.735;
    p.loadAngle = 0.0;
    const CalculatedModel m(p);
    ASSERT_LT(m.model._e1.re, 0.0);
    ASSERT_LT(m.model._e1.im * m.model._e2.im, 0.0);  // straddling the negative real axis
    EXPECT_NEAR(m.model._delta0, std::abs(std::arg(cx(m.model._e2) / cx(m.model._e1))), 1e-12);
}

TEST(RlPreFault, SymmetricalSystemsAtInitialAngle) {
    RlParameters p = makeRecord(0, 2);
    p.initialAngle = kPi / 2;
    const CalculatedModel fault(p);
    const Cx u = std::polar(57.735, kPi / 2);
    const Cx i = std::polar(1.5, kPi / 2 - 25.0 * kPi / 180.0);
    const Cx b = std::polar(1.0, -2.0 * kPi / 3);
    EXPECT_TRUE(triplesNear(fault.model._predU, std::array<Cx, 3>{u, u * b, u / b}, kTol));
    EXPECT_TRUE(triplesNear(fault.model._predI, std::array<Cx, 3>{i, i * b, i / b}, kTol));
    EXPECT_TRUE(near(fault.model._e1Start, Cx(0.0, 1.0) * cx(fault.model._e1), kTol));

    p.faultKind = 8;  // a swing turns the instantaneous values instead
    const CalculatedModel swing(p);
    EXPECT_TRUE(near(swing.model._e1Start, cx(swing.model._e1), 0.0));
    EXPECT_TRUE(triplesNear(swing.model._predU, std::array<Cx, 3>{u, u * b, u / b}, kTol));
}

}  // namespace
