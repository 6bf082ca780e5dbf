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
#include <utility>
#include <vector>

namespace KexComtrade {
namespace {

// Largest code magnitude of each integer data format. The most negative value of
// the 16- and 32-bit binary formats marks a missing sample and stays unused;
// ASCII keeps to the data-value range the 1999 revision allows (-99999..99998).
constexpr std::int64_t kBinary16FullScale = 32767;
constexpr std::int64_t kBinary32FullScale = 2147483647;
constexpr std::int64_t kAsciiFullScale = 99998;

// Field lengths of the configuration file (names: kMaxNameLength).
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
    const std::string problem = textFieldProblem(text, maxLength);
    if (!problem.empty()) fail(field, problem);
}

}  // namespace

std::string textFieldProblem(const std::string& text, std::size_t maxLength) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ',') return "contains a comma at position " + std::to_string(i);
        if (c < ' ' || c > '~') {
            return "contains a non-printable or non-ASCII character at position " + std::to_string(i);
        }
    }
    if (text.size() > maxLength) {
        return "longer than " + std::to_string(maxLength) + " characters (" + std::to_string(text.size()) + ")";
    }
    return {};
}

namespace {

// The checks of renderComtrade in its order: options, header fields, then each
// channel's labels, length and samples. The streaming writer has one length.
void validate(const RecordingLayout& layout, const Options& options, const std::vector<AnalogScan>& analog,
              const std::vector<StatusScan>& status, const std::vector<std::size_t>& analogLengths,
              const std::vector<std::size_t>& statusLengths) {
    const bool rev1999 = options.revision == Revision::Rev1999;
    if (rev1999 && (options.format == DataFormat::Binary32 || options.format == DataFormat::Float32)) {
        throw std::invalid_argument(std::string("format: ") + formatName(options.format) + " data needs revision 2013");
    }
    if (rev1999 && options.singleFile) fail("singleFile", "a single .cff file needs revision 2013");

    checkText("stationName", layout.stationName, 0, kMaxNameLength);
    checkText("deviceId", layout.deviceId, 0, kMaxNameLength);
    if (!std::isfinite(layout.sampleRate) || layout.sampleRate <= 0.0) {
        fail("sampleRate", "must be positive and finite");
    }
    const double period = kMicrosecondsPerSecond / layout.sampleRate;
    if (!std::isfinite(period) || period < DBL_MIN) fail("sampleRate", "sample period not representable");
    if (!std::isfinite(layout.lineFrequency) || layout.lineFrequency <= 0.0) {
        fail("lineFrequency", "must be positive and finite");
    }
    if (layout.analogChannels.empty() && layout.statusChannels.empty()) {
        fail("analogChannels", "no analog and no status channels");
    }
    const std::size_t count = layout.sampleCount;
    if (count == 0)
        fail(layout.analogChannels.empty() ? "statusChannels[0].samples" : "analogChannels[0].samples", "no samples");
    if (count > kMaxSampleCount) fail("samples", "more than " + std::to_string(kMaxSampleCount) + " samples");

    for (std::size_t c = 0; c < layout.analogChannels.size(); ++c) {
        const ChannelDefinition& channel = layout.analogChannels[c];
        const std::string label = channelLabel("analogChannels", c);
        checkText(label + ".id", channel.id, 0, kMaxNameLength);
        checkText(label + ".phase", channel.phase, 0, kMaxPhaseLength);
        checkText(label + ".unit", channel.unit, 1, kMaxUnitLength);
        if (analogLengths[c] != count) {
            fail(label + ".samples", "length " + std::to_string(analogLengths[c]) + " differs from " +
                                         std::to_string(count) + channelSuffix(channel.id));
        }
        const AnalogScan& scan = analog[c];
        if (options.format == DataFormat::Float32 && scan.firstBeyondFloat < scan.firstNonFinite) {
            fail(label + ".samples[" + std::to_string(scan.firstBeyondFloat) + "]",
                 "value " + formatReal(scan.beyondFloat) + " outside the FLOAT32 range" + channelSuffix(channel.id));
        }
        if (scan.firstNonFinite != kNoSample) {
            fail(label + ".samples[" + std::to_string(scan.firstNonFinite) + "]",
                 "non-finite value" + channelSuffix(channel.id));
        }
    }
    for (std::size_t c = 0; c < layout.statusChannels.size(); ++c) {
        const std::string& id = layout.statusChannels[c];
        const std::string label = channelLabel("statusChannels", c);
        checkText(label + ".id", id, 0, kMaxNameLength);
        if (statusLengths[c] != count) {
            fail(label + ".samples", "length " + std::to_string(statusLengths[c]) + " differs from " +
                                         std::to_string(count) + channelSuffix(id));
        }
        if (status[c].firstInvalid != kNoSample) {
            fail(label + ".samples[" + std::to_string(status[c].firstInvalid) + "]",
                 "value " + std::to_string(status[c].invalidValue) + ", must be 0 or 1" + channelSuffix(id));
        }
    }
}

// value = a * code + b, where code = round((value - b) / a) within [-fullScale, fullScale],
// halves rounded away from zero. Within that range the truncated ratio and its
// remainder are exact, so this is llround without a library call per sample.
std::int32_t codeOf(double value, double a, double b, double fullScale) {
    const double ratio = std::clamp((value - b) / a, -fullScale, fullScale);
    auto code = static_cast<std::int32_t>(ratio);
    const double remainder = ratio - static_cast<double>(code);
    if (remainder >= 0.5) {
        ++code;
    } else if (remainder <= -0.5) {
        --code;
    }
    return code;
}

std::size_t statusWordsOf(std::size_t statusCount) { return (statusCount + 15) / 16; }

std::size_t recordBytesOf(const RecordingLayout& layout, DataFormat format) {
    const std::size_t analogBytes = format == DataFormat::Binary ? 2 : 4;
    return 8 + layout.analogChannels.size() * analogBytes + 2 * statusWordsOf(layout.statusChannels.size());
}

char* putLittleEndian(char* out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        *out++ = static_cast<char>(static_cast<unsigned char>(value & 0xFFu));
        value >>= 8;
    }
    return out;
}

}  // namespace

