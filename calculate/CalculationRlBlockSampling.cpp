// Block sampling of the six channels: many samples per call at a fraction of
// the cost of one getMgn call each, equal to getMgn to within 1e-12 of the
// channel's peak value at any record length.
//
// Every sample's sine argument is formed exactly as getMgn forms it
// (t' = (startTime + k * step) - preFaultDuration, theta = omega * t' + arg X),
// so the rounding of that argument, some 6e-11 rad at t' = 1000 s, is the same
// as getMgn's; a sine of the exact product omega * k * step would differ from
// getMgn by more than the tolerance. Within a chunk of samples the sine is
// taken about the chunk's first argument thetaA:
//   sin(theta) = sin(thetaA + j h + n),  h = omega * step,  n = (theta - thetaA) - j h,
// with cos and sin of j h from a table made once per call and the small rest n
// (the rounding of the arguments, below 1e-6 rad within the range served here)
// to first order. The chunk's own e^(j thetaA) comes from the previous chunk's
// turned by the chunk length (the same rule), and from the C library again
// after a few chunks, so no error builds up with the length of the record.
// The exponential of the aperiodic term is taken about each chunk's first
// exponent the same way; the disturbance instant and the cut-off after 15 time
// constants fall on exactly the samples where getMgn has them.
//
// Swing and asynchronous operation re-evaluate the relay's phasors at every
// sample; they are computed once per sample for all channels, and a channel's
// value |X| sin((omega t' + arg X) + p) is formed as Im(X e^(j (omega t' + p)))
// plus the rounding getMgn makes in forming its argument, which matters (and
// is worked out) only once that argument is large.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "CalculationRl.h"

// The two chunk kernels are built for any x86-64 and again for AVX2, and the
// dynamic loader picks the build the processor runs (the same arithmetic, so
// the same results, on either). Sanitizer builds keep the one build for any
// x86-64: the loader runs the choosing code before a sanitizer's runtime is
// ready for its instrumented code.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KEX_SANITIZED_BUILD
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define KEX_SANITIZED_BUILD
#endif
#endif
#if defined(__x86_64__) && defined(__gnu_linux__) && defined(__has_attribute) && !defined(KEX_SANITIZED_BUILD)
#if __has_attribute(target_clones)
#define KEX_CHUNK_KERNEL __attribute__((target_clones("avx2", "default")))
#endif
#endif
#ifndef KEX_CHUNK_KERNEL
#define KEX_CHUNK_KERNEL
#endif
#if defined(__GNUC__)
#define KEX_INLINE_KERNEL inline __attribute__((always_inline))
#else
#define KEX_INLINE_KERNEL inline
#endif

namespace KexCalculate {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2.0 * kPi;
constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kAperiodicFloor = 1e-6;
constexpr double kAperiodicCutoff = 15.0;

constexpr std::size_t kChunk = 256;                   // samples per chunk at most
constexpr std::size_t kMinChunk = 4;                  // coarser sampling is served sample by sample
constexpr std::size_t kMinBlockSamples = 2 * kChunk;  // shorter blocks likewise
constexpr double kMaxChunkTurn = 8.0;                 // rad of sine argument a chunk may span
constexpr double kMaxArgument = 1073741824.0;         // 2^30 rad: keeps the rest n below 1e-6 rad
constexpr double kMaxRest = 1e-6;                     // n beyond this: the anchor is not one chunk back
constexpr int kChainedAnchors = 16;                   // chunks between anchors from the C library

// Below this size of getMgn's sine argument its two roundings (half a unit in
// the last place each, at most 2^-42 rad together) stay under 2.3e-13 of the
// magnitude and are left out; above it they are worked out.
constexpr double kArgumentRoundingMatters = 2048.0;
// How far an angle derived from phase A's may lie from atan2 of the channel's
// own phasor (a few units in the last place); the derived angle is used only
// where this uncertainty cannot change getMgn's rounded argument.
constexpr double kDerivedAngleMargin = 1e-14;
constexpr double kNoAngle = std::numeric_limits<double>::quiet_NaN();

constexpr std::uint8_t kSwing = 8;
constexpr std::uint8_t kAsyncOperation = 9;

bool isChannel(int channel) { return channel >= 0 && channel <= 5; }

// The error of the rounded sum s = fl(a + b): a + b = s + error exactly.
double sumError(double a, double b, double s) {
    const double bPart = s - a;
    return (a - (s - bPart)) + (b - bPart);
}

// getMgn's sine argument fl(fl(w + angle) + offset) less the exact
// w + angle + offset.
double argumentRounding(double w, double angle, double offset) {
    const double first = w + angle;
    const double second = first + offset;
    return -(sumError(w, angle, first) + sumError(first, offset, second));
}

// The host's time axis of one call, from the chunk's first sample on.
struct ChunkAxis {
    double startTime;
    double step;
    double first;  // index of the chunk's first sample
    double preFault;
    double omega;

