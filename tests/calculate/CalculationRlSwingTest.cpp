// Power swing and asynchronous operation: the angle laws, the EMFs and relay
// quantities they give, and the waveform at the disturbance instant.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "RlTestSupport.h"

namespace {

using namespace RlTest;

constexpr double kDeg = kPi / 180.0;

RlParameters swingRecord(int networkType, int kind, double riseTau, double decayTau) {
    RlParameters p = makeRecord(networkType, kind);
    p.swingRiseTau = riseTau;
    p.swingDecayTau = decayTau;
    p.asyncRiseTau = riseTau;
    return p;
}

TEST(RlSwingAngle, EnvelopeAndOscillation) {
    const CalculatedModel steps(swingRecord(0, 8, 0.0, 0.0));
    const double way = 120.0 * kDeg - steps.model._delta0;
    EXPECT_NEAR(steps.model._getSwingDeltaAngle(0.0), way / 2, 1e-15);
    EXPECT_NEAR(steps.model._getSwingDeltaAngle(0.3), way / 2, 1e-15);
    EXPECT_EQ(steps.model._getSwingDeltaAngle(-0.01), 0.0);

    const CalculatedModel smooth(swingRecord(0, 8, 0.1, 2.0));
    EXPECT_EQ(smooth.model._getSwingDeltaAngle(0.0), 0.0);
    const double t = 0.17;
    const double expected =
        (1.0 - std::exp(-t / 2.0) * std::cos(2 * kPi * t / 0.5)) * way * (1.0 - std::exp(-t / 0.1)) / 2;
    EXPECT_NEAR(smooth.model._getSwingDeltaAngle(t), expected, 1e-14);
    EXPECT_NEAR(smooth.model._getDeltaAngle(t), expected, 1e-14);
}

// The turn's rate is checked on the sources themselves (RlAsynchronous).
TEST(RlSwingAngle, NoAsynchronousTurnBeforeTheInstantNorForOtherKinds) {
    const CalculatedModel m(swingRecord(0, 9, 0.0, 0.0));
    EXPECT_EQ(m.model._getAMovDeltaAngle(-0.5), 0.0);
    const CalculatedModel phaseBreak(makeRecord(0, 10));
    EXPECT_EQ(phaseBreak.model._getDeltaAngle(0.5), 0.0);
}

TEST(RlSwingMagnitudes, WorkedExample) {
    const RlParameters p = makeRecord(0, 8);
    CalculationRl model(&p);
    model._e1Start = Complex(100.0, 0.0);
    model._e2Start = Complex(0.0, 100.0);
    model._zS1 = Complex(0.6, 0.8);
    model._zSum = Complex(6.0, 8.0);
    const KexCalculate::SwingOrAmowUIValues v = model.getSwingOrAmowUIValues();
    EXPECT_NEAR(v.uMin, 80.0, 1e-12);
    EXPECT_NEAR(v.iMax, 20.0, 1e-12);
    EXPECT_NEAR(v.uMax, 100.0, 1e-12);
}

// The fault state of a swing: symmetrical systems of uMin and iMax with phase A
// on the real axis, the EMFs in opposition driving the whole loop (both
// circuits of a double line, the relay's circuit carrying half).
TEST(RlSwingMagnitudes, FaultStateOfEveryNetwork) {
    for (int network : {0, 1, 2, 3}) {
        SCOPED_TRACE(network);
        const CalculatedModel m(makeRecord(network, 9));
        const RlParameters& p = m.params;
        const bool twoCircuits = network >= 2;
        const double loop = std::abs(cx(p.zS1) + cx(p.zLine) / (twoCircuits ? 2.0 : 1.0) + cx(p.zS2));
        const double e = std::abs(cx(m.model._e1)) + std::abs(cx(m.model._e2));
        const double iMax = e / loop / (twoCircuits ? 2.0 : 1.0);
        const double uMin = std::abs(cx(m.model._e1)) - e / loop * std::abs(cx(p.zS1));
        const Cx b = std::polar(1.0, -2 * kPi / 3);
        EXPECT_TRUE(triplesNear(m.model._faultI, std::array<Cx, 3>{iMax, iMax * b, iMax / b}, 1e-12));
        EXPECT_TRUE(triplesNear(m.model._faultU, std::array<Cx, 3>{uMin, uMin * b, uMin / b}, 1e-12));
    }
}

// With the oscillation undamped, the angle between the EMFs reaches swingAngle
// half a period after the disturbance, whichever source leads.
class RlSwingTarget : public ::testing::TestWithParam<std::tuple<int, double>> {};

TEST_P(RlSwingTarget, ReachedAtHalfPeriod) {
    RlParameters p = swingRecord(std::get<0>(GetParam()), 8, 0.0, 1e12);
    p.loadAngle = std::get<1>(GetParam());
    const CalculatedModel m(p);
    const KexCalculate::E1E2UI s = m.model.getE1E2UI(p.swingPeriod / 2);
    EXPECT_NEAR(std::abs(std::arg(cx(s.e2) / cx(s.e1))), 120.0 * kDeg, 1e-9);
    EXPECT_NEAR(std::abs(cx(s.e1)), std::abs(cx(m.model._e1)), 1e-9);
    EXPECT_NEAR(std::abs(cx(s.e2)), std::abs(cx(m.model._e2)), 1e-9);
    const bool twoCircuits = p.networkType >= 2;
    const Cx loopCurrent = (cx(s.e1) - cx(s.e2)) / (cx(p.zS1) + cx(p.zLine) / (twoCircuits ? 2.0 : 1.0) + cx(p.zS2));
    EXPECT_TRUE(near(s.u, cx(s.e1) - cx(p.zS1) * loopCurrent, 1e-9));
    EXPECT_TRUE(near(s.i, loopCurrent / (twoCircuits ? 2.0 : 1.0), 1e-9));
}

INSTANTIATE_TEST_SUITE_P(NetworksAndFlows, RlSwingTarget,
                         ::testing::Combine(::testing::Values(0, 2), ::testing::Values(25.0, 205.0)));

// Asynchronous operation: the leading source runs ahead by 2 pi per slip period.
TEST(RlAsynchronous, AngleGrowsByFullTurnPerSlipPeriod) {
    for (double loadAngle : {25.0, 205.0}) {
        RlParameters p = swingRecord(0, 9, 0.0, 0.0);
        p.loadAngle = loadAngle;
        const CalculatedModel m(p);
        const Cx lead0 = cx(m.model._e2) / cx(m.model._e1);
        const double sign = std::arg(lead0) >= 0.0 ? 1.0 : -1.0;  // +1 when source 2 leads
        for (double t : {0.05, 0.1, 0.25, 0.4, 0.8}) {
            SCOPED_TRACE(::testing::Message() << "load angle " << loadAngle << " t " << t);
            const KexCalculate::E1E2UI s = m.model.getE1E2UI(t);
            const double expected = sign * m.model._delta0 + sign * 2 * kPi * t / p.asyncSlipPeriod;
            EXPECT_NEAR(std::remainder(std::arg(cx(s.e2) / cx(s.e1)) - expected, 2 * kPi), 0.0, 1e-9);
        }
        EXPECT_TRUE(near(m.model.getE1E2UI(p.asyncSlipPeriod).e1, cx(m.model._e1), 1e-9));
        EXPECT_TRUE(near(m.model.getE1E2UI(p.asyncSlipPeriod).e2, cx(m.model._e2), 1e-9));
    }
}

// The swing starts from the load flow: no jump of any channel at the
// disturbance instant, on a single line and on either circuit of a double one.
class RlSwingStart : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(RlSwingStart, ContinuousAtDisturbanceInstant) {
    const auto [kind, network] = GetParam();
    const CalculatedModel m(makeRecord(network, kind));
    const KexCalculate::E1E2UI s = m.model.getE1E2UI(0.0);
    EXPECT_TRUE(near(s.u, Cx(57.735, 0.0), 1e-9));
    EXPECT_TRUE(near(s.i, std::polar(1.5, -25.0 * kDeg), 1e-9));
    const double t0 = m.params.preFaultDuration;
    for (int channel = 0; channel < 6; ++channel) {
        EXPECT_NEAR(m.model.getMgn(channel, t0), m.model.getMgn(channel, std::nextafter(t0, 0.0)), 1e-9)
            << "channel " << channel;
        const double later = t0 + 0.0123;  // the swing phasor, turned to its phase, at the network's angle
        const Cx x = cx(channel < 3 ? m.model.getE1E2UI(0.0123).i : m.model.getE1E2UI(0.0123).u) *
                     std::polar(1.0, 0.7 - (channel % 3) * 2 * kPi / 3);
        EXPECT_NEAR(m.model.getMgn(channel, later), waveAt(x, 100 * kPi, 0.0123), 1e-9);
    }
}

INSTANTIATE_TEST_SUITE_P(KindsAndNetworks, RlSwingStart,
                         ::testing::Combine(::testing::Values(8, 9), ::testing::Values(0, 1, 2, 3)), kindNetworkName);

}  // namespace
