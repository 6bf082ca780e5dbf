// Block sampling of the transient model against getMgn, and the values that
// calculate() keeps for the per-sample accessors: getMgn must give bit for bit
// what the direct formulas give, also after members are set by hand, after a
// phase shift and after a second calculation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "CalculationRl.h"

namespace {

using KexCalculate::CalculationRl;
using KexCalculate::Complex;
using KexCalculate::Complex3;
using KexCalculate::E1E2UI;
using KexCalculate::RlParameters;

constexpr double kPi = 3.141592653589793;
constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kStep = 1e-4;  // 10 kHz
constexpr double kTolerance = 1e-12;

// A 50 Hz network with unequal sources, a load flow, fault resistance and the
// network at a non-zero angle at the disturbance (0.04 s on the host's axis).
RlParameters makeRecord(int networkType, int faultKind) {
    RlParameters p{};
    p.networkType = static_cast<std::int8_t>(networkType);
    p.preFaultDuration = 0.04;
    p.loadCurrent = 1.5;
    p.loadVoltage = 57.735;
    p.loadAngle = 25.0;
    p.frequency = 50.0;
    p.zS1 = Complex(0.8, 9.0);
    p.kS1 = Complex(1.4, 2.2);
    p.zLine = Complex(3.0, 30.0);
    p.kLine = Complex(2.8, 3.2);
    p.zS2 = Complex(1.5, 14.0);
    p.kS2 = Complex(0.9, 1.6);
    p.zBranch = Complex(4.0, 22.0);
    p.kBranch = Complex(2.5, 3.0);
    p.faultKind = static_cast<std::uint8_t>(faultKind);
    p.faultPhase = 1;
    p.useFaultResistance = true;
    p.faultResistance = 1.5;
    p.faultDistance = 35.0;
    p.branchDistance = 60.0;
    p.initialAngle = 0.7;
    p.swingPeriod = 0.5;
    p.swingAngle = 120.0;
    p.swingRiseTau = 0.1;
    p.swingDecayTau = 2.0;
    p.asyncSlipPeriod = 0.4;
    p.asyncRiseTau = 0.05;
    p.zSwitched = Complex(20.0, 8.0);
    return p;
}

// A record and the model calculated from it; the model points at the record.
struct Model {
    explicit Model(const RlParameters& record) : params(record), model(&params) { model.calculate(); }
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;
    RlParameters params;
    CalculationRl model;
};

bool isSwingKind(int kind) { return kind == 8 || kind == 9; }

double hostTime(double startTime, std::size_t k) { return startTime + static_cast<double>(k) * kStep; }

// Compares a block against getMgn at the same instants, sample k of the block
// at block[stride * k + offset]; every `every`-th sample and the last ones.
::testing::AssertionResult agreesWithGetMgn(const CalculationRl& model, int channel, double startTime,
                                            const std::vector<double>& block, std::size_t stride, std::size_t offset,
                                            std::size_t every = 1) {
    const std::size_t count = block.size() / stride;
    std::vector<std::size_t> checked;
    for (std::size_t k = 0; k < count; k += every) {
        checked.push_back(k);
    }
    for (std::size_t k = count > 1000 ? count - 1000 : 0; k < count; ++k) {
        checked.push_back(k);
    }
    std::vector<double> expected(checked.size());
    double peak = 0.0;
    for (std::size_t i = 0; i < checked.size(); ++i) {
        expected[i] = model.getMgn(channel, hostTime(startTime, checked[i]));
        peak = std::max(peak, std::fabs(expected[i]));
    }
    for (std::size_t i = 0; i < checked.size(); ++i) {
        const double actual = block[stride * checked[i] + offset];
        if (!(std::fabs(actual - expected[i]) <= kTolerance * peak)) {
            return ::testing::AssertionFailure() << "channel " << channel << ", sample " << checked[i] << ": block "
                                                 << actual << ", getMgn " << expected[i] << ", peak " << peak;
        }
    }
    return ::testing::AssertionSuccess() << peak;
}

// ----------------------------------------------------------------- agreement

using KindCase = std::tuple<int, int>;  // faultKind, networkType

class BlockSamplingEveryKind : public ::testing::TestWithParam<KindCase> {};

// 0.6 seconds from host time 0: the pre-fault wave, the disturbance instant,
// the aperiodic term and its cut-off, the fault state; and a window late
// enough that getMgn's own rounding of its sine argument exceeds 1e-12.
TEST_P(BlockSamplingEveryKind, AgreesWithGetMgnAtEverySample) {
    const auto [kind, network] = GetParam();
    const Model m(makeRecord(network, kind));
    for (const auto& [startTime, count] : {std::pair<double, std::size_t>{0.0, 6000}, {30.0, 2000}}) {
        std::vector<double> all(6 * count);
        m.model.sampleAllChannels(startTime, kStep, count, all.data());
        for (int channel = 0; channel < 6; ++channel) {
            std::vector<double> one(count);
            m.model.sampleChannel(channel, startTime, kStep, count, one.data());
            EXPECT_TRUE(agreesWithGetMgn(m.model, channel, startTime, one, 1, 0)) << "one channel from " << startTime;
            EXPECT_TRUE(agreesWithGetMgn(m.model, channel, startTime, all, 6, static_cast<std::size_t>(channel)))
                << "six channels from " << startTime;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, BlockSamplingEveryKind,
                         ::testing::Combine(::testing::Range(0, 13), ::testing::Values(0, 1, 3)),
                         [](const ::testing::TestParamInfo<KindCase>& kindCase) {
                             return "Kind" + std::to_string(std::get<0>(kindCase.param)) + "Network" +
                                    std::to_string(std::get<1>(kindCase.param));
                         });

// Ten million samples at 10 kHz reach t' = 1000 s, where one unit in the last
// place of omega t' is 6e-11 rad: a sine of anything but getMgn's own argument
// would be off by far more than the tolerance, and an error that grows with
// the record would show at its end.
TEST(BlockSamplingLongRecord, TenMillionSamplesOfOneChannel) {
    const Model m(makeRecord(0, 3));
    const std::size_t count = 10'000'000;
    std::vector<double> one(count);
    m.model.sampleChannel(4, 0.0, kStep, count, one.data());
    EXPECT_TRUE(agreesWithGetMgn(m.model, 4, 0.0, one, 1, 0, 997));
}

// Far from the disturbance getMgn's rounding of its sine argument is some
// 6e-11 rad; the six-channel arithmetic works it out for every channel, of the
// ordinary kinds and of swing and asynchronous operation alike.
TEST(BlockSamplingLongRecord, SixChannelsAfterAThousandSeconds) {
    for (const int kind : {3, 8, 9}) {
        for (const int network : {0, 2}) {
            const Model m(makeRecord(network, kind));
            const std::size_t count = 8192;
            const double startTime = 999.5;
            std::vector<double> all(6 * count);
            m.model.sampleAllChannels(startTime, kStep, count, all.data());
            for (int channel = 0; channel < 6; ++channel) {
                EXPECT_TRUE(agreesWithGetMgn(m.model, channel, startTime, all, 6, static_cast<std::size_t>(channel)))
                    << "kind " << kind << ", network " << network;
            }
        }
    }
}

// ------------------------------------------------------------ edge of the call

TEST(BlockSamplingEdges, ChannelsOutsideTheSixGiveZeros) {
    const Model m(makeRecord(0, 2));
    for (const int channel : {-1, 6, 100}) {
        std::vector<double> out(1000, 7.0);
        m.model.sampleChannel(channel, 0.0, kStep, out.size(), out.data());
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](double v) { return v == 0.0; })) << channel;
    }
    const Model swing(makeRecord(0, 8));
    std::vector<double> out(1000, 7.0);
    swing.model.sampleChannel(6, 0.0, kStep, out.size(), out.data());
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](double v) { return v == 0.0; }));
}

