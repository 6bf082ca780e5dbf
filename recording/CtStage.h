// The current transformers of a scenario on the recording path: a sample
// source whose currents are the CTs' secondary currents, with the model's
// ideal currents as further channels, and a writer that finds where each CT
// begins to saturate.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "CtSaturation.h"
#include "Recording.h"
#include "Sampling.h"
#include "ScenarioFields.h"

namespace KexRecording {

constexpr std::size_t kPhaseCount = 3;
using PhaseCts = std::array<KexCalculate::CtParameters, kPhaseCount>;

// The CTs of phases A, B, C as the scenario describes them, at the network's
// frequency.
PhaseCts ctParameters(const TransientScenario& scenario);

// The channels of a CtSource: the model's six, IA, IB, IC now the secondary
// currents, then the ideal currents IA ideal, IB ideal, IC ideal.
constexpr std::size_t kCtChannelCount = kModelChannelCount + kPhaseCount;
constexpr std::size_t idealChannelOf(std::size_t phase) { return kModelChannelCount + phase; }
const std::vector<ChannelLabel>& ctChannels();

// A model's channels through the CTs of the three phases. Each CT takes its
// phase's ideal current at its own instants from the model's waveforms (their
// value at any time: the single time constant's or the exact transients'),
// not from the samples. Blocks read in order carry each core's state
// on; the first samples of each CT (kKeptSamples) are kept for the recording's
// second pass, which runs the CTs again only beyond them. Any block may be
// read, at the price of running the CTs up to it.
class CtSource : public SampleSource {
public:
    // 26 s at 10 kHz: 6 MB for the three CTs, whatever the record's length.
    static constexpr std::size_t kKeptSamples = std::size_t{1} << 18U;

    // `model` gives the six channels on the axis and, from three threads at
    // once, the phase currents at any time; it must outlive the source.
    CtSource(const ModelSource& model, const PhaseCts& cts, const TimeAxis& axis,
             std::size_t keptSamples = kKeptSamples);

    const std::vector<ChannelLabel>& channels() const override { return ctChannels(); }
    void read(std::size_t first, std::size_t count, double* out) const override;
    std::string nonFiniteProblem(std::size_t channel, std::size_t sample) const override;

private:
    using Progress = std::array<KexCalculate::CtSaturation::Progress, kPhaseCount>;
    void saturate(std::size_t count, const std::array<double*, kPhaseCount>& out) const;
    void seek(std::size_t at) const;
    void secondaryCurrents(std::size_t first, std::size_t count) const;

    const ModelSource& model_;
    std::array<KexCalculate::CtIdealCurrent, kPhaseCount> idealCurrents_;
    std::array<KexCalculate::CtSaturation, kPhaseCount> cts_;
    TimeAxis axis_;
    std::size_t keptSamples_;
    // Where the CTs stand; the samples kept from the record's start and where
    // the CTs stand after them; the block of the model and of each CT.
    mutable Progress progress_;
    mutable std::array<std::vector<double>, kPhaseCount> kept_;
    mutable Progress afterKept_;
    mutable std::vector<double> modelBlock_;
    mutable std::array<std::vector<double>, kPhaseCount> secondary_;
};

// The first sample of each phase at which the secondary current departs from
// the ideal one by more than CtLimits::SaturationDeparture of the ideal
// current's peak over the record: a writer of a CtSource's recording, which
// takes the peaks from the first pass.
class SaturationWatch : public RecordingWriter {
public:
    void begin(const TimeAxis& axis, const std::vector<ChannelLabel>& channels, const RecordingScan& scan) override;
    void write(const SampleBlock& block) override;
    void finish() override {}

    // The sample per phase; the record's sample count where there is none.
    const std::array<std::size_t, kPhaseCount>& firstDepartures() const { return departures_; }

private:
    std::array<double, kPhaseCount> limits_{};
    std::array<std::size_t, kPhaseCount> departures_{};
    std::size_t count_ = 0;
    std::vector<double> ideal_;
    std::vector<double> secondary_;
};

}  // namespace KexRecording
