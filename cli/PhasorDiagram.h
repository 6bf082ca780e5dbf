// NAME_phasors.png: the phasors before the disturbance and in the state that
// stands for it, on two polar diagrams (currents, voltages), the phases in the
// colours of the waveform plot.
#pragma once

#include <array>
#include <filesystem>
#include <string>

#include "RecordExtremes.h"

namespace kexcalc {

struct PhasorPicture {
    std::string title;
    std::string subtitle;   // below the title
    std::string stateName;  // of the disturbed state in the legend: "fault state"
    std::string stateNote;  // what the disturbed state is, a line below the subtitle; may be empty
    KexRecording::ChannelPhasors preFault;
    KexRecording::ChannelPhasors disturbed;
    double referenceAngle;  // rad; drawn at 0 degrees
};

// Draws in a child process (PlotProcess.h); throws ArgumentError when no
// picture results.
void drawPhasorDiagram(const std::filesystem::path& file, const PhasorPicture& picture);

}  // namespace kexcalc
