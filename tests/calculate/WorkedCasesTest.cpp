// The library on the steady-state worked cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>

#include "CalculationFault.h"
#include "CalculationP.h"
#include "CalculationSymComponents.h"
#include "CalculationZ.h"
#include "WorkedCases.h"

namespace {

using namespace KexCalculate;
using WorkedCases::Phases;
using WorkedCases::phasor;

constexpr double kDegree = 3.141592653589793 / 180.0;
// In the order of the Fault values.
const char* const kKindNames[] = {"AN", "BN", "CN", "AB", "BC", "CA", "ABC", "ABN", "BCN", "CAN", "ABC_lin"};

Fault kindOf(const nlohmann::json& c) {
    const auto name = std::find(std::begin(kKindNames), std::end(kKindNames), c.at("kind").get<std::string>());
    EXPECT_NE(name, std::end(kKindNames)) << c.at("kind");
    return static_cast<Fault>(name - std::begin(kKindNames));
}

Complex complexOf(const nlohmann::json& pair) {
    const WorkedCases::Phasor z = phasor(pair);
    return {z.real(), z.imag()};
}

Kex::Polar polarOf(const nlohmann::json& pair) {
    const WorkedCases::Phasor z = phasor(pair);
    return {std::abs(z), std::arg(z)};
}

Phases phasesOf(const ThreePhaseSystem& s) {
    const auto phasorOf = [](const Complex& z) { return WorkedCases::Phasor(z.re, z.im); };
    return {phasorOf(s.a()), phasorOf(s.b()), phasorOf(s.c())};
}

ThreePhaseUISystem calculated(const nlohmann::json& c) {
    const std::string calculation = c.at("calculation");
    const bool voltage = c.contains("voltage");
    const double held = c.value(voltage ? "voltage" : "current", 0.0);
    if (calculation == "power") {
        Complex power = complexOf(c.at("power"));
        return voltage ? CalculationP::calculatePUconst(kindOf(c), power, held)
                       : CalculationP::calculatePIconst(kindOf(c), power, held);
    }
    if (calculation == "impedance") {
        CalculationZ calculator;
        calculator.voltageReference = c.value("voltageReference", false);
        DistanceParameters settings;
        if (c.contains("k0")) {
            settings.loop.k0 = polarOf(c.at("k0"));
        }
        const Kex::Polar z = polarOf(c.at("z"));
        if (c.contains("sourceZ")) {
            return calculator.calculateZZsconst(kindOf(c), z, complexOf(c.at("sourceZ")),
                                                complexOf(c.at("sourceFactors")), c.at("sourceVoltage"), settings);
        }
        return voltage ? calculator.calculateZUconst(kindOf(c), z, held, -1.0, settings)
                       : calculator.calculateZIconst(kindOf(c), z, held, -1.0, settings);
    }
    // A fault or a set of sequence components: one system, of the voltages or of the currents.
    const bool ofVoltage = c.at("quantity") == "voltage";
    const auto sequence = [&c](const char* name) { return complexOf(c.value(name, nlohmann::json{0, 0})); };
    const ThreePhaseSystem s =
        calculation == "fault"
            ? CalculationFault::calculateFault(ofVoltage ? KexRelay::Voltage : KexRelay::Current, kindOf(c),
                                               c.at("value").get<double>(), c.value("angleDeg", 0.0) * kDegree, -1.0)
            : ThreePhaseSystem(CalculationSymComponents::CalcComplex3PhseSystem(sequence("zero"), sequence("positive"),
                                                                                sequence("negative")));
    return ofVoltage ? ThreePhaseUISystem(s, ThreePhaseSystem()) : ThreePhaseUISystem(ThreePhaseSystem(), s);
}

TEST(WorkedCases, LibraryGivesTheWorkedPhasors) {
    for (const nlohmann::json& c : WorkedCases::steadyStateCases()) {
        SCOPED_TRACE(c.at("name").get<std::string>());
        const ThreePhaseUISystem ui = calculated(c);
        if (const auto voltages = WorkedCases::expected(c, "voltages")) {
            EXPECT_TRUE(WorkedCases::phasesNear(phasesOf(ui.voltages), *voltages));
        }
        if (const auto currents = WorkedCases::expected(c, "currents")) {
            EXPECT_TRUE(WorkedCases::phasesNear(phasesOf(ui.currents), *currents));
        }
    }
}

}  // namespace
