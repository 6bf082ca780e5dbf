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

struct Curve {
    std::vector<PLFLT> x;
    std::vector<PLFLT> y;
};

Curve reducedCurve(const std::vector<double>& samples, double sampleRate, double timeScale) {
    Curve curve;
    const std::size_t count = samples.size();
    const auto timeOf = [&](std::size_t k) { return sampleTime(k, sampleRate) * timeScale; };
    if (count <= 2 * kPlotColumns) {
        for (std::size_t k = 0; k < count; ++k) {
            curve.x.push_back(timeOf(k));
            curve.y.push_back(samples[k]);
        }
        return curve;
    }
    for (std::size_t column = 0; column < kPlotColumns; ++column) {
        const std::size_t first = column * count / kPlotColumns;
        const std::size_t last = (column + 1) * count / kPlotColumns;
        const auto [low, high] = std::minmax_element(samples.begin() + static_cast<std::ptrdiff_t>(first),
                                                     samples.begin() + static_cast<std::ptrdiff_t>(last));
        // In time order, so the polyline runs forward.
        const auto lowIndex = static_cast<std::size_t>(low - samples.begin());
        const auto highIndex = static_cast<std::size_t>(high - samples.begin());
        for (const std::size_t k : {std::min(lowIndex, highIndex), std::max(lowIndex, highIndex)}) {
            curve.x.push_back(timeOf(k));
            curve.y.push_back(samples[k]);
        }
    }
    return curve;
}

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

void drawPanel(const Panel& panel, const SampledRecord& record, double timeScale, double timeEnd,
               const std::string& xLabel, const std::string& title, const PlotLabels& labels) {
    const std::array<PLINT, 3> colours{kPhaseA, kPhaseB, kPhaseC};
    std::array<Curve, 3> curves;
    double low = 0.0;
    double high = 0.0;
    for (std::size_t phase = 0; phase < 3; ++phase) {
        const std::vector<double>& samples = record.channels[panel.firstChannel + phase];
        curves[phase] = reducedCurve(samples, record.sampleRate, timeScale);
        if (!samples.empty()) {
            const auto [lowest, highest] = std::minmax_element(samples.begin(), samples.end());
            low = std::min(low, *lowest);
            high = std::max(high, *highest);
        }
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

    const double marker = record.disturbanceTime * timeScale;
    if (record.disturbanceTime >= 0.0 && marker <= timeEnd) {
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
        names[phase] = channelLabels()[panel.firstChannel + phase].id;
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
int drawInChild(const std::filesystem::path& file, const SampledRecord& record, const PlotLabels& labels) {
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

    const double duration = sampleTime(record.size(), record.sampleRate);
    const bool milliseconds = duration <= kMillisecondAxisLimit;
    const double timeScale = milliseconds ? 1000.0 : 1.0;
    const std::string xLabel = milliseconds ? "time (ms)" : "time (s)";
    drawPanel({0.56, 0.92, 0, "current (A)"}, record, timeScale, duration * timeScale, "", labels.title, labels);
    drawPanel({0.09, 0.45, 3, "voltage (V)"}, record, timeScale, duration * timeScale, xLabel, "", labels);
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

}  // namespace

void drawWaveformPlot(const std::filesystem::path& file, const SampledRecord& record, const PlotLabels& labels) {
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
        const int status = drawInChild(file, record, labels);
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

}  // namespace kexcalc
