#include "TransientSampling.h"

namespace kexpy {

namespace {

void sampleRow(const KexCalculate::CalculationRl& model, double time, double* row) {
    for (std::size_t channel = 0; channel < kChannelCount; ++channel) {
        row[channel] = model.getMgn(static_cast<int>(channel), time);
    }
}

}  // namespace

void sampleChannelBlock(const KexCalculate::CalculationRl& model, double startTime, double step, std::size_t count,
                        double* out) {
    model.sampleAllChannels(startTime, step, count, out);
}

void sampleChannelsAt(const KexCalculate::CalculationRl& model, const double* times, std::size_t count, double* out) {
    for (std::size_t k = 0; k < count; ++k) {
        sampleRow(model, times[k], out + kChannelCount * k);
    }
}

}  // namespace kexpy
