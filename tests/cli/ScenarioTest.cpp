// The transient scenario file: what is accepted, what each malformed file is
// told, and that the built-in scenario reads back from its own JSON.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "CtStage.h"
#include "Scenario.h"

namespace {

using KexCalculate::RlParameters;
using KexRecording::parseScenario;
using KexRecording::ScenarioResult;

constexpr double kPi = 3.14159265358979323846;

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + '\n';
    }
    return text;
}

// Every field of the record, the sampling and the labels, bit for bit.
void expectSameScenario(const KexRecording::TransientScenario& a, const KexRecording::TransientScenario& b) {
    EXPECT_EQ(joined(KexRecording::differingFields(a, b)), "");
    EXPECT_EQ(a.startTimeNanoseconds, b.startTimeNanoseconds);
}

// The documentation's key table is the field description, row for row: what
// a user reads is what the reader, the writer and --help use.
TEST(Scenario, DocumentedKeyTableIsTheFieldDescription) {
    std::ifstream in(std::string(KEX_DOCS_DIR) + "/cli.md");
    std::vector<std::string> documented;
    std::string line;
    while (std::getline(in, line) && line != "| Key | Unit | Default | Meaning |") {
    }
    std::getline(in, line);  // |---|---|---|---|
    while (std::getline(in, line) && line.rfind('|', 0) == 0) {
        documented.push_back(line);
    }
    std::vector<std::string> described;
    for (const KexRecording::ScenarioKeyHelp& key : KexRecording::scenarioKeyHelp()) {
        described.push_back("| `" + key.key + "` | " + key.unit + " | " + key.defaultValue + " | " + key.meaning + " |");
    }
    EXPECT_EQ(joined(documented), joined(described));
}

// The model documentation's table of the record names every field of it.
TEST(Scenario, DocumentedRecordTableNamesEveryRecordField) {
    std::ifstream in(std::string(KEX_DOCS_DIR) + "/model.md");
    std::set<std::string> documented;
    std::string line;
    while (std::getline(in, line) && line != "| Field | Unit | Meaning |") {
    }
    std::getline(in, line);
    while (std::getline(in, line) && line.rfind('|', 0) == 0) {
        const std::string names = line.substr(1, line.find('|', 1) - 1);
        for (std::size_t open = names.find('`'); open != std::string::npos; open = names.find('`', open + 1)) {
            const std::size_t close = names.find('`', open + 1);
            documented.insert(names.substr(open + 1, close - open - 1));
            open = close;
        }
    }
    std::set<std::string> recordFields;
    for (const KexRecording::ScenarioField& field : KexRecording::scenarioFields()) {
        if (field.aliasOf == nullptr && KexRecording::isRecordField(field)) {
            recordFields.insert(field.name);
        }
    }
    EXPECT_EQ(documented, recordFields);
}

TEST(Scenario, BuiltInRecordIs3000SamplesFrom2000) {
    const KexRecording::TransientScenario s = KexRecording::defaultScenario();
    EXPECT_EQ(KexRecording::sampleCount(s), 3000u);                 // 0.3 s at 10 kHz
    EXPECT_EQ(s.startTimeNanoseconds, 946684800LL * 1000000000LL);  // 2000-01-01 00:00:00 UTC
}

TEST(Scenario, EmptyFileIsTheBuiltInScenario) {
    const ScenarioResult result = parseScenario("{}");
    ASSERT_TRUE(result.ok()) << joined(result.problems);
    expectSameScenario(result.scenario, KexRecording::defaultScenario());
}

TEST(Scenario, PrintedBuiltInScenarioReadsBackUnchanged) {
    const KexRecording::TransientScenario original = KexRecording::defaultScenario();
    const ScenarioResult result = parseScenario(KexRecording::renderScenarioJson(original));
    ASSERT_TRUE(result.ok()) << joined(result.problems);
    expectSameScenario(result.scenario, original);
}

