// The road from a sample source to the files of a recording, shared by the
// command line and the Python module: a first pass over the samples finds the
// range of every channel (the integer COMTRADE formats scale by it) and any
// value that is not finite, before anything is written; a second pass hands
// the same blocks to every writer, so that memory stays flat however long the
// record is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ComtradeWriter.h"
#include "Sampling.h"

namespace KexRecording {

// Samples per block of both passes.
constexpr std::size_t kBlockSamples = 32768;

// Samples that cannot be recorded; the message says which and why.
class RecordingError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// What the first pass finds, one scan per channel.
struct RecordingScan {
    std::vector<KexComtrade::AnalogScan> channels;
};

struct SampleBlock {
    std::size_t first = 0;  // index of the first sample
    std::size_t count = 0;
    std::size_t channelCount = 0;
    const double* values = nullptr;             // values[channelCount * j + c]
    const std::uint8_t* faultStatus = nullptr;  // count values; none without a disturbance instant
};

// One output of a recording (COMTRADE, CSV, a picture).
class RecordingWriter {
public:
    RecordingWriter() = default;
    virtual ~RecordingWriter() = default;
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;
    RecordingWriter(RecordingWriter&&) = delete;
    RecordingWriter& operator=(RecordingWriter&&) = delete;

    // Before the first block. Problems with the recording are thrown here,
    // before any data.
    virtual void begin(const TimeAxis& axis, const std::vector<ChannelLabel>& channels, const RecordingScan& scan) = 0;
    virtual void write(const SampleBlock& block) = 0;
    // After the last block.
    virtual void finish() = 0;
};

// Told after each block of a pass which fraction of the pass is done.
using PassProgress = std::function<void(double fraction)>;

// The first pass. Throws RecordingError for the first sample (in time order)
// that is not finite, when the source says why.
RecordingScan scanRecording(const SampleSource& source, const TimeAxis& axis, const PassProgress& progress = {});

// The second pass: every writer's begin, the blocks in order, every writer's
// finish.
void writeRecording(const SampleSource& source, const TimeAxis& axis, const RecordingScan& scan,
                    const std::vector<RecordingWriter*>& writers, const PassProgress& progress = {});

}  // namespace KexRecording
