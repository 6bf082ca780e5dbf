// A recording as COMTRADE files: the source's channels with their labels as
// analog channels, the status channel FAULT when the time axis has a
// disturbance instant, the trigger at that instant.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ComtradeWriter.h"
#include "OutputFiles.h"
#include "Recording.h"

namespace KexRecording {

// What the host says about the recording itself.
struct ComtradeHeader {
    std::string station;
    std::string device;
    double lineFrequency = 50.0;            // Hz
    std::int64_t startTimeNanoseconds = 0;  // the first sample, since 1970-01-01 00:00:00 UTC
};

// The start time plus the disturbance instant, to the nearest nanosecond.
std::int64_t triggerTimeNanoseconds(std::int64_t startTimeNanoseconds, double disturbanceTime);

// BASE.cfg and BASE.dat, or BASE.cff. Throws std::invalid_argument from begin
// when the COMTRADE writer cannot write the recording.
class ComtradeFiles : public RecordingWriter {
public:
    ComtradeFiles(FileSet& files, std::string baseName, ComtradeHeader header, const KexComtrade::Options& options);

    void begin(const TimeAxis& axis, const std::vector<ChannelLabel>& channels, const RecordingScan& scan) override;
    void write(const SampleBlock& block) override;
    void finish() override {}

private:
    FileSet& files_;
    std::string baseName_;
    ComtradeHeader header_;
    KexComtrade::Options options_;
    std::unique_ptr<KexComtrade::StreamingWriter> writer_;
    OutputFile* data_ = nullptr;
    std::string buffer_;
};

}  // namespace KexRecording