// "ct" is written only when given, a missing key of it at its default, and
// a remanence the same in every phase as one number.
TEST(Scenario, CurrentTransformersSurviveTheRoundTrip) {
    EXPECT_EQ(KexRecording::renderScenarioJson(KexRecording::defaultScenario()).find("\"ct\""), std::string::npos);
    for (const char* json : {R"({"ct": {}})", R"({"ct": {"exponent": 10, "remanence": [0.5, -0, -0.25]}})",
                             R"({"ct": {"remanence": -0.5}, "frequency": 60})"}) {
        const ScenarioResult first = parseScenario(json);
        ASSERT_TRUE(first.ok()) << json << "\n" << joined(first.problems);
        EXPECT_TRUE(first.scenario.ct.present);
        const std::string written = KexRecording::renderScenarioJson(first.scenario);
        const ScenarioResult again = parseScenario(written);
        ASSERT_TRUE(again.ok()) << written << "\n" << joined(again.problems);
        expectSameScenario(again.scenario, first.scenario);
    }
    const ScenarioResult partial = parseScenario(R"({"ct": {"exponent": 10, "remanence": -0.5}})");
    EXPECT_EQ(partial.scenario.ct.burdenResistance, 4.0);
    EXPECT_EQ(partial.scenario.ct.remanence, (KexRecording::PhaseValues{-0.5, -0.5, -0.5}));
    EXPECT_NE(KexRecording::renderScenarioJson(partial.scenario).find("\"remanence\": -0.5\n"), std::string::npos);
    const KexRecording::PhaseCts cts =
        KexRecording::ctParameters(parseScenario(R"({"frequency": 60, "ct": {}})").scenario);
    EXPECT_EQ(cts[2].frequency, 60.0);  // the network's
}

// Every kind and phase, and both aperiodic models, are written by name (or
// number) and read back as they were.
TEST(Scenario, EveryKindAndPhaseSurvivesTheRoundTrip) {
    for (int kind = 0; kind <= 12; ++kind) {
        for (int phase = 0; phase <= 2; ++phase) {
            KexRecording::TransientScenario s = KexRecording::defaultScenario();
            s.record.faultKind = static_cast<std::uint8_t>(kind);
            s.record.faultPhase = static_cast<std::uint8_t>(phase);
            s.record.networkType = static_cast<std::int8_t>(phase);
            s.record.initialAngle = 0.1 * kind - 0.7;
            s.aperiodicModel =
                phase == 1 ? KexRecording::AperiodicModel::SingleTimeConstant : KexRecording::AperiodicModel::Exact;
            const ScenarioResult result = parseScenario(KexRecording::renderScenarioJson(s));
            ASSERT_TRUE(result.ok()) << "kind " << kind << ": " << joined(result.problems);
            expectSameScenario(result.scenario, s);
        }
    }
}

struct Malformed {
    const char* what;
    const char* json;
    const char* key;       // the problem line starts with "key: "
    const char* mentions;  // and says this
};

class MalformedScenario : public testing::TestWithParam<Malformed> {};

TEST_P(MalformedScenario, GivesOneProblemNamingTheKey) {
    const Malformed& c = GetParam();
    const ScenarioResult result = parseScenario(c.json);
    ASSERT_EQ(result.problems.size(), 1u) << joined(result.problems);
    const std::string& problem = result.problems[0];
    EXPECT_EQ(problem.rfind(std::string(c.key) + ": ", 0), 0u) << problem;
    EXPECT_NE(problem.find(c.mentions), std::string::npos) << problem;
}

