// Block sampling of the six channels: many samples per call at a fraction of
// the cost of one getMgn call each, within 1e-9 of the channel's peak value of
// getMgn at the same instants.
//
// A channel's value is Im(sqrt(2) X e^(j omega t')) plus its aperiodic term,
// with e^(j omega t') and e^(-t'/tau) from the chunk kernels
// (detail/ChunkKernels.h), which every channel of a chunk shares. getMgn takes
// the sine of its rounded argument omega t' + arg X (+ initialAngle in swing
// and asynchronous operation); the kernels follow its omega t' sample by
// sample, and what they do not repeat, the last rounding or two, stays below
// 2^-32 rad each while that argument is below 2^21 rad (about 1.8 hours after
// the disturbance at 50 Hz). Beyond it, and wherever the kernels' conditions
// do not hold, the values are getMgn's own.
//
// The disturbance instant and the cut-off after 15 time constants fall on
// exactly the samples where getMgn has them (t' and -t'/tau formed as it forms
// them). sampleChannel and sampleAllChannels cut the samples into the same
// chunks and form each channel's value with the same arithmetic, so they give
// the same bits for the same channel and instant.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "CalculationRl.h"
#include "RlCodes.h"
#include "detail/ChunkKernels.h"
#include "detail/RlConstants.h"

namespace KexCalculate {
namespace detail {

namespace {

constexpr std::size_t kMinChunk = 4;                          // coarser sampling is served by getMgn
constexpr std::size_t kMinBlockSamples = 2 * kChunkCapacity;  // shorter blocks likewise
constexpr double kMaxChunkTurn = 8.0;                         // rad of sine argument a chunk may span
constexpr double kMaxArgument = 2097152.0;                    // 2^21 rad of getMgn's sine argument

// Where a chunk's samples change interval: the pre-fault wave before
// faultFrom, the fault state from it on, with the aperiodic term up to decayTo.
struct ChunkSplit {
    std::size_t faultFrom;
    std::size_t decayTo;
};

// The buffers of one call's chunks.
struct ChunkWork {
    RotorTable rotorTable;
    RotorAnchor anchor;
    Rotor rotor{};
    bool decayReady = false;
    DecayTable decayTable;
    std::array<double, kChunkCapacity> decay{};

    ChunkWork(std::size_t length, double omega, double step) : rotorTable(length, omega, step) {}
};

Wave waveOf(const Kex::Polar& x, double aperiodic) {
    const double peak = kSqrt2 * x.amplitude;
    return {peak * std::cos(x.angle), peak * std::sin(x.angle), aperiodic};
}

bool isFinite(const Wave& w) { return std::isfinite(w.re) && std::isfinite(w.im) && std::isfinite(w.aperiodic); }

}  // namespace

// One call of sampleChannel or sampleAllChannels: channels first .. first +
// channels - 1, written to out[channels * k + c].
class BlockSampler {
public:
    BlockSampler(const CalculationRl& model, int firstChannel, std::size_t channels, const SampleAxis& axis,
                 double* out)
        : model_(model),
          params_(*model._params),
          first_(firstChannel),
          channels_(channels),
          axis_(axis),
          out_(out),
          swing_(RlKind::isSwingOrAsync(params_.faultKind)),
          decays_(!swing_ && hasTimeConstant(model._tau)) {}

    void sample(std::size_t count) {
        const std::size_t length = chunkLength(count);
        if (length == 0) {
            fromGetMgn(0, count);
            return;
        }
        planChannels();
        if (swing_) {
            planSwing();
        }
        ChunkWork work(length, model_._omega, axis_.step);
        for (std::size_t k0 = 0; k0 < count; k0 += length) {
            sampleChunk(work, k0, std::min(length, count - k0));
        }
    }

private:
    const CalculationRl& model_;
    const RlParameters& params_;
    int first_;
    std::size_t channels_;
    SampleAxis axis_;
    double* out_;
    bool swing_;
    bool decays_;

    std::array<Wave, kChannelCount> preFault_{};
    std::array<Wave, kChannelCount> faultState_{};
    std::array<bool, kChannelCount> preFaultFinite_{};
    std::array<bool, kChannelCount> faultStateFinite_{};

    CalculationRl::EmfPolar emf_{};
    CalculationRl::RelayLoop loop_{};
    Complex offsetTurn_;                        // e^(j initialAngle)
    std::array<Complex, 3> phaseTurns_{};       // as getMgn turns phase A's phasor
    std::array<unsigned, kChannelCount> phaseOf_{};

    double since(std::size_t k) const { return axis_.sinceDisturbance(static_cast<double>(k)); }
    double& at(std::size_t k, std::size_t c) const { return out_[channels_ * k + c]; }

