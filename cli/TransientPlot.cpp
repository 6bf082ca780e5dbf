#include "TransientPlot.h"

#include <fcntl.h>
#include <plplot.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <system_error>
#include <vector>

#include "CommandLine.h"

namespace kexcalc {

namespace {

// Colour map 0 of the picture.
enum PlotColour : PLINT {
    kBackground = 0,
    kForeground = 1,
    kPhaseA = 2,
    kPhaseB = 3,
    kPhaseC = 4,
    kGrid = 5,
    kMarker = 6,
};

constexpr const char* kGeometry = "1400x1000";
// Beyond this many samples a curve is drawn from the minimum and maximum of
// each of kPlotColumns stretches, which keeps every peak.
constexpr std::size_t kPlotColumns = 3000;
// Records up to this length are shown in milliseconds.
constexpr double kMillisecondAxisLimit = 2.0;  // s
constexpr int kChildFailed = 3;

// The plotting library reads '#' as the start of an escape sequence.
std::string plainText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        escaped += c == '#' ? std::string("##") : std::string(1, c);
    }
    return escaped;
}

// Messages of the plotting library's recoverable errors, kept by the child.
bool plotAborted = false;
void onPlotAbort(const char* message) {
    plotAborted = true;
    std::fprintf(stderr, "%s\n", message);
}

struct Panel {
    PLFLT bottom;
    PLFLT top;
    std::size_t firstChannel;
    const char* yLabel;
};

// What the child draws.
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

void drawPanel(const Panel& panel, const Picture& picture, double timeScale, double timeEnd, const std::string& xLabel,
               const std::string& title) {
    const std::array<PLINT, 3> colours{kPhaseA, kPhaseB, kPhaseC};
    std::array<Curve, 3> curves;
    double low = 0.0;
    double high = 0.0;
    for (std::size_t phase = 0; phase < 3; ++phase) {
        const CurveReducer& reduced = picture.curves[panel.firstChannel + phase];
        for (const auto& [k, value] : reduced.points()) {
            curves[phase].x.push_back(picture.axis.time(k) * timeScale);
            curves[phase].y.push_back(value);
        }
        low = std::min(low, reduced.lowest());
        high = std::max(high, reduced.highest());
    }
    // Room above the curves for the marker's text.
    const double span = high - low > 0.0 ? high - low : 2.0;
    low -= 0.06 * span;
    high += 0.16 * span;

    plvpor(0.08, 0.87, panel.bottom, panel.top);
    plwind(0.0, timeEnd, low, high);
    plcol0(kGrid);
    pllsty(1);
    plwidth(0.5);
    plbox("g", 0.0, 0, "g", 0.0, 0);
    plcol0(kForeground);
    plwidth(1.0);
    plbox("bcnst", 0.0, 0, "bcnstv", 0.0, 0);
    pllab(xLabel.c_str(), panel.yLabel, plainText(title).c_str());

    plwidth(1.6);
    for (std::size_t phase = 0; phase < 3; ++phase) {
        plcol0(colours[phase]);
        plline(static_cast<PLINT>(curves[phase].x.size()), curves[phase].x.data(), curves[phase].y.data());
    }

    const PlotLabels& labels = picture.labels;
    const double marker = picture.axis.disturbanceTime * timeScale;
    if (picture.axis.hasDisturbance && picture.axis.disturbanceTime >= 0.0 && marker <= timeEnd) {
        plcol0(kMarker);
        plwidth(1.2);
        pllsty(2);
        pljoin(marker, low, marker, high);
        pllsty(1);
        if (!labels.marker.empty()) {
            const bool leftOfLine = marker > 0.75 * timeEnd;
            plptex(marker + (leftOfLine ? -0.01 : 0.01) * timeEnd, high - 0.07 * (high - low), 1.0, 0.0,
                   leftOfLine ? 1.0 : 0.0, plainText(labels.marker).c_str());
        }
    }

    // Legend to the right of the panel.
    std::array<const char*, 3> names{};
    std::array<PLINT, 3> options{};
    std::array<PLINT, 3> styles{};
    std::array<PLFLT, 3> widths{};
    std::array<PLINT, 3> textColours{};
    for (std::size_t phase = 0; phase < 3; ++phase) {
        names[phase] = picture.ids[panel.firstChannel + phase].c_str();
        options[phase] = PL_LEGEND_LINE;
        styles[phase] = 1;
        widths[phase] = 2.5;
        textColours[phase] = kForeground;
    }
    PLFLT legendWidth = 0.0;
    PLFLT legendHeight = 0.0;
    pllegend(&legendWidth, &legendHeight, PL_LEGEND_BACKGROUND | PL_LEGEND_BOUNDING_BOX,
             PL_POSITION_OUTSIDE | PL_POSITION_RIGHT | PL_POSITION_VIEWPORT, 0.015, 0.0, 0.04, kBackground, kForeground,
             1, 0, 0, 3, options.data(), 1.0, 1.0, 2.0, 0.0, textColours.data(), names.data(), nullptr, nullptr,
             nullptr, nullptr, colours.data(), styles.data(), widths.data(), nullptr, nullptr, nullptr, nullptr);
}

