// Runs of the built kexcalc program: the numbers it prints and its answers to
// bad arguments.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cctype>
#include <cmath>
#include <complex>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "KexcalcRun.h"
#include "WorkedCases.h"

namespace {

using KexcalcTest::RunResult;
using KexcalcTest::runKexcalc;

using WorkedCases::Phasor;

Phasor phase(const nlohmann::json& system, const char* name) {
    const nlohmann::json& value = system.at(name);
    return {value.at("re").get<double>(), value.at("im").get<double>()};
}

nlohmann::json runJson(std::vector<std::string> arguments) {
    arguments.emplace_back("--json");
    const RunResult run = runKexcalc(arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    return nlohmann::json::parse(run.out);
}

std::string number(double x) {
    std::ostringstream text;
    text << std::setprecision(17) << x;
    return text.str();
}

std::string complexArgument(const nlohmann::json& pair) {
    return number(pair.at(0).get<double>()) + "," + number(pair.at(1).get<double>());
}

// The command line of a worked case, its options named as the case's fields.
std::vector<std::string> argumentsOf(const nlohmann::json& c) {
    std::vector<std::string> arguments{c.at("calculation").get<std::string>()};
    const struct {
        const char* field;
        const char* option;
    } options[] = {{"kind", "--kind"},           {"quantity", "--type"},          {"value", "--value"},
                   {"angleDeg", "--angle"},      {"power", "--power"},            {"z", "--z"},
                   {"current", "--current"},     {"voltage", "--voltage"},        {"k0", "--k0"},
                   {"sourceZ", "--source-z"},    {"sourceFactors", "--source-factors"},
                   {"sourceVoltage", "--source-voltage"}, {"zero", "--zero"},     {"positive", "--positive"},
                   {"negative", "--negative"}};
    for (const auto& o : options) {
        if (c.contains(o.field)) {
            const nlohmann::json& value = c.at(o.field);
            const bool symQuantity = c.at("calculation") == "sym" && std::string(o.field) == "quantity";
            arguments.insert(arguments.end(),
                             {symQuantity ? "--quantity" : o.option,
                              value.is_array() ? complexArgument(value)
                                               : value.is_string() ? value.get<std::string>() : number(value)});
        }
    }
    if (c.value("voltageReference", false)) {
        arguments.emplace_back("--voltage-reference");
    }
    return arguments;
}

class CommandLineWorkedCase : public testing::TestWithParam<nlohmann::json> {};

TEST_P(CommandLineWorkedCase, PrintsTheWorkedPhasors) {
    const nlohmann::json& c = GetParam();
    SCOPED_TRACE(c.at("name").get<std::string>());
    const nlohmann::json out = runJson(argumentsOf(c));
    for (const char* system : {"voltages", "currents"}) {
        const auto expected = WorkedCases::expected(c, system);
        ASSERT_EQ(out.contains(system), expected.has_value()) << system;
        if (expected) {
            const nlohmann::json& printed = out.at(system);
            EXPECT_TRUE(WorkedCases::phasesNear({phase(printed, "A"), phase(printed, "B"), phase(printed, "C")},
                                                *expected))
                << system;
            const double magnitude = printed.at("A").at("magnitude");
            EXPECT_NEAR(magnitude, std::abs((*expected)[0]), 1e-9) << system;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SteadyState, CommandLineWorkedCase, testing::ValuesIn(WorkedCases::steadyStateCases()),
                         WorkedCases::caseName);

// The source impedance ratio beside the phasors: |ZS1| / |ZD|, none for a
// fault at the relay.
TEST(KexcalcRun, SourceImpedanceRatio) {
    const std::vector<std::string> arguments{"impedance", "--kind", "AN", "--z", "0,4", "--source-z", "0,1"};
    EXPECT_NEAR(runJson(arguments).at("sir").get<double>(), 0.25, 1e-12);
    EXPECT_NE(runKexcalc(arguments).out.find("SIR (|ZS1| / |ZD|): 0.250000"), std::string::npos);
    EXPECT_TRUE(runJson({"impedance", "--kind", "AN", "--z", "0@75", "--source-z", "1@85"}).at("sir").is_null());
}

TEST(KexcalcRun, TableOfFaultBcVoltage) {
    const RunResult run = runKexcalc({"fault", "--kind", "BC", "--type", "voltage", "--value", "100"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Voltages (V)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("57.735027      90.000000"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("50.000000     -28.867513"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("-0.000000"), std::string::npos) << run.out;
}

TEST(KexcalcRun, HelpOfEachSubcommandNamesUnits) {
    const struct {
        const char* command;
        const char* unit;
    } cases[] = {{"fault", "degrees"}, {"power", "VA"}, {"impedance", "ohm"}, {"sym", "MAGNITUDE@DEGREES"}};
    for (const auto& c : cases) {
        const RunResult run = runKexcalc({c.command, "--help"});
        EXPECT_EQ(run.exitCode, 0) << c.command;
        EXPECT_NE(run.out.find(c.unit), std::string::npos) << c.command;
        EXPECT_NE(run.out.find("--json"), std::string::npos) << c.command;
    }
}

TEST(KexcalcRun, VersionIsTheProjectVersion) {
    const RunResult run = runKexcalc({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "kexcalc " KEX_VERSION "\n");
}

struct BadInvocation {
    std::vector<std::string> arguments;
    const char* named;  // what the message must name
};

void PrintTo(const BadInvocation& invocation, std::ostream* out) {
    *out << "kexcalc";
    for (const std::string& argument : invocation.arguments) {
        *out << " '" << argument << "'";
    }
}

std::string badInvocationName(const testing::TestParamInfo<BadInvocation>& param) {
    std::string name = "Case" + std::to_string(param.index) + "_";
    for (const char* c = param.param.named; *c != '\0'; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) != 0 ? *c : '_';
    }
    return name;
}

class KexcalcBadArguments : public testing::TestWithParam<BadInvocation> {};

// Exit code 2, one line on stderr naming the argument, nothing on stdout.
TEST_P(KexcalcBadArguments, ExitTwoWithOneLineNamingTheArgument) {
    const RunResult run = runKexcalc(GetParam().arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_NE(run.err.find(GetParam().named), std::string::npos) << run.err;
}

const std::vector<std::string> kBcFault{"fault", "--kind", "BC", "--type", "voltage"};

std::vector<std::string> bcFaultWith(std::vector<std::string> more) {
    std::vector<std::string> arguments = kBcFault;
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

INSTANTIATE_TEST_SUITE_P(
    Table, KexcalcBadArguments,
    testing::Values(
        BadInvocation{{}, "subcommand"}, BadInvocation{{"faults"}, "faults"},
        BadInvocation{{"fault", "--kind", "XY", "--type", "voltage", "--value", "1"}, "--kind"},
        BadInvocation{{"fault", "--kind", "BC", "--type", "power", "--value", "1"}, "--type"},
        BadInvocation{kBcFault, "--value"}, BadInvocation{bcFaultWith({"--value"}), "--value"},
        BadInvocation{bcFaultWith({"--value", "12x"}), "--value"},
        BadInvocation{bcFaultWith({"--value", "inf"}), "--value"},
        BadInvocation{bcFaultWith({"--value", "1", "--angle", "nan"}), "--angle"},
        BadInvocation{bcFaultWith({"--value", "1", "--healthy", ""}), "--healthy"},
        BadInvocation{bcFaultWith({"--value", "1", "--phase", "A"}), "--phase"},
        BadInvocation{bcFaultWith({"--value", "1", "--value", "2"}), "--value: given 2 times; give it once"},
        BadInvocation{{"power", "--kind", "AN", "--power", "100,0"}, "--current"},
        BadInvocation{{"power", "--kind", "AN", "--power", "100,0", "--current", "1", "--voltage", "2"}, "--voltage"},
        BadInvocation{{"power", "--kind", "AN", "--power", "1,2,3", "--current", "1"}, "--power"},
        BadInvocation{{"power", "--kind", "AN", "--power", "100", "--voltage", "0"}, "--voltage"},
        BadInvocation{{"power", "--kind", "AN", "--power", "100", "--current", "1e-300"},
                      "--power, --current: the result"},
        // Library guards that would print zeros: a loop without impedance at constant voltage.
        BadInvocation{{"impedance", "--kind", "AN", "--z", "0", "--voltage", "5"}, "--z, --k0: the fault loop has no"},
        BadInvocation{{"impedance", "--kind", "AN", "--z", "1@80", "--k0", "1@180", "--voltage", "5"}, "--z, --k0"},
        BadInvocation{{"impedance", "--kind", "BC", "--z", "5@0", "--arc-resistance", "--voltage", "5"},
                      "--z, --arc-resistance"},
        BadInvocation{{"impedance", "--kind", "AN", "--z", "1@0", "--current", "1", "--line-angle", "70"},
                      "--line-angle: only used with --arc-resistance"},
        BadInvocation{
            {"impedance", "--kind", "AN", "--z", "1@0", "--current", "1", "--arc-resistance", "--line-angle", "400"},
            "--line-angle: the angle of a line impedance lies above 0 and at most 90"},
        BadInvocation{{"impedance", "--kind", "ABC_lin", "--z", "1@0", "--current", "1"}, "--kind"},
        BadInvocation{{"impedance", "--kind", "AN", "--z", "-1@0", "--current", "1"}, "--z"},
        BadInvocation{{"impedance", "--kind", "AN", "--z", "1@0", "--current", "1", "--ground-factor", "k1"},
                      "--ground-factor"},
        BadInvocation{
            {"impedance", "--kind", "AN", "--z", "1@0", "--current", "1", "--ground-factor", "z0-z1", "--k0", "1@0"},
            "--k0"},
        BadInvocation{{"impedance", "--kind", "AN", "--z", "1@0", "--current", "1", "--line-angle", "x"},
                      "--line-angle"},
        BadInvocation{{"impedance", "--kind", "AN", "--z", "1@0"}, "--source-z"},
        BadInvocation{{"impedance", "--kind", "AN", "--z", "1@0", "--source-z", "1@80", "--current", "1"},
                      "--source-z"},
        BadInvocation{{"impedance", "--kind", "AN", "--z", "1@0", "--current", "1", "--source-voltage", "60"},
                      "--source-voltage"},
        BadInvocation{{"impedance", "--kind", "AN", "--z", "1@0", "--source-z", "-1,8"}, "--source-z"},
        BadInvocation{{"impedance", "--kind", "AN", "--z", "1@0", "--source-z", "1@80", "--source-factors", "1,-1"},
                      "--source-factors"},
        BadInvocation{{"impedance", "--kind", "AN", "--z", "1@0", "--source-z", "1@80", "--source-voltage", "-60"},
                      "--source-voltage"},
        BadInvocation{{"impedance", "--kind", "AN", "--z", "1@0", "--source-z", "1@80", "--healthy", "1"}, "--healthy"},
        // A reverse impedance point that cancels the source: the loop has no impedance.
        BadInvocation{{"impedance", "--kind", "ABC", "--z", "-1,-10", "--source-z", "1,10"}, "--source-z"},
        BadInvocation{{"sym", "--negative", "1@"}, "--negative"},
        BadInvocation{{"sym", "--quantity", "power"}, "--quantity"}),
    badInvocationName);

}  // namespace
