#include "ComtradeWriter.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace KexComtrade {
namespace {

// Largest code magnitude of each integer data format. The most negative value of
// the 16- and 32-bit binary formats marks a missing sample and stays unused;
// ASCII keeps to the data-value range the 1999 revision allows (-99999..99998).
constexpr std::int64_t kBinary16FullScale = 32767;
constexpr std::int64_t kBinary32FullScale = 2147483647;
constexpr std::int64_t kAsciiFullScale = 99998;

// The sample number is a 4-byte unsigned field in the binary formats.
constexpr std::size_t kMaxSampleCount = 0xFFFFFFFFu;

// Field lengths of the configuration file.
constexpr std::size_t kMaxNameLength = 64;
constexpr std::size_t kMaxPhaseLength = 2;
constexpr std::size_t kMaxUnitLength = 32;
constexpr std::size_t kMaxBoundLength = 13;  // min/max written as real numbers

constexpr std::int64_t kNanosecondsPerMicrosecond = 1000;
constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr double kMicrosecondsPerSecond = 1e6;

constexpr const char* kCrLf = "\r\n";

[[noreturn]] void fail(const std::string& field, const std::string& problem) {
    throw std::invalid_argument(field + ": " + problem);
}

const char* formatName(DataFormat format) {
    switch (format) {
    case DataFormat::Ascii:
        return "ASCII";
    case DataFormat::Binary:
        return "BINARY";
    case DataFormat::Binary32:
        return "BINARY32";
    case DataFormat::Float32:
        return "FLOAT32";
    }
    return "BINARY";
}

std::int64_t fullScaleOf(DataFormat format) {
    switch (format) {
    case DataFormat::Ascii:
        return kAsciiFullScale;
    case DataFormat::Binary:
        return kBinary16FullScale;
    case DataFormat::Binary32:
        return kBinary32FullScale;
    case DataFormat::Float32:
        break;
    }
    return 0;
}

// Shortest text that reads back as the same double, in plain decimal notation
// where that stays short and in exponent notation for very small or large values.
std::string formatReal(double value) {
    value += 0.0;  // no "-0"
    std::array<char, 64> buffer{};
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 1e15);
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      plain ? std::chars_format::fixed : std::chars_format::scientific);
    return std::string(buffer.data(), result.ptr);
}

std::string formatInteger(std::int64_t value) {
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string formatSignificant(double value, int digits) {
    std::array<char, 40> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.*g", digits, value);
    return std::string(buffer.data());
}

// A limit of a FLOAT32 channel for the min/max fields: at most 13 characters,
// rounded outwards so that every sample lies within [min, max].
std::string formatFloatBound(double value, bool lower) {
    if (value == 0.0) return "0";
    const auto outward = [lower](double bound, double limit) { return lower ? bound <= limit : bound >= limit; };
    for (int digits = 9; digits >= 1; --digits) {
        std::string text = formatSignificant(value, digits);
        if (text.size() > kMaxBoundLength) continue;
        if (outward(std::strtod(text.c_str(), nullptr), value)) return text;
        // One unit of the last digit outwards covers the rounding of the text.
        const double step = std::fabs(value) * std::pow(10.0, 1 - digits);
        text = formatSignificant(lower ? value - step : value + step, digits);
        if (text.size() <= kMaxBoundLength && outward(std::strtod(text.c_str(), nullptr), value)) return text;
    }
    return lower ? "-3.4028235e38" : "3.4028235e38";
}

std::int64_t floorDivide(std::int64_t numerator, std::int64_t denominator) {
    std::int64_t quotient = numerator / denominator;
    if ((numerator % denominator != 0) && ((numerator < 0) != (denominator < 0))) --quotient;
    return quotient;
}

// Proleptic Gregorian calendar date of a day count since 1970-01-01.
void civilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day) {
    days += 719468;  // shift the epoch to 0000-03-01
    const std::int64_t era = floorDivide(days, 146097);
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

// dd/mm/yyyy,hh:mm:ss.ssssss in UTC. With nanosecond resolution allowed, a time
// that is not a whole number of microseconds gets nine decimals; otherwise the
// time is rounded to the nearest microsecond.
std::string formatDateTime(std::int64_t nanoseconds, bool nanosecondResolution) {
    std::int64_t fraction = 0;
    std::int64_t seconds = 0;
    int decimals = 6;
    if (nanosecondResolution && nanoseconds % kNanosecondsPerMicrosecond != 0) {
        seconds = floorDivide(nanoseconds, kNanosecondsPerSecond);
        fraction = nanoseconds - seconds * kNanosecondsPerSecond;
        decimals = 9;
    } else {
        std::int64_t microseconds = floorDivide(nanoseconds, kNanosecondsPerMicrosecond);
        if (nanoseconds - microseconds * kNanosecondsPerMicrosecond >= kNanosecondsPerMicrosecond / 2) ++microseconds;
        const std::int64_t perSecond = kNanosecondsPerSecond / kNanosecondsPerMicrosecond;
        seconds = floorDivide(microseconds, perSecond);
        fraction = microseconds - seconds * perSecond;
    }
    const std::int64_t days = floorDivide(seconds, kSecondsPerDay);
    const std::int64_t secondOfDay = seconds - days * kSecondsPerDay;
    std::int64_t year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(days, year, month, day);
    std::array<char, 64> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%02d/%02d/%04lld,%02lld:%02lld:%02lld.%0*lld", day, month,
                  static_cast<long long>(year), static_cast<long long>(secondOfDay / 3600),
                  static_cast<long long>(secondOfDay / 60 % 60), static_cast<long long>(secondOfDay % 60), decimals,
                  static_cast<long long>(fraction));
    return std::string(buffer.data());
}