    // Samples per chunk, or 0 where the kernels do not serve the call: a
    // backward, empty or non-finite time axis (the interval boundaries are
    // found from t' growing with k), a short block, fewer than a few samples
    // per turn of the sine, or a sine argument beyond kMaxArgument.
    std::size_t chunkLength(std::size_t count) const {
        const double turnPerSample = model_._omega * axis_.step;
        if (!(std::isfinite(axis_.startTime) && std::isfinite(axis_.step) && axis_.step > 0.0 &&
              std::isfinite(axis_.disturbance) && std::isfinite(turnPerSample) && count >= kMinBlockSamples)) {
            return 0;
        }
        const double byTurn = std::floor(kMaxChunkTurn / std::fabs(turnPerSample));  // infinite without a turn
        if (!(byTurn >= static_cast<double>(kMinChunk))) {
            return 0;
        }
        const double angleBound = kPi + (swing_ ? std::fabs(params_.initialAngle) : 0.0);
        const auto within = [&](std::size_t k) {
            return std::fabs(model_._omega * since(k)) + angleBound <= kMaxArgument;
        };
        if (!within(0) || !within(count - 1)) {
            return 0;
        }
        return byTurn >= static_cast<double>(kChunkCapacity) ? kChunkCapacity : static_cast<std::size_t>(byTurn);
    }

    // Each channel's waves, from the polar forms getMgn uses.
    void planChannels() {
        for (std::size_t c = 0; c < channels_; ++c) {
            const int channel = first_ + static_cast<int>(c);
            const auto index = static_cast<unsigned>(channel);
            const Kex::Polar pre =
                CalculationRl::_polarOf(model_._getPredComplexValue(channel), model_._preFaultPolar[index]);
            const Kex::Polar post =
                CalculationRl::_polarOf(model_._getPostComplexValue(channel), model_._faultStatePolar[index]);
            const double amplitude = index <= 2U ? model_._aperiodicI[index] : model_._aperiodicU[index - 3U];
            preFault_[c] = waveOf(pre, 0.0);
            faultState_[c] = waveOf(post, decays_ && !belowAperiodicFloor(amplitude) ? kSqrt2 * amplitude : 0.0);
            preFaultFinite_[c] = isFinite(preFault_[c]);
            faultStateFinite_[c] = isFinite(faultState_[c]);
        }
    }

    // Swing and asynchronous operation: the loop, the EMFs' polar forms and the
    // turns, once per call.
    void planSwing() {
        emf_ = model_._currentEmfPolar();
        loop_ = model_._currentRelayLoop();
        offsetTurn_ = Complex(std::cos(params_.initialAngle), std::sin(params_.initialAngle));
        for (int phase = 0; phase < 3; ++phase) {
            phaseTurns_[static_cast<unsigned>(phase)] = CalculationRl::_phaseStepTurn(phase);
        }
        for (std::size_t c = 0; c < channels_; ++c) {
            phaseOf_[c] = static_cast<unsigned>(first_ + static_cast<int>(c)) % 3U;
        }
    }

    ChunkSplit splitOf(std::size_t k0, std::size_t m) const {
        const auto sinceChunk = [&](std::size_t j) { return since(k0 + j); };
        ChunkSplit split{};
        split.faultFrom = sinceChunk(m - 1) < 0.0 ? m : 0;
        while (split.faultFrom < m && sinceChunk(split.faultFrom) < 0.0) {
            ++split.faultFrom;
        }
        split.decayTo = split.faultFrom;
        if (decays_ && split.faultFrom < m) {
            // |t'/tau| grows with t'.
            const auto alive = [&](std::size_t j) { return !pastAperiodicCutoff(-sinceChunk(j) / model_._tau); };
            split.decayTo = alive(m - 1) ? m : split.faultFrom;
            while (split.decayTo < m && alive(split.decayTo)) {
                ++split.decayTo;
            }
        }
        return split;
    }