// Five samples per period: the chunked arithmetic with short chunks.
TEST(BlockSamplingEdges, CoarseSamplingAgreesWithGetMgn) {
    const Model m(makeRecord(1, 7));
    const std::size_t count = 3000;
    std::vector<double> all(6 * count);
    m.model.sampleAllChannels(0.0, 0.004, count, all.data());
    for (int channel = 0; channel < 6; ++channel) {
        std::vector<double> sampled(count);
        for (std::size_t k = 0; k < count; ++k) {
            sampled[k] = all[6 * k + static_cast<std::size_t>(channel)];
        }
        std::vector<double> expected(count);
        double peak = 0.0;
        for (std::size_t k = 0; k < count; ++k) {
            expected[k] = m.model.getMgn(channel, static_cast<double>(k) * 0.004);
            peak = std::max(peak, std::fabs(expected[k]));
        }
        for (std::size_t k = 0; k < count; ++k) {
            ASSERT_NEAR(sampled[k], expected[k], kTolerance * peak) << "channel " << channel << ", sample " << k;
        }
    }
}

TEST(BlockSamplingEdges, WithoutARecordEverySampleIsZero) {
    const CalculationRl model;
    std::vector<double> out(6 * 600, 7.0);
    model.sampleAllChannels(0.0, kStep, 600, out.data());
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](double v) { return v == 0.0; }));
}