const Malformed kMalformed[] = {
    {"Typo", R"({"faultKnd": 2})", "faultKnd", "unknown key; did you mean faultKind?"},
    {"UnknownKey", R"({"colour": "red"})", "colour", "unknown key"},
    {"NumberAsString", R"({"loadVoltage": "57.7"})", "loadVoltage", "must be a number"},
    {"ImpedanceOneNumber", R"({"zLine": [1.2]})", "zLine", "[R, X] in ohms"},
    {"ImpedanceAsNumber", R"({"zS1": 6})", "zS1", "[R, X] in ohms"},
    {"ImpedanceWithString", R"({"zS2": [0.8, "9"]})", "zS2", "two numbers"},
    {"FactorsThreeNumbers", R"({"kLine": [3, 3.2, 1]})", "kLine", "[R0/R1, X0/X1]"},
    {"BooleanAsNumber", R"({"useFaultResistance": 1})", "useFaultResistance", "true or false"},
    {"NameAsNull", R"({"station": null})", "station", "must be a string"},
    {"NumberOverflow", R"({"loadAngle": 1e400})", "scenario file", "1e400"},
    {"SyntaxError", "{\"loadAngle\": 20,\n \"frequency\" 50}", "scenario file", "line 2"},
    {"NotAnObject", R"([1, 2])", "scenario file", "JSON object"},
    {"DuplicateKey", R"({"faultDistance": 10, "faultDistance": 20})", "faultDistance", "more than once"},
    {"ZeroFrequency", R"({"frequency": 0})", "frequency", "above 0 Hz"},
    {"NegativeFrequency", R"({"frequency": -50})", "frequency", "above 0 Hz"},
    {"ZeroSampleRate", R"({"sampleRate": 0})", "sampleRate", "above 0"},
    {"SampleRateTooHigh", R"({"sampleRate": 1000001})", "sampleRate", "at most 1000000 Hz"},
    {"SampleRateBelowTwiceFrequency", R"({"sampleRate": 100, "frequency": 50})", "sampleRate",
     "above twice the frequency"},
    {"ZeroDuration", R"({"duration": 0})", "duration", "above 0"},
    {"NegativeDuration", R"({"duration": -0.3})", "duration", "above 0"},
    // More than the 2^32 - 1 samples a COMTRADE record can number.
    {"TooManySamples", R"({"sampleRate": 1000000, "duration": 4295})", "duration", "4295000000 samples"},
    {"NoSample", R"({"sampleRate": 1000, "duration": 0.0004})", "duration", "shorter than one sample"},
    {"NegativePreFault", R"({"preFaultDuration": -0.01})", "preFaultDuration", "must not be negative"},
    {"RecordEndsBeforeDisturbance", R"({"duration": 0.05})", "preFaultDuration, duration", "make duration longer"},
    // 1001 samples at 10 kHz: the last one lies at the disturbance instant, none after it.
    {"DisturbanceAtLastSample", R"({"duration": 0.1001})", "preFaultDuration, duration", "0.1 s does not lie before"},
    {"FaultKindTooLarge", R"({"faultKind": 13})", "faultKind", "out of range"},
    {"FaultKindFraction", R"({"faultKind": 2.5})", "faultKind", "whole number"},
    {"FaultKindUnknownName", R"({"faultKind": "three-phase-tau"})", "faultKind", "one-phase-ground"},
    {"NetworkTypeTooLarge", R"({"networkType": 4})", "networkType", "out of range"},
    {"NetworkTypeNegative", R"({"networkType": -1})", "networkType", "out of range"},
    {"NetworkTypeUnknownName", R"({"networkType": "triple-circuit"})", "networkType", "double-circuit-faulted"},
    {"AperiodicModelAsNumber", R"({"aperiodicModel": 1})", "aperiodicModel", "one of exact, single-time-constant"},
    {"AperiodicModelUnknownName", R"({"aperiodicModel": "two-time-constants"})", "aperiodicModel",
     "unknown value 'two-time-constants'"},
    {"FaultPhaseTooLarge", R"({"faultPhase": 3})", "faultPhase", "out of range"},
    {"FaultPhaseUnknownLetter", R"({"faultPhase": "D"})", "faultPhase", "unknown value 'D'"},
    {"PairForOnePhaseKind", R"({"faultKind": "one-phase-ground", "faultPhase": "BC"})", "faultPhase", "use A, B or C"},
    {"PhaseForTwoPhaseKind", R"({"faultKind": "two-phase", "faultPhase": "B"})", "faultPhase", "use AB, BC or CA"},
    {"SwingWithoutPeriod", R"({"faultKind": "swing", "swingPeriod": 0})", "swingPeriod", "above 0 s"},
    {"AsyncWithoutSlip", R"({"faultKind": 9, "asyncSlipPeriod": 0})", "asyncSlipPeriod", "other than 0"},
    {"NoLoopImpedance", R"({"zS1": [0, 0], "zLine": [0, 0], "zS2": [0, 0]})", "zS1, zLine, zS2",
     "zS1 + zLine + zS2 has no impedance"},
    // zS1 + zLine/2 + zS2 = j1 - j1 = 0, while zS1 + zLine + zS2 = -j1 would do.
    {"NoLoopImpedanceDoubleCircuit",
     R"({"networkType": "double-circuit-healthy", "zS1": [0, 1], "zLine": [0, -2], "zS2": [0, 0]})", "zS1, zLine, zS2",
     "zS1 + zLine/2 + zS2 has no impedance"},
    {"NegativeSourceResistance", R"({"zS2": [-0.1, 9]})", "zS2", "negative resistance"},
    {"NegativeLineResistance", R"({"zLine": [-1.2, 12]})", "zLine", "negative resistance"},
    {"NegativeBranchResistance", R"({"zBranch": [-0.6, 6]})", "zBranch", "negative resistance"},
    {"NegativeZeroSequenceFactor", R"({"kS1": [-1.5, 2]})", "kS1", "negative zero-sequence factor"},
    {"NegativeFaultResistance", R"({"useFaultResistance": true, "faultResistance": -2})", "faultResistance",
     "must not be negative"},
    {"NegativeTimeConstant", R"({"swingRiseTau": -0.05})", "swingRiseTau", "must not be negative"},
    {"NegativeBranchDistance", R"({"networkType": "tapped-branch", "branchDistance": -10})", "branchDistance",
     "tapped branch"},
    {"BothInitialAngles", R"({"initialAngle": 0.5, "initialAngleDeg": 30})", "initialAngleDeg", "not both"},
    {"LoadSwitchingIntoNothing", R"({"faultKind": "load-switching", "zS1": [0, 0], "zSwitched": [0, 0]})", "zSwitched",
     "needs an impedance"},
    {"NegativeLoadCurrent", R"({"loadCurrent": -1})", "loadCurrent", "must not be negative"},
    {"StationWithComma", R"({"station": "Bay 1, north"})", "station", "comma at position 5"},
    {"StationNotAscii", R"({"station": "Подстанция"})", "station", "non-ASCII character at position 0; allowed"},
    {"KeyWithEscape", "{\"a\\u001b[2Jb\": 1}", "a\\x1b[2Jb", "unknown key"},
    {"DeviceTooLong", R"({"device": "0123456789012345678901234567890123456789012345678901234567890123456789"})",
     "device", "at most 64"},
    {"StartTimeNoDate", R"({"startTime": "yesterday"})", "startTime", "YYYY-MM-DD HH:MM:SS"},
    {"StartTimeFebruary30", R"({"startTime": "2001-02-30 00:00:00"})", "startTime", "not a valid date"},
    {"StartTimeBefore1970", R"({"startTime": "1969-12-31 23:59:59"})", "startTime", "between 1970 and 2200"},
    {"CtNotAnObject", R"({"ct": 400})", "ct", "must be an object of the keys windingResistance"},
    {"CtTypo", R"({"ct": {"burdenResistnce": 2}})", "ct.burdenResistnce", "did you mean ct.burdenResistance?"},
    {"CtKeyTwice", R"({"ct": {"exponent": 20, "exponent": 22}})", "ct.exponent", "more than once"},
    {"CtNumberAsString", R"({"ct": {"saturationVoltage": "400"}})", "ct.saturationVoltage", "must be a number"},
    {"CtNegativeBurden", R"({"ct": {"burdenResistance": -1}})", "ct.burdenResistance", "0 or more (ohm), not -1"},
    {"CtNoSaturationVoltage", R"({"ct": {"saturationVoltage": 0}})", "ct.saturationVoltage", "above 0"},
    {"CtExponentTooLarge", R"({"ct": {"exponent": 31}})", "ct.exponent", "from 1 to 30, not 31"},
    {"CtRemanenceOfPhaseB", R"({"ct": {"remanence": [0, 0.96, 0]}})", "ct.remanence",
     "0.95 (a fraction of the saturation flux), not 0.96 in phase B"},
    {"CtRemanenceTwoPhases", R"({"ct": {"remanence": [0.1, 0.2]}})", "ct.remanence", "three numbers [A, B, C]"},
};