    void sampleChunk(ChunkWork& work, std::size_t k0, std::size_t m) {
        double* const block = out_ + channels_ * k0;
        const ChunkSplit split = splitOf(k0, m);
        anchorChunk(work.rotorTable, axis_, k0, work.anchor);
        // One channel turns its phasor in its own loop, several share the rotor.
        const bool shared = channels_ > 1 || swing_;
        if (shared) {
            rotorChunk(work.rotorTable, axis_, k0, work.anchor, 0, m, work.rotor);
        }
        const auto waves = [&](const std::array<Wave, kChannelCount>& w, const double* decay, std::size_t j0,
                               std::size_t j1) {
            if (shared) {
                wavesChunk(work.anchor, w.data(), channels_, work.rotor, decay, j0, j1, block);
            } else {
                waveChunk(work.rotorTable, axis_, k0, work.anchor, w[0], decay, j0, j1, block);
            }
        };
        if (split.faultFrom > 0) {
            waves(preFault_, nullptr, 0, split.faultFrom);
        }
        bool decayByTable = false;
        if (swing_) {
            swingInstants(work.anchor, work.rotor, k0, split.faultFrom, m);
        } else if (split.faultFrom < m) {
            decayByTable = split.decayTo > split.faultFrom && decayTable(work).usable;
            if (decayByTable) {
                decayChunk(work.decayTable, axis_, k0 + split.faultFrom, split.decayTo - split.faultFrom,
                           work.decay.data() + split.faultFrom);
                waves(faultState_, work.decay.data(), split.faultFrom, split.decayTo);
            }
            const std::size_t steadyFrom = decayByTable ? split.decayTo : split.faultFrom;
            if (steadyFrom < m) {
                waves(faultState_, nullptr, steadyFrom, m);
            }
        }

        // What the kernels cannot serve, from getMgn.
        for (std::size_t c = 0; c < channels_; ++c) {
            if (!preFaultFinite_[c]) {
                channelFromGetMgn(c, k0, k0 + split.faultFrom);
            }
            if (swing_) {
                continue;
            }
            if (!faultStateFinite_[c]) {
                channelFromGetMgn(c, k0 + split.faultFrom, k0 + m);
            } else if (!decayByTable && faultState_[c].aperiodic != 0.0) {
                channelFromGetMgn(c, k0 + split.faultFrom, k0 + split.decayTo);
            }
        }
    }

    const DecayTable& decayTable(ChunkWork& work) const {
        if (!work.decayReady) {
            work.decayTable = DecayTable(work.rotorTable.length, axis_.step, model_._tau);
            work.decayReady = true;
        }
        return work.decayTable;
    }

    // Swing and asynchronous operation from the disturbance on: the relay's
    // phase-A phasors once per instant for all channels, each channel's value
    // Im(sqrt(2) X e^(j (omega t' + initialAngle))).
    void swingInstants(const RotorAnchor& anchor, const Rotor& rotor, std::size_t k0, std::size_t j0,
                       std::size_t m) const {
        const Complex anchorTurn = Complex(anchor.cos, anchor.sin) * offsetTurn_;
        for (std::size_t j = j0; j < m; ++j) {
            const E1E2UI state = model_._relayStateAt(since(k0 + j), emf_, loop_);
            const Complex z = anchorTurn * Complex(rotor.cos[j], rotor.sin[j]);
            for (std::size_t c = 0; c < channels_; ++c) {
                const Complex& phaseA = first_ + static_cast<int>(c) <= 2 ? state.i : state.u;
                const Complex x = phaseA * phaseTurns_[phaseOf_[c]];
                at(k0 + j, c) = kSqrt2 * (x.re * z.im + x.im * z.re);
            }
        }
    }

    void channelFromGetMgn(std::size_t c, std::size_t k0, std::size_t k1) const {
        const int channel = first_ + static_cast<int>(c);
        for (std::size_t k = k0; k < k1; ++k) {
            at(k, c) = model_.getMgn(channel, axis_.startTime + static_cast<double>(k) * axis_.step);
        }
    }

    void fromGetMgn(std::size_t k0, std::size_t k1) const {
        for (std::size_t k = k0; k < k1; ++k) {
            const double time = axis_.startTime + static_cast<double>(k) * axis_.step;
            for (std::size_t c = 0; c < channels_; ++c) {
                at(k, c) = model_.getMgn(first_ + static_cast<int>(c), time);
            }
        }
    }
};

}  // namespace detail

void CalculationRl::sampleChannel(int channel, double startTime, double step, std::size_t count, double* out) const {
    if (_params == nullptr || !detail::isChannel(channel)) {
        std::fill(out, out + count, 0.0);
        return;
    }
    const detail::SampleAxis axis{startTime, step, _params->preFaultDuration};
    detail::BlockSampler(*this, channel, 1, axis, out).sample(count);
}

void CalculationRl::sampleAllChannels(double startTime, double step, std::size_t count, double* out) const {
    const auto channels = static_cast<std::size_t>(detail::kChannelCount);
    if (_params == nullptr) {
        std::fill(out, out + channels * count, 0.0);
        return;
    }
    const detail::SampleAxis axis{startTime, step, _params->preFaultDuration};
    detail::BlockSampler(*this, 0, channels, axis, out).sample(count);
}

}  // namespace KexCalculate
