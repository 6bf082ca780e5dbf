#include "CsvOutput.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <utility>

namespace KexRecording {

namespace {

// Room for one number and its separator: the shortest form of a double has at
// most 24 characters.
constexpr std::size_t kNumberRoom = 32;

// Rows `begin` to `end` of a block whose first sample is `first`.
void formatRows(const TimeAxis& axis, std::size_t first, std::size_t width, const double* values, std::size_t begin,
                std::size_t end, std::string& text) {
    text.resize((end - begin) * (width + 1) * kNumberRoom);
    char* position = text.data();
    char* const last = text.data() + text.size();
    for (std::size_t j = begin; j < end; ++j) {
        position = std::to_chars(position, last, axis.time(first + j)).ptr;
        for (std::size_t c = 0; c < width; ++c) {
            *position++ = ',';
            position = std::to_chars(position, last, values[width * j + c]).ptr;
        }
        *position++ = '\n';
    }
    text.resize(static_cast<std::size_t>(position - text.data()));
}

}  // namespace

CsvFile::CsvFile(FileSet& files, std::string fileName) : files_(files), fileName_(std::move(fileName)) {}

CsvFile::~CsvFile() {
    for (std::future<void>& half : formatting_) {
        if (half.valid()) {
            half.wait();
        }
    }
}

void CsvFile::begin(const TimeAxis& axis, const std::vector<ChannelLabel>& channels, const RecordingScan& /*scan*/) {
    axis_ = axis;
    file_ = &files_.add(fileName_);
    std::string header = "time_s";
    for (const ChannelLabel& channel : channels) {
        std::string id = channel.id;
        std::replace(id.begin(), id.end(), ' ', '_');
        header += "," + id + "_" + channel.unit;
    }
    file_->write(header + '\n');
}

void CsvFile::write(const SampleBlock& block) {
    const bool previous = awaitFormatting();
    current_ ^= 1U;
    std::vector<double>& values = values_[current_];
    values.assign(block.values, block.values + block.count * block.channelCount);
    const std::size_t split = block.count / 2;
    const std::array<std::pair<std::size_t, std::size_t>, 2> halves{{{0, split}, {split, block.count}}};
    for (std::size_t h = 0; h < halves.size(); ++h) {
        auto format = [this, &values, &text = text_[current_][h], first = block.first, width = block.channelCount,
                       range = halves[h]] {
            formatRows(axis_, first, width, values.data(), range.first, range.second, text);
        };
        try {
            formatting_[h] = std::async(std::launch::async, format);
        } catch (const std::system_error&) {  // no thread to be had: format here
            formatting_[h] = std::async(std::launch::deferred, format);
        }
    }
    if (previous) {
        writeText(current_ ^ 1U);
    }
}

void CsvFile::finish() {
    if (awaitFormatting()) {
        writeText(current_);
    }
}

bool CsvFile::awaitFormatting() {
    bool pending = false;
    for (std::future<void>& half : formatting_) {
        if (half.valid()) {
            half.get();
            pending = true;
        }
    }
    return pending;
}

void CsvFile::writeText(std::size_t buffer) {
    for (const std::string& half : text_[buffer]) {
        file_->write(half);
    }
}

}  // namespace KexRecording