void AnalogScan::add(double value, std::size_t index) {
    if (!std::isfinite(value)) {
        if (firstNonFinite == kNoSample) firstNonFinite = index;
        return;
    }
    if (std::fabs(value) > FLT_MAX && firstBeyondFloat == kNoSample) {
        firstBeyondFloat = index;
        beyondFloat = value;
    }
    if (value < min) min = value;
    if (value > max) max = value;
}

void StatusScan::add(std::uint8_t value, std::size_t index) {
    if (value > 1 && firstInvalid == kNoSample) {
        firstInvalid = index;
        invalidValue = value;
    }
}

StreamingWriter::StreamingWriter(RecordingLayout layout, const Options& options, const std::vector<AnalogScan>& analog,
                                 const std::vector<StatusScan>& status)
    : layout_(std::move(layout)), options_(options) {
    if (analog.size() != layout_.analogChannels.size() || status.size() != layout_.statusChannels.size()) {
        fail("scans", "one scan per channel is needed");
    }
    validate(layout_, options_, analog, status, std::vector<std::size_t>(analog.size(), layout_.sampleCount),
             std::vector<std::size_t>(status.size(), layout_.sampleCount));

    // The integer formats map the channel's own [min, max] onto [-fullScale,
    // fullScale]: b is the middle of the range and a the half-range divided by
    // fullScale, so every sample is within a/2 of a * code + b. A channel without
    // spread keeps its one value in b with a = 1 and all codes zero. The codes
    // rise with the value, so the smallest and largest sample give the codes of
    // the min/max fields.
    const auto fullScale = static_cast<double>(fullScaleOf(options_.format));
    for (const AnalogScan& scan : analog) {
        Scale scale;
        scale.min = scan.min;
        scale.max = scan.max;
        if (options_.format == DataFormat::Float32) {
            scale.minField = formatFloatBound(static_cast<double>(static_cast<float>(scan.min)), true);
            scale.maxField = formatFloatBound(static_cast<double>(static_cast<float>(scan.max)), false);
        } else {
            const double halfLow = scan.min / 2.0;
            const double halfHigh = scan.max / 2.0;
            scale.b = halfHigh + halfLow + 0.0;
            scale.a = (halfHigh - halfLow) / fullScale;
            if (!(scale.a >= DBL_MIN)) {  // no spread, or too little for a normal scale factor
                scale.a = 1.0;
                scale.b = scan.min + 0.0;
            }
            scale.minField = formatInteger(codeOf(scan.min, scale.a, scale.b, fullScale));
            scale.maxField = formatInteger(codeOf(scan.max, scale.a, scale.b, fullScale));
        }
        scales_.push_back(std::move(scale));
    }

    const bool rev2013 = options_.revision == Revision::Rev2013;
    const std::size_t analogCount = layout_.analogChannels.size();
    const std::size_t statusCount = layout_.statusChannels.size();
    std::string& cfg = configuration_;
    cfg += layout_.stationName + "," + layout_.deviceId + "," + (rev2013 ? "2013" : "1999") + kCrLf;
    cfg += std::to_string(analogCount + statusCount) + "," + std::to_string(analogCount) + "A," +
           std::to_string(statusCount) + "D" + kCrLf;
    for (std::size_t c = 0; c < analogCount; ++c) {
        const ChannelDefinition& channel = layout_.analogChannels[c];
        // An,ch_id,ph,ccbm,uu,a,b,skew,min,max,primary,secondary,PS
        cfg += std::to_string(c + 1) + "," + channel.id + "," + channel.phase + ",," + channel.unit + "," +
               formatReal(scales_[c].a) + "," + formatReal(scales_[c].b) + ",0," + scales_[c].minField + "," +
               scales_[c].maxField + ",1,1,S" + kCrLf;
    }
    for (std::size_t c = 0; c < statusCount; ++c) {
        // Dn,ch_id,ph,ccbm,y with normal state 0
        cfg += std::to_string(c + 1) + "," + layout_.statusChannels[c] + ",,,0" + kCrLf;
    }
    cfg += formatReal(layout_.lineFrequency) + kCrLf;
    cfg += std::string("1") + kCrLf;
    cfg += formatReal(layout_.sampleRate) + "," + std::to_string(layout_.sampleCount) + kCrLf;
    cfg += formatDateTime(layout_.startTimeNanoseconds, rev2013) + kCrLf;
    cfg += formatDateTime(layout_.triggerTimeNanoseconds, rev2013) + kCrLf;
    cfg += std::string(formatName(options_.format)) + kCrLf;
    // The timestamp of sample k (from 0) is k, in units of timemult microseconds.
    cfg += formatReal(kMicrosecondsPerSecond / layout_.sampleRate) + kCrLf;
    if (rev2013) {
        cfg += std::string("0,0") + kCrLf;  // time_code,local_code: times are UTC
        cfg += std::string("0,0") + kCrLf;  // tmq_code,leapsec: clock locked, no leap second
    }
}

