// What a record actually reaches after its disturbance, gathered from the
// blocks the writers get (no second sampling): for each channel the RMS of
// each whole network cycle and the largest instantaneous magnitude; for a
// power swing or asynchronous operation the angle between the source EMFs and
// the instant nearest their opposition, whose phasors stand for the
// disturbance there, since the model's own fault state of these kinds (the
// sources in opposition) need not be reached at all.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "CalculationRl.h"
#include "Recording.h"
#include "Sampling.h"

namespace KexRecording {

struct ChannelExtremes {
    // RMS of each whole cycle (1 / frequency) counted from the first sample
    // at or after the disturbance instant, over that cycle's samples (the
    // nearest whole number of them), the DC component included.
    bool hasWholeCycle = false;
    double rmsLowest = 0.0;
    double rmsHighest = 0.0;
    double rmsHighestStart = 0.0;  // s, that cycle's first sample
    // The sample of the largest magnitude, with its sign.
    bool hasPeak = false;
    double peak = 0.0;
    double peakTime = 0.0;  // s
};

// The angle by which the leading source EMF leads the other.
struct SourceAngleReach {
    bool reached = false;  // a sample at or after the disturbance
    double before = 0.0;   // rad, up to the disturbance
    double lowest = 0.0;   // rad, from the disturbance on; asynchronous operation counts whole turns
    double highest = 0.0;
    // The first sample from the disturbance on whose angle comes nearest to
    // 180 degrees: the largest loop current the record reaches.
    double nearestOppositionTime = 0.0;   // s
    double nearestOppositionAngle = 0.0;  // rad
};

struct RecordExtremes {
    std::vector<ChannelExtremes> channels;
    bool swingOrAsync = false;  // sourceAngle holds the angle of a swing or asynchronous operation
    SourceAngleReach sourceAngle;
};

class ExtremesWatch : public RecordingWriter {
public:
    // The model (kept by reference) gives the source angle of a swing or
    // asynchronous operation; `frequency` is the network's, in Hz.
    ExtremesWatch(const KexCalculate::CalculationRl& model, double frequency);

    void begin(const TimeAxis& axis, const std::vector<ChannelLabel>& channels, const RecordingScan& scan) override;
    void write(const SampleBlock& block) override;
    void finish() override;

    const RecordExtremes& extremes() const { return extremes_; }

private:
    std::size_t firstSampleOfCycle(long long cycle) const;
    void closeCycle();
    void watchSourceAngle(std::size_t sample);

    const KexCalculate::CalculationRl& model_;
    double frequency_;
    TimeAxis axis_;
    double samplesPerCycle_ = 0.0;
    std::size_t firstSample_ = 0;  // at or after the disturbance
    // The open cycle: its number (-1 before the first), the time of its first
    // sample, its samples and each channel's sum of squares.
    long long cycle_ = -1;
    double cycleStart_ = 0.0;
    std::size_t cycleSamples_ = 0;
    std::vector<double> cycleSquares_;
    std::vector<double> runLargest_;  // each channel's largest magnitude in a run of samples
    RecordExtremes extremes_;
    double nearestOppositionCosine_ = 2.0;
};

// The phasors of the six channels (model channel order) in one state.
using ChannelPhasors = std::array<KexCalculate::Complex, kModelChannelCount>;

// The state that stands for the disturbance: the model's fault state, or for
// a swing or asynchronous operation its phasors at the instant nearest
// opposition that the record reaches, on the time axis of the pre-fault
// phasors (initialAngle included, as the waveform has it).
struct DisturbedState {
    bool atInstant = false;    // the swing instant below, not the model's fault state
    double time = 0.0;         // s
    double sourceAngle = 0.0;  // rad, 0 to pi: how far apart the source EMFs stand
    ChannelPhasors phasors{};
};

ChannelPhasors preFaultPhasors(const KexCalculate::CalculationRl& model);
DisturbedState disturbedState(const KexCalculate::CalculationRl& model, const RecordExtremes& extremes);

}  // namespace KexRecording
