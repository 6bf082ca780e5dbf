// The CT is integrated in the state psi = lambda - Lb i2, for which
//   d psi / dt = Rt i2,   lambda + Lb ie(lambda) = psi + Lb i1,
// so no derivative of the ideal current is needed. The equation is stiff once
// the core saturates (the excitation current grows with the S-th power of the
// flux), so the integration is implicit: TR-BDF2, a trapezoidal stage to
// t + gamma h followed by a BDF2 stage to t + h, second order and L-stable
// (stiff components are damped, not carried on as the oscillation the
// trapezoidal rule alone leaves). Both stages reduce to one scalar equation
//   lambda + K ie(lambda) = c,   K = Lb + (gamma / 2) h Rt,
// monotone in lambda. The step follows the local error: long while the core
// is far from saturation, short where it enters or leaves it.
#include "CtSaturation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "detail/MathConstants.h"

namespace KexCalculate {

namespace {

using detail::kPi;
using detail::kSqrt2;
constexpr double kLn2 = 0.6931471805599453;

// TR-BDF2 with gamma = 2 - sqrt(2): the BDF2 stage then has the same implicit
// coefficient gamma / 2 as the trapezoidal one.
constexpr double kGamma = 2.0 - kSqrt2;
constexpr double kInverseGamma = 1.0 / kGamma;
constexpr double kImplicitWeight = kGamma / 2.0;
constexpr double kWeightOfStage = 1.0 / (kGamma * (2.0 - kGamma));
constexpr double kWeightOfStart = -(1.0 - kGamma) * (1.0 - kGamma) / (kGamma * (2.0 - kGamma));
// Its local error is C h^3 (d/dt)^3 psi with C = (-3 gamma^2 + 4 gamma - 2) / (12 (2 - gamma)),
// the third derivative taken as twice the second divided difference of the
// slopes at the start, the stage and the end of the step (weights per unit of h).
constexpr double kErrorConstant = (-3.0 * kGamma * kGamma + 4.0 * kGamma - 2.0) / (6.0 * (2.0 - kGamma));
constexpr double kErrorAtStart = 1.0 / kGamma;
constexpr double kErrorAtStage = -1.0 / (kGamma * (1.0 - kGamma));
constexpr double kErrorAtEnd = 1.0 / (1.0 - kGamma);

// Step control: the defaults, the change of the step from one to the next,
// the smallest step (taken whatever its error), and how much longer than the
// controlled step the last step before an output instant may be.
constexpr double kDefaultStepsPerPeriod = 100.0;
constexpr double kDefaultTolerance = 1e-5;
constexpr double kSafety = 0.9;
constexpr double kMinGrowth = 0.2;
constexpr double kMaxGrowth = 5.0;
constexpr double kMinStepFraction = 1e-6;  // of the longest step
// The longest step is at least the output step over this many, so that the
// smallest step still moves the fraction of the output step done forward.
constexpr double kMaxStepsPerSample = 1e6;
constexpr double kLastStepSlack = 0.1;

// The flux equation: where its power term is below this against the linear
// one the target is the starting point; a step of Halley's iteration below
// kDirectTolerance of the flux leaves an error of the order of its cube, a
// step of Newton's on the logarithm below kLogTolerance one of its square.
constexpr double kLinearRegime = 1e-6;
constexpr double kDirectTolerance = 1e-6;
constexpr int kDirectSteps = 6;
constexpr double kLogTolerance = 1e-10;
constexpr int kLogSteps = 100;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool isFinitePositive(double x) { return std::isfinite(x) && x > 0.0; }
bool isFiniteNonNegative(double x) { return std::isfinite(x) && x >= 0.0; }

// Mean of sin^(2 S) over a period, Gamma(S + 1/2) / (sqrt(pi) Gamma(S + 1)):
// the square of the RMS value of |sin|^S.
double meanPowerOfSine(double exponent) {
    return std::exp(std::lgamma(exponent + 0.5) - std::lgamma(exponent + 1.0)) / std::sqrt(kPi);
}

// The Lagrange polynomial through up to four samples around the interval from
// sample k to k + 1 (k - 1 to k + 2 inside the record), at the fraction theta
// of that interval.
double interpolateSamples(const double* samples, std::size_t count, std::size_t k, double theta) {
    if (theta == 0.0) return samples[k];
    if (theta == 1.0) return samples[k + 1];
    const std::size_t nodes = std::min<std::size_t>(count, 4);
    const std::size_t first = std::min(k > 0 ? k - 1 : 0, count - nodes);
    const double u = static_cast<double>(k - first) + theta;  // among the nodes 0 .. nodes - 1
    const double* y = samples + first;
    if (nodes == 4) {
        const double u1 = u - 1.0;
        const double u2 = u - 2.0;
        const double u3 = u - 3.0;
        return (-u1 * u2 * u3 * y[0] + 3.0 * u * u3 * (u2 * y[1] - u1 * y[2]) + u * u1 * u2 * y[3]) / 6.0;
    }
    if (nodes == 3) return 0.5 * (u - 1.0) * (u - 2.0) * y[0] - u * (u - 2.0) * y[1] + 0.5 * u * (u - 1.0) * y[2];
    return y[0] + u * (y[1] - y[0]);
}

void fillNaN(double* out, double* fluxLinkage, std::size_t count) {
    std::fill(out, out + count, kNaN);
    if (fluxLinkage != nullptr) std::fill(fluxLinkage, fluxLinkage + count, kNaN);
}

}  // namespace

CtSaturation::CtSaturation() = default;

CtSaturation::CtSaturation(const CtParameters& parameters, const CtIntegration& integration)
    : _parameters(parameters) {
    _valid = check(parameters).field == nullptr;
    if (!_valid) return;
    const double omega = 2.0 * kPi * parameters.frequency;
    _totalResistance = parameters.windingResistance + parameters.burdenResistance;
    _burdenInductance = parameters.burdenReactance / omega;
    _saturationFlux = kSqrt2 * parameters.saturationVoltage / omega;
    _excitationScale = CtLimits::SaturationExcitationRms / std::sqrt(meanPowerOfSine(parameters.exponent));
    _slopeScale = parameters.exponent * _excitationScale / _saturationFlux;
    _maxStep = isFinitePositive(integration.maxStep) ? integration.maxStep
                                                     : 1.0 / (kDefaultStepsPerPeriod * parameters.frequency);
    _tolerance = isFinitePositive(integration.tolerance) ? integration.tolerance : kDefaultTolerance;
}

CtParameterCheck CtSaturation::check(const CtParameters& p) {
    if (!isFinitePositive(p.frequency)) return {"frequency", "a finite number above 0 (Hz)"};
    if (!isFiniteNonNegative(p.windingResistance)) return {"windingResistance", "a finite number, 0 or more (ohm)"};
    if (!isFiniteNonNegative(p.burdenResistance)) return {"burdenResistance", "a finite number, 0 or more (ohm)"};
    if (!isFiniteNonNegative(p.burdenReactance)) return {"burdenReactance", "a finite number, 0 or more (ohm)"};
    if (!isFinitePositive(p.saturationVoltage) || !isFinitePositive(kSqrt2 * p.saturationVoltage / p.frequency)) {
        return {"saturationVoltage", "a finite number above 0 (V RMS)"};
    }
    if (!(p.exponent >= CtLimits::MinExponent && p.exponent <= CtLimits::MaxExponent)) {
        return {"exponent", "a number from 1 to 30"};
    }
    if (!(std::fabs(p.remanence) <= CtLimits::MaxRemanence)) {
        return {"remanence", "a number from -0.95 to 0.95 (a fraction of the saturation flux)"};
    }
    return {nullptr, nullptr};
}

double CtSaturation::excitationCurrent(double fluxLinkage) const {
    if (!_valid) return kNaN;
    return _stateAt(fluxLinkage / _saturationFlux).excitation;
}

CtSaturation::FluxState CtSaturation::_stateAt(double x) const {
    const double power = std::pow(std::fabs(x), _parameters.exponent - 1.0);  // |x|^(S - 1)
    return {x, _excitationScale * power * x, _slopeScale * power};
}

// Solves x + kappa sign(x) |x|^S = target for the normalised flux x. For
// target > 0 the root lies in (0, target] and the left side is convex there.
// Halley's iteration (Newton with the curvature, the error shrinking with its
// cube) from a guess near the root (the last flux, or the target itself far
// below saturation) needs one power per step and mostly one or two steps.
// From a poor guess it can crawl (from above, the step is only about x / S
// where the power term dominates), so after a few steps the search continues
// on the logarithmic scale z = ln x, where the logarithm of the left side is
// convex with a slope between 1 and S: Newton there converges without
// overshooting once above the root, and in one step wherever one of the two
// terms dominates.
CtSaturation::FluxState CtSaturation::_solveFlux(double target, double kappa, const FluxState& guess) const {
    if (!std::isfinite(target) || target == 0.0 || kappa == 0.0) return _stateAt(target);
    const double sign = target < 0.0 ? -1.0 : 1.0;
    const double b = std::fabs(target);
    const double exponent = _parameters.exponent;
    const double s1 = exponent - 1.0;
    const auto solution = [&](double x, double power) {  // power = x^(S - 1)
        return FluxState{sign * x, sign * _excitationScale * power * x, _slopeScale * power};
    };

    const double powerTermAtGuess = kappa * guess.slope / _slopeScale;
    double x = powerTermAtGuess < kLinearRegime ? b : std::min(sign * guess.x, b);
    for (int iteration = 0; x > 0.0 && iteration < kDirectSteps; ++iteration) {
        // f(x) = x (1 + kappa x^(S - 1)) - b, and x f'(x), x^2 f''(x).
        const double power = std::pow(x, s1);
        const double powerTerm = kappa * power;
        const double f = x * (1.0 + powerTerm) - b;
        const double xSlope = x * (1.0 + exponent * powerTerm);
        const double xxCurvature = exponent * s1 * powerTerm * x;
        // Halley's step x f f' / (f'^2 - f f'' / 2) where the curvature
        // shortens the Newton step by less than half, else Newton's.
        const double newtonDenominator = xSlope * xSlope;
        const double halleyDenominator = newtonDenominator - 0.5 * f * xxCurvature;
        const double dx =
            x * f * xSlope / (halleyDenominator > 0.5 * newtonDenominator ? halleyDenominator : newtonDenominator);
        if (std::fabs(dx) <= kDirectTolerance * x) {
            // The power at the root from the one at x, to second order in dx / x.
            const double r = dx / x;
            return solution(x - dx, power * (1.0 - s1 * r + 0.5 * s1 * (s1 - 1.0) * r * r));
        }
        x -= dx;
    }

    const double logTarget = std::log(b);
    const double logKappa = std::log(kappa);
    // Either term alone reaching the target bounds the root from above; reaching half of it, from below.
    const double high = std::min(logTarget, (logTarget - logKappa) / exponent);
    const double low = std::min(logTarget - kLn2, (logTarget - kLn2 - logKappa) / exponent);
    double z = x > 0.0 ? std::clamp(std::log(x), low, high) : high;
    for (int iteration = 0; iteration < kLogSteps; ++iteration) {
        const double linear = z;
        const double power = logKappa + exponent * z;
        const double smaller = std::exp(-std::fabs(linear - power));
        const double logSum = std::max(linear, power) + std::log1p(smaller);
        const double powerShare = power >= linear ? 1.0 / (1.0 + smaller) : smaller / (1.0 + smaller);
        const double next = std::clamp(z - (logSum - logTarget) / (1.0 + s1 * powerShare), low, high);
        const bool converged = std::fabs(next - z) <= kLogTolerance;
        z = next;
        if (converged) break;
    }
    return solution(std::exp(z), std::exp(s1 * z));
}

// idealAt(k, theta): the ideal current at the fraction theta (0 to 1) of the
// output step from sample k to k + 1 of the record; out[0] is the record's
// sample progress.samples().
template <typename IdealAt>
void CtSaturation::_integrate(const IdealAt& idealAt, double step, std::size_t count, double* out, double* flux,
                              Progress& progress) const {
    const double fluxScale = _saturationFlux;
    const double inverseFluxScale = 1.0 / fluxScale;
    const double excitationPerFlux = _excitationScale * inverseFluxScale;
    const double errorScale = _parameters.exponent * inverseFluxScale / _tolerance;
    const double rt = _totalResistance;
    const double lb = _burdenInductance;
    const double maxStep = std::min(step, std::max(_maxStep, step / kMaxStepsPerSample));
    const double minStep = maxStep * kMinStepFraction;
    const auto cube = [](double v) { return v * v * v; };

    const std::size_t first = progress._samples;
    FluxState now{progress._flux, progress._excitation, progress._slope};
    double i2 = progress._secondary;
    double h = progress._nextStep;
    if (first == 0) {
        now = _stateAt(_parameters.remanence);
        i2 = idealAt(0, 0.0) - now.excitation;
        h = maxStep;
        out[0] = i2;
        if (flux != nullptr) flux[0] = now.x * fluxScale;
    }
    double psi = now.x * fluxScale - lb * i2;
    // Each output sample but the record's first ends the step from the sample before it.
    for (std::size_t j = first == 0 ? 1 : 0; j < count; ++j) {
        const std::size_t sample = first + j - 1;
        double theta = 0.0;  // the fraction of the output step done
        while (theta < 1.0) {
            double thetaEnd = theta + h / step;
            if (thetaEnd >= 1.0 - kLastStepSlack * (thetaEnd - theta)) thetaEnd = 1.0;
            const double hTaken = (thetaEnd - theta) * step;
            const double dh = kImplicitWeight * hTaken;
            const double k = lb + dh * rt;
            const double kappa = k * excitationPerFlux;

            const double i1Stage = idealAt(sample, theta + kGamma * (thetaEnd - theta));
            const FluxState stage = _solveFlux((psi + dh * rt * i2 + k * i1Stage) * inverseFluxScale, kappa, now);
            const double i2Stage = i1Stage - stage.excitation;
            const double psiStage = stage.x * fluxScale - lb * i2Stage;

            const double i1End = idealAt(sample, thetaEnd);
            const FluxState end =
                _solveFlux((kWeightOfStage * psiStage + kWeightOfStart * psi + k * i1End) * inverseFluxScale, kappa,
                           {now.x + (stage.x - now.x) * kInverseGamma, 0.0, stage.slope});
            const double i2End = i1End - end.excitation;

            // The local error of psi from the slopes Rt i2 of the step, damped
            // where the step is stiff (divided by 1 - dh J, J = -Rt ie' /
            // (1 + Lb ie') the Jacobian), as the error of the flux it leaves
            // (divided by 1 + Lb ie'), weighed by S over the saturation flux.
            const double psiError = kErrorConstant * hTaken * rt *
                                    (kErrorAtStart * i2 + kErrorAtStage * i2Stage + kErrorAtEnd * i2End);
            const double error = std::fabs(psiError) * errorScale / (1.0 + k * end.slope);
            // The shortest step goes whatever its error: asked for (its length
            // can miss minStep by a rounding) or cut short at an output instant.
            const bool accepted = error <= 1.0 || h <= minStep || hTaken <= minStep || !std::isfinite(error);
            if (accepted) {
                theta = thetaEnd;
                now = end;
                i2 = i2End;
                psi = end.x * fluxScale - lb * i2;
            }

            // The next step: hTaken * kSafety / cbrt(error), kept between the
            // bounds (after a last step cut short to land on the output
            // instant, at least the step before it); the cube root only where
            // it decides.
            const double shortest = accepted && hTaken < h ? h : hTaken * kMinGrowth;
            const double longest = std::min(maxStep, std::max(shortest, hTaken * kMaxGrowth));
            if (shortest >= longest || error * cube(longest) <= cube(kSafety * hTaken)) {
                h = longest;
            } else if (error * cube(shortest) >= cube(kSafety * hTaken)) {
                h = std::max(shortest, minStep);
            } else {
                h = std::max(hTaken * kSafety / std::cbrt(error), minStep);
            }
        }
        out[j] = i2;
        if (flux != nullptr) flux[j] = now.x * fluxScale;
    }
    progress._samples = first + count;
    progress._flux = now.x;
    progress._excitation = now.excitation;
    progress._slope = now.slope;
    progress._secondary = i2;
    progress._nextStep = h;
}

void CtSaturation::saturate(const CtIdealCurrent& ideal, double startTime, double step, std::size_t count,
                            double* out, double* fluxLinkage) const {
    Progress progress;
    saturateBlock(ideal, startTime, step, count, out, progress, fluxLinkage);
}

void CtSaturation::saturateBlock(const CtIdealCurrent& ideal, double startTime, double step, std::size_t count,
                                 double* out, Progress& progress, double* fluxLinkage) const {
    if (count == 0) return;
    if (!_valid || ideal.valueAt == nullptr || !isFinitePositive(step) || !std::isfinite(startTime)) {
        fillNaN(out, fluxLinkage, count);
        progress._samples += count;
        return;
    }
    const auto idealAt = [&](std::size_t sample, double theta) {
        const double time = theta == 1.0 ? startTime + static_cast<double>(sample + 1) * step
                                         : startTime + static_cast<double>(sample) * step + theta * step;
        return ideal.valueAt(ideal.source, ideal.channel, time);
    };
    _integrate(idealAt, step, count, out, fluxLinkage, progress);
}

void CtSaturation::saturateSamples(const double* ideal, std::size_t count, double step, double* out,
                                   double* fluxLinkage) const {
    if (count == 0) return;
    if (!_valid || !isFinitePositive(step)) {
        fillNaN(out, fluxLinkage, count);
        return;
    }
    const auto idealAt = [&](std::size_t sample, double theta) {
        return interpolateSamples(ideal, count, sample, theta);
    };
    Progress progress;
    _integrate(idealAt, step, count, out, fluxLinkage, progress);
}

std::size_t CtSaturation::firstDeparture(const double* ideal, const double* saturated, std::size_t count,
                                         double fraction) {
    double peak = 0.0;
    for (std::size_t k = 0; k < count; ++k) peak = std::max(peak, std::fabs(ideal[k]));
    return firstDepartureBeyond(ideal, saturated, count, fraction * peak);
}

std::size_t CtSaturation::firstDepartureBeyond(const double* ideal, const double* saturated, std::size_t count,
                                               double limit) {
    for (std::size_t k = 0; k < count; ++k) {
        if (!(std::fabs(saturated[k] - ideal[k]) <= limit)) return k;
    }
    return count;
}

}  // namespace KexCalculate
