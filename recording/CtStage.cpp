#include "CtStage.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <system_error>

namespace KexRecording {

using KexCalculate::CtSaturation;

PhaseCts ctParameters(const TransientScenario& scenario) {
    const CtScenario& ct = scenario.ct;
    PhaseCts cts{};
    for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
        cts[phase] = {scenario.record.frequency, ct.windingResistance, ct.burdenResistance, ct.burdenReactance,
                      ct.saturationVoltage,      ct.exponent,          ct.remanence[phase]};
    }
    return cts;
}

const std::vector<ChannelLabel>& ctChannels() {
    static const std::vector<ChannelLabel> channels = [] {
        std::vector<ChannelLabel> labels = modelChannels();
        for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
            ChannelLabel ideal = labels[phase];
            ideal.id += " ideal";
            labels.push_back(ideal);
        }
        return labels;
    }();
    return channels;
}

CtSource::CtSource(const ModelSource& model, const PhaseCts& cts, const TimeAxis& axis, std::size_t keptSamples)
    : model_(model), axis_(axis), keptSamples_(keptSamples) {
    for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
        idealCurrents_[phase] = CtSaturation::channelOf(model, static_cast<int>(phase));
        cts_[phase] = CtSaturation(cts[phase]);
        kept_[phase].reserve(std::min(axis.count, keptSamples));
    }
}

// The next `count` samples of every CT, from where progress_ stands, into
// out[phase].
void CtSource::saturate(std::size_t count, const std::array<double*, kPhaseCount>& out) const {
    const auto phaseWork = [this, count, &out](std::size_t phase) {
        cts_[phase].saturateBlock(idealCurrents_[phase], 0.0, 1.0 / axis_.sampleRate, count, out[phase],
                                  progress_[phase]);
    };
    // Phases B and C beside A: each CT has its state of its own and the
    // model only reads.
    std::array<std::future<void>, kPhaseCount - 1> others;
    for (std::size_t phase = 1; phase < kPhaseCount; ++phase) {
        try {
            others[phase - 1] = std::async(std::launch::async, phaseWork, phase);
        } catch (const std::system_error&) {  // no thread to be had: here, after A
            others[phase - 1] = std::async(std::launch::deferred, phaseWork, phase);
        }
    }
    phaseWork(0);
    for (std::future<void>& phase : others) {
        phase.get();
    }
}

// Brings the CTs to sample `at` (not before the kept samples' end), from
// where they stand or from the end of the kept samples.
void CtSource::seek(std::size_t at) const {
    const std::size_t kept = kept_[0].size();
    if (progress_[0].samples() > at || progress_[0].samples() < kept) {
        progress_ = afterKept_;
    }
    std::vector<double> discarded;
    while (progress_[0].samples() < at) {
        discarded.resize(std::min(at - progress_[0].samples(), kBlockSamples) * kPhaseCount);
        const std::size_t count = discarded.size() / kPhaseCount;
        saturate(count, {discarded.data(), discarded.data() + count, discarded.data() + 2 * count});
    }
}

void CtSource::secondaryCurrents(std::size_t first, std::size_t count) const {
    for (std::vector<double>& samples : secondary_) {
        samples.resize(count);
    }
    for (std::size_t done = 0; done < count;) {
        const std::size_t at = first + done;
        const std::size_t kept = kept_[0].size();
        if (at < kept) {
            const std::size_t piece = std::min(count - done, kept - at);
            for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
                std::copy_n(kept_[phase].begin() + static_cast<std::ptrdiff_t>(at), piece,
                            secondary_[phase].begin() + static_cast<std::ptrdiff_t>(done));
            }
            done += piece;
            continue;
        }
        seek(at);
        // A piece either ends at the last kept sample or lies beyond it.
        const std::size_t piece = at < keptSamples_ ? std::min(count - done, keptSamples_ - at) : count - done;
        saturate(piece, {&secondary_[0][done], &secondary_[1][done], &secondary_[2][done]});
        if (at == kept && at < keptSamples_) {
            for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
                kept_[phase].insert(kept_[phase].end(), secondary_[phase].begin() + static_cast<std::ptrdiff_t>(done),
                                    secondary_[phase].begin() + static_cast<std::ptrdiff_t>(done + piece));
            }
            afterKept_ = progress_;
        }
        done += piece;
    }
}

void CtSource::read(std::size_t first, std::size_t count, double* out) const {
    secondaryCurrents(first, count);
    modelBlock_.resize(kModelChannelCount * count);
    model_.read(first, count, modelBlock_.data());
    for (std::size_t j = 0; j < count; ++j) {
        const double* model = &modelBlock_[kModelChannelCount * j];
        double* row = out + kCtChannelCount * j;
        std::copy(model, model + kModelChannelCount, row);
        for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
            row[idealChannelOf(phase)] = model[phase];
            row[phase] = secondary_[phase][j];
        }
    }
}

// A secondary current that is not finite where the ideal one is comes from
// the CT, at sizes beyond its arithmetic.
std::string CtSource::nonFiniteProblem(std::size_t channel, std::size_t sample) const {
    std::vector<double> model(model_.channels().size());
    model_.read(sample, 1, model.data());
    if (channel < kPhaseCount && std::isfinite(model[channel])) {
        return "the CT of phase " + modelChannels()[channel].phase + " gives a value that is not finite at " +
               shortestText(axis_.time(sample)) + " s; check the magnitudes of \"ct\"";
    }
    return model_.nonFiniteProblem(channel < kModelChannelCount ? channel : channel - kModelChannelCount, sample);
}

void SaturationWatch::begin(const TimeAxis& axis, const std::vector<ChannelLabel>& /*channels*/,
                            const RecordingScan& scan) {
    count_ = axis.count;
    for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
        const KexComtrade::AnalogScan& ideal = scan.channels.at(idealChannelOf(phase));
        const double peak = axis.count == 0 ? 0.0 : std::max(std::fabs(ideal.min), std::fabs(ideal.max));
        limits_[phase] = KexCalculate::CtLimits::SaturationDeparture * peak;
        departures_[phase] = axis.count;
    }
}

void SaturationWatch::write(const SampleBlock& block) {
    ideal_.resize(block.count);
    secondary_.resize(block.count);
    for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
        if (departures_[phase] < count_) continue;
        for (std::size_t j = 0; j < block.count; ++j) {
            ideal_[j] = block.values[block.channelCount * j + idealChannelOf(phase)];
            secondary_[j] = block.values[block.channelCount * j + phase];
        }
        const std::size_t k =
            CtSaturation::firstDepartureBeyond(ideal_.data(), secondary_.data(), block.count, limits_[phase]);
        if (k < block.count) departures_[phase] = block.first + k;
    }
}

}  // namespace KexRecording