std::string channelLabel(const std::string& list, std::size_t index) {
    return list + "[" + std::to_string(index) + "]";
}

std::string channelSuffix(const std::string& id) { return id.empty() ? std::string() : " (channel " + id + ")"; }

// Text fields are comma-separated on CRLF-terminated lines: printable ASCII only.
void checkText(const std::string& field, const std::string& text, std::size_t minLength, std::size_t maxLength) {
    if (text.size() < minLength) fail(field, "must not be empty");
    if (text.size() > maxLength) {
        fail(field, "longer than " + std::to_string(maxLength) + " characters");
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ',') fail(field, "contains a comma at position " + std::to_string(i));
        if (c < ' ' || c > '~')
            fail(field, "contains a non-printable or non-ASCII character at position " + std::to_string(i));
    }
}

void validate(const Recording& recording, const Options& options) {
    const bool rev1999 = options.revision == Revision::Rev1999;
    if (rev1999 && (options.format == DataFormat::Binary32 || options.format == DataFormat::Float32)) {
        throw std::invalid_argument(std::string("format: ") + formatName(options.format) + " data needs revision 2013");
    }
    if (rev1999 && options.singleFile) fail("singleFile", "a single .cff file needs revision 2013");

    checkText("stationName", recording.stationName, 0, kMaxNameLength);
    checkText("deviceId", recording.deviceId, 0, kMaxNameLength);
    if (!std::isfinite(recording.sampleRate) || recording.sampleRate <= 0.0) {
        fail("sampleRate", "must be positive and finite");
    }
    const double period = kMicrosecondsPerSecond / recording.sampleRate;
    if (!std::isfinite(period) || period < DBL_MIN) fail("sampleRate", "sample period not representable");
    if (!std::isfinite(recording.lineFrequency) || recording.lineFrequency <= 0.0) {
        fail("lineFrequency", "must be positive and finite");
    }
    if (recording.analogChannels.empty() && recording.statusChannels.empty()) {
        fail("analogChannels", "no analog and no status channels");
    }

    const std::size_t count = recording.analogChannels.empty() ? recording.statusChannels.front().samples.size()
                                                               : recording.analogChannels.front().samples.size();
    if (count == 0)
        fail(recording.analogChannels.empty() ? "statusChannels[0].samples" : "analogChannels[0].samples",
             "no samples");
    if (count > kMaxSampleCount) fail("samples", "more than " + std::to_string(kMaxSampleCount) + " samples");

    for (std::size_t c = 0; c < recording.analogChannels.size(); ++c) {
        const AnalogChannel& channel = recording.analogChannels[c];
        const std::string label = channelLabel("analogChannels", c);
        checkText(label + ".id", channel.id, 0, kMaxNameLength);
        checkText(label + ".phase", channel.phase, 0, kMaxPhaseLength);
        checkText(label + ".unit", channel.unit, 1, kMaxUnitLength);
        if (channel.samples.size() != count) {
            fail(label + ".samples", "length " + std::to_string(channel.samples.size()) + " differs from " +
                                         std::to_string(count) + channelSuffix(channel.id));
        }
        for (std::size_t i = 0; i < count; ++i) {
            const double value = channel.samples[i];
            if (!std::isfinite(value)) {
                fail(label + ".samples[" + std::to_string(i) + "]", "non-finite value" + channelSuffix(channel.id));
            }
            if (options.format == DataFormat::Float32 && std::fabs(value) > FLT_MAX) {
                fail(label + ".samples[" + std::to_string(i) + "]",
                     "value " + formatReal(value) + " outside the FLOAT32 range" + channelSuffix(channel.id));
            }
        }
    }
    for (std::size_t c = 0; c < recording.statusChannels.size(); ++c) {
        const StatusChannel& channel = recording.statusChannels[c];
        const std::string label = channelLabel("statusChannels", c);
        checkText(label + ".id", channel.id, 0, kMaxNameLength);
        if (channel.samples.size() != count) {
            fail(label + ".samples", "length " + std::to_string(channel.samples.size()) + " differs from " +
                                         std::to_string(count) + channelSuffix(channel.id));
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (channel.samples[i] > 1) {
                fail(label + ".samples[" + std::to_string(i) + "]",
                     "value " + std::to_string(channel.samples[i]) + ", must be 0 or 1" + channelSuffix(channel.id));
            }
        }
    }
}

