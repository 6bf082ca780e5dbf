// Writes waveform recordings in the COMTRADE format (IEEE C37.111, revisions
// 1999 and 2013), the format relay test sets and fault-record viewers read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace KexComtrade {

enum class Revision { Rev1999, Rev2013 };
enum class DataFormat { Ascii, Binary, Binary32, Float32 };

struct AnalogChannel {
    std::string id;                // channel name, e.g. "IA"
    std::string phase;             // "A", "B" or "C"
    std::string unit;              // "A" or "V"
    std::vector<double> samples;   // secondary values, one per sample
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

// The file contents: cfg and dat for a pair, cff alone for a single file.
struct Files {
    std::string cfg;
    std::string dat;
    std::string cff;
};

// Throws std::invalid_argument, naming the field and the problem, when the
// recording cannot be written (e.g. channels of different lengths, a single
// file for revision 1999, a non-finite sample).
Files renderComtrade(const Recording& recording, const Options& options);

}  // namespace KexComtrade
