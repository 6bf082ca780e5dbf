// The CT stage against an independent solution: the flux linkage integrated
// in its own form, d lambda/dt = (Rt i2 + Lb di1/dt) / (1 + Lb ie'(lambda)),
// with the derivative of an analytic ideal current, by the classical
// Runge-Kutta scheme at a step far below the stage's, on an excitation curve
// calibrated here by quadrature. Then the stage against itself with a ten
// times shorter step, the physical checks, and what it does with parameters
// that make no sense.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "CtSaturation.h"
#include "RlTestSupport.h"

namespace {

using KexCalculate::CtIdealCurrent;
using KexCalculate::CtIntegration;
using KexCalculate::CtParameters;
using KexCalculate::CtSaturation;
using RlTest::everySampleNear;
using RlTest::kPi;
using RlTest::kSqrt2;
using RlTest::peakOf;

// sqrt(2) I (d e^(-t/T1) - cos(omega t)): a fault current with the DC offset
// fraction d, from t = 0.
struct OffsetCurrent {
    double rms;
    double omega;
    double dcTimeConstant;
    double dcFraction = 1.0;

    double at(double t) const {
        return kSqrt2 * rms * (dcFraction * std::exp(-t / dcTimeConstant) - std::cos(omega * t));
    }
    double slopeAt(double t) const {
        return kSqrt2 * rms *
               (-dcFraction / dcTimeConstant * std::exp(-t / dcTimeConstant) + omega * std::sin(omega * t));
    }
    CtIdealCurrent source() const {
        return {[](const void* self, int, double t) { return static_cast<const OffsetCurrent*>(self)->at(t); }, this,
                0};
    }
    std::vector<double> samples(double step, std::size_t count) const {
        std::vector<double> values(count);
        for (std::size_t k = 0; k < count; ++k) values[k] = at(static_cast<double>(k) * step);
        return values;
    }
};

// The worked case: 60 Hz, S = 22, Vs = 400 V, Rb = 4 ohm, Xb = 2 ohm, 50 A
// RMS with full offset and T1 = 12 / omega.
constexpr double kOmega50 = 2.0 * kPi * 50.0;
constexpr double kOmega60 = 2.0 * kPi * 60.0;
const CtParameters kWorkedCt{60.0, 0.0, 4.0, 2.0, 400.0, 22.0, 0.0};
const OffsetCurrent kWorkedCurrent{50.0, kOmega60, 12.0 / kOmega60};

// ie = scale sign(lambda) |lambda / peak|^S, scale such that the sinusoidal
// flux of the given peak draws 10 A RMS (Simpson's rule over a period).
struct ExcitationCurve {
    explicit ExcitationCurve(const CtParameters& ct)
        : peak(kSqrt2 * ct.saturationVoltage / (2.0 * kPi * ct.frequency)), exponent(ct.exponent) {
        const int n = 20000;
        double sum = 0.0;
        for (int k = 0; k <= n; ++k) {
            const double weight = k == 0 || k == n ? 1.0 : (k % 2 == 1 ? 4.0 : 2.0);
            sum += weight * std::pow(std::fabs(std::sin(2.0 * kPi * k / n)), 2.0 * exponent);
        }
        scale = 10.0 / std::sqrt(sum / (3.0 * n));
    }
    double at(double flux) const { return std::copysign(scale * std::pow(std::fabs(flux / peak), exponent), flux); }
    double slopeAt(double flux) const {
        return scale * exponent * std::pow(std::fabs(flux / peak), exponent - 1.0) / peak;
    }

    double peak;
    double exponent;
    double scale = 0.0;
};

// d lambda / dt = (Rt (i1 - ie) + Lb di1/dt) / (1 + Lb ie'(lambda)).
struct FluxEquation {
    FluxEquation(const CtParameters& ct, const OffsetCurrent& ideal)
        : curve(ct),
          i1(ideal),
          rt(ct.windingResistance + ct.burdenResistance),
          lb(ct.burdenReactance / (2.0 * kPi * ct.frequency)) {}
    double slope(double t, double flux) const {
        return (rt * (i1.at(t) - curve.at(flux)) + lb * i1.slopeAt(t)) / (1.0 + lb * curve.slopeAt(flux));
    }

