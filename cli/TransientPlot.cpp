#include "TransientPlot.h"

#include <plplot.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>
#include <vector>

#include "CtStage.h"
#include "PlotProcess.h"

namespace kexcalc {

namespace {

constexpr PictureSize kPictureSize{1400, 1000};
constexpr PictureSize kZoomedPictureSize{1400, 1800};
// Beyond this many samples a curve is drawn from the minimum and maximum of
// each of kPlotColumns stretches, which keeps every peak.
constexpr std::size_t kPlotColumns = 3000;
// Records up to this length are shown in milliseconds.
constexpr double kMillisecondAxisLimit = 2.0;  // s
constexpr double kMillisecondsPerSecond = 1000.0;
// The zoom: network cycles before and after the disturbance instant, drawn
// when they cover less than this part of the record.
constexpr double kZoomCyclesBefore = 3.0;
constexpr double kZoomCyclesAfter = 10.0;
constexpr double kZoomMaxShare = 0.5;
// The right edge of the panels, and with the ideal currents of CTs in the
// legend ("IA ideal").
constexpr PLFLT kPanelRight = 0.87;
constexpr PLFLT kPanelRightWithIdeal = 0.8;
constexpr std::size_t kNoChannel = static_cast<std::size_t>(-1);

struct Panel {
    PLFLT bottom;
    PLFLT top;
    std::size_t firstChannel;
    const char* yLabel;
    PLFLT right = kPanelRight;
    std::size_t idealFirstChannel = kNoChannel;  // the ideal currents, drawn dashed under the others
};

// A panel's time axis: a sample at time t (s) lies at (t - origin) * scale,
// the axis runs from start to end, and a band may mark a stretch of it.
struct PanelTime {
    double origin;
    double scale;
    double start;
    double end;
    double bandStart = 0.0;
    double bandEnd = 0.0;  // no band when not after bandStart
};

// What the child draws in a pair of panels.
struct Picture {
    const KexRecording::TimeAxis& axis;
    const std::vector<std::string>& ids;
    const std::vector<CurveReducer>& curves;
    const PlotLabels& labels;
};

struct Curve {
    std::vector<PLFLT> x;
    std::vector<PLFLT> y;
};

void drawPanel(const Panel& panel, const Picture& picture, const PanelTime& time, const std::string& xLabel,
               const std::string& title) {
    // The ideal currents first, so that the secondary ones lie on top.
    std::vector<std::size_t> channels;
    std::vector<PLINT> colours;
    std::vector<PLINT> styles;
    for (std::size_t phase = 0; phase < 3 && panel.idealFirstChannel != kNoChannel; ++phase) {
        channels.push_back(panel.idealFirstChannel + phase);
        colours.push_back(kPhaseLightColours[phase]);
        styles.push_back(kDashed);
    }
    for (std::size_t phase = 0; phase < 3; ++phase) {
        channels.push_back(panel.firstChannel + phase);
        colours.push_back(kPhaseColours[phase]);
        styles.push_back(kSolid);
    }
    std::vector<Curve> curves(channels.size());
    double low = 0.0;
    double high = 0.0;
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const CurveReducer& reduced = picture.curves[channels[c]];
        for (const auto& [k, value] : reduced.points()) {
            curves[c].x.push_back((picture.axis.time(k) - time.origin) * time.scale);
            curves[c].y.push_back(value);
        }
        low = std::min(low, reduced.lowest());
        high = std::max(high, reduced.highest());
    }
    // Room above the curves for the marker's text.
    const double span = high - low > 0.0 ? high - low : 2.0;
    low -= 0.06 * span;
    high += 0.16 * span;
    const double width = time.end - time.start;

    plvpor(0.08, panel.right, panel.bottom, panel.top);
    plwind(time.start, time.end, low, high);
    if (time.bandEnd > time.bandStart) {
        plcol0(kZoomBand);
        std::array<PLFLT, 4> x{time.bandStart, time.bandEnd, time.bandEnd, time.bandStart};
        std::array<PLFLT, 4> y{low, low, high, high};
        plfill(4, x.data(), y.data());
    }
    plcol0(kGrid);
    pllsty(kSolid);
    plwidth(0.5);
    plbox("g", 0.0, 0, "g", 0.0, 0);
    plcol0(kForeground);
    plwidth(1.0);
    plbox("bcnst", 0.0, 0, "bcnstv", 0.0, 0);
    pllab(xLabel.c_str(), panel.yLabel, plainText(title).c_str());

    for (std::size_t c = 0; c < channels.size(); ++c) {
        plcol0(colours[c]);
        pllsty(styles[c]);
        plwidth(styles[c] == kSolid ? 1.6 : 1.2);
        plline(static_cast<PLINT>(curves[c].x.size()), curves[c].x.data(), curves[c].y.data());
    }
    pllsty(kSolid);

