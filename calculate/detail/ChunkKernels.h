// Chunk kernels of block sampling, for every sampler of the library that
// forms waveforms of the shape
//     Im(sqrt(2) X e^(j omega t')) + sqrt(2) A e^(-t'/tau) (+ further decaying terms)
// on a forward time axis of host times startTime + k * step. The samples are
// cut into chunks of at most kChunkCapacity; within a chunk the factors that
// all channels share are formed about the chunk's first sample from tables
// made once per call (RotorTable, DecayTable):
//   - e^(j omega t'): anchorChunk moves e^(j thetaA) to the chunk's first
//     sample (from the previous chunk's, turned by a chunk, and from the C
//     library again every few chunks, so no error builds up along the
//     record); rotorChunk turns it by j h (h = omega * step, cosine and sine
//     from the table) and by the small rest of each sample's own argument
//     (the rounding of the time axis) to first order, into an array that the
//     channels share. wavesChunk turns each channel's phasor to the anchor
//     once per chunk and combines; waveChunk does both for one channel in one
//     loop, with the same bits.
//   - e^(-t'/tau): decayChunk, as e^(xA) e^(g j) (g = -step / tau) with the
//     rest likewise; addDecaysChunk adds several such terms, each with its
//     own amplitude per channel, to sampled waves.
// Every sample's t' is formed as getMgn forms it, so the time axis is the
// host's, sample for sample. The kernels agree with a sine and an exponential
// of the C library at the same t' to a few units in the last place of the
// argument (the rest's second order stays below 1e-18 while the argument is
// within 2^22 rad). Internal: not installed.
#pragma once

#include <array>
#include <cstddef>

#include "detail/Compiler.h"

namespace KexCalculate {
namespace detail {

constexpr std::size_t kChunkCapacity = 256;  // samples per chunk at most

// The host's time axis of one call.
struct SampleAxis {
    double startTime;
    double step;
    double disturbance;  // the disturbance instant on the host's axis (preFaultDuration)

    // t' of sample k (an integer value), formed as getMgn forms it from the
    // host time startTime + k * step.
    double sinceDisturbance(double k) const { return (startTime + k * step) - disturbance; }
};

// What the chunks of one call share: the sample offsets j of a chunk, the turn
// j h with its cosine and sine, and the turn of a whole chunk.
struct RotorTable {
    std::size_t length = 0;  // samples per chunk, at most kChunkCapacity
    double omega = 0.0;
    std::array<double, kChunkCapacity> offset{};
    std::array<double, kChunkCapacity> turn{};
    std::array<double, kChunkCapacity> turnCos{};
    std::array<double, kChunkCapacity> turnSin{};
    double chunkTurn = 0.0;
    double chunkTurnCos = 1.0;
    double chunkTurnSin = 0.0;

    RotorTable(std::size_t chunkLength, double angularFrequency, double step);
};

// e^(j theta) at the first sample of the chunk being sampled, carried from
// chunk to chunk. One anchor serves one sequence of chunks in order.
struct RotorAnchor {
    double theta;  // NaN until the first chunk
    double sin = 0.0;
    double cos = 1.0;
    int chained = 0;  // chunks since the C library gave it

    RotorAnchor();
    // Moves the anchor to newTheta: from the previous chunk's anchor when that
    // is one whole chunk back, otherwise from the C library.
    void moveTo(double newTheta, const RotorTable& table);
};

// e^(j (omega t' - thetaA)) of the samples of a chunk: how far each has
// turned from the chunk's anchor.
struct Rotor {
    std::array<double, kChunkCapacity> cos;
    std::array<double, kChunkCapacity> sin;
};

// Moves the anchor to the chunk that starts at sample `first`.
void anchorChunk(const RotorTable& table, const SampleAxis& axis, std::size_t first, RotorAnchor& anchor);

// rotor[j] for samples first + j, j = j0 .. j1 - 1 (j1 at most table.length),
// with the anchor at sample first: the turn j h from the table and the rest of
// the sample's own argument omega t' (the rounding of the time axis, some
// units in the last place) to first order. e^(j omega t') is the anchor's
// e^(j thetaA) times rotor[j].
void rotorChunk(const RotorTable& table, const SampleAxis& axis, std::size_t first, const RotorAnchor& anchor,
                std::size_t j0, std::size_t j1, Rotor& rotor);

// The exponent per sample g = -step / tau and e^(g j) of the chunk offsets j.
struct DecayTable {
    double tau = 0.0;
    bool usable = false;  // g is finite: otherwise decayChunk must not be used
    std::array<double, kChunkCapacity> offset{};
    std::array<double, kChunkCapacity> exponent{};
    std::array<double, kChunkCapacity> factor{};

    DecayTable() = default;
    DecayTable(std::size_t chunkLength, double step, double timeConstant);
};

// factor[j] = e^(-t'/tau) of sample first + j, j = 0 .. m - 1, anchored at
// sample first (every exponent of the m samples within the cut-off).
void decayChunk(const DecayTable& table, const SampleAxis& axis, std::size_t first, std::size_t m, double* factor);

// Several decaying terms on sampled waves: out[channels * j + c] +=
// amplitude[k][c] * decay[k][j] for terms k = 0 .. terms - 1 in turn,
// samples j = 0 .. m - 1 and channels c = 0 .. channels - 1. amplitude[k]
// points to the term's `channels` amplitudes, decay[k] to its factors of the
// chunk (decayChunk's). A channel's value is the same whatever the number of
// channels.
void addDecaysChunk(const double* const* amplitude, const double* const* decay, std::size_t terms,
                    std::size_t channels, std::size_t m, double* out);

// One channel's wave in one interval: sqrt(2) times its phasor X and sqrt(2)
// times its aperiodic amplitude (0 where the channel has no term).
struct Wave {
    double re = 0.0;
    double im = 0.0;
    double aperiodic = 0.0;
};

// Im(Y rotor) = sqrt(2) |X| sin(omega t' + arg X) for the wave turned to the
// anchor, Y = sqrt(2) X e^(j thetaA).
KEX_ALWAYS_INLINE double periodicValue(const Wave& anchored, double rotorCos, double rotorSin) {
    return anchored.re * rotorSin + anchored.im * rotorCos;
}

constexpr std::size_t kMaxWaves = 16;  // channels per wavesChunk call at most

// out[channels * j + c] for samples j = j0 .. j1 - 1 of a chunk and channels
// c = 0 .. channels - 1 (at most kMaxWaves): the periodic part of waves[c]
// at rotor[j], plus waves[c].aperiodic * decay[j] when decay is given. A
// channel's value is the same whatever the number of channels.
void wavesChunk(const RotorAnchor& anchor, const Wave* waves, std::size_t channels, const Rotor& rotor,
                const double* decay, std::size_t j0, std::size_t j1, double* out);

// One channel without a rotor array: out[j], j = j0 .. j1 - 1, bit for bit
// what rotorChunk and wavesChunk give for that channel.
void waveChunk(const RotorTable& table, const SampleAxis& axis, std::size_t first, const RotorAnchor& anchor,
               const Wave& wave, const double* decay, std::size_t j0, std::size_t j1, double* out);

}  // namespace detail
}  // namespace KexCalculate
