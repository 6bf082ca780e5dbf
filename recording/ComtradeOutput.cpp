#include "ComtradeOutput.h"

#include <cmath>
#include <utility>

namespace KexRecording {

namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr const char* kFaultStatusId = "FAULT";

}  // namespace

std::int64_t triggerTimeNanoseconds(std::int64_t startTimeNanoseconds, double disturbanceTime) {
    return startTimeNanoseconds + std::llround(disturbanceTime * static_cast<double>(kNanosecondsPerSecond));
}

ComtradeFiles::ComtradeFiles(FileSet& files, std::string baseName, ComtradeHeader header,
                             const KexComtrade::Options& options)
    : files_(files), baseName_(std::move(baseName)), header_(std::move(header)), options_(options) {}

void ComtradeFiles::begin(const TimeAxis& axis, const std::vector<ChannelLabel>& channels, const RecordingScan& scan) {
    KexComtrade::RecordingLayout layout;
    layout.stationName = header_.station;
    layout.deviceId = header_.device;
    layout.lineFrequency = header_.lineFrequency;
    layout.sampleRate = axis.sampleRate;
    layout.startTimeNanoseconds = header_.startTimeNanoseconds;
    layout.triggerTimeNanoseconds = header_.startTimeNanoseconds;
    for (const ChannelLabel& channel : channels) {
        layout.analogChannels.push_back({channel.id, channel.phase, channel.unit});
    }
    if (axis.hasDisturbance) {
        layout.statusChannels.emplace_back(kFaultStatusId);
        layout.triggerTimeNanoseconds = triggerTimeNanoseconds(header_.startTimeNanoseconds, axis.disturbanceTime);
    }
    layout.sampleCount = axis.count;
    const std::vector<KexComtrade::StatusScan> statusScans(layout.statusChannels.size());  // 0 and 1 by construction
    writer_ = std::make_unique<KexComtrade::StreamingWriter>(std::move(layout), options_, scan.channels, statusScans);

    if (options_.singleFile) {
        data_ = &files_.add(baseName_ + ".cff");
        data_->write(writer_->singleFileHead());
    } else {
        files_.add(baseName_ + ".cfg").write(writer_->configuration());
        data_ = &files_.add(baseName_ + ".dat");
    }
}

void ComtradeFiles::write(const SampleBlock& block) {
    buffer_.clear();
    writer_->appendData(block.count, block.values, block.faultStatus, buffer_);
    data_->write(buffer_);
}

}  // namespace KexRecording
