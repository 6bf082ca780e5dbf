#include "RecordExtremes.h"

#include <algorithm>
#include <cmath>

#include "RlCodes.h"

namespace KexRecording {

using KexCalculate::CalculationRl;
using KexCalculate::Complex;

constexpr double kTwoPi = 6.283185307179586;

ExtremesWatch::ExtremesWatch(const CalculationRl& model, double frequency) : model_(model), frequency_(frequency) {}

void ExtremesWatch::begin(const TimeAxis& axis, const std::vector<ChannelLabel>& channels,
                          const RecordingScan& /*scan*/) {
    axis_ = axis;
    extremes_ = RecordExtremes{};
    extremes_.channels.resize(channels.size());
    extremes_.swingOrAsync = KexCalculate::RlKind::isSwingOrAsync(model_._params->faultKind);
    extremes_.sourceAngle.before = model_._delta0;
    samplesPerCycle_ = axis.sampleRate / frequency_;
    firstSample_ = 0;
    cycle_ = -1;
    cycleStart_ = 0.0;
    cycleSamples_ = 0;
    cycleSquares_.assign(channels.size(), 0.0);
    nearestOppositionCosine_ = 2.0;
}

long long ExtremesWatch::cycleOf(std::size_t sample) const {
    // Cycle m holds the samples from firstSample_ + round(m * samplesPerCycle_) on.
    return static_cast<long long>(
        std::floor((static_cast<double>(sample - firstSample_) + 0.5) / samplesPerCycle_));
}

void ExtremesWatch::write(const SampleBlock& block) {
    for (std::size_t j = 0; j < block.count; ++j) {
        const std::size_t sample = block.first + j;
        if (extremes_.swingOrAsync) {
            watchSourceAngle(sample);
        }
        if (axis_.hasDisturbance && axis_.faultStatus(sample) == 0) {
            continue;
        }
        if (cycle_ < 0) {
            firstSample_ = sample;
        }
        const long long cycle = cycleOf(sample);
        if (cycle != cycle_) {
            closeCycle();
            cycle_ = cycle;
            cycleStart_ = axis_.time(sample);
        }
        ++cycleSamples_;
        const double* row = block.values + block.channelCount * j;
        for (std::size_t c = 0; c < block.channelCount; ++c) {
            const double value = row[c];
            cycleSquares_[c] += value * value;
            ChannelExtremes& channel = extremes_.channels[c];
            if (!channel.hasPeak || std::fabs(value) > std::fabs(channel.peak)) {
                channel.hasPeak = true;
                channel.peak = value;
                channel.peakTime = axis_.time(sample);
            }
        }
    }
}

void ExtremesWatch::finish() {
    // The last cycle counts when the record holds all of its samples.
    if (cycle_ >= 0 && cycleOf(axis_.count) > cycle_) {
        closeCycle();
    }
    cycleSamples_ = 0;
}

void ExtremesWatch::closeCycle() {
    if (cycleSamples_ == 0) {
        return;
    }
    for (std::size_t c = 0; c < cycleSquares_.size(); ++c) {
        const double rms = std::sqrt(cycleSquares_[c] / static_cast<double>(cycleSamples_));
        ChannelExtremes& channel = extremes_.channels[c];
        if (!channel.hasWholeCycle || rms < channel.rmsLowest) {
            channel.rmsLowest = rms;
        }
        if (!channel.hasWholeCycle || rms > channel.rmsHighest) {
            channel.rmsHighest = rms;
            channel.rmsHighestStart = cycleStart_;
        }
        channel.hasWholeCycle = true;
        cycleSquares_[c] = 0.0;
    }
    cycleSamples_ = 0;
}

void ExtremesWatch::watchSourceAngle(std::size_t sample) {
    const double t = axis_.time(sample) - model_._params->preFaultDuration;
    if (t < 0.0) {
        return;  // the EMFs stand still before the disturbance
    }
    const double angle = model_._delta0 + model_._getDeltaAngle(t);
    SourceAngleReach& reach = extremes_.sourceAngle;
    if (!reach.reached) {
        reach.reached = true;
        reach.lowest = angle;
        reach.highest = angle;
    }
    reach.lowest = std::min(reach.lowest, angle);
    reach.highest = std::max(reach.highest, angle);
    // The loop current grows with |E1 - E2|, largest where cos(angle) is least.
    const double cosine = std::cos(angle);
    if (cosine < nearestOppositionCosine_) {
        nearestOppositionCosine_ = cosine;
        reach.nearestOppositionTime = axis_.time(sample);
        reach.nearestOppositionAngle = angle;
    }
}

ChannelPhasors preFaultPhasors(const CalculationRl& model) {
    ChannelPhasors phasors{};
    for (std::size_t c = 0; c < phasors.size(); ++c) {
        phasors[c] = model._getPredComplexValue(static_cast<int>(c));
    }
    return phasors;
}

DisturbedState disturbedState(const CalculationRl& model, const RecordExtremes& extremes) {
    DisturbedState state;
    if (!extremes.swingOrAsync || !extremes.sourceAngle.reached) {
        for (std::size_t c = 0; c < state.phasors.size(); ++c) {
            state.phasors[c] = model._getPostComplexValue(static_cast<int>(c));
        }
        return state;
    }
    state.atInstant = true;
    state.time = extremes.sourceAngle.nearestOppositionTime;
    state.sourceAngle = std::fabs(std::remainder(extremes.sourceAngle.nearestOppositionAngle, kTwoPi));
    // The waveform adds initialAngle to the swing phasors once the disturbance has begun.
    const double t = state.time - model._params->preFaultDuration;
    const double offset = t > 0.0 ? model._params->initialAngle : 0.0;
    for (std::size_t c = 0; c < state.phasors.size(); ++c) {
        state.phasors[c] = Complex::rotate(model._getSwingAMovComplexValue(static_cast<int>(c), t), offset);
    }
    return state;
}

}  // namespace KexRecording
