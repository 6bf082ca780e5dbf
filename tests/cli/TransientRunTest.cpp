// Runs of `kexcalc transient`: the files it leaves, the samples in them
// against the model sampled here, and what a failed run leaves behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CalculationRl.h"
#include "CalculationRlExact.h"
#include "ComtradeReader.h"
#include "CtStage.h"
#include "KexcalcRun.h"
#include "Scenario.h"
#include "TransientWaves.h"

namespace {

namespace fs = std::filesystem;
using KexcalcTest::expectRefused;
using KexcalcTest::readFile;
using KexcalcTest::RunResult;
using KexcalcTest::shellQuoted;
using KexCalculate::CalculationRl;
using KexCalculate::CalculationRlExact;
using KexCalculate::RlParameters;

// A number as a stream writes it with `precision` significant digits.
std::string printed(double value, int precision) {
    std::ostringstream text;
    text << std::setprecision(precision) << value;
    return text.str();
}

// Width and height of a PNG file from its header; 0 x 0 when it is none.
std::pair<unsigned, unsigned> pngSize(const fs::path& path) {
    const std::string bytes = readFile(path);
    if (bytes.size() < 24 || bytes.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)) != 0) {
        return {0, 0};
    }
    const auto bigEndian = [&bytes](std::size_t at) {
        unsigned value = 0;
        for (std::size_t k = at; k < at + 4; ++k) {
            value = (value << 8U) | static_cast<unsigned char>(bytes[k]);
        }
        return value;
    };
    return {bigEndian(16), bigEndian(20)};
}

// A fresh directory for one test, removed afterwards.
class TransientRun : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kexcalc-transient-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    static RunResult run(std::vector<std::string> arguments, const std::string& environment = "",
                         const std::string& input = "") {
        arguments.insert(arguments.begin(), "transient");
        return KexcalcTest::runKexcalc(arguments, environment, input);
    }

    fs::path writeScenario(const std::string& fileName, const std::string& json) const {
        const fs::path path = root_ / fileName;
        std::ofstream(path) << json;
        return path;
    }

    static std::set<std::string> filesIn(const fs::path& directory) {
        std::set<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    fs::path root_;
};

// Block sampling agrees with getMgn to this fraction of a channel's peak.
constexpr double kSamplingTolerance = 1e-9;

// getMgn of every channel at k / sampleRate, and each channel's peak.
struct ModelSamples {
    std::vector<std::array<double, 6>> rows;
    std::array<double, 6> peak{};
};

// The waveforms a run writes: the exact transients (the default) or the
// model's single time constant.
enum class Dc { Exact, SingleTimeConstant };

ModelSamples modelSamples(const RlParameters& record, double sampleRate, std::size_t count, Dc dc) {
    CalculationRl model(&record);
    model.calculate();
    CalculationRlExact exact;
    exact.calculate(model);
    ModelSamples samples;
    for (std::size_t k = 0; k < count; ++k) {
        std::array<double, 6> row{};
        for (std::size_t c = 0; c < 6; ++c) {
            const double time = static_cast<double>(k) / sampleRate;
            row[c] =
                dc == Dc::Exact ? exact.getMgn(static_cast<int>(c), time) : model.getMgn(static_cast<int>(c), time);
            samples.peak[c] = std::max(samples.peak[c], std::fabs(row[c]));
        }
        samples.rows.push_back(row);
    }
    return samples;
}

// The numbers among the words of a line, words split at spaces and at
// `separator`.
std::vector<double> numbersIn(std::string line, char separator = ' ') {
    std::replace(line.begin(), line.end(), separator, ' ');
    std::istringstream words(line);
    std::vector<double> numbers;
    std::string word;
    while (words >> word) {
        char* end = nullptr;
        const double number = std::strtod(word.c_str(), &end);
        if (*end == '\0') {
            numbers.push_back(number);
        }
    }
    return numbers;
}

// The numbers of the `count` lines of the summary below the line that
// contains `header`.
std::vector<std::vector<double>> summaryRows(const std::string& summary, const std::string& header, std::size_t count) {
    std::istringstream lines(summary.substr(summary.find(header)));
    std::string line;
    std::getline(lines, line);
    std::vector<std::vector<double>> rows;
    while (rows.size() < count && std::getline(lines, line)) {
        rows.push_back(numbersIn(line));
    }
    return rows;
}

