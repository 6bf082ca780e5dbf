// A recording as a CSV table: "time_s" and a column ID_UNIT per channel, then
// one row per sample, every number in the shortest form that reads back to
// the same double.
#pragma once

#include <array>
#include <future>
#include <string>
#include <vector>

#include "OutputFiles.h"
#include "Recording.h"

namespace KexRecording {

// Formatting the numbers, not sampling or writing, is what a long table costs:
// each block is formatted on two threads of its own while the other writers
// go on with the next block, and written when the next block arrives.
class CsvFile : public RecordingWriter {
public:
    CsvFile(FileSet& files, std::string fileName);
    ~CsvFile() override;
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;
    CsvFile(CsvFile&&) = delete;
    CsvFile& operator=(CsvFile&&) = delete;

    void begin(const TimeAxis& axis, const std::vector<ChannelLabel>& channels, const RecordingScan& scan) override;
    void write(const SampleBlock& block) override;
    void finish() override;

private:
    void writePending();

    FileSet& files_;
    std::string fileName_;
    TimeAxis axis_;
    OutputFile* file_ = nullptr;
    std::vector<double> values_;  // the pending block's own copy
    std::array<std::string, 2> text_;
    std::array<std::future<void>, 2> formatting_;  // last: waited for before the buffers go
};

}  // namespace KexRecording