    const PlotLabels& labels = picture.labels;
    const double marker = (picture.axis.disturbanceTime - time.origin) * time.scale;
    if (picture.axis.hasDisturbance && marker >= time.start && marker <= time.end) {
        plcol0(kMarker);
        plwidth(1.2);
        pllsty(kDashed);
        pljoin(marker, low, marker, high);
        pllsty(kSolid);
        if (!labels.marker.empty()) {
            const bool leftOfLine = marker > time.start + 0.75 * width;
            plptex(marker + (leftOfLine ? -0.01 : 0.01) * width, high - 0.07 * (high - low), 1.0, 0.0,
                   leftOfLine ? 1.0 : 0.0, plainText(labels.marker).c_str());
        }
    }

    // Legend to the right of the panel, the secondary currents first.
    std::vector<const char*> names;
    std::vector<PLINT> legendColours;
    std::vector<PLINT> legendStyles;
    const std::size_t firstSecondary = channels.size() - 3;
    for (std::size_t k = 0; k < channels.size(); ++k) {
        const std::size_t entry = (k + firstSecondary) % channels.size();
        names.push_back(picture.ids[channels[entry]].c_str());
        legendColours.push_back(colours[entry]);
        legendStyles.push_back(styles[entry]);
    }
    const std::vector<PLINT> options(names.size(), PL_LEGEND_LINE);
    const std::vector<PLFLT> widths(names.size(), 2.5);
    const std::vector<PLINT> textColours(names.size(), kForeground);
    PLFLT legendWidth = 0.0;
    PLFLT legendHeight = 0.0;
    pllegend(&legendWidth, &legendHeight, PL_LEGEND_BACKGROUND | PL_LEGEND_BOUNDING_BOX,
             PL_POSITION_OUTSIDE | PL_POSITION_RIGHT | PL_POSITION_VIEWPORT, 0.015, 0.0, 0.04, kBackground, kForeground,
             1, 0, 0, static_cast<PLINT>(names.size()), options.data(), 1.0, 1.0, 2.0, 0.0, textColours.data(),
             names.data(), nullptr, nullptr, nullptr, nullptr, legendColours.data(), legendStyles.data(), widths.data(),
             nullptr, nullptr, nullptr, nullptr);
}

std::string zoomTitle() {
    std::ostringstream title;
    title << "zoom (shaded above): " << kZoomCyclesBefore << " cycles before the disturbance, " << kZoomCyclesAfter
          << " after it";
    return title.str();
}

// Panel edges from pixels below the top of a picture `height` pixels high.
Panel panelAt(int top, int height, int pictureHeight, std::size_t firstChannel, const char* yLabel) {
    const auto fraction = [pictureHeight](int fromTop) {
        return 1.0 - static_cast<double>(fromTop) / static_cast<double>(pictureHeight);
    };
    return {fraction(top + height), fraction(top), firstChannel, yLabel, kPanelRight, kNoChannel};
}

}  // namespace

void CurveReducer::reset(std::size_t first, std::size_t count) {
    *this = CurveReducer{};
    first_ = first;
    count_ = count;
}

void CurveReducer::add(std::size_t k, double value) {
    lowest_ = std::min(lowest_, value);
    highest_ = std::max(highest_, value);
    if (count_ <= 2 * kPlotColumns) {
        points_.emplace_back(k, value);
        return;
    }
    if (stretch_ == 0 || k - first_ >= stretchEnd_) {
        closeStretch();
        ++stretch_;
        stretchEnd_ = stretch_ * count_ / kPlotColumns;
        low_ = high_ = {k, value};
        return;
    }
    // The first smallest and the last largest sample of the stretch.
    if (value < low_.second) {
        low_ = {k, value};
    }
    if (!(value < high_.second)) {
        high_ = {k, value};
    }
}

void CurveReducer::finish() {
    closeStretch();
    stretch_ = 0;
}

void CurveReducer::closeStretch() {
    if (stretch_ == 0) {
        return;
    }
    // In time order, so the polyline runs forward.
    const bool lowFirst = low_.first <= high_.first;
    points_.push_back(lowFirst ? low_ : high_);
    points_.push_back(lowFirst ? high_ : low_);
}

WaveformPlot::WaveformPlot(KexRecording::FileSet& files, std::string fileName, PlotLabels labels,
                           double networkFrequency)
    : files_(files), fileName_(std::move(fileName)), labels_(std::move(labels)), networkFrequency_(networkFrequency) {}

