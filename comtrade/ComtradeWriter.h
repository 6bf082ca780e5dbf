// Writes waveform recordings in the COMTRADE format (IEEE C37.111, revisions
// 1999 and 2013), the format relay test sets and fault-record viewers read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace KexComtrade {

// The sample number is a 4-byte unsigned field of the binary data formats, so
// no recording holds more samples than this.
constexpr std::size_t kMaxSampleCount = 0xFFFFFFFFu;
// Station name, device and channel ids hold at most this many characters.
constexpr std::size_t kMaxNameLength = 64;

enum class Revision { Rev1999, Rev2013 };
enum class DataFormat { Ascii, Binary, Binary32, Float32 };

struct AnalogChannel {
    std::string id;               // channel name, e.g. "IA"
    std::string phase;            // "A", "B" or "C"
    std::string unit;             // "A" or "V"
    std::vector<double> samples;  // secondary values, one per sample
};

struct StatusChannel {
    std::string id;                     // e.g. "FAULT"
    std::vector<std::uint8_t> samples;  // 0 or 1, one per sample
};

struct Recording {
    std::string stationName;
    std::string deviceId;
    double lineFrequency = 50.0;            // Hz
    double sampleRate = 0.0;                // Hz, one rate for the whole record
    std::int64_t startTimeNanoseconds = 0;  // first sample, since 1970-01-01 00:00:00
    std::int64_t triggerTimeNanoseconds = 0;
    std::vector<AnalogChannel> analogChannels;
    std::vector<StatusChannel> statusChannels;
};

struct Options {
    Revision revision = Revision::Rev1999;
    DataFormat format = DataFormat::Binary;
    bool singleFile = false;  // 2013 only: one .cff instead of .cfg and .dat
};

// The file contents: cfg and dat for a pair, cff alone for a single file. The
// texts use CRLF line ends; dat (and the data section of cff) holds raw bytes for
// the binary formats, little-endian on every host.
struct Files {
    std::string cfg;
    std::string dat;
    std::string cff;
};

// Throws std::invalid_argument, naming the field and the problem, when the
// recording cannot be written (e.g. channels of different lengths, a single
// file for revision 1999, a non-finite sample).
//
// How the record is written:
// - Scaling (value = a * x + b): the integer formats map each channel's own
//   [min, max] onto the symmetric code range [-F, F], b being the middle of the
//   range and a = (max - min) / (2 F), so the codes -F and F are both used and
//   every sample is within a/2 of its written value. F is 32767 for BINARY
//   (-32768 marks a missing sample), 2^31 - 1 for BINARY32 and 99998 for ASCII
//   (the data-value range both revisions accept in ASCII). A channel whose
//   samples are all equal gets b = that value, a = 1 and codes 0, and reads back
//   exactly. FLOAT32 stores the values themselves with a = 1, b = 0. The min/max
//   fields give the codes actually used (for FLOAT32 the smallest and largest
//   value, rounded outwards to at most 13 characters).
// - Time: one sample rate; sample numbers run from 1 to endsamp = sample count.
//   timemult is the sample period in microseconds (1e6 / sampleRate, written as
//   the shortest decimal that reads back as the same double) and the timestamp of
//   sample n is n - 1, so each timestamp is exactly its sample's time for any rate.
// - Start and trigger time in UTC as dd/mm/yyyy,hh:mm:ss.ssssss, rounded to the
//   nearest microsecond; revision 2013 writes nine decimals instead when the time
//   is not a whole number of microseconds. Revision 2013 adds the lines "0,0"
//   (time code and local code: UTC) and "0,0" (clock locked, no leap second).
// - Phase and unit as given, ccbm empty, skew 0, ratio 1:1, secondary values (S);
//   status channels with normal state 0, packed 16 to a word in the binary
//   formats (channel 1 in the least significant bit), one 0/1 column in ASCII.
// - Text fields are printable ASCII without commas: station, device, channel ids
//   up to 64 characters, phase up to 2, unit 1 to 32.
Files renderComtrade(const Recording& recording, const Options& options);

// Empty, or what keeps `text` from being a text field: the first character
// that is a comma or not printable ASCII (its position counts characters, as
// everything before it is ASCII), then a length beyond maxLength characters.
std::string textFieldProblem(const std::string& text, std::size_t maxLength);

// ------------------------------------------------------------------ streaming
// The same files, written block by block for records that are not held in
// memory. The integer formats scale each channel by its range, so a first pass
// over the samples gathers what the configuration needs; the data follow in a
// second pass. Both write what renderComtrade writes, byte for byte.

constexpr std::size_t kNoSample = std::numeric_limits<std::size_t>::max();

// What the samples of one analog channel span, gathered sample by sample in
// order (index 0 first).
struct AnalogScan {
    double min = std::numeric_limits<double>::infinity();  // over the finite samples
    double max = -std::numeric_limits<double>::infinity();
    std::size_t firstNonFinite = kNoSample;
    std::size_t firstBeyondFloat = kNoSample;  // beyond the range of FLOAT32
    double beyondFloat = 0.0;                  // that sample's value

    void add(double value, std::size_t index);
};

// The first value of a status channel other than 0 and 1.
struct StatusScan {
    std::size_t firstInvalid = kNoSample;
    unsigned invalidValue = 0;

    void add(std::uint8_t value, std::size_t index);
};

struct ChannelDefinition {
    std::string id;
    std::string phase;
    std::string unit;
};

// A Recording without its samples.
struct RecordingLayout {
    std::string stationName;
    std::string deviceId;
    double lineFrequency = 50.0;
    double sampleRate = 0.0;
    std::int64_t startTimeNanoseconds = 0;
    std::int64_t triggerTimeNanoseconds = 0;
    std::vector<ChannelDefinition> analogChannels;
    std::vector<std::string> statusChannels;  // ids
    std::size_t sampleCount = 0;
};

class StreamingWriter {
public:
    // One scan per channel, over every sample of the record. Throws
    // std::invalid_argument as renderComtrade does.
    StreamingWriter(RecordingLayout layout, const Options& options, const std::vector<AnalogScan>& analog,
                    const std::vector<StatusScan>& status);

    // The text of the .cfg file.
    const std::string& configuration() const { return configuration_; }
    // What a .cff file holds before its data: the configuration, the empty
    // INF and HDR sections and the header of the DAT section.
    std::string singleFileHead() const;

    // Appends the data records of the next `count` samples: analog values
    // interleaved (analog[analogCount * j + c]), status values likewise. Throws
    // std::invalid_argument for a value the scans did not see, such as a
    // sample that changed between the two passes.
    void appendData(std::size_t count, const double* analog, const std::uint8_t* status, std::string& out);

    // Samples written so far.
    std::size_t written() const { return next_; }

private:
    struct Scale {
        double a = 1.0;
        double b = 0.0;
        double min = 0.0;  // the range the codes were scaled for
        double max = 0.0;
        std::string minField;
        std::string maxField;
    };

    RecordingLayout layout_;
    Options options_;
    std::vector<Scale> scales_;
    std::string configuration_;
    std::size_t next_ = 0;
};

}  // namespace KexComtrade