    // t' of sample j of the chunk, exactly as getMgn forms it from the host
    // time startTime + k * step.
    double sinceDisturbance(double j) const { return (startTime + (first + j) * step) - preFault; }
};

// Tables of one call: the chunk offsets j, j h and their cosine and sine, the
// turn of a whole chunk, and (made when first needed) j g with g = -step / tau
// and e^(j g).
struct ChunkTables {
    std::size_t length = 0;
    std::array<double, kChunk> index{};
    std::array<double, kChunk> turn{};
    std::array<double, kChunk> turnCos{};
    std::array<double, kChunk> turnSin{};
    double chunkTurn = 0.0;
    double chunkTurnCos = 1.0;
    double chunkTurnSin = 0.0;
    bool decayReady = false;
    bool decayUsable = false;
    std::array<double, kChunk> decayExponent{};
    std::array<double, kChunk> decay{};

    void prepare(std::size_t chunkLength, double turnPerSample) {
        length = chunkLength;
        for (std::size_t j = 0; j < length; ++j) {
            index[j] = static_cast<double>(j);
            turn[j] = index[j] * turnPerSample;
            turnCos[j] = std::cos(turn[j]);
            turnSin[j] = std::sin(turn[j]);
        }
        chunkTurn = static_cast<double>(length) * turnPerSample;
        chunkTurnCos = std::cos(chunkTurn);
        chunkTurnSin = std::sin(chunkTurn);
    }

    void prepareDecay(double step, double tau) {
        if (decayReady) {
            return;
        }
        decayReady = true;
        const double perSample = -step / tau;
        decayUsable = std::isfinite(perSample);
        for (std::size_t j = 0; j < length && decayUsable; ++j) {
            decayExponent[j] = index[j] * perSample;
            decay[j] = std::exp(decayExponent[j]);
        }
    }
};

// e^(j theta) at the first sample of the chunk being sampled.
struct SineAnchor {
    double theta = kNoAngle;
    double sin = 0.0;
    double cos = 1.0;
    int chained = 0;  // chunks since the C library gave it