INSTANTIATE_TEST_SUITE_P(Table, MalformedScenario, testing::ValuesIn(kMalformed),
                         [](const testing::TestParamInfo<Malformed>& entry) { return std::string(entry.param.what); });

// Whatever the bytes, the reader answers with problems and never throws.
TEST(Scenario, AnyTextGivesProblemsNotExceptions) {
    const std::string deep = std::string(20000, '[') + std::string(20000, ']');
    const std::string longKey = "{\"" + std::string(100000, 'k') + "\": 1}";
    for (const std::string& text : {std::string(), std::string("null"), std::string("{"), std::string("\"text\""),
                                    std::string("{\"zS1\": {\"re\": 1}}"), std::string("{\"a\": \"\xff\"}"),
                                    std::string("{\"faultKind\": 1e300}"), std::string("{\"faultKind\": -1e-300}"),
                                    std::string("{\"duration\": 1e300, \"sampleRate\": 1e300}"), deep, longKey}) {
        ScenarioResult result;
        EXPECT_NO_THROW(result = parseScenario(text)) << text.substr(0, 40);
        EXPECT_FALSE(result.ok()) << text.substr(0, 40);
    }
}

TEST(Scenario, ReportsEveryProblemAtOnce) {
    const ScenarioResult result = parseScenario(
        R"({"frequncy": 50, "faultKind": 14, "zS1": [-0.5, 6], "sampleRate": -1, "initialAngleDeg": "30"})");
    ASSERT_EQ(result.problems.size(), 5u) << joined(result.problems);
    const std::string text = joined(result.problems);
    for (const char* key : {"frequncy: ", "faultKind: ", "zS1: ", "sampleRate: ", "initialAngleDeg: "}) {
        EXPECT_NE(text.find(key), std::string::npos) << key << " missing from\n" << text;
    }
}

