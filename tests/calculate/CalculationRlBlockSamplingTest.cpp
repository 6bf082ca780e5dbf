// Block sampling of the transient model: within 1e-9 of the channel's peak
// value of getMgn at the same instants, the same bits from sampleChannel and
// sampleAllChannels, and getMgn's own values where the chunk arithmetic does
// not serve a call. Also: the polar forms that calculate() keeps for getMgn
// follow members changed after it (the waveform tests' worked example too).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "RlTestSupport.h"

namespace {

using namespace RlTest;

constexpr int kChannels = 6;
constexpr double kStep = 1e-4;              // 10 kHz
constexpr double kTolerance = 1e-9;         // of the channel's peak value
constexpr double kAgreementFloor = 1e-300;  // A or V: a smaller difference is agreement
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Host times startTime + k * step, k = 0 .. count - 1.
struct Window {
    double startTime;
    double step;
    std::size_t count;
};

double hostTime(const Window& w, std::size_t k) { return w.startTime + static_cast<double>(k) * w.step; }

std::vector<double> sampleAll(const CalculationRl& model, const Window& w) {
    std::vector<double> all(kChannels * w.count);
    model.sampleAllChannels(w.startTime, w.step, w.count, all.data());
    return all;
}

// Samples k = 0, every, 2 every, ... of one channel, values[stride * k],
// against getMgn at the same instants (sample i of a failure is k = i every).
::testing::AssertionResult agreesWithGetMgn(const CalculationRl& model, int channel, const Window& w,
                                            const double* values, std::size_t stride, std::size_t every = 1) {
    std::vector<double> actual;
    std::vector<double> expected;
    for (std::size_t k = 0; k < w.count; k += every) {
        actual.push_back(values[stride * k]);
        expected.push_back(model.getMgn(channel, hostTime(w, k)));
    }
    return everySampleNear(actual, expected, std::max(kTolerance * peakOf(expected), kAgreementFloor));
}

// sampleChannel gives, bit for bit, what sampleAllChannels gives (value
// kChannels * k + channel is the channel's sample k).
::testing::AssertionResult pathsAgree(const CalculationRl& model, const Window& w, const std::vector<double>& all) {
    std::vector<double> fromChannels(all.size());
    std::vector<double> one(w.count);
    for (int channel = 0; channel < kChannels; ++channel) {
        model.sampleChannel(channel, w.startTime, w.step, w.count, one.data());
        for (std::size_t k = 0; k < w.count; ++k) {
            fromChannels[kChannels * k + static_cast<std::size_t>(channel)] = one[k];
        }
    }
    return sameBits(fromChannels, all);
}

// Both block paths over the window: the same bits, and getMgn's values.
void expectBlocksAgree(const CalculationRl& model, const Window& w) {
    const std::vector<double> all = sampleAll(model, w);
    EXPECT_TRUE(pathsAgree(model, w, all)) << "from " << w.startTime << ", step " << w.step;
    for (int channel = 0; channel < kChannels; ++channel) {
        EXPECT_TRUE(agreesWithGetMgn(model, channel, w, all.data() + channel, kChannels))
            << "channel " << channel << " from " << w.startTime << ", step " << w.step;
    }
}

// ----------------------------------------------------------------- agreement

class BlockSamplingEveryKind : public ::testing::TestWithParam<std::tuple<int, int>> {};

// From host time 0: the pre-fault wave, the disturbance at 0.04 s, the
// aperiodic term and its cut-off, the fault state; the same at five samples
// per period (chunks of six samples); and 6600 s after the disturbance, where
// getMgn's sine argument nears 2^21 rad and rounds by some 1e-10 rad. Both
// block paths give the same bits.
TEST_P(BlockSamplingEveryKind, AgreesWithGetMgn) {
    const auto [kind, network] = GetParam();
    const CalculatedModel m(makeRecord(network, kind));
    for (const Window& w : {Window{0.0, kStep, 6000}, Window{0.0, 0.004, 3000}, Window{6600.0, kStep, 1200}}) {
        expectBlocksAgree(m.model, w);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, BlockSamplingEveryKind,
                         ::testing::Combine(::testing::Range(0, 13), ::testing::Values(0, 1, 2, 3)), kindNetworkName);

// Ten million samples at 10 kHz reach t' = 1000 s: an error that grew with the
// record would show along it and at its end.
TEST(BlockSamplingLongRecord, TenMillionSamples) {
    const CalculatedModel m(makeRecord(0, 3));
    const Window w{0.0, kStep, 10'000'000};
    const std::size_t endCount = 1000;
    const Window end{hostTime(w, w.count - endCount), kStep, endCount};
    std::vector<double> one(w.count);
    for (const int channel : {1, 4}) {
        m.model.sampleChannel(channel, w.startTime, w.step, w.count, one.data());
        EXPECT_TRUE(agreesWithGetMgn(m.model, channel, w, one.data(), 1, 997)) << channel;
        EXPECT_TRUE(agreesWithGetMgn(m.model, channel, end, one.data() + (w.count - endCount), 1)) << channel;
    }
}

// ------------------------------- where the chunk arithmetic does not serve

// Both block paths give getMgn's own bits.
struct PathCase {
    const char* name;
    int kind;
    int network;
    Window window;
};

class BlockSamplingPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(BlockSamplingPaths, SameBitsForEveryChannel) {
    const PathCase& c = GetParam();
    const CalculatedModel m(makeRecord(c.network, c.kind));
    const std::vector<double> all = sampleAll(m.model, c.window);
    EXPECT_TRUE(pathsAgree(m.model, c.window, all));
    std::vector<double> expected;
    for (std::size_t k = 0; k < c.window.count; ++k) {
        for (int channel = 0; channel < kChannels; ++channel) {
            expected.push_back(m.model.getMgn(channel, hostTime(c.window, k)));
        }
    }
    EXPECT_TRUE(sameBits(all, expected));
}

INSTANTIATE_TEST_SUITE_P(Table, BlockSamplingPaths,
                         ::testing::Values(PathCase{"BeyondTheKernelsArgument", 3, 0, {7000.0, kStep, 1000}},
                                           PathCase{"ShortBlock", 6, 0, {0.03, kStep, 100}},
                                           PathCase{"BackwardAxis", 6, 0, {0.2, -kStep, 3000}},
                                           PathCase{"OneInstant", 6, 0, {0.05, 0.0, 700}},
                                           PathCase{"TwoSamplesPerPeriod", 6, 0, {0.0, 0.01, 3000}},
                                           PathCase{"NoStep", 6, 0, {0.0, kNaN, 600}},
                                           PathCase{
                                               "NoStart", 8, 0, {std::numeric_limits<double>::infinity(), kStep, 600}}),
                         [](const ::testing::TestParamInfo<PathCase>& c) { return std::string(c.param.name); });

// At 8192 Hz a 50 Hz record is sampled in chunks of 208 samples: a
// disturbance at sample 207 is the last of the first chunk. A load voltage of
// 7.29e-304 V: the voltage phasors' magnitudes underflow to 0 in getMgn, while
// their parts do not; both block paths once gave different values (0 and
// 2.5e-304) for the same sample. A window that starts within the pre-fault wave.
TEST(BlockSamplingEdges, ChunkEdgesUnderflowAndALateStart) {
    RlParameters lastOfChunk = makeRecord(0, 2);
    lastOfChunk.preFaultDuration = 207.0 / 8192.0;
    RlParameters vanishing = makeRecord(3, 11);
    vanishing.loadVoltage = 7.291125357167185e-304;
    vanishing.loadCurrent = 1.0;
    vanishing.loadAngle = 20.0;
    vanishing.frequency = 50.79209631234224;
    vanishing.preFaultDuration = 0.1;
    for (const auto& [p, w] :
         {std::pair{lastOfChunk, Window{0.0, 1.0 / 8192.0, 600}}, std::pair{vanishing, Window{0.05, kStep, 1200}},
          std::pair{makeRecord(3, 10), Window{0.03, kStep, 1500}}}) {
        const CalculatedModel m(p);
        expectBlocksAgree(m.model, w);
    }
}

// ------------------------------------- kept polar forms follow the members

std::array<std::vector<double>, kChannels> everyChannelAcrossTheDisturbance(const CalculationRl& model) {
    std::array<std::vector<double>, kChannels> values;
    for (int channel = 0; channel < kChannels; ++channel) {
        for (int k = -30; k < 300; ++k) {
            values[static_cast<std::size_t>(channel)].push_back(model.getMgn(channel, 0.04 + 0.00037 * k));
        }
    }
    return values;
}

// After a phase shift by one, each channel carries what the next phase of its
// quantity carried, the aperiodic term included; a second shift by two turns
// it back.
TEST(KeptPolarForms, FollowAPhaseShift) {
    for (const int kind : {2, 5, 11}) {
        CalculatedModel m(makeRecord(3, kind));
        const auto before = everyChannelAcrossTheDisturbance(m.model);
        m.model._shiftAllValues(1);
        const auto shifted = everyChannelAcrossTheDisturbance(m.model);
        m.model._shiftAllValues(2);
        const auto turnedBack = everyChannelAcrossTheDisturbance(m.model);
        for (std::size_t channel = 0; channel < kChannels; ++channel) {
            const std::size_t next = channel / 3 * 3 + (channel + 1) % 3;
            EXPECT_TRUE(sameBits(shifted[channel], before[next])) << "kind " << kind << ", channel " << channel;
            EXPECT_TRUE(sameBits(turnedBack[channel], before[channel])) << "kind " << kind << ", channel " << channel;
        }
    }
}

// EMFs and loop impedance set by hand: source 2 now leads by 90 degrees, so it
// is the one turned forward; the loop current is (e1 - e2) / zSum.
TEST(KeptPolarForms, FollowEmfsAndLoopSetByHand) {
    CalculatedModel m(makeRecord(0, 9));
    const Cx e1(100.0, 0.0);
    const Cx e2(0.0, 80.0);
    const Cx loop(6.0, 8.0);
    m.model._e1 = Complex(e1.real(), e1.imag());
    m.model._e2 = Complex(e2.real(), e2.imag());
    m.model._zSum = Complex(loop.real(), loop.imag());
    EXPECT_TRUE(near(m.model.getE1E2UI(-0.01).i, (e1 - e2) / loop, 1e-12));
    const double t = 0.1;
    const KexCalculate::E1E2UI s = m.model.getE1E2UI(t);
    EXPECT_TRUE(near(s.e1, e1, 0.0));
    EXPECT_NEAR(std::abs(cx(s.e2)), 80.0, 1e-12);
    EXPECT_NEAR(std::arg(cx(s.e2) / e1), kPi / 2 + m.model._getDeltaAngle(t), 1e-12);
    EXPECT_TRUE(near(s.i, (cx(s.e1) - cx(s.e2)) / loop, 1e-12));
}

}  // namespace