    // Moves the anchor to theta: from the previous chunk's anchor when that is
    // one whole chunk back, otherwise from the C library.
    void moveTo(double newTheta, const ChunkTables& tables) {
        const double rest = (newTheta - theta) - tables.chunkTurn;
        if (chained < kChainedAnchors && std::fabs(rest) <= kMaxRest) {
            const double s = sin * tables.chunkTurnCos + cos * tables.chunkTurnSin;
            const double c = cos * tables.chunkTurnCos - sin * tables.chunkTurnSin;
            sin = s + rest * c;
            cos = c - rest * s;
            ++chained;
        } else {
            sin = std::sin(newTheta);
            cos = std::cos(newTheta);
            chained = 0;
        }
        theta = newTheta;
    }
};

// out[j] = peak * sin(omega t'_j + angle) for the m samples of a chunk.
KEX_CHUNK_KERNEL void sineChunk(const ChunkTables& tables, const ChunkAxis& axis, std::size_t m, double angle,
                                double peak, SineAnchor& anchor, double* __restrict out) {
    anchor.moveTo(axis.omega * axis.sinceDisturbance(0.0) + angle, tables);
    const double anchorTheta = anchor.theta;
    const double anchorSin = anchor.sin;
    const double anchorCos = anchor.cos;
    const double* __restrict index = tables.index.data();
    const double* __restrict turn = tables.turn.data();
    const double* __restrict turnCos = tables.turnCos.data();
    const double* __restrict turnSin = tables.turnSin.data();
    for (std::size_t j = 0; j < m; ++j) {
        const double theta = axis.omega * axis.sinceDisturbance(index[j]) + angle;
        const double rest = (theta - anchorTheta) - turn[j];
        const double s = anchorSin * turnCos[j] + anchorCos * turnSin[j];
        const double c = anchorCos * turnCos[j] - anchorSin * turnSin[j];
        out[j] = peak * (s + rest * c);
    }
}

// out[j] += amplitude * e^(-t'_j / tau) for a chunk in which every exponent
// lies inside the cut-off.
void addDecayChunk(const ChunkTables& tables, const ChunkAxis& axis, std::size_t m, double tau, double amplitude,
                   double* __restrict out) {
    const double anchor = -axis.sinceDisturbance(0.0) / tau;
    const double anchorValue = amplitude * std::exp(anchor);
    const double* __restrict index = tables.index.data();
    const double* __restrict exponent = tables.decayExponent.data();
    const double* __restrict decay = tables.decay.data();
    for (std::size_t j = 0; j < m; ++j) {
        const double x = -axis.sinceDisturbance(index[j]) / tau;
        const double rest = (x - anchor) - exponent[j];
        const double value = anchorValue * decay[j];
        out[j] += value + value * rest;
    }
}

// The six channels' phasors of one interval (pre-fault or fault state), each
// times sqrt(2), with the angles getMgn adds to omega t' and sqrt(2) times the
// aperiodic amplitudes (0 where there is no term).
struct SixPhasors {
    std::array<double, 6> re;
    std::array<double, 6> im;
    std::array<double, 6> angle;
    std::array<double, 6> aperiodic;
};

// out[6 j + c] for the m samples of a chunk in one interval, all six channels
// at once: e^(j omega t') is formed once per sample and each channel's value
// is Im(X e^(j omega t')), plus (WithRounding) the rounding r of getMgn's
// argument fl(omega t' + angle) to first order, r Re(X e^(j omega t')), plus
// (WithDecay) the aperiodic term.
template <bool WithRounding, bool WithDecay>
KEX_INLINE_KERNEL void sixChannelKernel(const ChunkTables& tables, const ChunkAxis& axis, std::size_t m,
                                        const SixPhasors& x, double tau, SineAnchor& anchor, double* __restrict out) {
    anchor.moveTo(axis.omega * axis.sinceDisturbance(0.0), tables);
    const double anchorTheta = anchor.theta;
    const double anchorSin = anchor.sin;
    const double anchorCos = anchor.cos;
    const double decayAnchor = WithDecay ? -axis.sinceDisturbance(0.0) / tau : 0.0;
    const double decayAnchorValue = WithDecay ? std::exp(decayAnchor) : 0.0;
    // What the six channels share, sample by sample: omega t', e^(j omega t')
    // and e^(-t' / tau).
    std::array<double, kChunk> w;
    std::array<double, kChunk> turnRe;
    std::array<double, kChunk> turnIm;
    std::array<double, kChunk> decay;
    for (std::size_t j = 0; j < m; ++j) {
        const double t = axis.sinceDisturbance(tables.index[j]);
        w[j] = axis.omega * t;
        const double rest = (w[j] - anchorTheta) - tables.turn[j];
        const double s = anchorSin * tables.turnCos[j] + anchorCos * tables.turnSin[j];
        const double c = anchorCos * tables.turnCos[j] - anchorSin * tables.turnSin[j];
        turnIm[j] = s + rest * c;
        turnRe[j] = c - rest * s;
        if (WithDecay) {
            const double exponentRest = (-t / tau - decayAnchor) - tables.decayExponent[j];
            const double value = decayAnchorValue * tables.decay[j];
            decay[j] = value + value * exponentRest;
        }
    }
    for (std::size_t j = 0; j < m; ++j) {
        for (std::size_t ch = 0; ch < 6; ++ch) {
            double value = x.re[ch] * turnIm[j] + x.im[ch] * turnRe[j];
            if (WithRounding) {
                const double theta = w[j] + x.angle[ch];
                const double rounding = (theta - w[j]) - x.angle[ch];
                value += rounding * (x.re[ch] * turnRe[j] - x.im[ch] * turnIm[j]);
            }
            if (WithDecay) {
                value += x.aperiodic[ch] * decay[j];
            }
            out[6 * j + ch] = value;
        }
    }
}

KEX_CHUNK_KERNEL void sixChannelChunk(bool withRounding, bool withDecay, const ChunkTables& tables,
                                      const ChunkAxis& axis, std::size_t m, const SixPhasors& x, double tau,
                                      SineAnchor& anchor, double* __restrict out) {
    if (withDecay) {
        sixChannelKernel<true, true>(tables, axis, m, x, tau, anchor, out);
    } else if (withRounding) {
        sixChannelKernel<true, false>(tables, axis, m, x, tau, anchor, out);
    } else {
        sixChannelKernel<false, false>(tables, axis, m, x, tau, anchor, out);
    }
}

}  // namespace

