// The exact transients against a step-by-step integration of the same
// three-phase network (PhaseDomainNetwork.h, built from the record by the
// tests and never from the modes), and the exact mode's own promises: the
// model's phasors as the network's steady state, continuous currents, today's
// waveform where one time constant is exact, block sampling, and the records
// that have no exact solution.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "CalculationRlExact.h"
#include "PhaseDomainNetwork.h"
#include "RlTestSupport.h"

namespace {

using KexCalculate::CalculationRlExact;
using KexCalculate::RlExactStatus;
using PhaseDomain::Disturbance;
using RlTest::CalculatedModel;
using RlTest::Cx;
using RlTest::cx;
using RlTest::RlParameters;

constexpr double kStep = 2e-5;       // integration step, seconds
constexpr int kSteps = 5000;         // 100 ms after the instant
constexpr double kAgreement = 1e-6;  // of each channel's peak
constexpr double kRounding = 1e-9;   // of the peak: continuity, steady state, block sampling

// A calculated model and its exact transients.
struct ExactModel : CalculatedModel {
    explicit ExactModel(const RlParameters& record) : CalculatedModel(record) { exact.calculate(model); }
    CalculationRlExact exact;
};

// The largest pre-fault or fault-state peak of the currents (channels 0..2)
// or of the voltages (3..5).
double quantityPeak(const ExactModel& m, int channel) {
    const bool current = channel < 3;
    return RlTest::kSqrt2 * std::max(RlTest::largestMagnitude(current ? m.model._predI : m.model._predU),
                                     RlTest::largestMagnitude(current ? m.model._faultI : m.model._faultU));
}

struct IntegrationCase {
    std::string name;
    RlParameters record;
    Disturbance disturbance;
    int turn;  // the fault's phases and the EMFs moved by this many phases
};

Disturbance disturbanceOf(int kind) {
    static const Disturbance byKind[4] = {Disturbance::ThreePhase, Disturbance::TwoPhase, Disturbance::OnePhaseToGround,
                                          Disturbance::TwoPhaseToGround};
    return kind == 11 ? Disturbance::LoadSwitching : byKind[kind % 4];
}

// Every short circuit on every network case, bolted as kinds 0 to 3 and
// through 3 ohm as kinds 4 to 7; elements without reactance; faults on other
// phases; load switching.
std::vector<IntegrationCase> integrationCases() {
    static const char* const kindNames[4] = {"ThreePhase", "TwoPhase", "OnePhaseGround", "TwoPhaseGround"};
    std::vector<IntegrationCase> cases;
    const auto add = [&](const std::string& name, const RlParameters& p, int turn) {
        cases.push_back({name, p, disturbanceOf(p.faultKind), turn});
    };
    for (const RlTest::NetworkCase& network : RlTest::networkCases()) {
        for (int kind = 0; kind < 8; ++kind) {
            RlParameters p = RlTest::makeRecord(network.networkType, kind, network.faultDistance);
            p.useFaultResistance = kind >= 4;
            p.faultResistance = 3.0;
            add(std::string(network.name) + "_" + kindNames[kind % 4] + (kind >= 4 ? "_Rf" : "_Bolted"), p, 0);
        }
    }
    RlParameters p = RlTest::throughResistance(RlTest::makeRecord(0, 6), 3.0);
    p.zS2 = RlTest::Complex(1.5, 0.0);
    add("SingleLineFront_Source2WithoutReactance_OnePhaseGround_Rf", p, 0);
    p = RlTest::makeRecord(1, 3);
    p.zBranch = RlTest::Complex(4.0, 0.0);
    add("TappedFront_BranchWithoutReactance_TwoPhaseGround_Bolted", p, 0);
    p = RlTest::makeRecord(2, 1);
    p.zS2 = RlTest::Complex(1.5, 0.0);
    add("DoubleHealthy_Source2WithoutReactance_TwoPhase_Bolted", p, 0);
    // Phase B to ground: B takes the reference phase A's part, so A's EMF is
    // that of the reference phase C, two phases on.
    p = RlTest::makeRecord(0, 2);
    p.faultPhase = 1;
    add("SingleLineFront_OnePhaseGround_PhaseB", p, 2);
    // The pair C-A to ground: C and A take B's and C's parts.
    p = RlTest::throughResistance(RlTest::makeRecord(3, 7), 11.0);
    p.faultPhase = 2;
    add("DoubleFaulted_TwoPhaseGround_PairCA_Rf", p, 2);
    add("SingleLine_LoadSwitching", RlTest::makeRecord(0, 11), 0);
    return cases;
}

class ExactAgainstIntegration : public ::testing::TestWithParam<IntegrationCase> {};

TEST_P(ExactAgainstIntegration, AgreesOverTheFirst100ms) {
    const IntegrationCase& c = GetParam();
    const ExactModel m(c.record);
    ASSERT_EQ(m.exact.status(), RlExactStatus::Exact);

    const Cx turn = std::polar(1.0, -2.0 * RlTest::kPi * c.turn / 3.0);
    const Cx e1 = cx(m.model._e1Start) * turn;
    const Cx e2 = cx(m.model._e2Start) * turn;
    PhaseDomain::BuiltNetwork before = PhaseDomain::buildNetwork(c.record, e1, e2, Disturbance::None);
    PhaseDomain::BuiltNetwork after = PhaseDomain::buildNetwork(c.record, e1, e2, c.disturbance, c.turn);
    before.net.solve();
    // Each element starts with the currents of an element of the network before
    // the instant (after load switching zSwitched with the line's); the fault's
    // connections start without current.
    std::vector<int> from(static_cast<std::size_t>(before.net.elementCount()));
    std::iota(from.begin(), from.end(), 0);
    if (c.disturbance == Disturbance::LoadSwitching) {
        from = {0, before.relayElement};
    }
    std::vector<double> start;
    for (const int element : from) {
        const Eigen::Vector3d i = (before.net.current(element) * std::sqrt(2.0)).imag();
        start.insert(start.end(), i.data(), i.data() + 3);
    }
    const std::vector<std::array<double, 6>> reference =
        after.net.integrate(m.model._omega, start, after.relayElement, after.relayBus, kStep, kSteps);

    for (int channel = 0; channel < 6; ++channel) {
        const auto ch = static_cast<std::size_t>(channel);
        const double peak = RlTest::largestOver(reference.size(), [&](std::size_t s) { return reference[s][ch]; });
        const double worst = RlTest::largestOver(reference.size(), [&](std::size_t s) {
            const double time = c.record.preFaultDuration + static_cast<double>(s + 1) * kStep;
            return m.exact.getMgn(channel, time) - reference[s][ch];
        });
        EXPECT_LE(worst, kAgreement * std::max(peak, 1e-3 * quantityPeak(m, channel)))
            << "channel " << channel << ", peak " << peak;
    }
}

INSTANTIATE_TEST_SUITE_P(Networks, ExactAgainstIntegration, ::testing::ValuesIn(integrationCases()),
                         [](const auto& testInfo) { return testInfo.param.name; });

// Every record in scope: the network's steady states are the model's phasors,
// and every current continues from its pre-fault value at the instant.
TEST(ExactMode, ModelPhasorsAreTheSteadyStateAndCurrentsAreContinuous) {
    std::vector<RlParameters> records;
    for (const RlTest::NetworkCase& network : RlTest::networkCases()) {
        for (int kind = 0; kind < 8; ++kind) {
            for (std::uint8_t phase = 0; phase < 3; ++phase) {
                RlParameters p = RlTest::makeRecord(network.networkType, kind, network.faultDistance);
                p.faultPhase = phase;
                p.useFaultResistance = kind % 2 == 0;
                p.faultResistance = 3.0;
                records.push_back(p);
            }
        }
    }
    records.push_back(RlTest::makeRecord(0, 11));
    for (const RlParameters& p : records) {
        const ExactModel m(p);
        SCOPED_TRACE("network " + std::to_string(p.networkType) + ", distance " + std::to_string(p.faultDistance) +
                     ", kind " + std::to_string(p.faultKind) + ", phase " + std::to_string(p.faultPhase));
        ASSERT_EQ(m.exact.status(), RlExactStatus::Exact);
        for (int channel = 0; channel < 6; ++channel) {
            const double peak = quantityPeak(m, channel);
            const Cx pre = RlTest::preFaultPhasor(m.model, channel);
            const Cx post = RlTest::faultPhasor(m.model, channel);
            EXPECT_TRUE(RlTest::near(m.exact.networkPreFaultPhasor(channel), pre, kRounding * peak)) << channel;
            EXPECT_TRUE(RlTest::near(m.exact.networkFaultPhasor(channel), post, kRounding * peak)) << channel;
            if (channel < 3) {
                EXPECT_NEAR(m.exact.getMgn(channel, p.preFaultDuration), RlTest::kSqrt2 * pre.imag(), kRounding * peak)
                    << channel;
            }
        }
    }
}

// A bolted three-phase fault in front of the relay on a single line leaves
// the relay one loop, source 1 to the fault: one time constant, today's.
TEST(ExactMode, BoltedThreePhaseFaultOnASingleLineIsTodaysWaveform) {
    for (const int kind : {0, 4}) {
        const ExactModel m(RlTest::makeRecord(0, kind));
        ASSERT_EQ(m.exact.status(), RlExactStatus::Exact);
        ASSERT_EQ(m.exact.modeCount(), 1U);
        EXPECT_NEAR(m.exact.modeTimeConstant(0), m.model._tau, 1e-12 * m.model._tau);
        for (int channel = 0; channel < 6; ++channel) {
            const double worst = RlTest::largestOver(kSteps + 1, [&](std::size_t s) {
                const double time = m.params.preFaultDuration + static_cast<double>(s) * kStep;
                return m.exact.getMgn(channel, time) - m.model.getMgn(channel, time);
            });
            EXPECT_LE(worst, kRounding * quantityPeak(m, channel)) << "kind " << kind << ", channel " << channel;
        }
    }
}

// The healthy phase of a phase-to-phase fault carries no DC at all (the model
// leaves it its floor of 1e-6 A): its waveform is the fault-state sine wave.
TEST(ExactMode, HealthyPhaseHasNoDc) {
    const ExactModel m(RlTest::makeRecord(2, 1));
    ASSERT_EQ(m.exact.status(), RlExactStatus::Exact);
    ASSERT_GT(m.exact.modeCount(), 0U);
    EXPECT_NE(m.model._aperiodicI[0], 0.0);
    for (const int channel : {0, 3}) {
        for (std::size_t k = 0; k < m.exact.modeCount(); ++k) {
            EXPECT_EQ(m.exact.modeDc(k, channel), 0.0) << channel;
        }
        const Cx x = RlTest::faultPhasor(m.model, channel);
        for (const double t : {0.0, 0.0031, 0.017}) {
            EXPECT_NEAR(m.exact.getMgn(channel, m.params.preFaultDuration + t), RlTest::waveAt(x, m.model._omega, t),
                        1e-12 * std::abs(x))
                << channel;
        }
    }
}

// Without resistance the fault's DC never decays: one mode of infinite time
// constant, the current's jump at the instant held for good, no DC in the
// voltages (no resistance to drop it, no change of current to induce it).
TEST(ExactMode, LoopWithoutResistanceKeepsItsDc) {
    RlParameters p = RlTest::makeRecord(0, 0);
    p.zS1.re = p.zLine.re = p.zS2.re = 0.0;
    const ExactModel m(p);
    ASSERT_EQ(m.exact.status(), RlExactStatus::Exact);
    ASSERT_EQ(m.exact.modeCount(), 1U);
    EXPECT_EQ(m.exact.modeTimeConstant(0), std::numeric_limits<double>::infinity());
    for (int channel = 0; channel < 6; ++channel) {
        const Cx post = RlTest::faultPhasor(m.model, channel);
        const double jump =
            channel < 3 ? RlTest::kSqrt2 * (RlTest::preFaultPhasor(m.model, channel) - post).imag() : 0.0;
        const double allowed = kRounding * quantityPeak(m, channel);
        EXPECT_NEAR(m.exact.initialDc(channel), jump, allowed) << channel;
        const double t = 10.0;
        EXPECT_NEAR(m.exact.getMgn(channel, p.preFaultDuration + t) - RlTest::waveAt(post, m.model._omega, t), jump,
                    allowed)
            << channel;
    }
}

// Block sampling equals the per-sample values: through the instant, until
// every mode has died out, a mode that never does, kinds outside the scope,
// a record without solution, short blocks and uneven steps.
TEST(ExactMode, BlockSamplingEqualsPerSampleValues) {
    RlParameters lossless = RlTest::makeRecord(0, 0);
    lossless.zS1.re = lossless.zLine.re = lossless.zS2.re = 0.0;
    RlParameters notPassive = RlTest::makeRecord(0, 2);
    notPassive.kLine.re = -0.5;
    for (const RlParameters& p : {RlTest::throughResistance(RlTest::makeRecord(0, 6), 3.0), RlTest::makeRecord(3, 3),
                                  RlTest::makeRecord(1, 7, -10.0), lossless, RlTest::makeRecord(0, 8), notPassive}) {
        const ExactModel m(p);
        SCOPED_TRACE("kind " + std::to_string(p.faultKind) + ", status " +
                     KexCalculate::rlExactStatusText(m.exact.status()));
        struct Block {
            double start;
            double step;
            std::size_t count;
        };
        for (const Block& b : {Block{0.0, 1e-4, 30000}, Block{0.04 - 0.00337, 7.3e-5, 4000}, Block{0.0401, 1e-4, 5}}) {
            std::vector<double> all(6 * b.count);
            std::vector<double> one(b.count);
            m.exact.sampleAllChannels(b.start, b.step, b.count, all.data());
            for (int channel = 0; channel < 6; ++channel) {
                const auto ch = static_cast<std::size_t>(channel);
                m.exact.sampleChannel(channel, b.start, b.step, b.count, one.data());
                const double worst = RlTest::largestOver(b.count, [&](std::size_t k) {
                    const double value = m.exact.getMgn(channel, b.start + static_cast<double>(k) * b.step);
                    return std::fabs(all[6 * k + ch] - value) + std::fabs(one[k] - value);  // both paths
                });
                EXPECT_LE(worst, kRounding * quantityPeak(m, channel)) << channel << ", " << b.count;
            }
        }
    }
}

// Records without an exact solution say why, carry no modes, and give the
// model's sine waves without DC (no waveform at all for an invalid record):
// never a NaN, never a growing sample.
TEST(ExactMode, RecordsWithoutSolutionGiveBoundedWaves) {
    const auto check = [](const char* name, RlExactStatus status, const auto& change) {
        SCOPED_TRACE(name);
        RlParameters p = RlTest::makeRecord(0, 2);
        change(p);
        const ExactModel m(p);
        EXPECT_EQ(m.exact.status(), status);
        EXPECT_EQ(m.exact.modeCount(), 0U);
        const bool silent = status == RlExactStatus::InvalidRecord;
        constexpr std::size_t kCount = 10000;  // 10 s
        std::vector<double> samples(6 * kCount);
        m.exact.sampleAllChannels(0.0, 1e-3, kCount, samples.data());
        for (int channel = 0; channel < 6; ++channel) {
            const auto ch = static_cast<std::size_t>(channel);
            const double bound = silent ? 0.0 : quantityPeak(m, channel);
            EXPECT_LE(RlTest::largestOver(kCount, [&](std::size_t k) { return samples[6 * k + ch]; }),
                      bound * (1.0 + 1e-12))
                << channel;
            if (!silent) {
                const double sine = RlTest::kSqrt2 * RlTest::faultPhasor(m.model, channel).imag();
                EXPECT_NEAR(m.exact.getMgn(channel, m.params.preFaultDuration), sine, 1e-12 * bound) << channel;
            }
        }
    };
    check("NegativeZeroSequenceResistance", RlExactStatus::NotPassive, [](RlParameters& p) { p.kLine.re = -0.5; });
    check("NegativeZeroSequenceReactance", RlExactStatus::NotPassive, [](RlParameters& p) { p.kS1.im = -1.0; });
    check("FaultBeyondTheLineEnd", RlExactStatus::NotPassive, [](RlParameters& p) { p.faultDistance = 150.0; });
    check("NegativeFaultResistance", RlExactStatus::NotPassive, [](RlParameters& p) {
        p.useFaultResistance = true;
        p.faultResistance = -2.0;
    });
    check("BoltedFaultAcrossAnIdealSource", RlExactStatus::LoopWithoutImpedance, [](RlParameters& p) {
        p.faultKind = 0;
        p.faultDistance = -10.0;
        p.zS1 = RlTest::Complex();
    });
    // The model takes the loop up to the fault, below 1e-6 ohm, as no loop.
    check("LoopBelowTheModelsGuard", RlExactStatus::ModelDiffers, [](RlParameters& p) {
        p.faultKind = 0;
        p.faultDistance = 1.0;
        p.zS1 = RlTest::Complex();
        p.zLine = RlTest::Complex(1e-6, 1e-5);
    });
    check("ZeroFrequency", RlExactStatus::InvalidRecord, [](RlParameters& p) { p.frequency = 0.0; });
    // At 3e-202 Hz the line's inductance is 5e203 H beside a source's 0.16 H:
    // the elimination overflows (found by the fuzzer).
    check("InductancesBeyondDoubleRange", RlExactStatus::InvalidRecord, [](RlParameters& p) {
        p.faultKind = 3;
        p.faultDistance = 88.34375;
        p.loadCurrent = 0.0;
        p.loadVoltage = 0.0;
        p.frequency = 2.8177690084181986e-202;
        p.zS1 = RlTest::Complex(40.34375, 2.817769008415646e-202);
        p.zLine = RlTest::Complex(88.34375, 88.34375);
        p.kLine = RlTest::Complex(88.34375, 2.8177690084182086e-202);
        p.zS2 = RlTest::Complex(0.0, 2.8177690077621457e-202);
    });
    check("ImpedanceNotANumber", RlExactStatus::InvalidRecord,
          [](RlParameters& p) { p.zLine.re = std::numeric_limits<double>::quiet_NaN(); });
}

// Kinds outside the scope keep the model's waveforms, bit for bit.
TEST(ExactMode, KindsOutsideTheScopeAreTheModels) {
    for (const auto& [network, kind] : {std::pair<int, int>{0, 8}, {2, 9}, {3, 10}, {0, 12}, {1, 11}}) {
        const ExactModel m(RlTest::makeRecord(network, kind));
        SCOPED_TRACE("kind " + std::to_string(kind));
        EXPECT_EQ(m.exact.status(), RlExactStatus::KindOutsideScope);
        EXPECT_EQ(m.exact.modeCount(), 0U);
        constexpr std::size_t kCount = 3000;
        std::vector<double> exact(6 * kCount);
        std::vector<double> model(6 * kCount);
        m.exact.sampleAllChannels(0.0, 1e-4, kCount, exact.data());
        m.model.sampleAllChannels(0.0, 1e-4, kCount, model.data());
        EXPECT_EQ(exact, model);
        for (int channel = 0; channel < 6; ++channel) {
            EXPECT_EQ(m.exact.getMgn(channel, 0.0523), m.model.getMgn(channel, 0.0523));
        }
    }
    const CalculationRlExact notCalculated;
    EXPECT_EQ(notCalculated.status(), RlExactStatus::NotCalculated);
    EXPECT_EQ(notCalculated.getMgn(0, 0.1), 0.0);
}

}  // namespace