// Short blocks, a backward or empty time axis and sampling coarser than a few
// samples per period are served sample by sample: exactly getMgn.
TEST(BlockSamplingEdges, UnusualAxesGiveGetMgnExactly) {
    const Model m(makeRecord(0, 6));
    const std::vector<std::tuple<double, double, std::size_t>> axes = {
        {0.03, kStep, 100},                                     // short
        {0.2, -kStep, 3000},                                    // backward
        {0.05, 0.0, 700},                                       // one instant
        {0.0, 0.01, 3000},                                      // 2 samples per period
        {0.0, std::numeric_limits<double>::quiet_NaN(), 600},   // no axis
        {std::numeric_limits<double>::infinity(), kStep, 600},  // no start
    };
    for (const auto& [startTime, step, count] : axes) {
        std::vector<double> out(6 * count);
        m.model.sampleAllChannels(startTime, step, count, out.data());
        for (std::size_t k = 0; k < count; ++k) {
            for (int channel = 0; channel < 6; ++channel) {
                const double expected = m.model.getMgn(channel, startTime + static_cast<double>(k) * step);
                const double actual = out[6 * k + static_cast<std::size_t>(channel)];
                ASSERT_TRUE(actual == expected || (std::isnan(actual) && std::isnan(expected)))
                    << "start " << startTime << ", step " << step << ", sample " << k;
            }
        }
    }
    std::vector<double> none;
    m.model.sampleAllChannels(0.0, kStep, 0, none.data());  // writes nothing
    EXPECT_TRUE(none.empty());
}

// --------------------------------------- kept values never change a result

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

double argument(const Complex& z) { return std::atan2(z.im, z.re); }

const Complex& channelPhasor(const Complex3& currents, const Complex3& voltages, int channel) {
    return channel <= 2 ? currents.values[static_cast<unsigned>(channel)]
                        : voltages.values[static_cast<unsigned>(channel - 3)];
}

double positiveAngle(double angle) {
    const double reduced = std::remainder(angle, 2.0 * kPi);
    return reduced < 0.0 ? reduced + 2.0 * kPi : reduced;
}

// The relay's phase-A voltage and current from the EMFs, computed directly:
// the leading EMF turned forward by the swing angle, the loop current through
// both sources (on a double circuit both circuits in parallel, the relay's
// carrying half).
E1E2UI directRelayState(const CalculationRl& model, double t) {
    const RlParameters& p = *model._params;
    const bool swing = isSwingKind(p.faultKind);
    if (t < 0.0 && !swing) {
        return {model._e1, model._e2, model._uLoad, model._iLoad};
    }
    Complex e1 = model._e1;
    Complex e2 = model._e2;
    if (t >= 0.0) {
        const double lead = positiveAngle(argument(model._e2) - positiveAngle(argument(model._e1)));
        const double delta = model._getDeltaAngle(t);
        if (lead < kPi) {
            e2 = Complex::fromPolar(Complex::abs(model._e2), argument(model._e2) + delta);
        } else {
            e1 = Complex::fromPolar(Complex::abs(model._e1), argument(model._e1) + delta);
        }
    }
    const bool doubleCircuit = p.networkType >= 2;
    const Complex loop = doubleCircuit ? (model._zS1 + model._zLine / Complex(2.0, 0.0)) + model._zS2 : model._zSum;
    const Complex current = Complex::abs(loop) < 1e-6 ? Complex() : (e1 - e2) / loop;
    return {e1, e2, e1 - model._zS1 * current, doubleCircuit ? current / Complex(2.0, 0.0) : current};
}

// getMgn computed directly from the members, with atan2, square root, the
// channel's own phasor turn and the EMFs' polar forms evaluated on the spot.
double directGetMgn(const CalculationRl& model, int channel, double time) {
    const RlParameters& p = *model._params;
    if (channel < 0 || channel > 5) {
        return 0.0;
    }
    const double t = time - p.preFaultDuration;
    if (t < 0.0) {
        const Complex x = channelPhasor(model._predI, model._predU, channel);
        return kSqrt2 * Complex::abs(x) * std::sin(model._omega * t + argument(x));
    }
    if (isSwingKind(p.faultKind)) {
        const E1E2UI state = directRelayState(model, t);
        const Complex x =
            Complex::rotate(channel <= 2 ? state.i : state.u, static_cast<double>(channel % 3) * 4.1887902047863905);
        return kSqrt2 * (0.0 + Complex::abs(x) * std::sin((model._omega * t + argument(x)) + p.initialAngle));
    }
    const Complex x = channelPhasor(model._faultI, model._faultU, channel);
    const double periodic = Complex::abs(x) * std::sin((model._omega * t + argument(x)) + 0.0);
    return kSqrt2 * (model._getExponenValue(channel, t, model._tau) + periodic);
}