void CalculationRl::sampleChannel(int channel, double startTime, double step, std::size_t count, double* out) const {
    if (!isChannel(channel)) {
        std::fill(out, out + count, 0.0);
        return;
    }
    _sampleBlock(channel, 1, startTime, step, count, out);
}

void CalculationRl::sampleAllChannels(double startTime, double step, std::size_t count, double* out) const {
    _sampleBlock(0, 6, startTime, step, count, out);
}

void CalculationRl::_sampleBlock(int firstChannel, int channelCount, double startTime, double step, std::size_t count,
                                 double* out) const {
    const auto stride = static_cast<std::size_t>(channelCount);
    if (_params == nullptr) {
        std::fill(out, out + stride * count, 0.0);
        return;
    }
    const RlParameters& p = *_params;
    const double preFault = p.preFaultDuration;
    const auto sampleTime = [&](std::size_t k) { return startTime + static_cast<double>(k) * step; };

    // The chunked path needs a forward time axis (t' grows with k, so the
    // disturbance instant and the aperiodic cut-off are found from a chunk's
    // samples in order), a chunk spanning a modest turn of the sine, and
    // arguments small enough for the first-order rest.
    const double turnPerSample = _omega * step;
    const double chunkByTurn = std::floor(kMaxChunkTurn / std::fabs(turnPerSample));
    const bool chunked = std::isfinite(startTime) && std::isfinite(step) && step > 0.0 && std::isfinite(preFault) &&
                         std::isfinite(turnPerSample) && count >= kMinBlockSamples &&
                         chunkByTurn >= static_cast<double>(kMinChunk) &&
                         std::fabs(_omega * (sampleTime(0) - preFault)) <= kMaxArgument &&
                         std::fabs(_omega * (sampleTime(count - 1) - preFault)) <= kMaxArgument;
    if (!chunked) {
        for (std::size_t k = 0; k < count; ++k) {
            const double time = sampleTime(k);
            for (int c = 0; c < channelCount; ++c) {
                out[stride * k + static_cast<std::size_t>(c)] = getMgn(firstChannel + c, time);
            }
        }
        return;
    }

    ChunkTables tables;
    tables.prepare(std::min(kChunk, static_cast<std::size_t>(chunkByTurn)), turnPerSample);

    // What each channel needs for the whole call.
    struct ChannelPlan {
        double prePeak;
        double preAngle;
        double postPeak;
        double postAngle;
        double aperiodic;  // sqrt(2) times the amplitude; 0 when the term is never there
        bool finite;
        SineAnchor preAnchor;
        SineAnchor postAnchor;
    };
    const bool swing = p.faultKind == kSwing || p.faultKind == kAsyncOperation;
    const double tau = _tau;
    const bool decays = !swing && tau != 0.0 && !std::isnan(tau);
    std::array<ChannelPlan, 6> plans{};
    for (int c = 0; c < channelCount; ++c) {
        const int channel = firstChannel + c;
        const auto index = static_cast<unsigned>(channel);
        const Kex::Polar pre = _polarOf(_getPredComplexValue(channel), _preFaultPolar[index]);
        const Kex::Polar post = _polarOf(_getPostComplexValue(channel), _faultStatePolar[index]);
        const double amplitude = channel <= 2 ? _aperiodicI[index] : _aperiodicU[index - 3U];
        ChannelPlan& plan = plans[static_cast<std::size_t>(c)];
        plan.prePeak = kSqrt2 * pre.amplitude;
        plan.preAngle = pre.angle;
        plan.postPeak = kSqrt2 * post.amplitude;
        plan.postAngle = post.angle;
        plan.aperiodic = decays && !(std::fabs(amplitude) < kAperiodicFloor) ? kSqrt2 * amplitude : 0.0;
        plan.finite = std::isfinite(plan.prePeak) && std::isfinite(plan.preAngle) && std::isfinite(plan.postPeak) &&
                      std::isfinite(plan.postAngle) && std::isfinite(plan.aperiodic);
    }

    SixPhasors preFaultPhasors{};
    SixPhasors faultPhasors{};
    if (stride == 6) {
        for (unsigned ch = 0; ch < 6U; ++ch) {
            const int channel = static_cast<int>(ch);
            const Complex pre = _getPredComplexValue(channel);
            const Complex post = _getPostComplexValue(channel);
            preFaultPhasors.re[ch] = kSqrt2 * pre.re;
            preFaultPhasors.im[ch] = kSqrt2 * pre.im;
            preFaultPhasors.angle[ch] = plans[ch].preAngle;
            faultPhasors.re[ch] = kSqrt2 * post.re;
            faultPhasors.im[ch] = kSqrt2 * post.im;
            faultPhasors.angle[ch] = plans[ch].postAngle;
            faultPhasors.aperiodic[ch] = plans[ch].finite ? plans[ch].aperiodic : 0.0;
        }
    }
    SineAnchor sixAnchor;

    // Swing and asynchronous operation: the loop, the EMFs' polar forms, the
    // phase turns and e^(j initialAngle), once per call.
    const EmfPolar emf = swing ? _currentEmfPolar() : EmfPolar{};
    const RelayLoop loop = swing ? _currentRelayLoop() : RelayLoop{};
    const double offset = p.initialAngle;
    const Complex offsetTurn(std::cos(offset), std::sin(offset));
    std::array<Complex, 3> phaseTurns{};      // as getMgn turns phase A's phasor
    std::array<double, 3> phaseTurnAngles{};  // their angles, in (-pi, pi]
    for (int phase = 0; phase < 3; ++phase) {
        const auto i = static_cast<unsigned>(phase);
        phaseTurns[i] = _phaseStepTurn(phase);
        phaseTurnAngles[i] = std::atan2(phaseTurns[i].im, phaseTurns[i].re);
    }
    SineAnchor swingAnchor;

    for (std::size_t k0 = 0; k0 < count; k0 += tables.length) {
        const std::size_t m = std::min(tables.length, count - k0);
        const ChunkAxis axis{startTime, step, static_cast<double>(k0), preFault, _omega};
        const auto since = [&](std::size_t j) { return axis.sinceDisturbance(tables.index[j]); };
        const auto from = [&](std::size_t j) {
            return ChunkAxis{startTime, step, static_cast<double>(k0 + j), preFault, _omega};
        };
        double* const block = out + stride * k0;

        // The disturbance instant within the chunk.
        std::size_t faultFrom = since(m - 1) < 0.0 ? m : 0;
        while (faultFrom < m && since(faultFrom) < 0.0) {
            ++faultFrom;
        }

        // The aperiodic term's end (|x| = t' / |tau| grows with t').
        std::size_t decayTo = faultFrom;
        if (decays && faultFrom < m) {
            const auto alive = [&](std::size_t j) { return std::fabs(-since(j) / tau) < kAperiodicCutoff; };
            decayTo = alive(m - 1) ? m : faultFrom;
            while (decayTo < m && alive(decayTo)) {
                ++decayTo;
            }
            if (decayTo > faultFrom) {
                tables.prepareDecay(step, tau);
            }
        }
        const bool decayByTable = decayTo > faultFrom && tables.decayUsable;
        const std::size_t last = swing ? faultFrom : m;  // swing values follow below

        if (stride == 1) {
            ChannelPlan& plan = plans[0];
            if (faultFrom > 0) {
                sineChunk(tables, from(0), faultFrom, plan.preAngle, plan.prePeak, plan.preAnchor, block);
            }
            if (faultFrom < last) {
                sineChunk(tables, from(faultFrom), m - faultFrom, plan.postAngle, plan.postPeak, plan.postAnchor,
                          block + faultFrom);
                if (decayByTable && plan.aperiodic != 0.0) {
                    addDecayChunk(tables, from(faultFrom), decayTo - faultFrom, tau, plan.aperiodic, block + faultFrom);
                }
            }
        } else {
            const auto six = [&](std::size_t j0, std::size_t j1, const SixPhasors& x, bool withDecay) {
                // getMgn's rounding of omega t' + angle matters only for large
                // arguments; |omega t'| is largest at an end of the samples.
                const bool rounding =
                    !(std::max(std::fabs(_omega * since(j0)), std::fabs(_omega * since(j1 - 1))) + kPi <
                      kArgumentRoundingMatters);
                const ChunkAxis a = from(j0);
                double* dst = block + 6 * j0;
                sixChannelChunk(rounding, withDecay, tables, a, j1 - j0, x, tau, sixAnchor, dst);
            };
            if (faultFrom > 0) {
                six(0, faultFrom, preFaultPhasors, false);
            }
            if (faultFrom < last) {
                if (decayByTable) {
                    six(faultFrom, decayTo, faultPhasors, true);
                }
                const std::size_t steadyFrom = decayByTable ? decayTo : faultFrom;
                if (steadyFrom < m) {
                    six(steadyFrom, m, faultPhasors, false);
                }
            }
        }

        // Channels the chunked arithmetic does not serve, sample by sample.
        for (int c = 0; c < channelCount; ++c) {
            const ChannelPlan& plan = plans[static_cast<std::size_t>(c)];
            std::size_t j0 = 0;
            std::size_t j1 = 0;
            if (!plan.finite) {
                j1 = last;
            } else if (decayTo > faultFrom && !tables.decayUsable && plan.aperiodic != 0.0) {
                j0 = faultFrom;
                j1 = decayTo;
            }
            for (std::size_t j = j0; j < j1; ++j) {
                block[stride * j + static_cast<std::size_t>(c)] = getMgn(firstChannel + c, sampleTime(k0 + j));
            }
        }

        if (!swing || faultFrom == m) {
            continue;
        }
        // e^(j omega t') about the first swing sample of the chunk.
        swingAnchor.moveTo(_omega * since(faultFrom), tables);
        for (std::size_t j = faultFrom; j < m; ++j) {
            const double t = since(j);
            const double w = _omega * t;
            const E1E2UI state = _relayStateAt(t, emf, loop);
            const std::size_t i = j - faultFrom;
            const double rest = (w - swingAnchor.theta) - tables.turn[i];
            const double s = swingAnchor.sin * tables.turnCos[i] + swingAnchor.cos * tables.turnSin[i];
            const double c = swingAnchor.cos * tables.turnCos[i] - swingAnchor.sin * tables.turnSin[i];
            // e^(j (omega t' + initialAngle))
            const Complex z = Complex(c - rest * s, s + rest * c) * offsetTurn;
            const bool roundingMatters = !(std::fabs(w) + std::fabs(offset) + kTwoPi < kArgumentRoundingMatters);
            std::array<double, 2> phaseAAngle{kNoAngle, kNoAngle};  // current, voltage
            for (int ch = 0; ch < channelCount; ++ch) {
                const int channel = firstChannel + ch;
                const unsigned quantity = channel <= 2 ? 0U : 1U;
                const unsigned phase = static_cast<unsigned>(channel) % 3U;
                const Complex x = (quantity == 0U ? state.i : state.u) * phaseTurns[phase];
                const double im = x.re * z.im + x.im * z.re;
                const double re = x.re * z.re - x.im * z.im;
                double rounding = 0.0;
                if (roundingMatters) {
                    double angle = kNoAngle;
                    if (phase == 0U) {
                        angle = std::atan2(x.im, x.re);
                        phaseAAngle[quantity] = angle;
                    } else if (!std::isnan(phaseAAngle[quantity])) {
                        // From phase A's angle, where that cannot change
                        // getMgn's rounded argument.
                        double derived = phaseAAngle[quantity] + phaseTurnAngles[phase];
                        derived += derived > kPi ? -kTwoPi : (derived < -kPi ? kTwoPi : 0.0);
                        if (std::fabs(derived) < kPi - 2.0 * kDerivedAngleMargin &&
                            w + (derived - kDerivedAngleMargin) == w + (derived + kDerivedAngleMargin)) {
                            angle = derived;
                        }
                    }
                    if (std::isnan(angle)) {
                        angle = std::atan2(x.im, x.re);
                    }
                    rounding = argumentRounding(w, angle, offset);
                }
                block[stride * j + static_cast<std::size_t>(ch)] = kSqrt2 * (im + rounding * re);
            }
        }
    }
}

}  // namespace KexCalculate
