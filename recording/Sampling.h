// Where the samples of a recording come from and when they were taken: one
// time axis (sample k at k / sampleRate, the disturbance at its own instant)
// and sources that give the channels block by block, from the transient model
// (or its exact transients) or from an array a host filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CalculationRl.h"
#include "CalculationRlExact.h"

namespace KexRecording {

struct ChannelLabel {
    std::string id;     // "IA"
    std::string phase;  // "A"
    std::string unit;   // "A" or "V"
};

// The model's channels in its channel order: currents IA, IB, IC, then
// voltages VA, VB, VC.
constexpr std::size_t kModelChannelCount = 6;
const std::vector<ChannelLabel>& modelChannels();

struct TimeAxis {
    double sampleRate = 0.0;  // Hz
    std::size_t count = 0;    // samples
    bool hasDisturbance = false;
    double disturbanceTime = 0.0;  // s, where the fault status turns to 1

    // Time of sample k (0 at the first sample).
    double time(std::size_t k) const { return static_cast<double>(k) / sampleRate; }
    // 0 before the disturbance instant, 1 from it on, by the comparison the
    // model makes between its two intervals.
    std::uint8_t faultStatus(std::size_t k) const { return time(k) - disturbanceTime < 0.0 ? 0 : 1; }
};

// The shortest text that reads back to the same double: "0.1", "1e-06".
std::string shortestText(double value);

// Empty, or why a record with a disturbance instant does not show it: no
// sample lies after the instant, so the fault state would never be seen.
std::string disturbanceOutsideRecord(const TimeAxis& axis);

class SampleSource {
public:
    SampleSource() = default;
    virtual ~SampleSource() = default;
    SampleSource(const SampleSource&) = delete;
    SampleSource& operator=(const SampleSource&) = delete;
    SampleSource(SampleSource&&) = delete;
    SampleSource& operator=(SampleSource&&) = delete;

    virtual const std::vector<ChannelLabel>& channels() const = 0;
    // Samples first .. first + count - 1 of every channel, interleaved:
    // out[channels().size() * j + c]. The same block gives the same bits.
    virtual void read(std::size_t first, std::size_t count, double* out) const = 0;
    // What to tell the user about a sample that is not finite; empty leaves it
    // to the COMTRADE writer's check, which names the array element.
    virtual std::string nonFiniteProblem(std::size_t channel, std::size_t sample) const = 0;
};

// The six channels of a calculated model on the time axis, by block sampling:
// the model's own waveforms, or its exact transients. getMgn gives the same
// waveforms at any host time, for a stage that needs them between the samples.
class ModelSource : public SampleSource {
public:
    // The model (and its record) must outlive the source.
    ModelSource(const KexCalculate::CalculationRl& model, const TimeAxis& axis);
    // The exact transients (and the model's record) must outlive the source.
    ModelSource(const KexCalculate::CalculationRlExact& exact, const TimeAxis& axis);

    const std::vector<ChannelLabel>& channels() const override { return modelChannels(); }
    void read(std::size_t first, std::size_t count, double* out) const override;
    std::string nonFiniteProblem(std::size_t channel, std::size_t sample) const override;
    double getMgn(int channel, double time) const;

private:
    const KexCalculate::CalculationRl* model_ = nullptr;
    const KexCalculate::CalculationRlExact* exact_ = nullptr;
    TimeAxis axis_;
};

// Samples a host holds row by row: rows[channelCount * k + c].
class ArraySource : public SampleSource {
public:
    // The array must outlive the source.
    ArraySource(const double* rows, std::vector<ChannelLabel> channels);

    const std::vector<ChannelLabel>& channels() const override { return channels_; }
    void read(std::size_t first, std::size_t count, double* out) const override;
    std::string nonFiniteProblem(std::size_t channel, std::size_t sample) const override;

private:
    const double* rows_;
    std::vector<ChannelLabel> channels_;
};

}  // namespace KexRecording
