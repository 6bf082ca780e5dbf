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

// The combination of wavesChunk for a channel count known when compiling, so
// that each count gets its own vectorised loop; the arithmetic per value is
// the same for every count.
template <std::size_t Channels, bool WithDecay>
KEX_ALWAYS_INLINE void combineWaves(const Wave* waves, const Rotor& rotor, const double* KEX_RESTRICT decay,
                                    std::size_t j0, std::size_t j1, double* KEX_RESTRICT out) {
    std::array<Wave, Channels> local{};
    for (std::size_t c = 0; c < Channels; ++c) {
        local[c] = waves[c];
    }
    const double* KEX_RESTRICT rotorCos = rotor.cos.data();
    const double* KEX_RESTRICT rotorSin = rotor.sin.data();
    for (std::size_t j = j0; j < j1; ++j) {
        for (std::size_t c = 0; c < Channels; ++c) {
            double value = periodicValue(local[c], rotorCos[j], rotorSin[j]);
            if (WithDecay) {
                value += local[c].aperiodic * decay[j];
            }
            out[Channels * j + c] = value;
        }
    }
}

template <bool WithDecay>
KEX_ALWAYS_INLINE void combineAnyWaves(const Wave* waves, std::size_t channels, const Rotor& rotor,
                                       const double* KEX_RESTRICT decay, std::size_t j0, std::size_t j1,
                                       double* KEX_RESTRICT out) {
    for (std::size_t j = j0; j < j1; ++j) {
        for (std::size_t c = 0; c < channels; ++c) {
            double value = periodicValue(waves[c], rotor.cos[j], rotor.sin[j]);
            if (WithDecay) {
                value += waves[c].aperiodic * decay[j];
            }
            out[channels * j + c] = value;
        }
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

KEX_VECTOR_KERNEL void rotorChunk(const RotorTable& table, const SampleAxis& axis, std::size_t first, std::size_t m,
                                  RotorAnchor& anchor, Rotor& rotor) {
    const double firstSample = static_cast<double>(first);
    const double omega = table.omega;
    anchor.moveTo(omega * axis.sinceDisturbance(firstSample), table);
    const double anchorTheta = anchor.theta;
    const double anchorSin = anchor.sin;
    const double anchorCos = anchor.cos;
    const double* KEX_RESTRICT offset = table.offset.data();
    const double* KEX_RESTRICT turn = table.turn.data();
    const double* KEX_RESTRICT turnCos = table.turnCos.data();
    const double* KEX_RESTRICT turnSin = table.turnSin.data();
    double* KEX_RESTRICT rotorCos = rotor.cos.data();
    double* KEX_RESTRICT rotorSin = rotor.sin.data();
    for (std::size_t j = 0; j < m; ++j) {
        const double rest = (omega * axis.sinceDisturbance(firstSample + offset[j]) - anchorTheta) - turn[j];
        const double s = anchorSin * turnCos[j] + anchorCos * turnSin[j];
        const double c = anchorCos * turnCos[j] - anchorSin * turnSin[j];
        rotorSin[j] = s + rest * c;
        rotorCos[j] = c - rest * s;
    }
}

DecayTable::DecayTable(const RotorTable& table, double step, double timeConstant) : tau(timeConstant) {
    const double perSample = -step / tau;
    usable = std::isfinite(perSample);
    for (std::size_t j = 0; j < table.length && usable; ++j) {
        offset[j] = table.offset[j];
        exponent[j] = offset[j] * perSample;
        factor[j] = std::exp(exponent[j]);
    }
}

KEX_VECTOR_KERNEL void decayChunk(const DecayTable& table, const SampleAxis& axis, std::size_t first, std::size_t m,
                                  double* KEX_RESTRICT factor) {
    const double firstSample = static_cast<double>(first);
    const double tau = table.tau;
    const double anchor = -axis.sinceDisturbance(firstSample) / tau;
    const double anchorValue = std::exp(anchor);
    const double* KEX_RESTRICT offset = table.offset.data();
    const double* KEX_RESTRICT exponent = table.exponent.data();
    const double* KEX_RESTRICT tableFactor = table.factor.data();
    for (std::size_t j = 0; j < m; ++j) {
        const double rest = (-axis.sinceDisturbance(firstSample + offset[j]) / tau - anchor) - exponent[j];
        const double value = anchorValue * tableFactor[j];
        factor[j] = value + value * rest;
    }
}

KEX_VECTOR_KERNEL void wavesChunk(const Wave* waves, std::size_t channels, const Rotor& rotor, const double* decay,
                                  std::size_t j0, std::size_t j1, double* out) {
    const bool withDecay = decay != nullptr;
    if (channels == 1 && withDecay) {
        combineWaves<1, true>(waves, rotor, decay, j0, j1, out);
    } else if (channels == 1) {
        combineWaves<1, false>(waves, rotor, decay, j0, j1, out);
    } else if (channels == kSixChannels && withDecay) {
        combineWaves<kSixChannels, true>(waves, rotor, decay, j0, j1, out);
    } else if (channels == kSixChannels) {
        combineWaves<kSixChannels, false>(waves, rotor, decay, j0, j1, out);
    } else if (withDecay) {
        combineAnyWaves<true>(waves, channels, rotor, decay, j0, j1, out);
    } else {
        combineAnyWaves<false>(waves, channels, rotor, decay, j0, j1, out);
    }
}

}  // namespace detail
}  // namespace KexCalculate