// getMgn, getE1E2UI and isChnnelActiv bit for bit as computed directly, at
// instants across the disturbance and into the aperiodic term; block sampling
// of the same state within the tolerance.
::testing::AssertionResult matchesDirectComputation(const CalculationRl& model) {
    const double preFault = model._params->preFaultDuration;
    for (int channel = -1; channel <= 6; ++channel) {
        for (int k = -30; k < 300; ++k) {
            const double time = preFault + 0.00037 * k;
            const double actual = model.getMgn(channel, time);
            const double expected = directGetMgn(model, channel, time);
            if (!sameBits(actual, expected)) {
                return ::testing::AssertionFailure()
                       << "getMgn(" << channel << ", " << time << ") = " << actual << ", directly " << expected;
            }
        }
        const bool active =
            channel >= 0 && channel <= 5 &&
            Complex::abs(channelPhasor(model._faultI, model._faultU, channel)) +
                    (preFault >= 0.0001 ? Complex::abs(channelPhasor(model._predI, model._predU, channel)) : 0.0) >
                0.001;
        if (model.isChnnelActiv(channel) != active) {
            return ::testing::AssertionFailure() << "isChnnelActiv(" << channel << ")";
        }
    }
    for (const double t : {-0.01, 0.0, 0.013, 0.25}) {
        const E1E2UI actual = model.getE1E2UI(t);
        const E1E2UI expected = directRelayState(model, t);
        const double a[8] = {actual.e1.re, actual.e1.im, actual.e2.re, actual.e2.im,
                             actual.u.re,  actual.u.im,  actual.i.re,  actual.i.im};
        const double e[8] = {expected.e1.re, expected.e1.im, expected.e2.re, expected.e2.im,
                             expected.u.re,  expected.u.im,  expected.i.re,  expected.i.im};
        if (std::memcmp(a, e, sizeof a) != 0) {
            return ::testing::AssertionFailure() << "getE1E2UI(" << t << ")";
        }
    }
    const std::size_t count = 4000;
    const double startTime = preFault - 0.1;
    std::vector<double> all(6 * count);
    model.sampleAllChannels(startTime, kStep, count, all.data());
    for (int channel = 0; channel < 6; ++channel) {
        const ::testing::AssertionResult agrees =
            agreesWithGetMgn(model, channel, startTime, all, 6, static_cast<std::size_t>(channel));
        if (!agrees) {
            return agrees;
        }
    }
    return ::testing::AssertionSuccess();
}

class KeptValues : public ::testing::TestWithParam<int> {};

TEST_P(KeptValues, AfterCalculate) {
    for (const int network : {0, 1, 2, 3}) {
        const Model m(makeRecord(network, GetParam()));
        EXPECT_TRUE(matchesDirectComputation(m.model)) << "network " << network;
    }
}

TEST_P(KeptValues, AfterMembersSetByHand) {
    Model m(makeRecord(3, GetParam()));
    CalculationRl& model = m.model;
    model._faultI.values[0] = Complex(10.0, -10.0);
    model._faultU.values[2] = Complex(-0.0, 35.0);
    model._predI.values[1] = Complex(0.3, 0.0);
    model._predU.values[0] = Complex(-40.0, -0.0);
    model._aperiodicI[0] = -5.0;
    model._tau = 0.05;
    EXPECT_TRUE(matchesDirectComputation(model)) << "phasors";
    model._e2 = Complex::rotate(model._e2, 2.5);  // now e1 leads, or the other way round
    model._e1 = model._e1 * Complex(1.1, 0.0);
    EXPECT_TRUE(matchesDirectComputation(model)) << "EMFs";
    model._zS1 = Complex(1.2, 11.0);
    model._zSum = Complex(5.0, 50.0);
    EXPECT_TRUE(matchesDirectComputation(model)) << "impedances";
    m.params.networkType = 0;  // the other loop, read at every call
    EXPECT_TRUE(matchesDirectComputation(model)) << "single line";
    m.params.initialAngle = -1.3;
    m.params.preFaultDuration = 0.02;
    EXPECT_TRUE(matchesDirectComputation(model)) << "record";
}

TEST_P(KeptValues, AfterShiftingThePhases) {
    Model m(makeRecord(2, GetParam()));
    for (const int n : {1, 2, 1}) {
        m.model._shiftAllValues(n);
        EXPECT_TRUE(matchesDirectComputation(m.model)) << "shift " << n;
    }
}

TEST_P(KeptValues, AfterASecondCalculationOfAnotherKind) {
    Model m(makeRecord(0, GetParam()));
    for (const int kind : {2, 8, 5, 9, 12, 0}) {
        m.params.faultKind = static_cast<std::uint8_t>(kind);
        m.model.calculate();
        EXPECT_TRUE(matchesDirectComputation(m.model)) << "then kind " << kind;
        const Model fresh(m.params);
        for (int channel = 0; channel < 6; ++channel) {
            for (const double time : {0.01, 0.05, 0.3}) {
                EXPECT_TRUE(sameBits(m.model.getMgn(channel, time), fresh.model.getMgn(channel, time)));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, KeptValues, ::testing::Range(0, 13));

}  // namespace