// The rows of a CSV file below its header, each checked to hold a number in
// each of the header's columns.
std::vector<std::vector<double>> readCsv(const fs::path& path, const std::string& header) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, header);
    const auto columns = static_cast<std::size_t>(std::count(header.begin(), header.end(), ',') + 1);
    std::vector<std::vector<double>> rows;
    while (std::getline(in, line)) {
        rows.push_back(numbersIn(line, ','));
        EXPECT_EQ(rows.back().size(), columns) << line;
        rows.back().resize(columns);
    }
    return rows;
}

// The CSV's times are k / sampleRate to the last bit, its values getMgn at
// those times within the block sampling's agreement.
void expectCsvIsTheModel(const fs::path& csv, const RlParameters& record, double sampleRate, std::size_t count,
                         Dc dc = Dc::Exact) {
    const ModelSamples expected = modelSamples(record, sampleRate, count, dc);
    const std::vector<std::vector<double>> rows = readCsv(csv, "time_s,IA_A,IB_A,IC_A,VA_V,VB_V,VC_V");
    ASSERT_EQ(rows.size(), count);
    for (std::size_t k = 0; k < count; ++k) {
        ASSERT_EQ(rows[k][0], static_cast<double>(k) / sampleRate) << "row " << k;
        for (std::size_t c = 0; c < 6; ++c) {
            ASSERT_NEAR(rows[k][c + 1], expected.rows[k][c], kSamplingTolerance * expected.peak[c])
                << "row " << k << " channel " << c;
        }
    }
}

// Each analog channel as "id/phase/unit/primary-or-secondary ".
std::string channelList(const ComtradeTest::Comtrade& read) {
    std::string channels;
    for (const auto& def : read.cfg.analog) {
        channels += def.id + "/" + def.phase + "/" + def.unit + "/" + def.primarySecondary + " ";
    }
    return channels;
}

// The COMTRADE files read back with the tests' own reader: header fields, and
// each sample equal to the model within the format's quantisation step.
void expectComtradeIsTheModel(const ComtradeTest::Comtrade& read, const RlParameters& record, double sampleRate,
                              std::size_t count, std::size_t firstFaultSample, double fullScale) {
    const ModelSamples expected = modelSamples(record, sampleRate, count, Dc::Exact);
    EXPECT_EQ(read.cfg.lineFrequency, record.frequency);
    EXPECT_EQ(read.cfg.sampleRate, sampleRate);
    EXPECT_EQ(read.cfg.endSample, static_cast<long>(count));
    ASSERT_EQ(read.records.size(), count);
    ASSERT_EQ(channelList(read), "IA/A/A/S IB/B/A/S IC/C/A/S VA/A/V/S VB/B/V/S VC/C/V/S ");
    for (std::size_t c = 0; c < 6; ++c) {
        const auto& def = read.cfg.analog[c];
        for (std::size_t k = 0; k < count; ++k) {
            const double value = expected.rows[k][c];
            ASSERT_NEAR(read.records[k].values[c], value,
                        ComtradeTest::quantisation(def, fullScale, value) + kSamplingTolerance * expected.peak[c])
                << def.id << " sample " << k;
        }
    }
    ASSERT_EQ(read.cfg.status.size(), 1u);
    EXPECT_EQ(read.cfg.status[0].id, "FAULT");
    for (std::size_t k = 0; k < count; ++k) {
        ASSERT_EQ(read.records[k].status.size(), 1u);
        ASSERT_EQ(read.records[k].status[0], k < firstFaultSample ? 0 : 1) << "sample " << k;
    }
}

