// Pictures drawn with the plotting library in a child process: the library
// ends its process on a fatal error and may print warnings, and neither may
// reach the user's terminal as such.
#pragma once

#include <plplot.h>

#include <array>
#include <filesystem>
#include <functional>
#include <string>

namespace kexcalc {

// Colour map 0 of every picture.
enum PlotColour : PLINT {
    kBackground = 0,
    kForeground = 1,
    kPhaseA = 2,
    kPhaseB = 3,
    kPhaseC = 4,
    kGrid = 5,
    kMarker = 6,
    kPhaseALight = 7,  // a second quantity of the same phase beside the first
    kPhaseBLight = 8,
    kPhaseCLight = 9,
    kZoomBand = 10,
};
constexpr std::array<PLINT, 3> kPhaseColours{kPhaseA, kPhaseB, kPhaseC};
constexpr std::array<PLINT, 3> kPhaseLightColours{kPhaseALight, kPhaseBLight, kPhaseCLight};
constexpr PLINT kSolid = 1;
constexpr PLINT kDashed = 2;

// The plotting library reads '#' as the start of an escape sequence.
std::string plainText(const std::string& text);

struct PictureSize {
    int width;  // pixels
    int height;
};

// Draws `what` ("the plot") as a PNG into `file` in a child process: `draw`
// runs on a white page with the colours above, between the library's start
// and end. Throws ArgumentError with the library's message when no picture
// results.
void drawPicture(const std::filesystem::path& file, const std::string& what, PictureSize size,
                 const std::function<void()>& draw);

}  // namespace kexcalc