std::string StreamingWriter::singleFileHead() const {
    std::string head = "--- file type: CFG ---" + std::string(kCrLf) + configuration_;
    head += "--- file type: INF ---" + std::string(kCrLf);
    head += "--- file type: HDR ---" + std::string(kCrLf);
    if (options_.format == DataFormat::Ascii) {
        head += "--- file type: DAT ASCII ---" + std::string(kCrLf);
    } else {
        head += "--- file type: DAT " + std::string(formatName(options_.format)) + ": " +
                std::to_string(recordBytesOf(layout_, options_.format) * layout_.sampleCount) + " ---" + kCrLf;
    }
    return head;
}

void StreamingWriter::appendData(std::size_t count, const double* analog, const std::uint8_t* status,
                                 std::string& out) {
    const std::size_t analogCount = layout_.analogChannels.size();
    const std::size_t statusCount = layout_.statusChannels.size();
    if (count > layout_.sampleCount - next_) {
        fail("samples", "more than the " + std::to_string(layout_.sampleCount) + " samples of the layout");
    }
    const auto fullScale = static_cast<double>(fullScaleOf(options_.format));
    // Every value must lie in the range the scale was made for.
    for (std::size_t j = 0; j < count; ++j) {
        for (std::size_t c = 0; c < analogCount; ++c) {
            const double value = analog[analogCount * j + c];
            if (!(value >= scales_[c].min && value <= scales_[c].max)) {
                const std::string id = layout_.analogChannels[c].id;
                fail(channelLabel("analogChannels", c) + ".samples[" + std::to_string(next_ + j) + "]",
                     (std::isfinite(value) ? "value " + formatReal(value) + " outside the range of the first pass"
                                           : std::string("non-finite value")) +
                         channelSuffix(id));
            }
        }
        for (std::size_t c = 0; c < statusCount; ++c) {
            if (status[statusCount * j + c] > 1) {
                fail(channelLabel("statusChannels", c) + ".samples[" + std::to_string(next_ + j) + "]",
                     "value " + std::to_string(status[statusCount * j + c]) + ", must be 0 or 1" +
                         channelSuffix(layout_.statusChannels[c]));
            }
        }
    }

    if (options_.format == DataFormat::Ascii) {
        std::array<char, 24> number{};
        const auto append = [&out, &number](std::int64_t value) {
            const auto result = std::to_chars(number.data(), number.data() + number.size(), value);
            out.append(number.data(), result.ptr);
        };
        for (std::size_t j = 0; j < count; ++j) {
            const auto sample = static_cast<std::int64_t>(next_ + j);
            append(sample + 1);
            out += ',';
            append(sample);
            for (std::size_t c = 0; c < analogCount; ++c) {
                out += ',';
                append(codeOf(analog[analogCount * j + c], scales_[c].a, scales_[c].b, fullScale));
            }
            for (std::size_t c = 0; c < statusCount; ++c) {
                out += ',';
                out += status[statusCount * j + c] != 0 ? '1' : '0';
            }
            out += kCrLf;
        }
        next_ += count;
        return;
    }

    const int analogBytes = options_.format == DataFormat::Binary ? 2 : 4;
    const std::size_t statusWords = statusWordsOf(statusCount);
    const std::size_t start = out.size();
    out.resize(start + recordBytesOf(layout_, options_.format) * count);
    char* position = &out[start];
    for (std::size_t j = 0; j < count; ++j) {
        const auto sample = static_cast<std::uint32_t>(next_ + j);
        position = putLittleEndian(position, sample + 1, 4);
        position = putLittleEndian(position, sample, 4);
        for (std::size_t c = 0; c < analogCount; ++c) {
            const double value = analog[analogCount * j + c];
            std::uint32_t bits = 0;
            if (options_.format == DataFormat::Float32) {
                static_assert(sizeof(float) == sizeof(std::uint32_t), "FLOAT32 needs a 32-bit float");
                const auto single = static_cast<float>(value);
                std::memcpy(&bits, &single, sizeof bits);
            } else {
                bits = static_cast<std::uint32_t>(codeOf(value, scales_[c].a, scales_[c].b, fullScale));  // two's complement
            }
            position = putLittleEndian(position, bits, analogBytes);
        }
        // Status channel 16*w + i is bit i of word w.
        for (std::size_t w = 0; w < statusWords; ++w) {
            std::uint32_t word = 0;
            for (std::size_t i = 0; i < 16 && 16 * w + i < statusCount; ++i) {
                if (status[statusCount * j + 16 * w + i] != 0) word |= 1u << i;
            }
            position = putLittleEndian(position, word, 2);
        }
    }
    next_ += count;
}

