// Saturation of a current transformer between a current channel and the
// relay: the secondary current that a CT with an iron core and a burden
// delivers when the network drives the ideal secondary current i1 through it.
//
// One CT per phase, each with its own burden (an object of this class per
// phase). With lambda the flux linkage of the core:
//   i2 = i1 - ie(lambda),   ie(lambda) = A sign(lambda) |lambda|^S,
//   d lambda / dt = Rt i2 + Lb di2/dt,   Rt = Rw + Rb,   Lb = Xb / omega.
// A follows from the saturation voltage Vs: a sinusoidal flux of peak
// sqrt(2) Vs / omega draws an excitation current of 10 A RMS. No core loss,
// no leakage reactance; the residual path is not modelled.
#pragma once

#include <cstddef>

#include "KexCalculateExport.h"

namespace KexCalculate {

// The CT of one phase and its burden. Hosts fill it; CtSaturation copies it.
struct CtParameters {
    double frequency;          // Hz, at which burdenReactance and saturationVoltage are given
    double windingResistance;  // Rw, ohm
    double burdenResistance;   // Rb, ohm
    double burdenReactance;    // Xb, ohm at `frequency`; 0 for a resistive burden
    double saturationVoltage;  // Vs, V RMS
    double exponent;           // S of the excitation curve, typically 10 to 30
    double remanence;          // flux at the start of the record, a fraction of sqrt(2) Vs / omega
};

// The limits of the parameters, and the excitation that fixes the curve.
namespace CtLimits {
constexpr double MinExponent = 1.0;
constexpr double MaxExponent = 30.0;  // the range the integration is verified for
constexpr double MaxRemanence = 0.95;
constexpr double SaturationExcitationRms = 10.0;  // A RMS drawn by the saturation flux
// A departure of the secondary from the ideal current by more than this
// fraction of the ideal peak counts as saturation.
constexpr double SaturationDeparture = 0.05;
}  // namespace CtLimits

// How closely the integration follows the continuous solution. A field that
// is 0 (or not a finite positive number) takes its default.
struct CtIntegration {
    double maxStep;    // s, the longest internal step; default: a hundredth of the network's period
    double tolerance;  // error allowed per step in the flux linkage, relative to the saturation flux
                       // and multiplied by S (so about the relative error it makes in the excitation
                       // current); default 1e-5
};

// The first field of a CtParameters record that makes no sense: its name as
// it stands in the record, and what it must be. Both are null when every field
// is usable.
struct CtParameterCheck {
    const char* field;
    const char* requirement;
};

// The ideal secondary current as a function of host time: a current channel
// of a model (any object with getMgn(channel, time)), or any function of the
// host. valueAt(source, channel, time) is called from the calling thread at
// the integrator's own instants: forward in time, except that a step whose
// error is too large is tried again, shorter, from its start.
struct CtIdealCurrent {
    double (*valueAt)(const void* source, int channel, double time);
    const void* source;
    int channel;
};

class KEXCALCULATE_EXPORT CtSaturation {
public:
    // A stage that is not usable (isValid() is false) until one is assigned.
    CtSaturation();
    explicit CtSaturation(const CtParameters& parameters, const CtIntegration& integration = CtIntegration{});

    static CtParameterCheck check(const CtParameters& parameters);
    // The parameters make sense (check() names no field). Otherwise every
    // operation below gives NaN: there is no saturated current without a CT.
    bool isValid() const { return _valid; }
    const CtParameters& parameters() const { return _parameters; }
    // The integration in use, its defaults filled in.
    CtIntegration integration() const { return {_maxStep, _tolerance}; }

    // The channel of a model as the ideal current; the model must outlive
    // the use of the returned value.
    template <typename Model>
    static CtIdealCurrent channelOf(const Model& model, int channel) {
        return {[](const void* source, int sourceChannel, double time) {
                    return static_cast<const Model*>(source)->getMgn(sourceChannel, time);
                },
                &model, channel};
    }

    // The secondary current at host time startTime + k * step, k = 0 ..
    // count - 1, into out[k]; the ideal current is taken from `ideal` at the
    // integrator's own instants. The core holds the remanent flux at
    // startTime. fluxLinkage, when given, receives the core's flux linkage
    // (V s) at the same instants. A step that is not finite and positive, a
    // start time that is not finite, or parameters that make no sense give
    // NaN samples; an ideal value that is not finite makes the rest NaN.
    void saturate(const CtIdealCurrent& ideal, double startTime, double step, std::size_t count, double* out,
                  double* fluxLinkage = nullptr) const;

    // Where the saturation of a record stands between two of its blocks: the
    // state of the core and of the step control after the samples so far.
    class Progress {
    public:
        std::size_t samples() const { return _samples; }  // given so far; 0 before the record

    private:
        friend class CtSaturation;
        std::size_t _samples = 0;
        double _flux = 0.0;  // normalised, with the excitation current and its slope there
        double _excitation = 0.0;
        double _slope = 0.0;
        double _secondary = 0.0;
        double _nextStep = 0.0;
    };

    // The next `count` samples of the record that `progress` follows, as
    // saturate() over the whole record gives them, bit for bit: samples
    // progress.samples() .. + count - 1 (at startTime + k * step) into out. A
    // long record goes through the CT block by block without being held.
    void saturateBlock(const CtIdealCurrent& ideal, double startTime, double step, std::size_t count, double* out,
                       Progress& progress, double* fluxLinkage = nullptr) const;

    // The same from samples of the ideal current taken every `step` seconds
    // from the start of the record: between the samples the ideal current is
    // the cubic through the four nearest samples (through all of them when
    // there are fewer), so a sample that is not finite makes the result NaN
    // from the sample before it on. out must not overlap ideal.
    void saturateSamples(const double* ideal, std::size_t count, double step, double* out,
                         double* fluxLinkage = nullptr) const;

    // The excitation curve: ie (A) at flux linkage lambda (V s).
    double excitationCurrent(double fluxLinkage) const;
    // The peak of the sinusoidal flux that draws 10 A RMS: sqrt(2) Vs / omega.
    double saturationFlux() const { return _saturationFlux; }

    // The first sample k at which |saturated[k] - ideal[k]| exceeds
    // fraction * max |ideal| (a sample that is not a number counts as a
    // departure); count when there is none.
    static std::size_t firstDeparture(const double* ideal, const double* saturated, std::size_t count,
                                      double fraction = CtLimits::SaturationDeparture);
    // The same against a limit in amperes, for a host that knows the ideal
    // peak of a record it goes through block by block.
    static std::size_t firstDepartureBeyond(const double* ideal, const double* saturated, std::size_t count,
                                            double limit);

private:
    // A normalised flux x = lambda / saturationFlux, the excitation current
    // there and its slope d ie / d lambda.
    struct FluxState {
        double x;
        double excitation;
        double slope;
    };
    FluxState _stateAt(double x) const;
    FluxState _solveFlux(double target, double kappa, const FluxState& guess) const;
    template <typename IdealAt>
    void _integrate(const IdealAt& idealAt, double step, std::size_t count, double* out, double* flux,
                    Progress& progress) const;

    CtParameters _parameters{};
    bool _valid = false;
    double _maxStep = 0.0;
    double _tolerance = 0.0;
    double _totalResistance = 0.0;   // Rt = Rw + Rb
    double _burdenInductance = 0.0;  // Lb = Xb / omega
    double _saturationFlux = 0.0;    // sqrt(2) Vs / omega
    double _excitationScale = 0.0;   // ie at the saturation flux, A
    double _slopeScale = 0.0;        // d ie / d lambda at the saturation flux, A / (V s)
};

}  // namespace KexCalculate
