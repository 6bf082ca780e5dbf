#include "Sampling.h"

#include <array>
#include <charconv>
#include <cstring>

namespace KexRecording {

std::string shortestText(double value) {
    std::array<char, 32> text{};
    char* const end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return std::string(text.data(), end);
}

const std::vector<ChannelLabel>& modelChannels() {
    static const std::array<ChannelLabel, kModelChannelCount> labels{
        {{"IA", "A", "A"}, {"IB", "B", "A"}, {"IC", "C", "A"}, {"VA", "A", "V"}, {"VB", "B", "V"}, {"VC", "C", "V"}}};
    static const std::vector<ChannelLabel> channels(labels.begin(), labels.end());
    return channels;
}

std::string disturbanceOutsideRecord(const TimeAxis& axis) {
    if (!axis.hasDisturbance || (axis.count > 0 && axis.time(axis.count - 1) - axis.disturbanceTime > 0.0)) {
        return {};
    }
    const double last = axis.count > 0 ? axis.time(axis.count - 1) : 0.0;
    return "the disturbance at " + shortestText(axis.disturbanceTime) + " s does not lie before the last sample at " +
           shortestText(last) + " s, so the record would never show it";
}

ModelSource::ModelSource(const KexCalculate::CalculationRl& model, const TimeAxis& axis)
    : model_(&model), axis_(axis) {}

ModelSource::ModelSource(const KexCalculate::CalculationRlExact& exact, const TimeAxis& axis)
    : exact_(&exact), axis_(axis) {}

void ModelSource::read(std::size_t first, std::size_t count, double* out) const {
    const double start = axis_.time(first);
    const double step = 1.0 / axis_.sampleRate;
    if (exact_ != nullptr) {
        exact_->sampleAllChannels(start, step, count, out);
    } else {
        model_->sampleAllChannels(start, step, count, out);
    }
}

double ModelSource::getMgn(int channel, double time) const {
    return exact_ != nullptr ? exact_->getMgn(channel, time) : model_->getMgn(channel, time);
}

std::string ModelSource::nonFiniteProblem(std::size_t channel, std::size_t sample) const {
    return "the model gives a value that is not finite on channel " + modelChannels().at(channel).id + " at " +
           shortestText(axis_.time(sample)) + " s; check the magnitudes of the scenario";
}

ArraySource::ArraySource(const double* rows, std::vector<ChannelLabel> channels)
    : rows_(rows), channels_(std::move(channels)) {}

void ArraySource::read(std::size_t first, std::size_t count, double* out) const {
    const std::size_t width = channels_.size();
    if (count > 0) {
        std::memcpy(out, rows_ + width * first, sizeof(double) * width * count);
    }
}

std::string ArraySource::nonFiniteProblem(std::size_t /*channel*/, std::size_t /*sample*/) const { return {}; }

}  // namespace KexRecording