// A key that failed to read does not set off further problems through its
// default value (a bad faultKind with a pair for faultPhase).
TEST(Scenario, ABadKeyDoesNotDragOthersIn) {
    const ScenarioResult result = parseScenario(R"({"faultKind": "two-phase-grond", "faultPhase": "BC"})");
    ASSERT_EQ(result.problems.size(), 1u) << joined(result.problems);
    EXPECT_EQ(result.problems[0].rfind("faultKind: ", 0), 0u);
}

struct Accepted {
    const char* json;
    int faultKind;
    int faultPhase;
    int networkType;
};

class AcceptedCodes : public testing::TestWithParam<Accepted> {};

TEST_P(AcceptedCodes, ReadAsTheModelsCodes) {
    const Accepted& c = GetParam();
    const ScenarioResult result = parseScenario(c.json);
    ASSERT_TRUE(result.ok()) << c.json << "\n" << joined(result.problems);
    EXPECT_EQ(result.scenario.record.faultKind, c.faultKind) << c.json;
    EXPECT_EQ(result.scenario.record.faultPhase, c.faultPhase) << c.json;
    EXPECT_EQ(result.scenario.record.networkType, c.networkType) << c.json;
}

// Defaults: faultKind 2, faultPhase 0, networkType 0.
INSTANTIATE_TEST_SUITE_P(
    Names, AcceptedCodes,
    testing::Values(Accepted{R"({"faultKind": "three-phase"})", 0, 0, 0},
                    Accepted{R"({"faultKind": "two-phase", "faultPhase": "AB"})", 1, 0, 0},
                    Accepted{R"({"faultKind": "one-phase-ground", "faultPhase": "C"})", 2, 2, 0},
                    Accepted{R"({"faultKind": "two-phase-ground", "faultPhase": "CA"})", 3, 2, 0},
                    Accepted{R"({"faultKind": "three-phase-alt"})", 4, 0, 0},
                    Accepted{R"({"faultKind": "two-phase-alt", "faultPhase": "BC"})", 5, 1, 0},
                    Accepted{R"({"faultKind": "one-phase-ground-alt", "faultPhase": "B"})", 6, 1, 0},
                    Accepted{R"({"faultKind": "two-phase-ground-alt", "faultPhase": "BC"})", 7, 1, 0},
                    Accepted{R"({"faultKind": "swing"})", 8, 0, 0}, Accepted{R"({"faultKind": "async"})", 9, 0, 0},
                    Accepted{R"({"faultKind": "phase-break", "faultPhase": "B"})", 10, 1, 0},
                    Accepted{R"({"faultKind": "load-switching"})", 11, 0, 0},
                    Accepted{R"({"faultKind": "none"})", 12, 0, 0},
                    Accepted{R"({"faultKind": "One-Phase-Ground", "faultPhase": "b"})", 2, 1, 0},
                    Accepted{R"({"faultKind": 7, "faultPhase": 2})", 7, 2, 0},
                    Accepted{R"({"faultKind": 12.0, "faultPhase": 1})", 12, 1, 0},
                    Accepted{R"({"faultKind": 0, "faultPhase": "C"})", 0, 2, 0},
                    Accepted{R"({"networkType": "single-line"})", 2, 0, 0},
                    Accepted{R"({"networkType": "tapped-branch"})", 2, 0, 1},
                    Accepted{R"({"networkType": "double-circuit-healthy"})", 2, 0, 2},
                    Accepted{R"({"networkType": "double-circuit-faulted"})", 2, 0, 3},
                    Accepted{R"({"networkType": 3})", 2, 0, 3}));

