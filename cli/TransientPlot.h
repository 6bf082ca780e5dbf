// A PNG picture of a recording: currents in the upper panel, voltages in the
// lower one, the disturbance instant marked in both; below them, for a record
// much longer than the disturbance's first cycles, the same two panels zoomed
// on those cycles.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "OutputFiles.h"
#include "Recording.h"

namespace kexcalc {

struct PlotLabels {
    std::string title;
    std::string marker;  // text beside the line at the disturbance instant
};

// The points of one channel the picture draws, gathered sample by sample. A
// long stretch of samples is drawn from the smallest and largest sample of
// each of a few thousand pieces, which keeps every peak.
class CurveReducer {
public:
    void reset(std::size_t first, std::size_t count);  // samples first .. first + count - 1 of the record
    void add(std::size_t k, double value);             // k = first, first + 1, ...
    void finish();

    const std::vector<std::pair<std::size_t, double>>& points() const { return points_; }  // sample, value
    double lowest() const { return lowest_; }                                              // of every sample and 0
    double highest() const { return highest_; }

private:
    void closeStretch();

    std::size_t first_ = 0;
    std::size_t count_ = 0;
    std::size_t stretch_ = 0;  // stretches begun
    std::size_t stretchEnd_ = 0;
    std::pair<std::size_t, double> low_;
    std::pair<std::size_t, double> high_;
    std::vector<std::pair<std::size_t, double>> points_;
    double lowest_ = 0.0;
    double highest_ = 0.0;
};

// NAME.png of the recording, drawn when the last block has arrived, in a
// child process (PlotProcess.h). The zoom keeps the samples from a few cycles
// before the disturbance to ten cycles after it as they stream past. finish()
// throws ArgumentError with the library's message when no picture results.
class WaveformPlot : public KexRecording::RecordingWriter {
public:
    // The zoom spans whole cycles of the network frequency (Hz).
    WaveformPlot(KexRecording::FileSet& files, std::string fileName, PlotLabels labels, double networkFrequency);

    void begin(const KexRecording::TimeAxis& axis, const std::vector<KexRecording::ChannelLabel>& channels,
               const KexRecording::RecordingScan& scan) override;
    void write(const KexRecording::SampleBlock& block) override;
    void finish() override;

private:
    KexRecording::FileSet& files_;
    std::string fileName_;
    PlotLabels labels_;
    double networkFrequency_;
    KexRecording::OutputFile* file_ = nullptr;
    KexRecording::TimeAxis axis_;
    std::vector<std::string> ids_;
    std::vector<CurveReducer> curves_;
    // Samples zoomFirst_ .. zoomFirst_ + zoomCount_ - 1; no zoom when zoomCount_ is 0.
    std::size_t zoomFirst_ = 0;
    std::size_t zoomCount_ = 0;
    std::vector<CurveReducer> zoomCurves_;
};

}  // namespace kexcalc
