#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "ComtradeReader.h"
#include "ComtradeWriter.h"

namespace {

using namespace KexComtrade;
using ComtradeTest::Comtrade;
using testing::StartsWith;
using testing::ThrowsMessage;

constexpr double kPi = 3.14159265358979323846;
constexpr std::int64_t kStart20240315 = 1710498030LL * 1000000000LL + 123456000LL;  // 10:20:30.123456 UTC

Comtrade renderAndRead(const Recording& recording, const Options& options) {
    const Files files = renderComtrade(recording, options);
    if (options.singleFile) {
        EXPECT_TRUE(files.cfg.empty() && files.dat.empty());
        return ComtradeTest::readSingleFile(files.cff);
    }
    EXPECT_TRUE(files.cff.empty());
    return ComtradeTest::readPair(files.cfg, files.dat);
}

// A record with the shapes that stress the scaling: a fault current with a
// decaying offset (asymmetric range), channels without spread (zero and non-zero),
// large and tiny magnitudes, a purely negative channel; and 17 status channels so
// that the binary formats need a second status word.
Recording stressRecording(double sampleRate, std::size_t count) {
    Recording r;
    r.stationName = "Bay 7";
    r.deviceId = "KEX test set";
    r.lineFrequency = 50.0;
    r.sampleRate = sampleRate;
    r.startTimeNanoseconds = kStart20240315;
    r.triggerTimeNanoseconds = kStart20240315 + 20000000;
    const char* ids[] = {"IA", "IB", "IC", "VA", "VB", "VC"};
    const char* phases[] = {"A", "B", "C", "A", "B", "C"};
    for (int c = 0; c < 6; ++c) r.analogChannels.push_back({ids[c], phases[c], c < 3 ? "A" : "V", {}});
    for (std::size_t k = 0; k < count; ++k) {
        const double t = static_cast<double>(k) / sampleRate;
        const double wave = std::sin(2 * kPi * 50.0 * t);
        r.analogChannels[0].samples.push_back(10.0 * wave + 7.0 * std::exp(-t / 0.05));
        r.analogChannels[1].samples.push_back(0.0);
        r.analogChannels[2].samples.push_back(2.5);
        r.analogChannels[3].samples.push_back(81649.658 * wave);
        r.analogChannels[4].samples.push_back(1e-9 * wave);
        r.analogChannels[5].samples.push_back(-3.0 - wave);
    }
    for (std::size_t j = 0; j < 17; ++j) {
        StatusChannel s{"S" + std::to_string(j + 1), {}};
        for (std::size_t k = 0; k < count; ++k)
            s.samples.push_back(static_cast<std::uint8_t>(((k >> (j % 5)) ^ j) & 1u));
        r.statusChannels.push_back(s);
    }
    return r;
}

struct Variant {
    Revision revision;
    DataFormat format;
    bool singleFile;
    const char* fileType;
    double fullScale;  // largest integer code; 0 for FLOAT32
};

std::string describe(const Variant& v) {
    return std::string(v.revision == Revision::Rev1999 ? "Rev1999" : "Rev2013") + v.fileType +
           (v.singleFile ? "Cff" : "Pair");
}
std::string variantName(const testing::TestParamInfo<Variant>& info) { return describe(info.param); }
void PrintTo(const Variant& v, std::ostream* out) { *out << describe(v); }  // no addresses in the test names

class RoundTrip : public testing::TestWithParam<Variant> {};

// The names, units and fixed fields of the configuration are the golden files'.
TEST_P(RoundTrip, EverySampleStatusBitAndTimestampReadsBack) {
    const Variant v = GetParam();
    const double rate = 3000.0;  // a sample period of 333.33... microseconds
    const std::size_t count = 301;
    const Recording recording = stressRecording(rate, count);
    const Comtrade read = renderAndRead(recording, {v.revision, v.format, v.singleFile});

    EXPECT_EQ(read.cfg.revisionYear, v.revision == Revision::Rev1999 ? 1999 : 2013);
    EXPECT_EQ(read.cfg.fileType, v.fileType);
    EXPECT_EQ(read.cfg.sampleRate, rate);
    EXPECT_EQ(read.cfg.endSample, static_cast<long>(count));
    ASSERT_EQ(read.records.size(), count);
    ASSERT_EQ(read.cfg.analog.size(), 6u);
    ASSERT_EQ(read.cfg.status.size(), 17u);

    for (std::size_t c = 0; c < 6; ++c) {
        const AnalogChannel& written = recording.analogChannels[c];
        const auto& def = read.cfg.analog[c];
        EXPECT_NE(def.a, 0.0) << written.id;
        const bool hasSpread = c != 1 && c != 2;  // IB and IC are constant: read back exactly
        double lowestCode = def.max;
        double highestCode = def.min;
        for (std::size_t k = 0; k < count; ++k) {
            const double expected = written.samples[k];
            const double raw = read.records[k].raw[c];
            lowestCode = std::min(lowestCode, raw);
            highestCode = std::max(highestCode, raw);
            const double tolerance = hasSpread ? ComtradeTest::quantisation(def, v.fullScale, expected) : 0.0;
            ASSERT_NEAR(read.records[k].values[c], expected, tolerance) << written.id << " sample " << k;
        }
        EXPECT_LE(def.min, lowestCode) << written.id;
        EXPECT_GE(def.max, highestCode) << written.id;
        if (v.fullScale > 0 && hasSpread) {  // the integer range is used in full
            EXPECT_EQ(lowestCode, -v.fullScale) << written.id;
            EXPECT_EQ(highestCode, v.fullScale) << written.id;
            EXPECT_EQ(def.min, -v.fullScale) << written.id;
            EXPECT_EQ(def.max, v.fullScale) << written.id;
        }
        if (v.fullScale == 0) {
            EXPECT_EQ(def.a, 1.0);
            EXPECT_EQ(def.b, 0.0);
        }
    }
    for (std::size_t k = 0; k < count; ++k) {
        EXPECT_EQ(read.records[k].sampleNumber, k + 1);
        // Time of sample k in microseconds is k / rate, to well below a picosecond.
        const double microseconds = read.records[k].timestamp * read.cfg.timeMultiplier;
        EXPECT_NEAR(microseconds, static_cast<double>(k) * 1e6 / rate, 1e-6) << "sample " << k;
        for (std::size_t j = 0; j < 17; ++j) {
            ASSERT_EQ(read.records[k].status[j], recording.statusChannels[j].samples[k]) << "S" << j + 1 << " " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllVariants, RoundTrip,
                         testing::Values(Variant{Revision::Rev1999, DataFormat::Ascii, false, "ASCII", 99998},
                                         Variant{Revision::Rev1999, DataFormat::Binary, false, "BINARY", 32767},
                                         Variant{Revision::Rev2013, DataFormat::Ascii, false, "ASCII", 99998},
                                         Variant{Revision::Rev2013, DataFormat::Binary, false, "BINARY", 32767},
                                         Variant{Revision::Rev2013, DataFormat::Binary32, false, "BINARY32",
                                                 2147483647},
                                         Variant{Revision::Rev2013, DataFormat::Float32, false, "FLOAT32", 0},
                                         Variant{Revision::Rev2013, DataFormat::Ascii, true, "ASCII", 99998},
                                         Variant{Revision::Rev2013, DataFormat::Binary, true, "BINARY", 32767},
                                         Variant{Revision::Rev2013, DataFormat::Binary32, true, "BINARY32", 2147483647},
                                         Variant{Revision::Rev2013, DataFormat::Float32, true, "FLOAT32", 0}),
                         variantName);

// The streaming writer, fed the samples row by row in blocks of any size,
// writes what renderComtrade writes; a sample outside the range of the first
// pass (the samples changed in between) is refused instead of clamped.
TEST(Streaming, BlocksOfAnySizeGiveTheSameBytes) {
    const Recording recording = stressRecording(3000.0, 301);
    RecordingLayout layout{recording.stationName,
                           recording.deviceId,
                           recording.lineFrequency,
                           recording.sampleRate,
                           recording.startTimeNanoseconds,
                           recording.triggerTimeNanoseconds,
                           {},
                           {},
                           301};
    std::vector<AnalogScan> analog(recording.analogChannels.size());
    std::vector<StatusScan> status(recording.statusChannels.size());
    std::vector<double> analogRows;
    std::vector<std::uint8_t> statusRows;
    for (std::size_t k = 0; k < layout.sampleCount; ++k) {
        for (std::size_t c = 0; c < analog.size(); ++c) {
            analog[c].add(recording.analogChannels[c].samples[k], k);
            analogRows.push_back(recording.analogChannels[c].samples[k]);
        }
        for (std::size_t c = 0; c < status.size(); ++c) {
            statusRows.push_back(recording.statusChannels[c].samples[k]);
        }
    }
    for (const AnalogChannel& channel : recording.analogChannels) {
        layout.analogChannels.push_back({channel.id, channel.phase, channel.unit});
    }
    for (const StatusChannel& channel : recording.statusChannels) layout.statusChannels.push_back(channel.id);

    for (const Options options :
         {Options{Revision::Rev2013, DataFormat::Binary, true}, Options{Revision::Rev1999, DataFormat::Ascii, false},
          Options{Revision::Rev2013, DataFormat::Float32, false}}) {
        const Files whole = renderComtrade(recording, options);
        StreamingWriter writer(layout, options, analog, status);
        std::string dat;
        for (std::size_t first = 0, block = 1; first < layout.sampleCount; first += block, block = block * 3 + 1) {
            block = std::min(block, layout.sampleCount - first);
            writer.appendData(block, &analogRows[first * analog.size()], &statusRows[first * status.size()], dat);
        }
        EXPECT_EQ(options.singleFile ? writer.singleFileHead() + dat : writer.configuration(),
                  options.singleFile ? whole.cff : whole.cfg);
        EXPECT_EQ(options.singleFile ? std::string() : dat, whole.dat);
    }

    StreamingWriter writer(layout, {Revision::Rev1999, DataFormat::Binary, false}, analog, status);
    analogRows[3] = 2.0 * analog[3].max;  // VA of sample 0
    std::string dat;
    EXPECT_THAT([&] { writer.appendData(1, analogRows.data(), statusRows.data(), dat); },
                ThrowsMessage<std::invalid_argument>(StartsWith("analogChannels[3].samples[0]: ")));
}

// The sample times stay exact for rates whose period is not a whole number of
// microseconds, also late in a long record.
TEST(SampleTimes, LastTimestampIsItsSampleTime) {
    const std::size_t count = 5000;
    for (const double rate : {10000.0, 3000.0, 4800.0, 1e6 / 7, 0.5, 1234.5678, 2e6}) {
        const Comtrade read =
            renderAndRead(stressRecording(rate, count), {Revision::Rev2013, DataFormat::Binary, false});
        for (const std::size_t k : {std::size_t{1}, count - 1}) {
            const double seconds = read.records[k].timestamp * read.cfg.timeMultiplier * 1e-6;
            EXPECT_NEAR(seconds, static_cast<double>(k) / rate, 1e-13 * static_cast<double>(k) / rate)
                << "rate " << rate << ", sample " << k;
        }
    }
}

// A tiny record whose scale factors are powers of two for the given integer
// range, so the expected configuration can be worked out by hand.
Recording tinyRecording(double fullScale) {
    Recording r;
    r.stationName = "Test Bay 1";
    r.deviceId = "KEX-1";
    r.lineFrequency = 50.0;
    r.sampleRate = 1000.0;
    r.startTimeNanoseconds = kStart20240315;
    r.triggerTimeNanoseconds = kStart20240315 + 1000600;  // 1000.6 us later
    r.analogChannels = {{"IA", "A", "A", {-fullScale / 1024, 0.0, fullScale / 1024}},
                        {"IB", "B", "A", {0.0, 0.0, 0.0}},
                        {"VA", "A", "V", {10.0, 10.0 + fullScale / 8, 10.0 + fullScale / 16}}};
    r.statusChannels = {{"FAULT", {0, 1, 1}}};
    return r;
}

std::string readGolden(const std::string& name) {
    std::ifstream in(std::string(KEX_COMTRADE_GOLDEN_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Golden files written by hand from the line layout. IA spans +-fullScale/1024, so
// a = 1/1024 and b = 0; IB has no spread (a = 1, b = 0, all codes 0); VA spans
// 10 .. 10 + fullScale/8, so a = 1/16 and b is the middle of that span. The trigger
// lies 1000.6 us after the start: 1999 rounds it to whole microseconds, 2013 keeps
// the nanoseconds. timemult = 1e6 / 1000 Hz, and the timestamp counts samples.
TEST(ConfigurationLayout, Rev1999BinaryMatchesHandWrittenGolden) {
    const Files files = renderComtrade(tinyRecording(32767), {Revision::Rev1999, DataFormat::Binary, false});
    EXPECT_EQ(files.cfg, readGolden("tiny_1999_binary.cfg"));  // a failure shows the lines that differ
    // Records: n (u32), timestamp (u32), IA, IB, VA (i16), status word (u16); little-endian.
    const unsigned char expected[] = {1, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x80, 0, 0, 0x01, 0x80, 0, 0,
                                      2, 0, 0, 0, 1, 0, 0, 0, 0,    0,    0, 0, 0xFF, 0x7F, 1, 0,
                                      3, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0x7F, 0, 0, 0,    0,    1, 0};
    EXPECT_EQ(files.dat, std::string(reinterpret_cast<const char*>(expected), sizeof expected));
}

TEST(ConfigurationLayout, Rev2013AsciiSingleFileMatchesHandWrittenGolden) {
    const Files files = renderComtrade(tinyRecording(99998), {Revision::Rev2013, DataFormat::Ascii, true});
    EXPECT_EQ(files.cff, readGolden("tiny_2013_ascii.cff"));
}

// Codes round halves away from zero: a channel from 0 to 65534 has a = 1 and
// b = 32767 in 16 bits, so 32767.5 is code 1 and 32766.5 code -1.
TEST(ConfigurationLayout, HalfwayValuesRoundAwayFromZero) {
    Recording r = tinyRecording(32767);
    r.analogChannels = {{"IA", "A", "A", {0.0, 65534.0, 32767.5, 32766.5}}};
    r.statusChannels = {{"FAULT", {0, 0, 1, 1}}};
    const Comtrade read = renderAndRead(r, {Revision::Rev1999, DataFormat::Binary, false});
    ASSERT_EQ(read.cfg.analog[0].a, 1.0);
    ASSERT_EQ(read.cfg.analog[0].b, 32767.0);
    EXPECT_EQ(read.records[2].raw[0], 1.0);
    EXPECT_EQ(read.records[3].raw[0], -1.0);
}

// Calendar conversion of the start time, nanoseconds since 1970 in UTC.
TEST(ConfigurationLayout, StartTimeCalendarAndRounding) {
    struct Case {
        std::int64_t nanoseconds;
        const char* rev1999;
        const char* rev2013;
    };
    const Case cases[] = {
        {0, "01/01/1970,00:00:00.000000", "01/01/1970,00:00:00.000000"},
        {-1, "01/01/1970,00:00:00.000000", "31/12/1969,23:59:59.999999999"},
        {951868799LL * 1000000000LL + 999999500LL, "01/03/2000,00:00:00.000000", "29/02/2000,23:59:59.999999500"},
        {9223372036LL * 1000000000LL, "11/04/2262,23:47:16.000000", "11/04/2262,23:47:16.000000"},
    };
    for (const Case& c : cases) {
        Recording r = tinyRecording(32767);
        r.startTimeNanoseconds = c.nanoseconds;
        for (const Revision rev : {Revision::Rev1999, Revision::Rev2013}) {
            const Comtrade read = renderAndRead(r, {rev, DataFormat::Binary, false});
            EXPECT_EQ(read.cfg.startTime, rev == Revision::Rev1999 ? c.rev1999 : c.rev2013) << c.nanoseconds;
        }
    }
}

struct BadCase {
    const char* name;
    std::function<void(Recording&)> spoil;
    const char* field;  // must open the message
    Options options{Revision::Rev2013, DataFormat::Binary, false};
};

TEST(Validation, EachBadRecordingNamesItsField) {
    const double nan = std::nan("");
    const auto asIs = [](Recording&) {};
    const BadCase cases[] = {
        {"zero rate", [](Recording& r) { r.sampleRate = 0; }, "sampleRate: "},
        {"NaN rate", [nan](Recording& r) { r.sampleRate = nan; }, "sampleRate: "},
        {"infinite rate", [](Recording& r) { r.sampleRate = HUGE_VAL; }, "sampleRate: "},
        {"negative frequency", [](Recording& r) { r.lineFrequency = -50; }, "lineFrequency: "},
        {"no channels",
         [](Recording& r) {
             r.analogChannels.clear();
             r.statusChannels.clear();
         },
         "analogChannels: "},
        {"no samples",
         [](Recording& r) {
             for (auto& c : r.analogChannels) c.samples.clear();
         },
         "analogChannels[0].samples: "},
        {"short analog", [](Recording& r) { r.analogChannels[2].samples.pop_back(); },
         "analogChannels[2].samples: length 2 differs from 3"},
        {"long status", [](Recording& r) { r.statusChannels[0].samples.push_back(0); },
         "statusChannels[0].samples: length 4 differs from 3"},
        {"NaN sample", [nan](Recording& r) { r.analogChannels[1].samples[2] = nan; },
         "analogChannels[1].samples[2]: non-finite value (channel IB)"},
        {"infinite sample", [](Recording& r) { r.analogChannels[0].samples[0] = -HUGE_VAL; },
         "analogChannels[0].samples[0]: "},
        {"beyond FLOAT32",
         [](Recording& r) { r.analogChannels[2].samples[1] = 1e39; },
         "analogChannels[2].samples[1]: ",
         {Revision::Rev2013, DataFormat::Float32, false}},
        {"status value 2", [](Recording& r) { r.statusChannels[0].samples[1] = 2; }, "statusChannels[0].samples[1]: "},
        {"comma in id", [](Recording& r) { r.analogChannels[0].id = "I,A"; }, "analogChannels[0].id: "},
        {"empty unit", [](Recording& r) { r.analogChannels[1].unit.clear(); }, "analogChannels[1].unit: "},
        {"long phase", [](Recording& r) { r.analogChannels[0].phase = "ABC"; }, "analogChannels[0].phase: "},
        {"line break in station", [](Recording& r) { r.stationName = "Bay\r\n1"; }, "stationName: "},
        {"long device id", [](Recording& r) { r.deviceId = std::string(65, 'x'); }, "deviceId: "},
        {"comma in status id", [](Recording& r) { r.statusChannels[0].id = "a,b"; }, "statusChannels[0].id: "},
        {"cff for 1999", asIs, "singleFile: ", {Revision::Rev1999, DataFormat::Binary, true}},
        {"BINARY32 for 1999", asIs, "format: BINARY32", {Revision::Rev1999, DataFormat::Binary32, false}},
        {"FLOAT32 for 1999", asIs, "format: FLOAT32", {Revision::Rev1999, DataFormat::Float32, false}},
    };
    for (const BadCase& c : cases) {
        Recording recording = tinyRecording(32767);
        c.spoil(recording);
        EXPECT_THAT([&] { renderComtrade(recording, c.options); },
                    ThrowsMessage<std::invalid_argument>(StartsWith(c.field)))
            << c.name;
    }
}

}  // namespace
