#include "PhasorDiagram.h"

#include <plplot.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "PhasorFormat.h"
#include "PlotProcess.h"

namespace kexcalc {

namespace {

using KexCalculate::Complex;

constexpr PictureSize kPictureSize{1600, 900};
constexpr int kSpokesPerHalfTurn = 6;  // every 30 degrees
// Arrow heads in parts of the diagram's outer radius.
constexpr double kHeadLength = 0.06;
constexpr double kHeadHalfWidth = 0.022;
constexpr double kTipRoom = 1.15;

struct PolarPanel {
    PLFLT left;
    PLFLT right;
    std::size_t firstChannel;
    const char* quantity;
    const char* unit;
};

// A ring spacing of 1, 2 or 5 times a power of ten, at least `least`.
double ringStep(double least) {
    const double decade = std::pow(10.0, std::floor(std::log10(least)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * decade >= least) {
            return factor * decade;
        }
    }
    return 10.0 * decade;
}

std::string shortText(double value) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%g", value);
    return text.data();
}

void drawArrow(const Complex& tip, double outer, PLINT colour, PLINT style, PLFLT width) {
    const double length = Complex::abs(tip);
    if (!(length > 0.0)) {
        return;
    }
    const double ux = tip.re / length;
    const double uy = tip.im / length;
    // Short arrows get a smaller head, so it never passes the origin.
    const double head = std::min(kHeadLength * outer, 0.5 * length);
    const double halfWidth = head * kHeadHalfWidth / kHeadLength;
    const double baseX = tip.re - head * ux;
    const double baseY = tip.im - head * uy;
    plcol0(colour);
    plwidth(width);
    pllsty(style);
    pljoin(0.0, 0.0, baseX, baseY);
    pllsty(kSolid);
    std::array<PLFLT, 3> x{tip.re, baseX - halfWidth * uy, baseX + halfWidth * uy};
    std::array<PLFLT, 3> y{tip.im, baseY + halfWidth * ux, baseY - halfWidth * ux};
    plfill(3, x.data(), y.data());
}

void drawPolarPanel(const PolarPanel& panel, const PhasorPicture& picture) {
    // The angle reference on the horizontal axis.
    std::array<Complex, 6> pre{};
    std::array<Complex, 6> disturbed{};
    double largest = 0.0;
    for (std::size_t phase = 0; phase < 3; ++phase) {
        const std::size_t channel = panel.firstChannel + phase;
        pre[phase] = Complex::rotate(picture.preFault[channel], -picture.referenceAngle);
        disturbed[phase] = Complex::rotate(picture.disturbed[channel], -picture.referenceAngle);
        largest = std::max({largest, Complex::abs(pre[phase]), Complex::abs(disturbed[phase])});
    }
    const double step = largest > 0.0 ? ringStep(largest / 4.0) : 1.0;
    // Room beyond the longest arrow for its name.
    const int rings = std::max(1, static_cast<int>(std::ceil(kTipRoom * largest / step)));
    const double outer = rings * step;
    const double frame = 1.25 * outer;  // room for the angles

    plvpas(panel.left, panel.right, 0.14, 0.76, 1.0);
    plwind(-frame, frame, -frame, frame);
    // The ring spacing in the heading, where no arrow can cover it.
    plcol0(kForeground);
    plmtex("t", 1.2, 0.5, 0.5,
           (std::string(panel.quantity) + " (" + panel.unit + "), rings every " + shortText(step) + " " + panel.unit)
               .c_str());

    plcol0(kGrid);
    plwidth(0.8);
    for (int ring = 1; ring <= rings; ++ring) {
        plarc(0.0, 0.0, ring * step, ring * step, 0.0, 360.0, 0.0, 0);
    }
    for (int spoke = 1 - kSpokesPerHalfTurn; spoke <= kSpokesPerHalfTurn; ++spoke) {
        const double degrees = spoke * (180.0 / kSpokesPerHalfTurn);
        const double angle = degreesToRadians(degrees);
        plcol0(kGrid);
        pljoin(0.0, 0.0, outer * std::cos(angle), outer * std::sin(angle));
        plcol0(kMarker);
        plptex(1.1 * outer * std::cos(angle), 1.1 * outer * std::sin(angle) - 0.02 * outer, 1.0, 0.0, 0.5,
               shortText(degrees).c_str());
    }

    // Pre-fault in light dashes under the disturbed state, each tip named.
    for (std::size_t phase = 0; phase < 3; ++phase) {
        drawArrow(pre[phase], outer, kPhaseLightColours[phase], kDashed, 2.0);
    }
    for (std::size_t phase = 0; phase < 3; ++phase) {
        drawArrow(disturbed[phase], outer, kPhaseColours[phase], kSolid, 2.8);
        const double length = Complex::abs(disturbed[phase]);
        if (length > 0.0) {
            const double away = length + 0.07 * outer;
            plcol0(kPhaseColours[phase]);
            plptex(disturbed[phase].re / length * away, disturbed[phase].im / length * away - 0.02 * outer, 1.0, 0.0,
                   0.5, plainText(KexRecording::modelChannels().at(panel.firstChannel + phase).id).c_str());
        }
    }
}

void drawLegend(const PhasorPicture& picture) {
    const std::array<std::string, 5> texts{"phase A", "phase B", "phase C", "pre-fault", picture.stateName};
    std::array<const char*, 5> names{};
    for (std::size_t k = 0; k < texts.size(); ++k) {
        names[k] = texts[k].c_str();
    }
    const std::array<PLINT, 5> options{PL_LEGEND_LINE, PL_LEGEND_LINE, PL_LEGEND_LINE, PL_LEGEND_LINE, PL_LEGEND_LINE};
    const std::array<PLINT, 5> colours{kPhaseA, kPhaseB, kPhaseC, kMarker, kForeground};
    const std::array<PLINT, 5> styles{kSolid, kSolid, kSolid, kDashed, kSolid};
    const std::array<PLFLT, 5> widths{2.8, 2.8, 2.8, 2.0, 2.8};
    const std::array<PLINT, 5> textColours{kForeground, kForeground, kForeground, kForeground, kForeground};
    plvpor(0.05, 0.95, 0.12, 0.86);
    plwind(0.0, 1.0, 0.0, 1.0);
    PLFLT legendWidth = 0.0;
    PLFLT legendHeight = 0.0;
    // The phases in the first row, the two states in the second.
    pllegend(&legendWidth, &legendHeight, PL_LEGEND_BACKGROUND | PL_LEGEND_BOUNDING_BOX | PL_LEGEND_ROW_MAJOR,
             PL_POSITION_OUTSIDE | PL_POSITION_BOTTOM | PL_POSITION_VIEWPORT, 0.0, 0.0, 0.04, kBackground, kForeground,
             1, 2, 3, static_cast<PLINT>(names.size()), options.data(), 1.0, 0.7, 2.0, 0.0, textColours.data(),
             names.data(), nullptr, nullptr, nullptr, nullptr, colours.data(), styles.data(), widths.data(), nullptr,
             nullptr, nullptr, nullptr);
    plcol0(kForeground);
    const bool note = !picture.stateNote.empty();
    plmtex("t", note ? 4.2 : 3.2, 0.5, 0.5, plainText(picture.title).c_str());
    plmtex("t", note ? 2.8 : 1.6, 0.5, 0.5, plainText(picture.subtitle).c_str());
    if (note) {
        plmtex("t", 1.4, 0.5, 0.5, plainText(picture.stateNote).c_str());
    }
}

}  // namespace

void drawPhasorDiagram(const std::filesystem::path& file, const PhasorPicture& picture) {
    drawPicture(file, "the phasor diagram", kPictureSize, [&picture]() {
        drawPolarPanel({0.04, 0.48, 0, "currents", "A"}, picture);
        drawPolarPanel({0.52, 0.96, 3, "voltages", "V"}, picture);
        drawLegend(picture);
    });
}

}  // namespace kexcalc
