// A small COMTRADE reader for the tests: it parses the configuration fields and
// the data records of every data format and applies value = a * x + b. It is
// written from the file layout alone and shares no code with the writer.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace ComtradeTest {

// An,ch_id,ph,ccbm,uu,a,b,skew,min,max,primary,secondary,PS
struct AnalogDefinition {
    long index = 0;
    std::string id, phase, ccbm, unit;
    double a = 0, b = 0, skew = 0, min = 0, max = 0, primary = 0, secondary = 0;
    std::string primarySecondary;
};

// Dn,ch_id,ph,ccbm,y
struct StatusDefinition {
    long index = 0;
    std::string id, phase, ccbm;
    long normalState = 0;
};

struct Configuration {
    std::vector<std::string> lines;  // without their CRLF
    std::string stationName, deviceId;
    long revisionYear = 0;
    long totalChannels = 0;
    std::vector<AnalogDefinition> analog;
    std::vector<StatusDefinition> status;
    double lineFrequency = 0;
    long rateCount = 0;
    double sampleRate = 0;
    long endSample = 0;
    std::string startTime, triggerTime, fileType;
    double timeMultiplier = 0;
    std::string timeCode, localCode, timeQuality, leapSecond;  // 2013 only
};

struct DataRecord {
    std::uint32_t sampleNumber = 0;
    std::uint32_t timestamp = 0;
    std::vector<double> raw;     // x as stored
    std::vector<double> values;  // a * x + b
    std::vector<int> status;     // 0 or 1 per status channel
};

struct Comtrade {
    Configuration cfg;
    std::vector<DataRecord> records;
};

// Both throw std::runtime_error naming what is malformed.
Comtrade readPair(const std::string& cfgText, const std::string& datBytes);
Comtrade readSingleFile(const std::string& cffBytes);

// How far a value read back may lie from the value written: half a code of
// the channel's scaling (fullScale the largest code) plus the double rounding
// of a * code + b, or the rounding to FLOAT32 (fullScale 0).
inline double quantisation(const AnalogDefinition& def, double fullScale, double value) {
    return fullScale > 0.0 ? std::fabs(def.a) / 2.0 + 1e-15 * (std::fabs(def.b) + std::fabs(def.a) * fullScale)
                           : std::fabs(value) * std::ldexp(1.0, -24);
}

std::vector<std::string> splitFields(const std::string& line);
std::vector<std::string> splitCrLfLines(const std::string& text);

}  // namespace ComtradeTest
