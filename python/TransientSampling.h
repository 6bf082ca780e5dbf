// Sampling the transient model's six channels into (N, 6) numpy arrays, row k
// = the channels at one instant: the one place the module turns a model, or
// its exact transients, into waveforms. The arguments are checked with the
// GIL held; the sampling runs without it, on a private copy the caller keeps
// alive for the call.
#pragma once

#include <pybind11/numpy.h>

#include <cmath>
#include <cstddef>
#include <string>

#include "Conversions.h"
#include "Sampling.h"

namespace kexpy {

constexpr std::size_t kChannelCount = KexRecording::kModelChannelCount;

using TimesArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// "(3, 2)": the shape of an array, for error messages.
std::string shapeOf(const py::array& array);

// An (count, 6) float64 array.
RealArray channelArray(std::size_t count);

// The channels at the given host times (sample) and at start + k * step for
// k = 0 .. count - 1 (sampleBlock), of anything with getMgn and
// sampleAllChannels; a ValueError names the argument that cannot be used.
template <typename Waves>
RealArray sampleAtTimes(const Waves& waves, const TimesArray& times) {
    if (times.ndim() != 1) {
        throw py::value_error("sample: times must be a one-dimensional sequence of host times, got an array of shape " +
                              shapeOf(times));
    }
    const auto count = static_cast<std::size_t>(times.shape(0));
    RealArray out = channelArray(count);
    double* values = out.mutable_data();
    const double* at = times.data();
    {
        py::gil_scoped_release release;
        for (std::size_t k = 0; k < count; ++k) {
            for (std::size_t channel = 0; channel < kChannelCount; ++channel) {
                values[kChannelCount * k + channel] = waves.getMgn(static_cast<int>(channel), at[k]);
            }
        }
    }
    return out;
}

template <typename Waves>
RealArray sampleBlockOf(const Waves& waves, double start, double step, long long count) {
    if (!std::isfinite(start)) {
        throw py::value_error("sampleBlock: start must be finite, got " + reprOf(start));
    }
    if (!std::isfinite(step)) {
        throw py::value_error("sampleBlock: step must be finite, got " + reprOf(step));
    }
    if (count < 0) {
        throw py::value_error("sampleBlock: count must not be negative, got " + std::to_string(count));
    }
    const auto samples = static_cast<std::size_t>(count);
    RealArray out = channelArray(samples);
    double* values = out.mutable_data();
    {
        py::gil_scoped_release release;
        waves.sampleAllChannels(start, step, samples, values);
    }
    return out;
}

}  // namespace kexpy
