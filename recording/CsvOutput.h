// A recording as a CSV table: "time_s" and a column ID_UNIT per channel (the
// blanks of the ID as underscores: IA_ideal_A), then one row per sample,
// every number in the shortest form that reads back to the same double.
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
// go on with the next block, and written (beside the formatting of the next
// one) when that arrives.
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
    // Waits for the block being formatted; returns whether there was one.
    bool awaitFormatting();
    void writeText(std::size_t buffer);

    FileSet& files_;
    std::string fileName_;
    TimeAxis axis_;
    OutputFile* file_ = nullptr;
    // Two of each: one block is formatted while the one before is written.
    std::array<std::vector<double>, 2> values_;  // the blocks' own copies
    std::array<std::array<std::string, 2>, 2> text_;
    std::size_t current_ = 0;  // the buffer of the block being formatted
    std::array<std::future<void>, 2> formatting_;  // last: waited for before the buffers go
};

}  // namespace KexRecording
