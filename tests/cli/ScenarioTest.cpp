// The transient scenario file: what is accepted, what each malformed file is
// told, and that the built-in scenario reads back from its own JSON.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "CtStage.h"
#include "Scenario.h"
#include "TestData.h"

namespace {

using KexRecording::parseScenario;
using KexRecording::ScenarioResult;

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

// The rows of the table below `header` in one of the documentation's files.
std::vector<std::string> documentedRows(const char* file, const std::string& header) {
    std::ifstream in(std::string(KEX_DOCS_DIR) + "/" + file);
    std::string line;
    while (std::getline(in, line) && line != header) {
    }
    std::getline(in, line);  // |---|---|
    std::vector<std::string> rows;
    while (std::getline(in, line) && line.rfind('|', 0) == 0) {
        rows.push_back(line);
    }
    return rows;
}

// The documentation's key table is the field description, row for row: what
// a user reads is what the reader, the writer and --help use.
TEST(Scenario, DocumentedKeyTableIsTheFieldDescription) {
    std::vector<std::string> described;
    for (const KexRecording::ScenarioKeyHelp& key : KexRecording::scenarioKeyHelp()) {
        described.push_back("| `" + key.key + "` | " + key.unit + " | " + key.defaultValue + " | " + key.meaning +
                            " |");
    }
    EXPECT_EQ(joined(documentedRows("cli.md", "| Key | Unit | Default | Meaning |")), joined(described));
}

// The model documentation's table of the record names every field of it.
TEST(Scenario, DocumentedRecordTableNamesEveryRecordField) {
    std::set<std::string> documented;
    for (const std::string& row : documentedRows("model.md", "| Field | Unit | Meaning |")) {
        const std::string names = row.substr(1, row.find('|', 1) - 1);
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

// Scenarios read back from the JSON they are written as: the built-in one
// (also what an empty file gives), every kind and phase by name (or number)
// with both aperiodic models, and CTs ("ct" written only when given, a
// missing key of it at its default, a remanence the same in every phase as
// one number).
TEST(Scenario, WrittenScenariosReadBackAsTheyWere) {
    const KexRecording::TransientScenario original = KexRecording::defaultScenario();
    expectSameScenario(parseScenario("{}").scenario, original);
    std::vector<KexRecording::TransientScenario> scenarios{original};
    for (int kind = 0; kind <= 12; ++kind) {
        for (int phase = 0; phase <= 2; ++phase) {
            KexRecording::TransientScenario s = original;
            s.record.faultKind = static_cast<std::uint8_t>(kind);
            s.record.faultPhase = static_cast<std::uint8_t>(phase);
            s.record.networkType = static_cast<std::int8_t>(phase);
            s.record.initialAngle = 0.1 * kind - 0.7;
            s.aperiodicModel =
                phase == 1 ? KexRecording::AperiodicModel::SingleTimeConstant : KexRecording::AperiodicModel::Exact;
            scenarios.push_back(s);
        }
    }
    for (const char* json : {R"({"ct": {}})", R"({"ct": {"exponent": 10, "remanence": [0.5, -0, -0.25]}})",
                             R"({"ct": {"remanence": -0.5}, "frequency": 60})"}) {
        const ScenarioResult given = parseScenario(json);
        ASSERT_TRUE(given.ok()) << json << "\n" << joined(given.problems);
        EXPECT_TRUE(given.scenario.ct.present);
        scenarios.push_back(given.scenario);
    }
    for (const KexRecording::TransientScenario& s : scenarios) {
        const std::string written = KexRecording::renderScenarioJson(s);
        const ScenarioResult again = parseScenario(written);
        ASSERT_TRUE(again.ok()) << written << "\n" << joined(again.problems);
        expectSameScenario(again.scenario, s);
    }
    EXPECT_EQ(KexRecording::renderScenarioJson(original).find("\"ct\""), std::string::npos);
    const ScenarioResult partial = parseScenario(R"({"ct": {"exponent": 10, "remanence": -0.5}})");
    EXPECT_EQ(partial.scenario.ct.burdenResistance, 4.0);
    EXPECT_EQ(partial.scenario.ct.remanence, (KexRecording::PhaseValues{-0.5, -0.5, -0.5}));
    EXPECT_NE(KexRecording::renderScenarioJson(partial.scenario).find("\"remanence\": -0.5\n"), std::string::npos);
    const KexRecording::PhaseCts cts =
        KexRecording::ctParameters(parseScenario(R"({"frequency": 60, "ct": {}})").scenario);
    EXPECT_EQ(cts[2].frequency, 60.0);  // the network's
}

// Each malformed file of the table gives one problem, a line that starts
// with the key and says what is wrong.
TEST(Scenario, EachMalformedFileGivesOneProblemNamingTheKey) {
    for (const nlohmann::json& c : TestData::table("scenarios.json", "malformed")) {
        SCOPED_TRACE(c.at("what").get<std::string>());
        const ScenarioResult result = parseScenario(c.at("json").get<std::string>());
        ASSERT_EQ(result.problems.size(), 1u) << joined(result.problems);
        const std::string& problem = result.problems[0];
        EXPECT_EQ(problem.rfind(c.at("key").get<std::string>() + ": ", 0), 0u) << problem;
        EXPECT_NE(problem.find(c.at("mentions").get<std::string>()), std::string::npos) << problem;
    }
}

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

// Sound files, some of values that look odd: the codes, the initial angle,
// the start time and the sample count they give.
TEST(Scenario, AcceptedFilesGiveTheirCodesAngleStartTimeAndSampleCount) {
    for (const nlohmann::json& c : TestData::table("scenarios.json", "accepted")) {
        SCOPED_TRACE(c.at("json").get<std::string>());
        const ScenarioResult result = parseScenario(c.at("json").get<std::string>());
        ASSERT_TRUE(result.ok()) << joined(result.problems);
        EXPECT_EQ(result.scenario.record.faultKind, c.at("faultKind"));
        EXPECT_EQ(result.scenario.record.faultPhase, c.at("faultPhase"));
        EXPECT_EQ(result.scenario.record.networkType, c.at("networkType"));
        if (c.contains("initialAngle")) {
            EXPECT_DOUBLE_EQ(result.scenario.record.initialAngle, c.at("initialAngle").get<double>());
        }
        if (c.contains("startTimeNanoseconds")) {
            EXPECT_EQ(result.scenario.startTimeNanoseconds, c.at("startTimeNanoseconds").get<std::int64_t>());
        }
        if (c.contains("sampleCount")) {
            EXPECT_EQ(KexRecording::sampleCount(result.scenario), c.at("sampleCount").get<std::size_t>());
        }
    }
}

}  // namespace