void WaveformPlot::begin(const KexRecording::TimeAxis& axis, const std::vector<KexRecording::ChannelLabel>& channels,
                         const KexRecording::RecordingScan& /*scan*/) {
    file_ = &files_.add(fileName_);
    axis_ = axis;
    ids_.clear();
    for (const KexRecording::ChannelLabel& channel : channels) {
        ids_.push_back(channel.id);
    }
    curves_.resize(channels.size());
    for (CurveReducer& curve : curves_) {
        curve.reset(0, axis.count);
    }

    // The zoom, when the disturbance lies inside the record and its cycles
    // cover only a small part of it.
    zoomFirst_ = 0;
    zoomCount_ = 0;
    zoomCurves_.clear();
    const double duration = axis.time(axis.count);
    const double cycle = 1.0 / networkFrequency_;
    if (!axis.hasDisturbance || axis.disturbanceTime < 0.0 || axis.disturbanceTime >= duration) {
        return;
    }
    const double start = std::max(0.0, axis.disturbanceTime - kZoomCyclesBefore * cycle);
    const double end = std::min(duration, axis.disturbanceTime + kZoomCyclesAfter * cycle);
    if (end - start >= kZoomMaxShare * duration) {
        return;
    }
    const auto first = static_cast<std::size_t>(std::ceil(start * axis.sampleRate));
    const std::size_t last = std::min(axis.count - 1, static_cast<std::size_t>(std::floor(end * axis.sampleRate)));
    if (first >= last) {
        return;
    }
    zoomFirst_ = first;
    zoomCount_ = last - first + 1;
    zoomCurves_.resize(channels.size());
    for (CurveReducer& curve : zoomCurves_) {
        curve.reset(zoomFirst_, zoomCount_);
    }
}

void WaveformPlot::write(const KexRecording::SampleBlock& block) {
    for (std::size_t c = 0; c < block.channelCount; ++c) {
        CurveReducer& curve = curves_[c];
        for (std::size_t j = 0; j < block.count; ++j) {
            curve.add(block.first + j, block.values[block.channelCount * j + c]);
        }
    }
    if (zoomCount_ == 0) {
        return;
    }
    // The block's samples inside the zoom.
    const std::size_t from = std::max(block.first, zoomFirst_);
    const std::size_t to = std::min(block.first + block.count, zoomFirst_ + zoomCount_);
    for (std::size_t c = 0; c < block.channelCount; ++c) {
        for (std::size_t k = from; k < to; ++k) {
            zoomCurves_[c].add(k, block.values[block.channelCount * (k - block.first) + c]);
        }
    }
}

void WaveformPlot::finish() {
    for (CurveReducer& curve : curves_) {
        curve.finish();
    }
    for (CurveReducer& curve : zoomCurves_) {
        curve.finish();
    }
    const bool zoom = zoomCount_ > 0;
    const Picture overview{axis_, ids_, curves_, labels_};
    const Picture zoomed{axis_, ids_, zoomCurves_, labels_};
    const double duration = axis_.time(axis_.count);
    const bool milliseconds = duration <= kMillisecondAxisLimit;
    const double scale = milliseconds ? kMillisecondsPerSecond : 1.0;
    const std::string xLabel = milliseconds ? "time (ms)" : "time (s)";
    PanelTime overviewTime{0.0, scale, 0.0, duration * scale};
    const PictureSize size = zoom ? kZoomedPictureSize : kPictureSize;
    // With CTs the current panels show the ideal currents as well; every panel
    // leaves the room their legend needs.
    const bool withIdeal = curves_.size() == KexRecording::kCtChannelCount;
    const auto panel = [&](int top, int height, std::size_t firstChannel, const char* yLabel) {
        Panel placed = panelAt(top, height, size.height, firstChannel, yLabel);
        placed.right = withIdeal ? kPanelRightWithIdeal : kPanelRight;
        if (withIdeal && firstChannel == 0) {
            placed.idealFirstChannel = KexRecording::idealChannelOf(0);
        }
        return placed;
    };
    drawPicture(file_->temporaryPath(), "the plot", size, [&]() {
        if (!zoom) {
            drawPanel(panel(80, 360, 0, "current (A)"), overview, overviewTime, "", labels_.title);
            drawPanel(panel(550, 360, 3, "voltage (V)"), overview, overviewTime, xLabel, "");
            return;
        }
        // The overview marks the zoom's stretch; the zoom counts its time from the disturbance.
        const double zoomStart = axis_.time(zoomFirst_);
        const double zoomEnd = axis_.time(zoomFirst_ + zoomCount_ - 1);
        overviewTime.bandStart = zoomStart * scale;
        overviewTime.bandEnd = zoomEnd * scale;
        const double origin = axis_.disturbanceTime;
        const PanelTime zoomTime{origin, kMillisecondsPerSecond, (zoomStart - origin) * kMillisecondsPerSecond,
                                 (zoomEnd - origin) * kMillisecondsPerSecond};
        drawPanel(panel(80, 320, 0, "current (A)"), overview, overviewTime, "", labels_.title);
        drawPanel(panel(500, 320, 3, "voltage (V)"), overview, overviewTime, xLabel, "");
        drawPanel(panel(960, 320, 0, "current (A)"), zoomed, zoomTime, "", zoomTitle());
        drawPanel(panel(1380, 320, 3, "voltage (V)"), zoomed, zoomTime, "time from the disturbance (ms)", "");
    });
}

}  // namespace kexcalc
