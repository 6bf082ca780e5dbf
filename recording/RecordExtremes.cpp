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
    // At least one sample a cycle, so that every cycle has one.
    samplesPerCycle_ = std::max(1.0, axis.sampleRate / frequency_);
    firstSample_ = 0;
    cycle_ = -1;
    cycleStart_ = 0.0;
    cycleSamples_ = 0;
    cycleSquares_.assign(channels.size(), 0.0);
    runLargest_.assign(channels.size(), 0.0);
    nearestOppositionCosine_ = 2.0;
}

std::size_t ExtremesWatch::firstSampleOfCycle(long long cycle) const {
    // Sample n after the first belongs to cycle floor((n + 0.5) / samplesPerCycle_).
    return firstSample_ + static_cast<std::size_t>(std::ceil(static_cast<double>(cycle) * samplesPerCycle_ - 0.5));
}

void ExtremesWatch::write(const SampleBlock& block) {
    if (extremes_.swingOrAsync) {
        for (std::size_t j = 0; j < block.count; ++j) {
            watchSourceAngle(block.first + j);
        }
    }
    std::size_t j = 0;
    while (j < block.count && axis_.hasDisturbance && axis_.faultStatus(block.first + j) == 0) {
        ++j;
    }
    // A run of samples of one cycle at a time, channel by channel.
    while (j < block.count) {
        const std::size_t sample = block.first + j;
        if (cycle_ < 0) {
            firstSample_ = sample;
            cycle_ = 0;
            cycleStart_ = axis_.time(sample);
        } else if (sample >= firstSampleOfCycle(cycle_ + 1)) {
            closeCycle();
            ++cycle_;
            cycleStart_ = axis_.time(sample);
        }
        const std::size_t end = std::min(block.count, j + (firstSampleOfCycle(cycle_ + 1) - sample));
        // Row by row, so that the channels' sums run side by side.
        const std::size_t width = block.channelCount;
        std::fill(runLargest_.begin(), runLargest_.end(), 0.0);
        for (std::size_t k = j; k < end; ++k) {
            const double* row = block.values + width * k;
            for (std::size_t c = 0; c < width; ++c) {
                cycleSquares_[c] += row[c] * row[c];
                runLargest_[c] = std::max(runLargest_[c], std::fabs(row[c]));
            }
        }
        for (std::size_t c = 0; c < width; ++c) {
            // Seldom a new peak: then its first sample.
            ChannelExtremes& channel = extremes_.channels[c];
            if (!channel.hasPeak || runLargest_[c] > std::fabs(channel.peak)) {
                std::size_t k = j;
                while (std::fabs(block.values[width * k + c]) < runLargest_[c]) {
                    ++k;
                }
                channel.hasPeak = true;
                channel.peak = block.values[width * k + c];
                channel.peakTime = axis_.time(block.first + k);
            }
        }
        cycleSamples_ += end - j;
        j = end;
    }
}

void ExtremesWatch::finish() {
    // The last cycle counts when the record holds all of its samples.
    if (cycle_ >= 0 && axis_.count >= firstSampleOfCycle(cycle_ + 1)) {
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
