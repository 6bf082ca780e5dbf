#include "PhasorFormat.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>

#include "CommandLine.h"

namespace kexcalc {
namespace {

using KexCalculate::Complex;
using testing::StartsWith;
using testing::ThrowsMessage;

TEST(ParseNumber, AcceptsDecimalForms) {
    const struct {
        const char* text;
        double value;
    } cases[] = {{"100", 100.0}, {"-2.5", -2.5}, {"+5", 5.0}, {" 7 ", 7.0}, {"1e3", 1000.0}, {".5", 0.5}, {"-0", 0.0}};
    for (const auto& c : cases) {
        EXPECT_EQ(parseNumber(c.text, "--value"), c.value) << c.text;
    }
}

// Every rejection names the argument first.
TEST(ParseNumber, RejectsMalformedAndNonFinite) {
    for (const char* text : {"", " ", "abc", "1.2.3", "5V", "1,5", "inf", "-inf", "nan", "1e999", "0x10", "+-1", "+"}) {
        EXPECT_THAT([text] { parseNumber(text, "--value"); }, ThrowsMessage<ArgumentError>(StartsWith("--value: ")))
            << "'" << text << "'";
    }
}

TEST(ParsePhasor, RectangularPolarAndReal) {
    const PhasorArgument rectangular = parsePhasor("3,-4", "--power");
    EXPECT_EQ(rectangular.rectangular.re, 3.0);
    EXPECT_EQ(rectangular.rectangular.im, -4.0);
    EXPECT_DOUBLE_EQ(rectangular.polar.amplitude, 5.0);
    EXPECT_DOUBLE_EQ(rectangular.polar.angle, std::atan2(-4.0, 3.0));

    // 2@90 is 2j, and the polar form keeps the exact magnitude and angle.
    const PhasorArgument polar = parsePhasor("2@90", "--z");
    EXPECT_EQ(polar.polar.amplitude, 2.0);
    EXPECT_DOUBLE_EQ(polar.polar.angle, kPi / 2.0);
    EXPECT_NEAR(polar.rectangular.re, 0.0, 1e-15);
    EXPECT_DOUBLE_EQ(polar.rectangular.im, 2.0);

    const PhasorArgument lagging = parsePhasor(" 10 @ -120 ", "--positive");
    EXPECT_DOUBLE_EQ(lagging.rectangular.re, -5.0);
    EXPECT_DOUBLE_EQ(lagging.rectangular.im, -10.0 * std::sqrt(3.0) / 2.0);

    const PhasorArgument real = parsePhasor("-5", "--zero");
    EXPECT_EQ(real.rectangular.re, -5.0);
    EXPECT_EQ(real.rectangular.im, 0.0);
    EXPECT_EQ(real.polar.amplitude, 5.0);
    EXPECT_DOUBLE_EQ(real.polar.angle, kPi);
}

TEST(ParsePhasor, RejectsMalformedForms) {
    for (const char* text : {"1,2,3", "1@2@3", "1,2@3", "-1@30", "@30", "1@", ",", "a,b", "1,inf", "nan@0", ""}) {
        EXPECT_THAT([text] { parsePhasor(text, "--z"); }, ThrowsMessage<ArgumentError>(StartsWith("--z")))
            << "'" << text << "'";
    }
}

TEST(ParseChoice, FaultKindsIgnoreLetterCase) {
    EXPECT_EQ(parseChoice<KexCalculate::Fault>("abc_lin", faultKindChoices(), "--kind"), KexCalculate::ABC_lin);
    EXPECT_EQ(parseChoice<KexCalculate::Fault>("bC", faultKindChoices(), "--kind"), KexCalculate::BC);
    EXPECT_EQ(parseChoice<KexCalculate::Fault>("CAN", faultKindChoices(), "--kind"), KexCalculate::CAN);
    EXPECT_EQ(faultKindChoices().size(), 11U);
    EXPECT_THROW(parseChoice<KexCalculate::Fault>("ABCN", faultKindChoices(), "--kind"), ArgumentError);
    EXPECT_THROW(parseChoice<KexCalculate::Fault>("A", faultKindChoices(), "--kind"), ArgumentError);
}

TEST(PhasorOutput, AnglesInDegreesWithoutNegativeZeroOrMinus180) {
    EXPECT_DOUBLE_EQ(phasorAngleDegrees(Complex(0.0, -3.0)), -90.0);
    EXPECT_EQ(phasorAngleDegrees(Complex(-1.0, -0.0)), 180.0);
    // A zero phasor built with negative zeros still stands at 0 degrees.
    EXPECT_EQ(phasorAngleDegrees(Complex(-0.0, 0.0)), 0.0);
    EXPECT_DOUBLE_EQ(phasorMagnitude(Complex(3.0, 4.0)), 5.0);
}

TEST(PhasorOutput, TableNumbersHaveSixDecimalsAndNoNegativeZero) {
    EXPECT_EQ(formatTableNumber(57.735026918962575), "57.735027");
    EXPECT_EQ(formatTableNumber(-1.5), "-1.500000");
    EXPECT_EQ(formatTableNumber(-0.0), "0.000000");
    EXPECT_EQ(formatTableNumber(-4e-17), "0.000000");
    EXPECT_EQ(formatTableNumber(999999999.25), "999999999.250000");
    EXPECT_EQ(formatTableNumber(-1e308), "-1e+308");
    EXPECT_EQ(formatTableNumber(1234567890123.0), "1.234568e+12");
    // The angle of a phasor that prints as zero is 0, whatever its rounding noise says.
    EXPECT_EQ(tableAngleDegrees(Complex(-1e-17, 0.0)), 0.0);
}

TEST(PhasorOutput, JsonKeepsFullPrecision) {
    KexCalculate::ThreePhaseSystem currents;
    currents.a(Complex(1.0 / 3.0, -0.0));
    currents.b(Complex(0.0, 2.0));
    const PhasorReport report{{Quantity::Current, currents}};
    const nlohmann::json document = nlohmann::json::parse(renderJson(report));
    EXPECT_FALSE(document.contains("voltages"));
    const nlohmann::json& a = document.at("currents").at("A");
    EXPECT_EQ(a.at("re").get<double>(), 1.0 / 3.0);
    EXPECT_FALSE(std::signbit(a.at("im").get<double>()));
    EXPECT_EQ(a.at("magnitude").get<double>(), 1.0 / 3.0);
    EXPECT_EQ(document.at("currents").at("B").at("angleDeg").get<double>(), 90.0);
    EXPECT_EQ(document.at("currents").at("C").at("magnitude").get<double>(), 0.0);
}

TEST(PhasorOutput, NonFiniteResultIsDetected) {
    KexCalculate::ThreePhaseSystem voltages;
    EXPECT_TRUE(isFinite({{Quantity::Voltage, voltages}}));
    voltages.c(Complex(0.0, std::nan("")));
    EXPECT_FALSE(isFinite({{Quantity::Voltage, voltages}}));
}

}  // namespace
}  // namespace kexcalc
