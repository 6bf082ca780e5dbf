// The six channels' waveforms: pre-fault wave, fault-state wave with the
// decaying aperiodic term, channel activity, and the current's continuity at
// the disturbance instant.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "RlTestSupport.h"

namespace {

using namespace RlTest;

// A model whose state is set by hand, for the waveform arithmetic alone.
struct HandSetModel {
    HandSetModel() : params(makeRecord(0, 0)), model(&params) {
        params.preFaultDuration = 0.1;
        params.initialAngle = 0.0;
        model._omega = 100.0 * kPi;
    }
    RlParameters params;
    CalculationRl model;
};

// On a calculated model, so that the polar forms calculate() keeps for getMgn
// must follow the members set here.
TEST(RlWaveform, WorkedExample) {
    CalculatedModel m(makeRecord(0, 2));
    m.params.preFaultDuration = 0.1;
    m.params.initialAngle = 0.0;
    CalculationRl& model = m.model;
    model._omega = 100.0 * kPi;
    model._faultI.values[0] = Complex(10.0, -10.0);
    model._aperiodicI[0] = -5.0;
    model._tau = 0.05;
    // t' = 0.005: the periodic part is 10 sqrt(2) sin(pi/2 - pi/4) = 10.
    EXPECT_NEAR(model.getMgn(0, 0.105), kSqrt2 * (10.0 - 5.0 * std::exp(-0.1)), 1e-12);
    // At the disturbance instant the aperiodic term has its full amplitude.
    EXPECT_NEAR(model.getMgn(0, 0.1), kSqrt2 * (-5.0 - 10.0), 1e-12);
    // Voltage channels take the voltage of their phase.
    model._faultU.values[1] = Complex(0.0, 40.0);
    model._aperiodicU[1] = 2.0;
    EXPECT_NEAR(model.getMgn(4, 0.105), kSqrt2 * (2.0 * std::exp(-0.1) + 40.0 * std::cos(kPi / 2)), 1e-12);
    // A quarter period before the disturbance a pre-fault phasor at +pi/2 stands at 0.
    model._predU.values[1] = Complex(0.0, 40.0);
    EXPECT_NEAR(model.getMgn(4, 0.095), 0.0, 1e-12);
    EXPECT_NEAR(model.getMgn(4, 0.0975), kSqrt2 * 40.0 * std::sin(kPi / 4), 1e-12);
    EXPECT_TRUE(model.isChnnelActiv(4));
    model._predU.values[1] = Complex();
    model._faultU.values[1] = Complex();
    EXPECT_FALSE(model.isChnnelActiv(4));
}

// Without a disturbance every channel continues its pre-fault wave: 57.735 V
// and 1.5 A lagging by 25 degrees, phase A at 0.7 rad at the instant.
TEST(RlWaveform, NoDisturbanceContinuesThePreFaultWaves) {
    const CalculatedModel m(makeRecord(0, 12));
    for (int phase = 0; phase < 3; ++phase) {
        const double angle = 0.7 - phase * 2.0 * kPi / 3.0;
        for (double t : {-0.005, 0.0031, 0.0437}) {
            const double at = 0.04 + t;
            EXPECT_NEAR(m.model.getMgn(3 + phase, at), kSqrt2 * 57.735 * std::sin(100 * kPi * t + angle), 1e-9);
            EXPECT_NEAR(m.model.getMgn(phase, at), kSqrt2 * 1.5 * std::sin(100 * kPi * t + angle - 25.0 * kPi / 180.0),
                        1e-9);
        }
    }
}

// The aperiodic term lives for fifteen time constants from the instant, above
// its floor, and not at all without a time constant.
TEST(RlWaveform, AperiodicTermEndsAfterFifteenTimeConstants) {
    HandSetModel h;
    const double tau = 0.0625;  // 15 tau is exact
    h.model._tau = tau;
    h.model._aperiodicI[2] = -3.0;
    EXPECT_DOUBLE_EQ(h.model._getExponenValue(2, 14.0 * tau, tau), -3.0 * std::exp(-14.0));
    EXPECT_DOUBLE_EQ(h.model._getExponenValue(2, 14.99 * tau, tau), -3.0 * std::exp(-14.99));
    EXPECT_EQ(h.model._getExponenValue(2, 15.0 * tau, tau), 0.0);
    EXPECT_EQ(h.model._getExponenValue(2, 15.5 * tau, tau), 0.0);
    EXPECT_EQ(h.model._getExponenValue(2, -0.001, tau), 0.0);
    EXPECT_DOUBLE_EQ(h.model.getMgn(2, 0.1 + 14.0 * tau), kSqrt2 * -3.0 * std::exp(-14.0));
    EXPECT_EQ(h.model.getMgn(2, 0.1 + 15.0 * tau), 0.0);
    h.model._aperiodicI[2] = 0.9e-6;  // below the floor
    EXPECT_EQ(h.model._getExponenValue(2, tau, tau), 0.0);
    h.model._aperiodicI[0] = 5.0;
    for (double none : {0.0, std::numeric_limits<double>::quiet_NaN()}) {
        h.model._tau = none;
        EXPECT_EQ(h.model.getMgn(0, 0.11), 0.0);
        EXPECT_EQ(h.model._getExponenValue(0, 0.01, none), 0.0);
    }
}

struct ActivityCase {
    double preFaultDuration;
    double preFault;
    double faultState;
    bool active;
};

class RlChannelActivity : public ::testing::TestWithParam<ActivityCase> {};

TEST_P(RlChannelActivity, Thresholds) {
    const ActivityCase& c = GetParam();
    HandSetModel h;
    h.params.preFaultDuration = c.preFaultDuration;
    h.model._predI.values[1] = Complex(0.0, c.preFault);
    h.model._faultI.values[1] = Complex(c.faultState, 0.0);
    h.model._predU.values[1] = Complex(c.preFault, 0.0);
    h.model._faultU.values[1] = Complex(0.0, -c.faultState);
    EXPECT_EQ(h.model.isChnnelActiv(1), c.active);
    EXPECT_EQ(h.model.isChnnelActiv(4), c.active);
    EXPECT_FALSE(h.model.isChnnelActiv(0));
}

INSTANTIATE_TEST_SUITE_P(Table, RlChannelActivity,
                         ::testing::Values(ActivityCase{0.1, 0.0, 0.001, false},
                                           ActivityCase{0.1, 0.0, 0.0010001, true},
                                           ActivityCase{0.1, 0.0006, 0.0006, true},
                                           ActivityCase{0.0001, 0.0006, 0.0006, true},
                                           ActivityCase{0.00009999, 0.0006, 0.0006, false},
                                           ActivityCase{0.0, 5.0, 0.0, false}, ActivityCase{0.1, 5.0, 0.0, true}));

// Channels outside 0..5, and a model without a record, carry nothing on any
// path; the block paths fill their output with zeros.
TEST(RlWaveform, ChannelsOutsideZeroToFiveCarryNothing) {
    for (int kind : {0, 2, 8, 9, 10, 12}) {
        SCOPED_TRACE(kind);
        const CalculatedModel m(makeRecord(2, kind));
        for (int channel : {-1, 6, 7, 100}) {
            EXPECT_FALSE(m.model.isChnnelActiv(channel));
            for (double time : {0.0, 0.04, 0.0537}) {
                EXPECT_EQ(m.model.getMgn(channel, time), 0.0);
            }
            std::vector<double> out(1000, 7.0);
            m.model.sampleChannel(channel, 0.0, 1e-4, out.size(), out.data());
            EXPECT_TRUE(sameBits(out, std::vector<double>(out.size()))) << "channel " << channel;
        }
        EXPECT_TRUE(m.model.isChnnelActiv(5));
    }
    const CalculationRl withoutRecord;
    std::vector<double> out(6 * 600, 7.0);
    withoutRecord.sampleAllChannels(0.0, 1e-4, 600, out.data());
    EXPECT_TRUE(sameBits(out, std::vector<double>(out.size())));
    out.assign(600, 7.0);
    withoutRecord.sampleChannel(1, 0.0, 1e-4, 600, out.data());
    EXPECT_TRUE(sameBits(out, std::vector<double>(out.size())));
}

// The current of an inductive network cannot jump: at the disturbance instant
// the aperiodic term cancels the jump of the fault-state wave, up to its floor.
class RlCurrentContinuity : public ::testing::TestWithParam<std::tuple<int, NetworkCase>> {};

TEST_P(RlCurrentContinuity, AtDisturbanceInstant) {
    const auto& [kind, network] = GetParam();
    RlParameters p = throughResistance(makeRecord(network.networkType, kind, network.faultDistance), 1.2);
    p.faultPhase = 2;
    const CalculatedModel m(p);
    for (int channel = 0; channel < 3; ++channel) {
        const double before = m.model.getMgn(channel, std::nextafter(p.preFaultDuration, 0.0));
        const double at = m.model.getMgn(channel, p.preFaultDuration);
        EXPECT_NEAR(at, before, 3e-6) << "channel " << channel;
    }
}

INSTANTIATE_TEST_SUITE_P(KindsAndNetworks, RlCurrentContinuity,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3, 4, 5, 6, 7, 10, 11),
                                            ::testing::ValuesIn(networkCases())),
                         [](const auto& testInfo) {
                             return "Kind" + std::to_string(std::get<0>(testInfo.param)) + "_" +
                                    std::get<1>(testInfo.param).name;
                         });

}  // namespace