// Runs in the child process: 0 when the picture was written.
int drawInChild(const std::filesystem::path& file, const Picture& picture) {
    plsabort(onPlotAbort);
    plsdev("pngcairo");
    plsfnam(file.c_str());
    plsetopt("geometry", kGeometry);
    plscolbg(255, 255, 255);
    plscol0(kForeground, 0, 0, 0);
    plscol0(kPhaseA, 200, 30, 30);
    plscol0(kPhaseB, 20, 140, 40);
    plscol0(kPhaseC, 30, 70, 200);
    plscol0(kGrid, 215, 215, 215);
    plscol0(kMarker, 90, 90, 90);
    plinit();
    pladv(0);
    plschr(0.0, 0.8);

    const double duration = picture.axis.time(picture.axis.count);
    const bool milliseconds = duration <= kMillisecondAxisLimit;
    const double timeScale = milliseconds ? 1000.0 : 1.0;
    const std::string xLabel = milliseconds ? "time (ms)" : "time (s)";
    drawPanel({0.56, 0.92, 0, "current (A)"}, picture, timeScale, duration * timeScale, "", picture.labels.title);
    drawPanel({0.09, 0.45, 3, "voltage (V)"}, picture, timeScale, duration * timeScale, xLabel, "");
    plend();
    return plotAborted ? kChildFailed : 0;
}

std::string firstLine(const std::string& text) {
    const std::size_t start = text.find_first_not_of("\n *");
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t end = text.find('\n', start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool looksLikePng(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::array<char, 8> signature{};
    in.read(signature.data(), signature.size());
    static constexpr std::array<unsigned char, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return in.gcount() == static_cast<std::streamsize>(signature.size()) &&
           std::equal(signature.begin(), signature.end(), kPngSignature.begin(),
                      [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; });
}

// Draws into `file` in a child process.
void drawWaveformPlot(const std::filesystem::path& file, const Picture& picture) {
    std::array<int, 2> channel{};
    if (pipe2(channel.data(), O_CLOEXEC) != 0) {
        throw ArgumentError("the plot: cannot start drawing: " + std::generic_category().message(errno));
    }
    // Buffered output would otherwise be written twice.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(channel[0]);
        close(channel[1]);
        throw ArgumentError("the plot: cannot start drawing: " + std::generic_category().message(error));
    }
    if (child == 0) {
        // Everything the plotting library says goes to the parent, and it
        // must never wait for an answer (it asks for a device when it has none).
        dup2(channel[1], STDOUT_FILENO);
        dup2(channel[1], STDERR_FILENO);
        const int nothing = open("/dev/null", O_RDONLY);
        if (nothing >= 0) {
            dup2(nothing, STDIN_FILENO);
        }
        const int status = drawInChild(file, picture);
        std::fflush(nullptr);
        _exit(status);
    }
    close(channel[1]);
    std::string messages;
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t count = read(channel[0], buffer.data(), buffer.size());
        if (count > 0) {
            messages.append(buffer.data(), static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            break;
        }
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const bool exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!exited || !looksLikePng(file)) {
        std::string reason = firstLine(messages);
        if (reason.empty()) {
            reason = WIFSIGNALED(status) ? "the drawing process ended on signal " + std::to_string(WTERMSIG(status))
                                         : "no picture was written";
        }
        throw ArgumentError("the plot could not be drawn (" + reason + "); --no-plot skips it");
    }
}

}  // namespace

void CurveReducer::reset(std::size_t count) { *this = CurveReducer{}; count_ = count; }

void CurveReducer::add(std::size_t k, double value) {
    lowest_ = std::min(lowest_, value);
    highest_ = std::max(highest_, value);
    if (count_ <= 2 * kPlotColumns) {
        points_.emplace_back(k, value);
        return;
    }
    if (stretch_ == 0 || k >= stretchEnd_) {
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

WaveformPlot::WaveformPlot(KexRecording::FileSet& files, std::string fileName, PlotLabels labels)
    : files_(files), fileName_(std::move(fileName)), labels_(std::move(labels)) {}

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
        curve.reset(axis.count);
    }
}

void WaveformPlot::write(const KexRecording::SampleBlock& block) {
    for (std::size_t c = 0; c < block.channelCount; ++c) {
        CurveReducer& curve = curves_[c];
        for (std::size_t j = 0; j < block.count; ++j) {
            curve.add(block.first + j, block.values[block.channelCount * j + c]);
        }
    }
}

void WaveformPlot::finish() {
    for (CurveReducer& curve : curves_) {
        curve.finish();
    }
    drawWaveformPlot(file_->temporaryPath(), {axis_, ids_, curves_, labels_});
}

}  // namespace kexcalc