// One analog channel as written: value = a * code + b.
struct ScaledChannel {
    double a = 1.0;
    double b = 0.0;
    std::string minField;
    std::string maxField;
    std::vector<std::int32_t> codes;  // integer formats
    std::vector<float> floats;        // FLOAT32
};

// The integer formats map the channel's own [min, max] onto [-fullScale, fullScale]:
// b is the middle of the range and a the half-range divided by fullScale, so every
// sample is within a/2 of a * code + b. A channel without spread keeps its one value
// in b with a = 1 and all codes zero.
ScaledChannel scaleIntegers(const std::vector<double>& samples, std::int64_t fullScale) {
    const auto [lowest, highest] = std::minmax_element(samples.begin(), samples.end());
    const double halfLow = *lowest / 2.0;
    const double halfHigh = *highest / 2.0;
    ScaledChannel scaled;
    scaled.b = halfHigh + halfLow + 0.0;
    scaled.a = (halfHigh - halfLow) / static_cast<double>(fullScale);
    if (!(scaled.a >= DBL_MIN)) {  // no spread, or too little for a normal scale factor
        scaled.a = 1.0;
        scaled.b = *lowest + 0.0;
    }
    const double limit = static_cast<double>(fullScale);
    std::int32_t minCode = 0;
    std::int32_t maxCode = 0;
    scaled.codes.reserve(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double ratio = std::clamp((samples[i] - scaled.b) / scaled.a, -limit, limit);
        const auto code = static_cast<std::int32_t>(std::llround(ratio));
        minCode = i == 0 ? code : std::min(minCode, code);
        maxCode = i == 0 ? code : std::max(maxCode, code);
        scaled.codes.push_back(code);
    }
    scaled.minField = formatInteger(minCode);
    scaled.maxField = formatInteger(maxCode);
    return scaled;
}

ScaledChannel scaleFloats(const std::vector<double>& samples) {
    ScaledChannel scaled;
    scaled.floats.reserve(samples.size());
    for (const double value : samples) scaled.floats.push_back(static_cast<float>(value));
    const auto [lowest, highest] = std::minmax_element(scaled.floats.begin(), scaled.floats.end());
    scaled.minField = formatFloatBound(static_cast<double>(*lowest), true);
    scaled.maxField = formatFloatBound(static_cast<double>(*highest), false);
    return scaled;
}

std::string renderConfiguration(const Recording& recording, const Options& options,
                                const std::vector<ScaledChannel>& scaled, std::size_t count) {
    const bool rev2013 = options.revision == Revision::Rev2013;
    const std::size_t analogCount = recording.analogChannels.size();
    const std::size_t statusCount = recording.statusChannels.size();
    std::string cfg;
    cfg += recording.stationName + "," + recording.deviceId + "," + (rev2013 ? "2013" : "1999") + kCrLf;
    cfg += std::to_string(analogCount + statusCount) + "," + std::to_string(analogCount) + "A," +
           std::to_string(statusCount) + "D" + kCrLf;
    for (std::size_t c = 0; c < analogCount; ++c) {
        const AnalogChannel& channel = recording.analogChannels[c];
        // An,ch_id,ph,ccbm,uu,a,b,skew,min,max,primary,secondary,PS
        cfg += std::to_string(c + 1) + "," + channel.id + "," + channel.phase + ",," + channel.unit + "," +
               formatReal(scaled[c].a) + "," + formatReal(scaled[c].b) + ",0," + scaled[c].minField + "," +
               scaled[c].maxField + ",1,1,S" + kCrLf;
    }
    for (std::size_t c = 0; c < statusCount; ++c) {
        // Dn,ch_id,ph,ccbm,y with normal state 0
        cfg += std::to_string(c + 1) + "," + recording.statusChannels[c].id + ",,,0" + kCrLf;
    }
    cfg += formatReal(recording.lineFrequency) + kCrLf;
    cfg += std::string("1") + kCrLf;
    cfg += formatReal(recording.sampleRate) + "," + std::to_string(count) + kCrLf;
    cfg += formatDateTime(recording.startTimeNanoseconds, rev2013) + kCrLf;
    cfg += formatDateTime(recording.triggerTimeNanoseconds, rev2013) + kCrLf;
    cfg += std::string(formatName(options.format)) + kCrLf;
    // The timestamp of sample k (from 0) is k, in units of timemult microseconds.
    cfg += formatReal(kMicrosecondsPerSecond / recording.sampleRate) + kCrLf;
    if (rev2013) {
        cfg += std::string("0,0") + kCrLf;  // time_code,local_code: times are UTC
        cfg += std::string("0,0") + kCrLf;  // tmq_code,leapsec: clock locked, no leap second
    }
    return cfg;
}

void appendLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>(static_cast<unsigned char>(value & 0xFFu)));
        value >>= 8;
    }
}

void appendAsciiNumber(std::string& out, std::int64_t value) {
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

std::string renderAsciiData(const Recording& recording, const std::vector<ScaledChannel>& scaled, std::size_t count) {
    std::string dat;
    for (std::size_t i = 0; i < count; ++i) {
        appendAsciiNumber(dat, static_cast<std::int64_t>(i + 1));
        dat += ',';
        appendAsciiNumber(dat, static_cast<std::int64_t>(i));
        for (const ScaledChannel& channel : scaled) {
            dat += ',';
            appendAsciiNumber(dat, channel.codes[i]);
        }
        for (const StatusChannel& channel : recording.statusChannels) {
            dat += ',';
            dat += channel.samples[i] != 0 ? '1' : '0';
        }
        dat += kCrLf;
    }
    return dat;
}

std::string renderBinaryData(const Recording& recording, const std::vector<ScaledChannel>& scaled, std::size_t count,
                             DataFormat format) {
    const std::size_t statusWords = (recording.statusChannels.size() + 15) / 16;
    const int analogBytes = format == DataFormat::Binary ? 2 : 4;
    const std::size_t recordBytes = 8 + scaled.size() * static_cast<std::size_t>(analogBytes) + 2 * statusWords;
    std::string dat;
    dat.reserve(recordBytes * count);
    for (std::size_t i = 0; i < count; ++i) {
        appendLittleEndian(dat, static_cast<std::uint32_t>(i + 1), 4);
        appendLittleEndian(dat, static_cast<std::uint32_t>(i), 4);
        for (const ScaledChannel& channel : scaled) {
            std::uint32_t bits = 0;
            if (format == DataFormat::Float32) {
                static_assert(sizeof(float) == sizeof(std::uint32_t), "FLOAT32 needs a 32-bit float");
                std::memcpy(&bits, &channel.floats[i], sizeof bits);
            } else {
                bits = static_cast<std::uint32_t>(channel.codes[i]);  // two's complement
            }
            appendLittleEndian(dat, bits, analogBytes);
        }
        // Status channel 16*w + j is bit j of word w.
        for (std::size_t w = 0; w < statusWords; ++w) {
            std::uint32_t word = 0;
            for (std::size_t j = 0; j < 16 && 16 * w + j < recording.statusChannels.size(); ++j) {
                if (recording.statusChannels[16 * w + j].samples[i] != 0) word |= 1u << j;
            }
            appendLittleEndian(dat, word, 2);
        }
    }
    return dat;
}

}  // namespace

Files renderComtrade(const Recording& recording, const Options& options) {
    validate(recording, options);
    const std::size_t count = recording.analogChannels.empty() ? recording.statusChannels.front().samples.size()
                                                               : recording.analogChannels.front().samples.size();

    std::vector<ScaledChannel> scaled;
    scaled.reserve(recording.analogChannels.size());
    for (const AnalogChannel& channel : recording.analogChannels) {
        scaled.push_back(options.format == DataFormat::Float32
                             ? scaleFloats(channel.samples)
                             : scaleIntegers(channel.samples, fullScaleOf(options.format)));
    }

    Files files;
    std::string cfg = renderConfiguration(recording, options, scaled, count);
    std::string dat = options.format == DataFormat::Ascii ? renderAsciiData(recording, scaled, count)
                                                          : renderBinaryData(recording, scaled, count, options.format);
    if (!options.singleFile) {
        files.cfg = std::move(cfg);
        files.dat = std::move(dat);
        return files;
    }
    files.cff = "--- file type: CFG ---" + std::string(kCrLf) + cfg;
    files.cff += "--- file type: INF ---" + std::string(kCrLf);
    files.cff += "--- file type: HDR ---" + std::string(kCrLf);
    if (options.format == DataFormat::Ascii) {
        files.cff += "--- file type: DAT ASCII ---" + std::string(kCrLf);
    } else {
        files.cff += "--- file type: DAT " + std::string(formatName(options.format)) + ": " +
                     std::to_string(dat.size()) + " ---" + kCrLf;
    }
    files.cff += dat;
    return files;
}

}  // namespace KexComtrade