    ExcitationCurve curve;
    OffsetCurrent i1;
    double rt;
    double lb;
};

struct Trace {
    std::vector<double> current;
    std::vector<double> flux;
};

// Classical Runge-Kutta on the flux linkage, `substeps` per output step.
Trace rungeKutta(const CtParameters& ct, const OffsetCurrent& i1, double step, std::size_t count, int substeps) {
    const FluxEquation equation(ct, i1);
    const auto slope = [&](double t, double flux) { return equation.slope(t, flux); };
    const double h = step / substeps;
    Trace trace;
    double flux = ct.remanence * equation.curve.peak;
    for (std::size_t k = 0; k < count; ++k) {
        const double t = static_cast<double>(k) * step;
        trace.current.push_back(i1.at(t) - equation.curve.at(flux));
        trace.flux.push_back(flux);
        for (int j = 0; j < substeps; ++j) {
            const double s = t + j * h;
            const double k1 = slope(s, flux);
            const double k2 = slope(s + h / 2, flux + h / 2 * k1);
            const double k3 = slope(s + h / 2, flux + h / 2 * k2);
            const double k4 = slope(s + h, flux + h * k3);
            flux += h / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
        }
    }
    return trace;
}

Trace saturated(const CtSaturation& ct, const CtIdealCurrent& ideal, double step, std::size_t count) {
    Trace trace{std::vector<double>(count), std::vector<double>(count)};
    ct.saturate(ideal, 0.0, step, count, trace.current.data(), trace.flux.data());
    return trace;
}

// The stage with a ten times shorter longest step and a thousand times
// smaller tolerance (its error goes with the cube of the step).
CtSaturation refined(const CtSaturation& ct) {
    const CtIntegration used = ct.integration();
    return CtSaturation(ct.parameters(), {used.maxStep / 10.0, used.tolerance / 1000.0});
}

TEST(CtSaturation, ExcitationCurveDrawsTenAmperesRmsAtTheSaturationFlux) {
    for (const double exponent : {1.0, 10.0, 22.0, 30.0}) {
        CtParameters p = kWorkedCt;
        p.exponent = exponent;
        const CtSaturation ct(p);
        const ExcitationCurve curve(p);
        EXPECT_NEAR(ct.saturationFlux(), curve.peak, 1e-15);
        for (const double fraction : {-1.3, -0.4, 0.0, 0.7, 1.0, 1.1}) {
            const double flux = fraction * curve.peak;
            EXPECT_NEAR(ct.excitationCurrent(flux), curve.at(flux), 1e-9 * std::fabs(curve.at(flux))) << exponent;
        }
    }
}

TEST(CtSaturation, WorkedCase) {
    // The reference at 120 kHz (sample 1400 is t = 11.667 ms, 4800 is 40 ms).
    const double step = 1.0 / 120000.0;
    const std::size_t count = 4801;
    const Trace reference = rungeKutta(kWorkedCt, kWorkedCurrent, step, count, 10);
    EXPECT_NEAR(reference.flux[1400], 1.5640, 5e-5);
    EXPECT_NEAR(reference.current[1400], -1.08, 5e-3);
    EXPECT_NEAR(kWorkedCurrent.at(1400 * step), 70.86, 5e-3);
    EXPECT_NEAR(reference.flux[4800], 1.4952, 5e-5);
    EXPECT_NEAR(reference.current[4800], 50.57, 5e-3);
    EXPECT_NEAR(kWorkedCurrent.at(4800 * step), 77.33, 5e-3);
    double departure = 0.0;  // s
    for (std::size_t k = 0; std::fabs(reference.current[k] - kWorkedCurrent.at(departure)) <= 0.5; ++k) {
        departure = static_cast<double>(k + 1) * step;
    }
    EXPECT_GT(departure, 5.4e-3);
    EXPECT_LT(departure, 5.6e-3);

    const CtSaturation ct(kWorkedCt);
    const Trace stage = saturated(ct, kWorkedCurrent.source(), step, count);
    const double tolerance = 1e-3 * peakOf(kWorkedCurrent.samples(step, count));
    EXPECT_TRUE(everySampleNear(stage.current, reference.current, tolerance));
    EXPECT_TRUE(everySampleNear(stage.flux, reference.flux, 1e-5));
}

struct StageCase {
    const char* name;
    CtParameters ct;
    OffsetCurrent current;
    int rungeKuttaSubsteps;  // per 0.1 ms for a Runge-Kutta reference over 40 ms; 0: none
};

class CtSaturationCases : public ::testing::TestWithParam<StageCase> {};

// 10 kHz over 0.3 s: saturation in the DC offset, recovery, the steady state.
TEST_P(CtSaturationCases, EverySampleWithinAThousandthOfThePeakOfAFinerSolution) {
    const StageCase& c = GetParam();
    const double step = 1e-4;
    const std::size_t count = 3001;
    const std::vector<double> ideal = c.current.samples(step, count);
    const double tolerance = 1e-3 * peakOf(ideal);
    const CtSaturation ct(c.ct);
    const Trace stage = saturated(ct, c.current.source(), step, count);
    EXPECT_TRUE(
        everySampleNear(stage.current, saturated(refined(ct), c.current.source(), step, count).current, tolerance));
    EXPECT_LT(CtSaturation::firstDeparture(ideal.data(), stage.current.data(), count), count);  // it saturates
    if (c.rungeKuttaSubsteps > 0) {
        const Trace reference = rungeKutta(c.ct, c.current, step, 401, c.rungeKuttaSubsteps);
        EXPECT_TRUE(
            everySampleNear(reference.current, {stage.current.begin(), stage.current.begin() + 401}, tolerance));
    }
}

// StiffResistive: S = 30 and a current far beyond the knee, the core enters
// and leaves saturation within microseconds each half period.
// ReactiveCurrentAtStart: the burden carries current from the first instant.
INSTANTIATE_TEST_SUITE_P(
    CtSaturation, CtSaturationCases,
    ::testing::Values(
        StageCase{"Worked", kWorkedCt, kWorkedCurrent, 0},
        StageCase{"StiffResistive", {50.0, 1.0, 9.0, 0.0, 100.0, 30.0, -0.5}, {1000.0, kOmega50, 0.04}, 200},
        StageCase{"ReactiveCurrentAtStart", {50.0, 0.3, 1.5, 2.0, 30.0, 18.0, 0.4}, {60.0, kOmega50, 0.06, 0.5}, 40},
        StageCase{"S10Resistive", {50.0, 0.5, 4.0, 0.0, 60.0, 10.0, 0.0}, {100.0, kOmega50, 0.05}, 0},
        StageCase{"S30Resistive", {50.0, 0.5, 4.0, 0.0, 100.0, 30.0, 0.8}, {200.0, kOmega50, 0.1}, 0},
        StageCase{"S30Reactive", {60.0, 0.2, 1.0, 3.0, 200.0, 30.0, -0.9}, {100.0, kOmega60, 0.03}, 0},
        StageCase{"S1", {50.0, 0.0, 2.0, 1.0, 50.0, 1.0, 0.5}, {40.0, kOmega50, 0.05}, 0},
        StageCase{"NoDcDeepSaturation", {50.0, 0.0, 8.0, 0.0, 100.0, 25.0, 0.0}, {100.0, kOmega50, 0.05, 0.0}, 0}),
    [](const ::testing::TestParamInfo<StageCase>& param) { return std::string(param.param.name); });

// A model's fault current as the ideal current, taken at the integrator's own
// instants: the stage converges where the core saturates, and without
// saturation (Vs = 1e6 V) it gives the ideal current, from the model as from
// its samples.
TEST(CtSaturation, OnAModelsCurrent) {
    const RlTest::CalculatedModel m(RlTest::makeRecord(0, 2));
    const double step = 1e-4;
    const std::size_t count = 3000;
    std::vector<double> ideal(count);
    m.model.sampleChannel(0, 0.0, step, count, ideal.data());
    const CtIdealCurrent channel = CtSaturation::channelOf(m.model, 0);

    const CtSaturation ct({50.0, 0.1, 0.4, 0.1, 4.0, 22.0, 0.3});
    const Trace stage = saturated(ct, channel, step, count);
    const Trace fine = saturated(refined(ct), channel, step, count);
    EXPECT_TRUE(everySampleNear(stage.current, fine.current, 1e-3 * peakOf(ideal)));
    EXPECT_LT(CtSaturation::firstDeparture(ideal.data(), stage.current.data(), count), count);

    const CtSaturation linear({50.0, 0.5, 2.0, 1.0, 1e6, 22.0, 0.0});
    std::vector<double> fromSamples(count);
    linear.saturateSamples(ideal.data(), count, step, fromSamples.data());
    EXPECT_TRUE(everySampleNear(saturated(linear, channel, step, count).current, ideal, 1e-9 * peakOf(ideal)));
    EXPECT_TRUE(everySampleNear(fromSamples, ideal, 1e-9 * peakOf(ideal)));
}

// A record saturated block by block, the core's state carried over, is the
// record saturated in one call, bit for bit, through saturation and back.
TEST(CtSaturation, BlockByBlockIsOneCall) {
    const CtSaturation ct(kWorkedCt);
    const std::size_t count = 3000;
    const Trace whole = saturated(ct, kWorkedCurrent.source(), 1e-5, count);
    std::vector<double> current(count);
    std::vector<double> flux(count);
    CtSaturation::Progress progress;
    for (const std::size_t block : {std::size_t{1}, std::size_t{7}, std::size_t{992}, std::size_t{2000}}) {
        const std::size_t first = progress.samples();
        ct.saturateBlock(kWorkedCurrent.source(), 0.0, 1e-5, block, &current[first], progress, &flux[first]);
    }
    ASSERT_EQ(progress.samples(), count);
    EXPECT_TRUE(RlTest::sameBits(current, whole.current));
    EXPECT_TRUE(RlTest::sameBits(flux, whole.flux));
}

// The figures docs/model.md gives for samples of the worked case.
TEST(CtSaturation, FromSamplesAtTenAndFiftyKilohertz) {
    for (const auto& [rate, bound] : {std::pair{10000.0, 5e-5}, std::pair{50000.0, 5e-6}}) {
        const double step = 1.0 / rate;
        const auto count = static_cast<std::size_t>(0.1 * rate) + 1;
        const std::vector<double> ideal = kWorkedCurrent.samples(step, count);
        std::vector<double> fromSamples(count);
        const CtSaturation ct(kWorkedCt);
        ct.saturateSamples(ideal.data(), count, step, fromSamples.data());
        const Trace converged = saturated(refined(ct), kWorkedCurrent.source(), step, count);
        EXPECT_TRUE(everySampleNear(fromSamples, converged.current, bound * peakOf(ideal))) << rate;
    }
}

// The interpolant reproduces a polynomial of degree (nodes - 1) exactly, so
// on such an ideal current the samples give what the function gives (to
// within the integration's tolerance: a rounding can decide a step).
TEST(CtSaturation, FromSamplesThroughUpToFourNodes) {
    struct Polynomial {
        double c[4];
        double at(double t) const { return c[0] + t * (c[1] + t * (c[2] + t * c[3])); }
    };
    const CtSaturation ct({50.0, 0.0, 2.0, 1.0, 5.0, 22.0, 0.2});
    const double step = 1e-3;
    for (const auto& [count, ideal] : {std::pair{std::size_t{2}, Polynomial{{-20.0, 3e4, 0.0, 0.0}}},
                                       std::pair{std::size_t{3}, Polynomial{{-20.0, 3e4, -4e6, 0.0}}},
                                       std::pair{std::size_t{7}, Polynomial{{-20.0, 3e4, -4e6, -5e8}}}}) {
        const CtIdealCurrent function{
            [](const void* self, int, double t) { return static_cast<const Polynomial*>(self)->at(t); }, &ideal, 0};
        std::vector<double> samples(count);
        for (std::size_t k = 0; k < count; ++k) samples[k] = ideal.at(static_cast<double>(k) * step);
        std::vector<double> fromSamples(count);
        ct.saturateSamples(samples.data(), count, step, fromSamples.data());
        const Trace fromFunction = saturated(ct, function, step, count);
        EXPECT_TRUE(everySampleNear(fromSamples, fromFunction.current, 1e-5 * peakOf(samples))) << count;
        EXPECT_GT(std::fabs(fromSamples.back() - samples.back()), 0.05 * peakOf(samples)) << count;  // saturated
    }
}

// A burden of 1e8 ohm saturates the core within nanoseconds: the steps
// shrink to the shortest, which is taken even where its length misses the
// shortest by a rounding (it was tried again and again before), and the
// secondary current is all but gone.
TEST(CtSaturation, AnOverwhelmedCoreStillAdvances) {
    const CtSaturation ct({50.0, 1e8, 4.0, 2.0, 400.0, 22.0, 0.0});
    const OffsetCurrent i1{5.0, kOmega50, 0.05, 0.0};
    const Trace stage = saturated(ct, i1.source(), 1e-4, 400);
    EXPECT_TRUE(everySampleNear(std::vector<double>(stage.current.begin() + 1, stage.current.end()),
                                std::vector<double>(stage.current.size() - 1, 0.0), 1e-3 * i1.rms));
}

TEST(CtSaturation, ResistiveBurdenWithoutOffsetStaysBelowTheKnee) {
    // The burden voltage peaks at 60 % of sqrt(2) Vs.
    const CtSaturation ct({50.0, 0.5, 2.5, 0.0, 100.0, 22.0, 0.0});
    const OffsetCurrent i1{0.6 * 100.0 / 3.0, kOmega50, 0.05, 0.0};
    const std::size_t count = 5000;
    const std::vector<double> ideal = i1.samples(1e-4, count);
    const Trace stage = saturated(ct, i1.source(), 1e-4, count);
    EXPECT_EQ(CtSaturation::firstDeparture(ideal.data(), stage.current.data(), count, 1e-3), count);
}

TEST(CtSaturation, RemanenceWithTheOffsetSaturatesEarlierAgainstItLater) {
    const std::size_t count = 2000;
    const std::vector<double> ideal = kWorkedCurrent.samples(1e-5, count);
    std::size_t departure[3] = {};
    for (int k = 0; k < 3; ++k) {
        CtParameters p = kWorkedCt;
        p.remanence = 0.6 * (k - 1);  // -0.6, 0, 0.6: the offset drives the flux positive
        departure[k] = CtSaturation::firstDeparture(
            ideal.data(), saturated(CtSaturation(p), kWorkedCurrent.source(), 1e-5, count).current.data(), count);
    }
    EXPECT_LT(departure[2], departure[1]);
    EXPECT_LT(departure[1], departure[0]);
    EXPECT_LT(departure[0], count);
}

TEST(CtSaturation, ParametersThatMakeNoSenseAreNamedAndGiveNaN) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* field;
        double CtParameters::*member;
        double value;
    } cases[] = {
        {"frequency", &CtParameters::frequency, 0.0},
        {"windingResistance", &CtParameters::windingResistance, -0.1},
        {"burdenResistance", &CtParameters::burdenResistance, nan},
        {"burdenReactance", &CtParameters::burdenReactance, -1.0},
        {"saturationVoltage", &CtParameters::saturationVoltage, std::numeric_limits<double>::infinity()},
        {"exponent", &CtParameters::exponent, 0.9},
        {"exponent", &CtParameters::exponent, 31.0},
        {"remanence", &CtParameters::remanence, -0.96},
    };
    for (const double remanence : {-0.95, 0.0, 0.95}) {  // the largest remanence itself is sound
        CtParameters p = kWorkedCt;
        p.remanence = remanence;
        EXPECT_EQ(CtSaturation::check(p).field, nullptr) << remanence;
    }
    for (const auto& c : cases) {
        CtParameters p = kWorkedCt;
        p.*c.member = c.value;
        EXPECT_STREQ(CtSaturation::check(p).field, c.field);
        const CtSaturation ct(p);
        EXPECT_FALSE(ct.isValid());
        double out[3] = {};
        ct.saturate(kWorkedCurrent.source(), 0.0, 1e-4, 3, out);
        EXPECT_TRUE(std::isnan(out[0]) && std::isnan(out[2])) << c.field;
    }
    EXPECT_FALSE(CtSaturation().isValid());
    const CtSaturation ct(kWorkedCt);
    for (const double step : {0.0, -1e-4, nan}) {
        double out[2] = {};
        ct.saturate(kWorkedCurrent.source(), 0.0, step, 2, out);
        EXPECT_TRUE(std::isnan(out[1])) << step;
    }
    // An ideal sample that is not a number makes the rest NaN from the sample
    // before it on (the cubic of the interval ending there passes through it).
    const double withGap[] = {1.0, 2.0, 1.0, 0.0, nan, 1.0, 0.0};
    double out[7] = {};
    ct.saturateSamples(withGap, 7, 1e-4, out);
    EXPECT_TRUE(std::isfinite(out[2]) && std::isnan(out[3]) && std::isnan(out[6]));
    // A sample that is not a number counts as a departure.
    const double ideal[] = {1.0, 2.0, 1.0};
    const double secondary[] = {1.0, nan, 1.0};
    EXPECT_EQ(CtSaturation::firstDeparture(ideal, secondary, 3), 1U);
}

}  // namespace
