#include "Recording.h"

#include <algorithm>

namespace KexRecording {

namespace {

// Calls visit(first, count, values) for each block, reading it from the source.
template <typename Visit>
void forEachBlock(const SampleSource& source, const TimeAxis& axis, const PassProgress& progress, Visit&& visit) {
    const std::size_t width = source.channels().size();
    std::vector<double> values(kBlockSamples * width);
    for (std::size_t first = 0; first < axis.count; first += kBlockSamples) {
        const std::size_t count = std::min(kBlockSamples, axis.count - first);
        source.read(first, count, values.data());
        visit(first, count, values.data());
        if (progress) {
            progress(static_cast<double>(first + count) / static_cast<double>(axis.count));
        }
    }
}

}  // namespace

RecordingScan scanRecording(const SampleSource& source, const TimeAxis& axis, const PassProgress& progress) {
    const std::size_t width = source.channels().size();
    RecordingScan scan;
    scan.channels.resize(width);
    forEachBlock(source, axis, progress, [&scan, width](std::size_t first, std::size_t count, const double* values) {
        for (std::size_t j = 0; j < count; ++j) {
            for (std::size_t c = 0; c < width; ++c) {
                scan.channels[c].add(values[width * j + c], first + j);
            }
        }
    });
    // The earliest sample that is not finite, the first channel at that instant.
    std::size_t channel = width;
    std::size_t sample = KexComtrade::kNoSample;
    for (std::size_t c = 0; c < width; ++c) {
        if (scan.channels[c].firstNonFinite < sample) {
            sample = scan.channels[c].firstNonFinite;
            channel = c;
        }
    }
    if (channel < width) {
        const std::string problem = source.nonFiniteProblem(channel, sample);
        if (!problem.empty()) {
            throw RecordingError(problem);
        }
    }
    return scan;
}

void writeRecording(const SampleSource& source, const TimeAxis& axis, const RecordingScan& scan,
                    const std::vector<RecordingWriter*>& writers, const PassProgress& progress) {
    for (RecordingWriter* writer : writers) {
        writer->begin(axis, source.channels(), scan);
    }
    std::vector<std::uint8_t> status(axis.hasDisturbance ? kBlockSamples : 0);
    forEachBlock(source, axis, progress, [&](std::size_t first, std::size_t count, const double* values) {
        for (std::size_t j = 0; j < status.size() && j < count; ++j) {
            status[j] = axis.faultStatus(first + j);
        }
        const SampleBlock block{first, count, source.channels().size(), values,
                                axis.hasDisturbance ? status.data() : nullptr};
        for (RecordingWriter* writer : writers) {
            writer->write(block);
        }
    });
    for (RecordingWriter* writer : writers) {
        writer->finish();
    }
}

}  // namespace KexRecording
