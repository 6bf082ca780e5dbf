// Sampling the transient model's six channels into a row-major buffer,
// out[6 * k + channel] for sample k: the one place the module turns a model
// into waveforms. Run without the GIL on a private copy of the model.
#pragma once

#include <cstddef>

#include "CalculationRl.h"
#include "Sampling.h"

namespace kexpy {

constexpr std::size_t kChannelCount = KexRecording::kModelChannelCount;

// The channels at startTime + k * step for k = 0 .. count - 1.
void sampleChannelBlock(const KexCalculate::CalculationRl& model, double startTime, double step, std::size_t count,
                        double* out);

// The channels at times[k] for k = 0 .. count - 1.
void sampleChannelsAt(const KexCalculate::CalculationRl& model, const double* times, std::size_t count, double* out);

}  // namespace kexpy
