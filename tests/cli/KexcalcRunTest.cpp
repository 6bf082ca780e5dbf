// Runs of the built kexcalc program: the numbers it prints and its answers to
// bad arguments.
#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <complex>
#include <filesystem>
#include <string>
#include <vector>

#include "KexcalcRun.h"
#include "WorkedCases.h"

namespace {

namespace fs = std::filesystem;
using KexcalcTest::runKexcalc;
using KexcalcTest::RunResult;

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

// The command line of a worked case, its options named as the case's fields;
// numbers as the data file writes them.
std::vector<std::string> argumentsOf(const nlohmann::json& c) {
    std::vector<std::string> arguments{c.at("calculation").get<std::string>()};
    const struct {
        const char* field;
        const char* option;
    } options[] = {{"kind", "--kind"},
                   {"quantity", "--type"},
                   {"value", "--value"},
                   {"angleDeg", "--angle"},
                   {"power", "--power"},
                   {"z", "--z"},
                   {"current", "--current"},
                   {"voltage", "--voltage"},
                   {"k0", "--k0"},
                   {"sourceZ", "--source-z"},
                   {"sourceFactors", "--source-factors"},
                   {"sourceVoltage", "--source-voltage"},
                   {"zero", "--zero"},
                   {"positive", "--positive"},
                   {"negative", "--negative"}};
    for (const auto& o : options) {
        if (c.contains(o.field)) {
            const nlohmann::json& value = c.at(o.field);
            const bool symQuantity = c.at("calculation") == "sym" && std::string(o.field) == "quantity";
            arguments.insert(arguments.end(), {symQuantity ? "--quantity" : o.option,
                                               value.is_array()    ? value.at(0).dump() + "," + value.at(1).dump()
                                               : value.is_string() ? value.get<std::string>()
                                                                   : value.dump()});
        }
    }
    if (c.value("voltageReference", false)) {
        arguments.emplace_back("--voltage-reference");
    }
    return arguments;
}

TEST(KexcalcRun, PrintsThePhasorsOfEveryWorkedCase) {
    for (const nlohmann::json& c : WorkedCases::steadyStateCases()) {
        SCOPED_TRACE(c.at("name").get<std::string>());
        const nlohmann::json out = runJson(argumentsOf(c));
        for (const char* system : {"voltages", "currents"}) {
            const auto expected = WorkedCases::expected(c, system);
            ASSERT_EQ(out.contains(system), expected.has_value()) << system;
            if (expected) {
                const nlohmann::json& printed = out.at(system);
                EXPECT_TRUE(
                    WorkedCases::phasesNear({phase(printed, "A"), phase(printed, "B"), phase(printed, "C")}, *expected))
                    << system;
            }
        }
    }
}

// No ground return: the loop of 2 ohm carries 5 A at 10 V, not the 20 V of
// the default k0 = 1 (a worked case).
TEST(KexcalcRun, GroundFactorNoneDropsTheGroundReturn) {
    const nlohmann::json out =
        runJson({"impedance", "--kind", "AN", "--z", "2", "--current", "5", "--ground-factor", "none"});
    EXPECT_NEAR(std::abs(phase(out.at("voltages"), "A") - Phasor(10.0, 0.0)), 0.0, 1e-9);
}

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

// Each subcommand's help names its units and options; transient's also the
// scenario keys and the exit codes.
TEST(KexcalcRun, HelpOfEachSubcommandNamesUnitsAndOptions) {
    const struct {
        const char* command;
        std::vector<const char*> texts;
    } cases[] = {{"fault", {"degrees", "--json"}},
                 {"power", {"VA", "--json"}},
                 {"impedance", {"ohm", "--json"}},
                 {"sym", {"MAGNITUDE@DEGREES", "--json"}},
                 {"transient",
                  {"--out", "--name", "--rev", "--comtrade-format", "--cff", "--no-plot", "--json", "--print-default",
                   "--print-scenario", "initialAngleDeg", "asyncSlipPeriod", "zSwitched", "aperiodicModel",
                   "single-time-constant", "sampleRate", "4 294 967 295", "ct.remanence", "IA ideal", "Exit codes"}}};
    for (const auto& c : cases) {
        const RunResult run = runKexcalc({c.command, "--help"});
        EXPECT_EQ(run.exitCode, 0) << c.command;
        for (const char* text : c.texts) {
            EXPECT_NE(run.out.find(text), std::string::npos) << c.command << ": " << text;
        }
    }
}

TEST(KexcalcRun, VersionIsTheProjectVersion) {
    const RunResult run = runKexcalc({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "kexcalc " KEX_VERSION "\n");
}

// Exit code 2, one line on stderr naming the argument, nothing on stdout, and
// no output directory: a transient run gets one of its own to leave alone.
TEST(KexcalcRun, BadArgumentsExitTwoWithOneLineNamingTheArgument) {
    const fs::path out = fs::temp_directory_path() / ("kexcalc-bad-arguments-" + std::to_string(getpid()));
    for (const nlohmann::json& c : TestData::table("command_line.json", "badArguments")) {
        SCOPED_TRACE(c.dump());
        std::vector<std::string> arguments = c.at("arguments");
        if (!arguments.empty() && arguments[0] == "transient" &&
            std::find(arguments.begin(), arguments.end(), "--out") == arguments.end()) {
            arguments.insert(arguments.end(), {"--out", out.string()});
        }
        KexcalcTest::expectRefused(runKexcalc(arguments), c.at("named"));
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(fs::exists("--no-plot"));
    }
}

}  // namespace
