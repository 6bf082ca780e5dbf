#include "detail/ChunkKernels.h"

#include <cmath>
#include <limits>

#include "detail/RlConstants.h"

namespace KexCalculate {
namespace detail {

namespace {

constexpr double kMaxRest = 1e-6;  // rad; beyond it the anchor is not one chunk back
constexpr int kChainedAnchors = 16;
constexpr auto kSixChannels = static_cast<std::size_t>(kChannelCount);

// e^(j (omega t' - thetaA)) of a chunk's sample j: the turn j h from the
// table and the rest of the sample's own argument (the rounding of the time
// axis, some units in the last place) to first order.
struct RotorFrame {
    double omega;
    SampleAxis axis;
    double firstSample;
    double anchorTheta;

    RotorFrame(const RotorTable& table, const SampleAxis& sampleAxis, std::size_t first, const RotorAnchor& anchor)
        : omega(table.omega), axis(sampleAxis), firstSample(static_cast<double>(first)), anchorTheta(anchor.theta) {}

    KEX_ALWAYS_INLINE void at(double offset, double turn, double turnCos, double turnSin, double& rotorCos,
                              double& rotorSin) const {
        const double rest = (omega * axis.sinceDisturbance(firstSample + offset) - anchorTheta) - turn;
        rotorCos = turnCos - rest * turnSin;
        rotorSin = turnSin + rest * turnCos;
    }
};

// A wave turned to the chunk's anchor: sqrt(2) X e^(j thetaA).
Wave anchoredWave(const Wave& wave, const RotorAnchor& anchor) {
    return {wave.re * anchor.cos - wave.im * anchor.sin, wave.re * anchor.sin + wave.im * anchor.cos, wave.aperiodic};
}

// The loops with their operands as values and unaliased arrays, so that they
// vectorise. combineWaves takes the channel count from Channels where that is
// not 0, so that the common counts get loops of their own; the arithmetic per
// value is the same for every count and for one channel in combineWave.
template <std::size_t Channels, bool WithDecay>
KEX_ALWAYS_INLINE void combineWaves(const Wave* KEX_RESTRICT waves, std::size_t channels,
                                    const double* KEX_RESTRICT rotorCos, const double* KEX_RESTRICT rotorSin,
                                    const double* KEX_RESTRICT decay, std::size_t j0, std::size_t j1,
                                    double* KEX_RESTRICT out) {
    const std::size_t count = Channels != 0 ? Channels : channels;
    for (std::size_t j = j0; j < j1; ++j) {
        for (std::size_t c = 0; c < count; ++c) {
            double value = periodicValue(waves[c], rotorCos[j], rotorSin[j]);
            if (WithDecay) {
                value += waves[c].aperiodic * decay[j];
            }
            out[count * j + c] = value;
        }
    }
}

template <bool WithDecay>
KEX_ALWAYS_INLINE void combineWave(const RotorFrame frame, const Wave wave, const double* KEX_RESTRICT offset,
                                   const double* KEX_RESTRICT turn, const double* KEX_RESTRICT turnCos,
                                   const double* KEX_RESTRICT turnSin, const double* KEX_RESTRICT decay, std::size_t j0,
                                   std::size_t j1, double* KEX_RESTRICT out) {
    for (std::size_t j = j0; j < j1; ++j) {
        double rotorCos = 0.0;
        double rotorSin = 0.0;
        frame.at(offset[j], turn[j], turnCos[j], turnSin[j], rotorCos, rotorSin);
        double value = periodicValue(wave, rotorCos, rotorSin);
        if (WithDecay) {
            value += wave.aperiodic * decay[j];
        }
        out[j] = value;
    }
}

KEX_ALWAYS_INLINE void turnFromAnchor(const RotorFrame frame, const double* KEX_RESTRICT offset,
                                      const double* KEX_RESTRICT turn, const double* KEX_RESTRICT turnCos,
                                      const double* KEX_RESTRICT turnSin, std::size_t j0, std::size_t j1,
                                      double* KEX_RESTRICT rotorCos, double* KEX_RESTRICT rotorSin) {
    for (std::size_t j = j0; j < j1; ++j) {
        frame.at(offset[j], turn[j], turnCos[j], turnSin[j], rotorCos[j], rotorSin[j]);
    }
}

// The loops of addDecaysChunk, likewise, for one term. Each term is added
// to the waves in turn, so that a value is the same whatever the number of
// channels. One channel runs along the chunk; six channels go two instants at
// a time, twelve values side by side, which vectorises where a group of six
// would not.
KEX_ALWAYS_INLINE void addDecay(const double* KEX_RESTRICT amplitude, std::size_t channels,
                                const double* KEX_RESTRICT factor, std::size_t m, double* KEX_RESTRICT out) {
    for (std::size_t j = 0; j < m; ++j) {
        for (std::size_t c = 0; c < channels; ++c) {
            out[channels * j + c] += amplitude[c] * factor[j];
        }
    }
}

KEX_ALWAYS_INLINE void addDecayToOne(double amplitude, const double* KEX_RESTRICT factor, std::size_t m,
                                     double* KEX_RESTRICT out) {
    for (std::size_t j = 0; j < m; ++j) {
        out[j] += amplitude * factor[j];
    }
}

KEX_ALWAYS_INLINE void addDecayToSix(const double* KEX_RESTRICT amplitude, const double* KEX_RESTRICT factor,
                                     std::size_t m, double* KEX_RESTRICT out) {
    constexpr std::size_t kPair = 2 * kSixChannels;
    std::array<double, kPair> repeated{};
    for (std::size_t i = 0; i < kPair; ++i) {
        repeated[i] = amplitude[i % kSixChannels];
    }
    std::size_t j = 0;
    for (; j + 2 <= m; j += 2) {
        double* KEX_RESTRICT values = out + kSixChannels * j;
        std::array<double, kPair> decay{};
        for (std::size_t i = 0; i < kSixChannels; ++i) {
            decay[i] = factor[j];
            decay[i + kSixChannels] = factor[j + 1];
        }
        for (std::size_t i = 0; i < kPair; ++i) {
            values[i] += repeated[i] * decay[i];
        }
    }
    addDecay(amplitude, kSixChannels, factor + j, m - j, out + kSixChannels * j);
}

// The loop of decayChunk, likewise.
KEX_ALWAYS_INLINE void decayAnchor(std::size_t m, double tau, SampleAxis axis, double firstSample, double anchor,
                                   double anchorValue, const double* KEX_RESTRICT offset,
                                   const double* KEX_RESTRICT exponent, const double* KEX_RESTRICT tableFactor,
                                   double* KEX_RESTRICT factor) {
    for (std::size_t j = 0; j < m; ++j) {
        const double rest = (-axis.sinceDisturbance(firstSample + offset[j]) / tau - anchor) - exponent[j];
        const double value = anchorValue * tableFactor[j];
        factor[j] = value + value * rest;
    }
}

// The kernels, built for any x86-64 and again for AVX2 (KEX_VECTOR_KERNEL).
// Their own linkage is internal: a function with clones is exported whatever
// its visibility, and the library exports only its interface. The functions
// of the header forward to them.
KEX_VECTOR_KERNEL void rotorKernel(const RotorTable& table, const SampleAxis& axis, std::size_t first,
                                   const RotorAnchor& anchor, std::size_t j0, std::size_t j1, Rotor& rotor) {
    turnFromAnchor(RotorFrame(table, axis, first, anchor), table.offset.data(), table.turn.data(), table.turnCos.data(),
                   table.turnSin.data(), j0, j1, rotor.cos.data(), rotor.sin.data());
}

KEX_VECTOR_KERNEL void decayKernel(const DecayTable& table, const SampleAxis& axis, std::size_t first, std::size_t m,
                                   double* factor) {
    const double firstSample = static_cast<double>(first);
    const double anchor = -axis.sinceDisturbance(firstSample) / table.tau;
    decayAnchor(m, table.tau, axis, firstSample, anchor, std::exp(anchor), table.offset.data(), table.exponent.data(),
                table.factor.data(), factor);
}

KEX_VECTOR_KERNEL void addDecaysKernel(const double* const* amplitude, const double* const* decay, std::size_t terms,
                                       std::size_t channels, std::size_t m, double* out) {
    for (std::size_t k = 0; k < terms; ++k) {
        if (channels == 1) {
            addDecayToOne(amplitude[k][0], decay[k], m, out);
        } else if (channels == kSixChannels) {
            addDecayToSix(amplitude[k], decay[k], m, out);
        } else {
            addDecay(amplitude[k], channels, decay[k], m, out);
        }
    }
}

KEX_VECTOR_KERNEL void wavesKernel(const RotorAnchor& anchor, const Wave* waves, std::size_t channels,
                                   const Rotor& rotor, const double* decay, std::size_t j0, std::size_t j1,
                                   double* out) {
    std::array<Wave, kMaxWaves> anchored{};
    const std::size_t used = channels < kMaxWaves ? channels : kMaxWaves;
    for (std::size_t c = 0; c < used; ++c) {
        anchored[c] = anchoredWave(waves[c], anchor);
    }
    const double* rotorCos = rotor.cos.data();
    const double* rotorSin = rotor.sin.data();
    const bool withDecay = decay != nullptr;
    if (channels == 1 && withDecay) {
        combineWaves<1, true>(anchored.data(), channels, rotorCos, rotorSin, decay, j0, j1, out);
    } else if (channels == 1) {
        combineWaves<1, false>(anchored.data(), channels, rotorCos, rotorSin, decay, j0, j1, out);
    } else if (channels == kSixChannels && withDecay) {
        combineWaves<kSixChannels, true>(anchored.data(), channels, rotorCos, rotorSin, decay, j0, j1, out);
    } else if (channels == kSixChannels) {
        combineWaves<kSixChannels, false>(anchored.data(), channels, rotorCos, rotorSin, decay, j0, j1, out);
    } else if (channels <= kMaxWaves && withDecay) {
        combineWaves<0, true>(anchored.data(), channels, rotorCos, rotorSin, decay, j0, j1, out);
    } else if (channels <= kMaxWaves) {
        combineWaves<0, false>(anchored.data(), channels, rotorCos, rotorSin, decay, j0, j1, out);
    }
}

KEX_VECTOR_KERNEL void waveKernel(const RotorTable& table, const SampleAxis& axis, std::size_t first,
                                  const RotorAnchor& anchor, const Wave& wave, const double* decay, std::size_t j0,
                                  std::size_t j1, double* out) {
    const RotorFrame frame(table, axis, first, anchor);
    const Wave anchored = anchoredWave(wave, anchor);
    if (decay != nullptr) {
        combineWave<true>(frame, anchored, table.offset.data(), table.turn.data(), table.turnCos.data(),
                          table.turnSin.data(), decay, j0, j1, out);
    } else {
        combineWave<false>(frame, anchored, table.offset.data(), table.turn.data(), table.turnCos.data(),
                           table.turnSin.data(), decay, j0, j1, out);
    }
}

}  // namespace

RotorTable::RotorTable(std::size_t chunkLength, double angularFrequency, double step)
    : length(chunkLength), omega(angularFrequency) {
    const double turnPerSample = omega * step;
    for (std::size_t j = 0; j < length; ++j) {
        offset[j] = static_cast<double>(j);
        turn[j] = offset[j] * turnPerSample;
        turnCos[j] = std::cos(turn[j]);
        turnSin[j] = std::sin(turn[j]);
    }
    chunkTurn = static_cast<double>(length) * turnPerSample;
    chunkTurnCos = std::cos(chunkTurn);
    chunkTurnSin = std::sin(chunkTurn);
}

RotorAnchor::RotorAnchor() : theta(std::numeric_limits<double>::quiet_NaN()) {}

void RotorAnchor::moveTo(double newTheta, const RotorTable& table) {
    const double rest = (newTheta - theta) - table.chunkTurn;
    if (chained < kChainedAnchors && std::fabs(rest) <= kMaxRest) {
        const double s = sin * table.chunkTurnCos + cos * table.chunkTurnSin;
        const double c = cos * table.chunkTurnCos - sin * table.chunkTurnSin;
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

void anchorChunk(const RotorTable& table, const SampleAxis& axis, std::size_t first, RotorAnchor& anchor) {
    anchor.moveTo(table.omega * axis.sinceDisturbance(static_cast<double>(first)), table);
}

void rotorChunk(const RotorTable& table, const SampleAxis& axis, std::size_t first, const RotorAnchor& anchor,
                std::size_t j0, std::size_t j1, Rotor& rotor) {
    rotorKernel(table, axis, first, anchor, j0, j1, rotor);
}

DecayTable::DecayTable(std::size_t chunkLength, double step, double timeConstant) : tau(timeConstant) {
    const double perSample = -step / tau;
    usable = std::isfinite(perSample);
    for (std::size_t j = 0; j < chunkLength && usable; ++j) {
        offset[j] = static_cast<double>(j);
        exponent[j] = offset[j] * perSample;
        factor[j] = std::exp(exponent[j]);
    }
}

void decayChunk(const DecayTable& table, const SampleAxis& axis, std::size_t first, std::size_t m, double* factor) {
    decayKernel(table, axis, first, m, factor);
}

void addDecaysChunk(const double* const* amplitude, const double* const* decay, std::size_t terms, std::size_t channels,
                    std::size_t m, double* out) {
    addDecaysKernel(amplitude, decay, terms, channels, m, out);
}

void wavesChunk(const RotorAnchor& anchor, const Wave* waves, std::size_t channels, const Rotor& rotor,
                const double* decay, std::size_t j0, std::size_t j1, double* out) {
    wavesKernel(anchor, waves, channels, rotor, decay, j0, j1, out);
}

void waveChunk(const RotorTable& table, const SampleAxis& axis, std::size_t first, const RotorAnchor& anchor,
               const Wave& wave, const double* decay, std::size_t j0, std::size_t j1, double* out) {
    waveKernel(table, axis, first, anchor, wave, decay, j0, j1, out);
}

}  // namespace detail
}  // namespace KexCalculate
