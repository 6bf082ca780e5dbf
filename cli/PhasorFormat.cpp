#include "PhasorFormat.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <iomanip>
#include <sstream>

#include "CommandLine.h"

namespace kexcalc {

namespace {

using KexCalculate::Complex;

struct PhaseName {
    KexCalculate::Phase phase;
    const char* name;
};

constexpr std::array<PhaseName, 3> kPhases{{{KexCalculate::A, "A"}, {KexCalculate::B, "B"}, {KexCalculate::C, "C"}}};

const char* heading(Quantity quantity) { return quantity == Quantity::Voltage ? "Voltages (V)" : "Currents (A)"; }
const char* jsonKey(Quantity quantity) { return quantity == Quantity::Voltage ? "voltages" : "currents"; }

// The parts of "x<separator>y", each read as a number.
std::array<double, 2> parsePair(const std::string& text, std::size_t separator, const std::string& argument,
                                const char* firstName, const char* secondName) {
    const std::string first = text.substr(0, separator);
    const std::string second = text.substr(separator + 1);
    if (second.find_first_of(",@") != std::string::npos) {
        throw ArgumentError(argument, "'" + text + "' is neither RE,IM nor MAGNITUDE@DEGREES");
    }
    return {parseNumber(first, argument + " (" + firstName + ")"),
            parseNumber(second, argument + " (" + secondName + ")")};
}

double withoutNegativeZero(double value) { return value == 0.0 ? 0.0 : value; }

}  // namespace

PhasorArgument parsePhasor(const std::string& text, const std::string& argument) {
    const std::size_t at = text.find('@');
    const std::size_t comma = text.find(',');
    if (at != std::string::npos && comma != std::string::npos) {
        throw ArgumentError(argument, "'" + text + "' mixes RE,IM and MAGNITUDE@DEGREES");
    }
    if (at != std::string::npos) {
        const auto [magnitude, degrees] = parsePair(text, at, argument, "magnitude", "angle");
        if (magnitude < 0.0) {
            throw ArgumentError(argument, "the magnitude in '" + text + "' is negative");
        }
        const Kex::Polar polar{magnitude, degreesToRadians(degrees)};
        return {Complex::fromPolar(polar), polar};
    }
    Complex rectangular;
    if (comma != std::string::npos) {
        const auto [re, im] = parsePair(text, comma, argument, "real part", "imaginary part");
        rectangular = Complex(re, im);
    } else {
        rectangular = Complex(parseNumber(text, argument), 0.0);
    }
    return {rectangular, Kex::Polar{Complex::abs(rectangular), std::atan2(rectangular.im, rectangular.re)}};
}

double phasorMagnitude(const Complex& z) { return std::hypot(z.re, z.im); }

double phasorAngleDegrees(const Complex& z) {
    if (z.re == 0.0 && z.im == 0.0) {
        return 0.0;
    }
    const double degrees = radiansToDegrees(std::atan2(z.im, z.re));
    return degrees <= -180.0 ? 180.0 : withoutNegativeZero(degrees);
}

double tableAngleDegrees(const Complex& z) {
    const std::string magnitude = formatTableNumber(phasorMagnitude(z));
    return magnitude.find_first_not_of("0.") == std::string::npos ? 0.0 : phasorAngleDegrees(z);
}

bool isFinite(const PhasorReport& report) {
    for (const QuantitySystem& entry : report) {
        for (const PhaseName& phase : kPhases) {
            const Complex value = entry.system.getPhaseComplexValue(phase.phase);
            if (!std::isfinite(value.re) || !std::isfinite(value.im)) {
                return false;
            }
        }
    }
    return true;
}

std::string formatTableNumber(double value) {
    constexpr double kLargestFixed = 1e9;
    std::ostringstream out;
    if (std::fabs(value) >= kLargestFixed) {
        out << std::setprecision(7) << value;
        return out.str();
    }
    out << std::fixed << std::setprecision(6) << value;
    std::string text = out.str();
    // A value that rounds to zero from below would print as -0.000000.
    if (!text.empty() && text[0] == '-' && text.find_first_not_of("0.", 1) == std::string::npos) {
        text.erase(0, 1);
    }
    return text;
}

std::string renderTable(const PhasorReport& report, const ReportFigures& figures) {
    constexpr int kPhaseWidth = 5;
    constexpr int kNumberWidth = 15;
    std::ostringstream out;
    bool first = true;
    for (const QuantitySystem& entry : report) {
        if (!first) {
            out << '\n';
        }
        first = false;
        out << heading(entry.quantity) << '\n';
        out << std::left << std::setw(kPhaseWidth) << "phase" << std::right << std::setw(kNumberWidth) << "magnitude"
            << std::setw(kNumberWidth) << "angle (deg)" << std::setw(kNumberWidth) << "real" << std::setw(kNumberWidth)
            << "imaginary" << '\n';
        for (const PhaseName& phase : kPhases) {
            const Complex value = entry.system.getPhaseComplexValue(phase.phase);
            out << std::left << std::setw(kPhaseWidth) << phase.name << std::right << std::setw(kNumberWidth)
                << formatTableNumber(phasorMagnitude(value)) << std::setw(kNumberWidth)
                << formatTableNumber(tableAngleDegrees(value)) << std::setw(kNumberWidth) << formatTableNumber(value.re)
                << std::setw(kNumberWidth) << formatTableNumber(value.im) << '\n';
        }
    }
    for (const ReportFigure& figure : figures) {
        out << '\n' << figure.label << ": " << formatTableNumber(figure.value) << '\n';
    }
    return out.str();
}

nlohmann::ordered_json phasorJson(const Complex& z) {
    return {{"magnitude", phasorMagnitude(z)},
            {"angleDeg", phasorAngleDegrees(z)},
            {"re", withoutNegativeZero(z.re)},
            {"im", withoutNegativeZero(z.im)}};
}

std::string renderJson(const PhasorReport& report, const ReportFigures& figures) {
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    for (const QuantitySystem& entry : report) {
        nlohmann::ordered_json phases = nlohmann::ordered_json::object();
        for (const PhaseName& phase : kPhases) {
            const Complex value = entry.system.getPhaseComplexValue(phase.phase);
            phases[phase.name] = phasorJson(value);
        }
        document[jsonKey(entry.quantity)] = phases;
    }
    for (const ReportFigure& figure : figures) {
        document[figure.jsonKey] = std::isfinite(figure.value) ? nlohmann::ordered_json(figure.value) : nullptr;
    }
    // nlohmann writes each double with the shortest text that reads back to
    // the same value, so nothing is lost.
    return document.dump(2) + '\n';
}

}  // namespace kexcalc