TEST_F(TransientRun, DefaultScenarioWritesTheFilesOfTheModel) {
    const fs::path out = root_ / "out" / "default";  // two levels created
    const RunResult result = run({"--out", out.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::set<std::string> files{"default.cfg", "default.dat", "default.csv", "default.png",
                                      "default_phasors.png"};
    EXPECT_EQ(filesIn(out), files);
    for (const std::string& file : files) {
        EXPECT_NE(result.out.find((out / file).string()), std::string::npos) << file << " not listed";
    }
    EXPECT_NE(result.out.find("phase-A-to-ground fault at 50 % of the line"), std::string::npos) << result.out;

    // The summary lists the exact transients: each time constant with its DC
    // on each channel, and each channel's whole DC at the instant.
    const RlParameters record = KexRecording::defaultScenario().record;
    CalculationRl model(&record);
    model.calculate();
    CalculationRlExact exact;
    exact.calculate(model);
    ASSERT_EQ(exact.modeCount(), 3U);
    EXPECT_NE(result.out.find("(aperiodicModel exact): the network's 3 time constants"), std::string::npos)
        << result.out;
    constexpr double kPrinted = 1e-6;  // six decimals
    const std::vector<std::vector<double>> modes = summaryRows(result.out, "tau (ms)", 3);
    for (std::size_t mode = 0; mode < modes.size(); ++mode) {
        ASSERT_EQ(modes[mode].size(), 7U) << result.out;
        EXPECT_NEAR(modes[mode][0], 1000.0 * exact.modeTimeConstant(mode), kPrinted);
        for (int channel = 0; channel < 6; ++channel) {
            EXPECT_NEAR(modes[mode][static_cast<std::size_t>(channel) + 1], exact.modeDc(mode, channel), kPrinted);
        }
    }
    const std::vector<std::vector<double>> channels = summaryRows(result.out, "(RMS)", 6);
    for (std::size_t channel = 0; channel < channels.size(); ++channel) {
        EXPECT_NEAR(channels[channel].back(), exact.initialDc(static_cast<int>(channel)), kPrinted) << channel;
    }

    expectCsvIsTheModel(out / "default.csv", record, 10000.0, 3000);

    // Revision 1999, 16-bit binary; the disturbance at 0.1 s is sample 1000.
    const ComtradeTest::Comtrade read =
        ComtradeTest::readPair(readFile(out / "default.cfg"), readFile(out / "default.dat"));
    EXPECT_EQ(read.cfg.revisionYear, 1999);
    EXPECT_EQ(read.cfg.fileType, "BINARY");
    EXPECT_EQ(read.cfg.stationName, "KexCalculate");
    EXPECT_EQ(read.cfg.deviceId, "kexcalc");
    EXPECT_EQ(read.cfg.startTime, "01/01/2000,00:00:00.000000");
    EXPECT_EQ(read.cfg.triggerTime, "01/01/2000,00:00:00.100000");
    expectComtradeIsTheModel(read, record, 10000.0, 3000, 1000, 32767.0);

    // A record of 15 cycles needs no zoom.
    EXPECT_EQ(pngSize(out / "default.png"), std::make_pair(1400U, 1000U));
    EXPECT_EQ(pngSize(out / "default_phasors.png"), std::make_pair(1600U, 900U));

    // What the samples reach from the disturbance (sample 1000) on: the RMS
    // of each 200-sample cycle and the sample of the largest magnitude.
    const ModelSamples samples = modelSamples(record, 10000.0, 3000, Dc::Exact);
    const std::vector<std::vector<double>> reached = summaryRows(result.out, "cycle from", 7);
    ASSERT_EQ(reached.size(), 7U) << result.out;
    for (std::size_t c = 0; c < 6; ++c) {
        std::vector<double> cycleRms;
        std::size_t peak = 1000;
        for (std::size_t start = 1000; start < 3000; start += 200) {
            double squares = 0.0;
            for (std::size_t k = start; k < start + 200; ++k) {
                squares += samples.rows[k][c] * samples.rows[k][c];
                peak = std::fabs(samples.rows[k][c]) > std::fabs(samples.rows[peak][c]) ? k : peak;
            }
            cycleRms.push_back(std::sqrt(squares / 200.0));
        }
        const auto highest = std::max_element(cycleRms.begin(), cycleRms.end());
        const std::vector<double>& row = reached[c + 1];  // below the line of units
        ASSERT_EQ(row.size(), 5U) << result.out;
        EXPECT_NEAR(row[0], *std::min_element(cycleRms.begin(), cycleRms.end()), kPrinted) << c;
        EXPECT_NEAR(row[1], *highest, kPrinted) << c;
        EXPECT_NEAR(row[2], 0.1 + 0.02 * static_cast<double>(highest - cycleRms.begin()), kPrinted) << c;
        EXPECT_NEAR(row[3], samples.rows[peak][c], kPrinted) << c;
        EXPECT_NEAR(row[4], static_cast<double>(peak) / 10000.0, kPrinted) << c;
    }
}

// A swing never reaches the model's fault state (the sources in opposition):
// the summary and the phasor diagram give the state nearest opposition that
// the record reaches, and the 1.5 s record's plot gets a zoom.
TEST_F(TransientRun, SwingGivesTheExtremesItReaches) {
    const fs::path out = root_ / "out";
    const RunResult result = run(
        {writeScenario("swing.json", R"({"faultKind": "swing", "duration": 1.5})").string(), "--out", out.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(pngSize(out / "swing.png"), std::make_pair(1400U, 1800U));
    EXPECT_EQ(pngSize(out / "swing_phasors.png"), std::make_pair(1600U, 900U));

    RlParameters record = KexRecording::defaultScenario().record;
    record.faultKind = 8;
    CalculationRl model(&record);
    model.calculate();
    const double opposition = model.getSwingOrAmowUIValues().iMax;
    // The swing drives the angle from its start towards swingAngle, never beyond.
    const std::size_t angleLine = result.out.find("Angle between the source EMFs: ");
    ASSERT_NE(angleLine, std::string::npos) << result.out;
    double before = 0.0;
    double lowest = 0.0;
    double highest = 0.0;
    ASSERT_EQ(std::sscanf(result.out.c_str() + angleLine,
                          "Angle between the source EMFs: %lf deg before the disturbance, from %lf to %lf", &before,
                          &lowest, &highest),
              3)
        << result.out;
    EXPECT_EQ(lowest, before);
    EXPECT_GT(highest, before + 45.0);
    EXPECT_LT(highest, record.swingAngle);

    const std::vector<std::vector<double>> phasors = summaryRows(result.out, "extreme state", 2);
    const std::vector<std::vector<double>> reached = summaryRows(result.out, "cycle from", 2);
    ASSERT_EQ(phasors[1].size(), 6U) << result.out;  // IA: pre-fault, angle, extreme state, angle, A, sqrt(2)*A
    ASSERT_EQ(reached[1].size(), 5U) << result.out;
    const double extreme = phasors[1][2];
    EXPECT_LT(extreme, 0.9 * opposition);
    // The state's phasor is what the samples show: its RMS over the highest
    // cycle and its peak.
    EXPECT_NEAR(reached[1][1], extreme, 0.005 * extreme);
    EXPECT_NEAR(std::fabs(reached[1][3]), std::sqrt(2.0) * extreme, 0.005 * extreme);
    EXPECT_NE(result.out.find("\nExtreme state: at "), std::string::npos) << result.out;
}

struct Variant {
    const char* what;
    std::vector<std::string> options;
    const char* fileType;
    double fullScale;
};

void PrintTo(const Variant& v, std::ostream* out) { *out << v.what; }  // no addresses in the test names

class TransientVariant : public TransientRun, public testing::WithParamInterface<Variant> {};

// A two-phase-to-ground fault on the faulted circuit of a double line, at
// 4 kHz with the disturbance at 0.05 s (sample 200).
TEST_P(TransientVariant, WritesTheScenarioInTheChosenFormat) {
    const Variant& v = GetParam();
    const fs::path scenario = writeScenario("bc-ground.json", R"({
        "faultKind": "two-phase-ground", "faultPhase": "BC", "networkType": "double-circuit-faulted",
        "faultDistance": 30, "initialAngle": 0.5, "sampleRate": 4000, "duration": 0.2,
        "preFaultDuration": 0.05, "station": "Bay 7", "startTime": "2024-02-29 12:34:56.25"})");
    const fs::path out = root_ / "out";
    std::vector<std::string> arguments{scenario.string(), "--out", out.string(), "--no-plot"};
    arguments.insert(arguments.end(), v.options.begin(), v.options.end());
    const RunResult result = run(arguments);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");

    const bool singleFile = std::find(v.options.begin(), v.options.end(), "--cff") != v.options.end();
    const std::set<std::string> expectedFiles =
        singleFile ? std::set<std::string>{"bc-ground.cff", "bc-ground.csv"}
                   : std::set<std::string>{"bc-ground.cfg", "bc-ground.dat", "bc-ground.csv"};
    EXPECT_EQ(filesIn(out), expectedFiles);

    RlParameters record = KexRecording::defaultScenario().record;
    record.faultKind = 3;
    record.faultPhase = 1;
    record.networkType = 3;
    record.faultDistance = 30.0;
    record.initialAngle = 0.5;
    record.preFaultDuration = 0.05;
    expectCsvIsTheModel(out / "bc-ground.csv", record, 4000.0, 800);

    const ComtradeTest::Comtrade read =
        singleFile ? ComtradeTest::readSingleFile(readFile(out / "bc-ground.cff"))
                   : ComtradeTest::readPair(readFile(out / "bc-ground.cfg"), readFile(out / "bc-ground.dat"));
    const bool rev2013 = std::find(v.options.begin(), v.options.end(), "2013") != v.options.end();
    EXPECT_EQ(read.cfg.revisionYear, rev2013 ? 2013 : 1999);
    EXPECT_EQ(read.cfg.fileType, v.fileType);
    EXPECT_EQ(read.cfg.stationName, "Bay 7");
    EXPECT_EQ(read.cfg.startTime, "29/02/2024,12:34:56.250000");
    EXPECT_EQ(read.cfg.triggerTime, "29/02/2024,12:34:56.300000");
    expectComtradeIsTheModel(read, record, 4000.0, 800, 200, v.fullScale);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, TransientVariant,
    testing::Values(
        Variant{"Rev2013Float32Cff", {"--rev", "2013", "--comtrade-format", "float32", "--cff"}, "FLOAT32", 0},
        Variant{"Rev1999Ascii", {"--comtrade-format", "ascii"}, "ASCII", 99998},
        Variant{"Rev2013Binary32", {"--rev", "2013", "--comtrade-format", "binary32"}, "BINARY32", 2147483647},
        Variant{"Rev2013AsciiCff", {"--rev", "2013", "--comtrade-format", "ASCII", "--cff"}, "ASCII", 99998}),
    [](const testing::TestParamInfo<Variant>& entry) { return std::string(entry.param.what); });

// With CTs: the secondary currents in place of IA, IB, IC, each the CT of
// its phase (its own remanence) run on the model's current; the ideal
// currents after the voltages; the summary says where each CT saturates.
TEST_F(TransientRun, CurrentTransformersAddTheIdealCurrents) {
    const char* json = R"({"ct": {"saturationVoltage": 20, "remanence": [0.2, 0, -0.2]}})";
    const fs::path scenario = writeScenario("ct.json", json);
    const fs::path out = root_ / "out";
    const RunResult result = run({scenario.string(), "--out", out.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(fs::exists(out / "ct.png"));
    EXPECT_NE(result.out.find("\nCurrent transformers: Rw 0 ohm, burden 4 + j2 ohm, Vs 20 V, S 22"), std::string::npos)
        << result.out;
    const RunResult asJson = run({scenario.string(), "--out", (root_ / "json").string(), "--no-plot", "--json"});
    ASSERT_EQ(asJson.exitCode, 0) << asJson.err;
    const nlohmann::json ctSummary = nlohmann::json::parse(asJson.out).at("ct");
    EXPECT_EQ(ctSummary.at("saturationVoltage"), 20.0);

    const ComtradeTest::Comtrade read = ComtradeTest::readPair(readFile(out / "ct.cfg"), readFile(out / "ct.dat"));
    EXPECT_EQ(channelList(read),
              "IA/A/A/S IB/B/A/S IC/C/A/S VA/A/V/S VB/B/V/S VC/C/V/S IA ideal/A/A/S IB ideal/B/A/S IC ideal/C/A/S ");

    const KexRecording::TransientScenario s = KexRecording::parseScenario(json).scenario;
    const std::size_t count = KexRecording::sampleCount(s);
    const std::vector<std::vector<double>> rows =
        readCsv(out / "ct.csv", "time_s,IA_A,IB_A,IC_A,VA_V,VB_V,VC_V,IA_ideal_A,IB_ideal_A,IC_ideal_A");
    ASSERT_EQ(rows.size(), count);
    const ModelSamples ideal = modelSamples(s.record, s.sampleRate, count, Dc::Exact);
    const KexRecording::TransientWaves waves(s.record, s.aperiodicModel);
    const KexRecording::ModelSource waveforms = waves.source(KexRecording::timeAxis(s));
    const KexRecording::PhaseCts cts = KexRecording::ctParameters(s);
    for (std::size_t phase = 0; phase < 3; ++phase) {
        std::vector<double> secondary(count);
        std::vector<double> idealColumn(count);
        const KexCalculate::CtSaturation ct(cts[phase]);
        ct.saturate(KexCalculate::CtSaturation::channelOf(waveforms, static_cast<int>(phase)), 0.0, 1.0 / s.sampleRate,
                    count, secondary.data());
        for (std::size_t k = 0; k < count; ++k) {
            ASSERT_EQ(rows[k][1 + phase], secondary[k]) << "phase " << phase << " row " << k;
            ASSERT_NEAR(rows[k][7 + phase], ideal.rows[k][phase], kSamplingTolerance * ideal.peak[phase]);
            idealColumn[k] = rows[k][7 + phase];
        }
        // The summary's line of the phase: its remanence, then the time on the
        // record's axis and after the disturbance (in seconds in the JSON), or none.
        const std::size_t departure =
            KexCalculate::CtSaturation::firstDeparture(idealColumn.data(), secondary.data(), count);
        EXPECT_EQ(departure < count, phase == 0);  // the faulted phase only
        const nlohmann::json& entry = ctSummary.at("phases").at(phase);
        std::vector<std::string> expected{read.cfg.analog[phase].id, "(A)", std::array{"0.2", "0", "-0.2"}[phase]};
        if (departure < count) {
            const double time = static_cast<double>(departure) / s.sampleRate;
            expected.insert(expected.end(),
                            {printed(time, 10), "s", printed((time - s.record.preFaultDuration) * 1000.0, 6), "ms"});
            EXPECT_EQ(entry.at("saturatesAt"), time);
            EXPECT_EQ(entry.at("afterDisturbance"), time - s.record.preFaultDuration);
        } else {
            expected.emplace_back("none");
            EXPECT_TRUE(entry.at("saturatesAt").is_null() && entry.at("afterDisturbance").is_null()) << entry;
        }
        const std::size_t section = result.out.find("\nCurrent transformers: ");
        const std::size_t at = result.out.find("\n" + expected[0] + " (A) ", section);
        ASSERT_NE(at, std::string::npos) << result.out;
        std::istringstream words(result.out.substr(at + 1, result.out.find('\n', at + 1) - at - 1));
        EXPECT_EQ(std::vector<std::string>(std::istream_iterator<std::string>(words), {}), expected);
    }
}

TEST_F(TransientRun, BadScenarioWritesNothingAndListsEveryProblem) {
    const fs::path scenario = writeScenario(
        "bad.json",
        R"({"faultKnd": 2, "frequency": 0, "zS1": [-0.5, 6], "sampleRate": "fast", "ct": {"exponent": 0}})");
    const fs::path out = root_ / "never";
    const RunResult result = run({scenario.string(), "--out", out.string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(fs::exists(out));
    // One line per problem, each with the file and the key.
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 5) << result.err;
    for (const char* key : {"faultKnd: ", "frequency: ", "zS1: ", "sampleRate: ", "ct.exponent: "}) {
        EXPECT_NE(("\n" + result.err).find("\nkexcalc: " + scenario.string() + ": " + key), std::string::npos) << key;
    }
}

// A failed run neither replaces nor adds to the output of an earlier one; a
// later run that succeeds replaces it.
TEST_F(TransientRun, FailedRunKeepsTheEarlierOutputALaterOneReplacesIt) {
    const fs::path out = root_ / "out";
    ASSERT_EQ(run({"--out", out.string(), "--no-plot"}).exitCode, 0);
    const std::set<std::string> before = filesIn(out);
    const std::string cfg = readFile(out / "default.cfg");
    const std::string csv = readFile(out / "default.csv");

    const fs::path bad = writeScenario("default.json", R"({"faultKind": "swing", "swingPeriod": -1})");
    RunResult result = run({bad.string(), "--out", out.string()});
    expectRefused(result, "swingPeriod");

    // A fault beyond the line's end: a negative rest of the line, a network
    // without exact transients.
    const fs::path beyond = writeScenario("beyond.json", R"({"faultDistance": 150})");
    result = run({beyond.string(), "--out", out.string()});
    expectRefused(result, "beyond.json: aperiodicModel: no exact transients: network not passive");

    // A good scenario whose output cannot be put in place: a directory holds
    // the name of one of its files.
    const fs::path changed = writeScenario("three.json", R"({"faultKind": "three-phase"})");
    fs::create_directory(out / "default.png");
    result = run({changed.string(), "--out", out.string(), "--name", "default"});
    expectRefused(result, "default.png");

    // A file the user made read-only.
    fs::remove(out / "default.png");
    fs::permissions(out / "default.csv", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    result = run({changed.string(), "--out", out.string(), "--name", "default", "--no-plot"});
    expectRefused(result, "default.csv' is read-only; nothing was replaced");

    EXPECT_EQ(filesIn(out), before);  // no temporaries either
    EXPECT_EQ(readFile(out / "default.cfg"), cfg);
    EXPECT_EQ(readFile(out / "default.csv"), csv);

    // A run that succeeds replaces the files and says so.
    fs::permissions(out / "default.csv", fs::perms::owner_write, fs::perm_options::add);
    result = run({changed.string(), "--out", out.string(), "--name", "default", "--no-plot"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("default.csv  (replaced the earlier file)"), std::string::npos) << result.out;
    EXPECT_NE(readFile(out / "default.csv"), csv);
    EXPECT_EQ(filesIn(out), before);
}

// The plot fails after the CSV has been written under its temporary name: the
// plotting library finds no drivers.
TEST_F(TransientRun, PlotFailureLeavesNothingBehind) {
    const fs::path out = root_ / "out";
    const RunResult result = run({"--out", out.string()}, "PLPLOT_DRV_DIR=" + shellQuoted((root_ / "none").string()));
    expectRefused(result, "the plot could not be drawn");
    EXPECT_FALSE(fs::exists(out));  // created for this run, and empty again
}

// SIGTERM in the middle of a long run: the temporaries go with the process,
// which ends by the signal. A later run removes the temporaries of its own
// names that a killed run (its process gone) left, and nothing else.
TEST_F(TransientRun, SignalsAndKilledRunsLeaveNoTemporaries) {
    const fs::path out = root_ / "out";
    const fs::path scenario = writeScenario("long.json", R"({"duration": 60, "sampleRate": 100000})");
    const pid_t child = KexcalcTest::startKexcalc({"transient", scenario.string(), "--out", out.string(), "--no-plot"});
    ASSERT_GT(child, 0);
    bool writing = false;
    for (int k = 0; k < 12000 && !writing; ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::error_code ignored;
        writing = !fs::is_empty(out, ignored) && !ignored;
    }
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(writing);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
    EXPECT_EQ(filesIn(out), std::set<std::string>{});

    const pid_t gone = fork();
    if (gone == 0) {
        _exit(0);
    }
    waitpid(gone, nullptr, 0);
    const std::string stale = ".default.csv.tmp-" + std::to_string(gone) + "-0";
    const std::string otherName = ".other.csv.tmp-" + std::to_string(gone) + "-0";
    const std::string living = ".default.csv.tmp-1-0";  // process 1 always runs
    for (const std::string& name : {stale, otherName, living}) {
        std::ofstream(out / name) << "x";
    }
    ASSERT_EQ(run({"--out", out.string(), "--no-plot"}).exitCode, 0);
    EXPECT_EQ(filesIn(out), (std::set<std::string>{otherName, living, "default.cfg", "default.dat", "default.csv"}));
}

// Progress shows on a terminal, on one line that is cleared at the end; on a
// file or a pipe stderr stays empty (the test above).
TEST_F(TransientRun, ProgressOnlyOnATerminal) {
    const RunResult shown =
        KexcalcTest::runKexcalcOnTerminal({"transient", "--out", (root_ / "out").string(), "--no-plot"});
    ASSERT_EQ(shown.exitCode, 0) << shown.out;
    EXPECT_NE(shown.out.find("\rkexcalc: computing 100 %\rkexcalc: writing 100 %\r"), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.substr(shown.out.size() - 2), " \r") << shown.out;
}

// The single time constant on request, and for a kind the exact model does
// not cover, which the summary names with the reason.
TEST_F(TransientRun, SingleTimeConstantOnRequestAndOutsideTheExactScope) {
    const struct {
        const char* json;
        std::uint8_t faultKind;
        const char* says;
    } cases[] = {
        // Source 1 and half the line: tau = (6 + 6) / (100 pi (0.5 + 0.6)) s.
        {R"({"aperiodicModel": "single-time-constant"})", 2, "\nAperiodic time constant tau: 0.0347247 s"},
        {R"({"faultKind": "phase-break"})", 10,
         "\naperiodicModel exact does not apply to faultKind phase-break: an ideal interruption"},
    };
    for (const auto& c : cases) {
        const fs::path out = root_ / "out";
        const RunResult result = run({writeScenario("run.json", c.json).string(), "--out", out.string(), "--no-plot"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NE(result.out.find(c.says), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("aperiodicModel exact)"), std::string::npos) << result.out;
        RlParameters record = KexRecording::defaultScenario().record;
        record.faultKind = c.faultKind;
        expectCsvIsTheModel(out / "run.csv", record, 10000.0, 3000, Dc::SingleTimeConstant);
    }
}

// A scenario from standard input with the summary as JSON; the merged and the
// built-in scenario printed as scenario files without anything written.
TEST_F(TransientRun, StandardInputJsonSummaryAndPrintedScenarios) {
    const fs::path scenario =
        writeScenario("in.json", R"({"faultKind": "load-switching", "networkType": "double-circuit-healthy"})");
    const fs::path out = root_ / "out";
    RunResult result = run({"-", "--out", out.string(), "--no-plot", "--json"}, "", scenario.string());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const nlohmann::json summary = nlohmann::json::parse(result.out);
    EXPECT_EQ(summary.at("scenario"), "stdin");
    EXPECT_EQ(summary.at("samples"), 3000);
    const nlohmann::json& ia = summary.at("channels").at(0);
    EXPECT_EQ(ia.at("id"), "IA");
    EXPECT_EQ(ia.at("faultState"), ia.at("preFault"));  // nothing is switched on a double line
    // The 1 A of phase A in every whole cycle: 200 samples of a sine.
    EXPECT_NEAR(ia.at("reached").at("rmsLowest").get<double>(), 1.0, 1e-9);
    EXPECT_NEAR(ia.at("reached").at("rmsHighest").get<double>(), 1.0, 1e-9);
    EXPECT_TRUE(summary.at("extremeState").is_null());
    EXPECT_TRUE(summary.at("tau").is_null());
    EXPECT_TRUE(summary.at("ct").is_null());
    EXPECT_EQ(summary.at("notes"), (nlohmann::json{"No aperiodic component, as load switching changes nothing on this "
                                                   "network (zSwitched is switched on a single line only)."}));
    EXPECT_EQ(summary.at("files").at(0), (nlohmann::json{{"path", (out / "stdin.cfg").string()}, {"replaced", false}}));

    const fs::path never = root_ / "never";
    result = run({scenario.string(), "--print-scenario", "--out", never.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, KexRecording::renderScenarioJson(KexRecording::parseScenario(readFile(scenario)).scenario));
    // The scenario reader's tests read the built-in one back unchanged.
    result = run({"--print-default", "--out", never.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, KexRecording::renderScenarioJson(KexRecording::defaultScenario()));
    EXPECT_NE(result.out.find("\"faultKind\": \"one-phase-ground\""), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"aperiodicModel\": \"exact\""), std::string::npos) << result.out;
    EXPECT_FALSE(fs::exists(never));
}

}  // namespace
