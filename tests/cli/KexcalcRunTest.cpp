// Runs of the built kexcalc program: the numbers it prints and its answers to
// bad arguments.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cctype>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "KexcalcRun.h"

namespace {

using KexcalcTest::RunResult;
using KexcalcTest::runKexcalc;

using Phasor = std::complex<double>;

Phasor phase(const nlohmann::json& system, const char* name) {
    const nlohmann::json& value = system.at(name);
    return {value.at("re").get<double>(), value.at("im").get<double>()};
}

Phasor polar(double magnitude, double degrees) { return std::polar(magnitude, degrees * std::acos(-1.0) / 180.0); }

void expectPhasor(const nlohmann::json& system, const char* name, Phasor expected) {
    const nlohmann::json& value = system.at(name);
    const Phasor actual = phase(system, name);
    EXPECT_NEAR(actual.real(), expected.real(), 1e-9) << name;
    EXPECT_NEAR(actual.imag(), expected.imag(), 1e-9) << name;
    EXPECT_NEAR(value.at("magnitude").get<double>(), std::abs(expected), 1e-9) << name;
    if (std::abs(expected) > 1e-9) {
        EXPECT_NEAR(value.at("angleDeg").get<double>(), std::arg(expected) * 180.0 / std::acos(-1.0), 1e-9) << name;
    }
}

nlohmann::json runJson(std::vector<std::string> arguments) {
    arguments.emplace_back("--json");
    const RunResult run = runKexcalc(arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    return nlohmann::json::parse(run.out);
}

const double kHealthyVoltage = 100.0 / std::sqrt(3.0);

// 100 V between B and C, A at the healthy 100/sqrt(3) V: the phases of a
// balanced 100 V line-to-line system, with B - C along 0 degrees.
TEST(KexcalcRun, FaultBcVoltage) {
    const nlohmann::json out = runJson({"fault", "--kind", "BC", "--type", "voltage", "--value", "100"});
    ASSERT_FALSE(out.contains("currents"));
    const nlohmann::json& u = out.at("voltages");
    expectPhasor(u, "A", {0.0, kHealthyVoltage});
    expectPhasor(u, "B", {50.0, -kHealthyVoltage / 2.0});
    expectPhasor(u, "C", {-50.0, -kHealthyVoltage / 2.0});
}

// Default ground factor k0 = 1: the loop impedance is Z (1 + k0) = 2 Z, so
// 5 A give 20 V at the angle of Z; without a ground factor 10 V. The currents
// stand at 0 degrees and the healthy voltages keep their places around A.
TEST(KexcalcRun, ImpedanceAnAtConstantCurrent) {
    const struct {
        std::vector<std::string> extra;
        double loopVoltage;
    } cases[] = {{{}, 20.0}, {{"--ground-factor", "none"}, 10.0}, {{"--k0", "0.5@0"}, 15.0}};
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"impedance", "--kind", "AN", "--z", "2@28.648", "--current", "5"};
        arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
        const nlohmann::json out = runJson(arguments);
        expectPhasor(out.at("voltages"), "A", polar(c.loopVoltage, 28.648));
        expectPhasor(out.at("voltages"), "B", polar(kHealthyVoltage, 28.648 - 120.0));
        expectPhasor(out.at("voltages"), "C", polar(kHealthyVoltage, 28.648 + 120.0));
        expectPhasor(out.at("currents"), "A", {5.0, 0.0});
        expectPhasor(out.at("currents"), "B", {0.0, 0.0});
        expectPhasor(out.at("currents"), "C", {0.0, 0.0});
    }
}

// Between two phases the relay sees (UB - UC) / (IB - IC), which must be the
// impedance point itself, whichever quantity is held and whichever is the
// angle reference.
TEST(KexcalcRun, ImpedanceBcLoopSeesTheImpedancePoint) {
    const std::vector<std::vector<std::string>> variants{
        {"--current", "4"}, {"--voltage", "30"}, {"--current", "4", "--voltage-reference"}};
    for (const auto& variant : variants) {
        std::vector<std::string> arguments{"impedance", "--kind", "bc", "--z", "3,4"};
        arguments.insert(arguments.end(), variant.begin(), variant.end());
        const nlohmann::json out = runJson(arguments);
        const Phasor seen = (phase(out.at("voltages"), "B") - phase(out.at("voltages"), "C")) /
                            (phase(out.at("currents"), "B") - phase(out.at("currents"), "C"));
        EXPECT_NEAR(seen.real(), 3.0, 1e-9) << variant.front();
        EXPECT_NEAR(seen.imag(), 4.0, 1e-9) << variant.front();
    }
}

// 100 V behind ZS1 = j1 with ZS0 = 4 ZS1 (self j2, mutual j1) feed an A-to-ground
// fault at ZD = j4 with k0 = 1 (line self j8): I_A = 100 / j10, 10 A at 0 deg
// once turned by 90 deg, U_A = j8 I_A = j80, and U_B = 100 at -30 deg less the
// mutual drop j1 I_A. SIR = 1/4; a fault at the relay has no finite SIR.
TEST(KexcalcRun, ImpedanceAtConstantSourceImpedance) {
    const std::vector<std::string> arguments{"impedance", "--kind",           "AN",  "--z",
                                             "0,4",       "--source-z",       "0,1", "--source-factors",
                                             "4,4",       "--source-voltage", "100"};
    const nlohmann::json out = runJson(arguments);
    expectPhasor(out.at("currents"), "A", {10.0, 0.0});
    expectPhasor(out.at("voltages"), "A", {0.0, 80.0});
    expectPhasor(out.at("voltages"), "B", {50.0 * std::sqrt(3.0), -60.0});
    EXPECT_NEAR(out.at("sir").get<double>(), 0.25, 1e-12);
    EXPECT_NE(runKexcalc(arguments).out.find("SIR (|ZS1| / |ZD|): 0.250000"), std::string::npos);
    EXPECT_TRUE(runJson({"impedance", "--kind", "AN", "--z", "0@75", "--source-z", "1@85"}).at("sir").is_null());
}

// A phase-to-ground fault carries the whole power in the faulted phase: the
// held quantity stands at 0 degrees with the given magnitude, and the other
// one takes |S| divided by it and the angle of S.
TEST(KexcalcRun, PowerOfFaultedPhase) {
    const struct {
        const char* held;
        const char* heldSystem;
        const char* computedSystem;
    } cases[] = {{"--current", "currents", "voltages"}, {"--voltage", "voltages", "currents"}};
    for (const auto& c : cases) {
        const nlohmann::json out = runJson({"power", "--kind", "AN", "--power", "100@30", c.held, "5"});
        expectPhasor(out.at(c.heldSystem), "A", {5.0, 0.0});
        expectPhasor(out.at(c.computedSystem), "A", polar(20.0, 30.0));
    }
}

// A pure positive sequence is the balanced set A, A at -120, A at +120.
TEST(KexcalcRun, SymPositiveSequence) {
    const nlohmann::json out = runJson({"sym", "--positive", "10@30", "--quantity", "current"});
    ASSERT_FALSE(out.contains("voltages"));
    expectPhasor(out.at("currents"), "A", polar(10.0, 30.0));
    expectPhasor(out.at("currents"), "B", polar(10.0, -90.0));
    expectPhasor(out.at("currents"), "C", polar(10.0, 150.0));
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