Files renderComtrade(const Recording& recording, const Options& options) {
    RecordingLayout layout;
    layout.stationName = recording.stationName;
    layout.deviceId = recording.deviceId;
    layout.lineFrequency = recording.lineFrequency;
    layout.sampleRate = recording.sampleRate;
    layout.startTimeNanoseconds = recording.startTimeNanoseconds;
    layout.triggerTimeNanoseconds = recording.triggerTimeNanoseconds;
    std::vector<AnalogScan> analogScans(recording.analogChannels.size());
    std::vector<std::size_t> analogLengths;
    for (std::size_t c = 0; c < recording.analogChannels.size(); ++c) {
        const AnalogChannel& channel = recording.analogChannels[c];
        layout.analogChannels.push_back({channel.id, channel.phase, channel.unit});
        analogLengths.push_back(channel.samples.size());
        for (std::size_t i = 0; i < channel.samples.size(); ++i) analogScans[c].add(channel.samples[i], i);
    }
    std::vector<StatusScan> statusScans(recording.statusChannels.size());
    std::vector<std::size_t> statusLengths;
    for (std::size_t c = 0; c < recording.statusChannels.size(); ++c) {
        const StatusChannel& channel = recording.statusChannels[c];
        layout.statusChannels.push_back(channel.id);
        statusLengths.push_back(channel.samples.size());
        for (std::size_t i = 0; i < channel.samples.size(); ++i) statusScans[c].add(channel.samples[i], i);
    }
    if (!recording.analogChannels.empty()) {
        layout.sampleCount = analogLengths.front();
    } else if (!recording.statusChannels.empty()) {
        layout.sampleCount = statusLengths.front();
    }
    validate(layout, options, analogScans, statusScans, analogLengths, statusLengths);

    const std::size_t count = layout.sampleCount;
    StreamingWriter writer(std::move(layout), options, analogScans, statusScans);
    // The channels side by side, a block of samples at a time.
    constexpr std::size_t kBlock = 1024;
    const std::size_t analogCount = recording.analogChannels.size();
    const std::size_t statusCount = recording.statusChannels.size();
    std::vector<double> analog(kBlock * analogCount);
    std::vector<std::uint8_t> status(kBlock * statusCount);
    std::string dat;
    for (std::size_t first = 0; first < count; first += kBlock) {
        const std::size_t rows = std::min(kBlock, count - first);
        for (std::size_t j = 0; j < rows; ++j) {
            for (std::size_t c = 0; c < analogCount; ++c) {
                analog[analogCount * j + c] = recording.analogChannels[c].samples[first + j];
            }
            for (std::size_t c = 0; c < statusCount; ++c) {
                status[statusCount * j + c] = recording.statusChannels[c].samples[first + j];
            }
        }
        writer.appendData(rows, analog.data(), status.data(), dat);
    }

    Files files;
    if (options.singleFile) {
        files.cff = writer.singleFileHead() + dat;
    } else {
        files.cfg = writer.configuration();
        files.dat = std::move(dat);
    }
    return files;
}

}  // namespace KexComtrade