TEST(Scenario, InitialAngleInDegreesOrRadians) {
    const struct {
        const char* json;
        double radians;
    } cases[] = {{R"({"initialAngleDeg": 90})", kPi / 2},
                 {R"({"initialAngleDeg": -180})", -kPi},
                 {R"({"initialAngleDeg": 30})", kPi / 6},
                 {R"({"initialAngle": 1.25})", 1.25}};
    for (const auto& c : cases) {
        const ScenarioResult result = parseScenario(c.json);
        ASSERT_TRUE(result.ok()) << joined(result.problems);
        EXPECT_DOUBLE_EQ(result.scenario.record.initialAngle, c.radians) << c.json;
    }
}

// Values that look odd but describe a sound test.
TEST(Scenario, AcceptsSoundUnusualValues) {
    for (const char* json : {
             R"({"useFaultResistance": false, "faultResistance": -3})",  // not used
             R"({"faultKind": "async", "asyncSlipPeriod": -0.5})",       // source 2 runs faster
             R"({"faultDistance": -20})",                                // behind the relay
             R"({"faultDistance": 0})",
             R"({"preFaultDuration": 0})",
             R"({"sampleRate": 1000000, "duration": 4294.967295})",  // exactly the sample limit
             R"({"branchDistance": -10})",                  // not used on a single line
             R"({"zS1": [0, 0], "zS2": [0, 0]})",           // the line alone carries the loop
             R"({"startTime": "2024-02-29T23:59:59.999999999"})",
         }) {
        const ScenarioResult result = parseScenario(json);
        EXPECT_TRUE(result.ok()) << json << "\n" << joined(result.problems);
    }
}

TEST(Scenario, StartTimeInNanosecondsSince1970) {
    const struct {
        const char* text;
        std::int64_t nanoseconds;
    } cases[] = {
        {"1970-01-01 00:00:00", 0},
        {"2000-01-01 00:00:00", 946684800LL * 1000000000LL},
        // A leap day and a fraction: 2024-02-29 12:34:56 UTC is 1709210096 s.
        {"2024-02-29 12:34:56.5", 1709210096LL * 1000000000LL + 500000000LL},
        {"2024-02-29T12:34:56.000000001", 1709210096LL * 1000000000LL + 1LL},
    };
    for (const auto& c : cases) {
        const ScenarioResult result = parseScenario(std::string(R"({"startTime": ")") + c.text + "\"}");
        ASSERT_TRUE(result.ok()) << joined(result.problems);
        EXPECT_EQ(result.scenario.startTimeNanoseconds, c.nanoseconds) << c.text;
    }
}

}  // namespace
