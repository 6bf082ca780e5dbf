// A PNG picture of a sampled transient record: currents in the upper panel,
// voltages in the lower one, the disturbance instant marked in both.
#pragma once

#include <filesystem>
#include <string>

#include "TransientOutput.h"

namespace kexcalc {

struct PlotLabels {
    std::string title;
    std::string marker;  // text beside the line at the disturbance instant
};

// Draws into `file` (which is overwritten). The drawing runs in a child
// process: the plotting library ends its process on a fatal error and may
// print warnings, and neither may reach the user's terminal as such. Throws
// ArgumentError with the library's message when no picture results.
void drawWaveformPlot(const std::filesystem::path& file, const SampledRecord& record, const PlotLabels& labels);

}  // namespace kexcalc
