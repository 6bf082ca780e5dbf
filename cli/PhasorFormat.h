// Phasors on the command line: reading "RE,IM" and "MAGNITUDE@DEGREES",
// converting degrees at the library boundary, and printing three-phase systems
// as a table or as JSON.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "Complex.h"
#include "KexCommon.h"
#include "ThreePhaseSystem.h"

namespace kexcalc {

constexpr double kPi = 3.14159265358979323846;

constexpr double degreesToRadians(double degrees) { return degrees * (kPi / 180.0); }
constexpr double radiansToDegrees(double radians) { return radians * (180.0 / kPi); }

// A phasor as the user wrote it, in both forms: a polar entry keeps its
// magnitude and angle exactly, a rectangular one its real and imaginary part.
struct PhasorArgument {
    KexCalculate::Complex rectangular;
    Kex::Polar polar;  // angle in radians
};

// "RE,IM" (rectangular), "MAGNITUDE@DEGREES" (polar, magnitude not negative)
// or a plain number (real). Every part must be a finite number.
PhasorArgument parsePhasor(const std::string& text, const std::string& argument);

// Magnitude and angle of a phasor; the angle of a zero phasor is 0 and an
// angle of -180 degrees is given as +180.
double phasorMagnitude(const KexCalculate::Complex& z);
double phasorAngleDegrees(const KexCalculate::Complex& z);

enum class Quantity { Voltage, Current };

// One system of the output with what it measures.
struct QuantitySystem {
    Quantity quantity;
    KexCalculate::ThreePhaseSystem system;
};

using PhasorReport = std::vector<QuantitySystem>;

// A real figure that characterises the result, printed after the systems.
struct ReportFigure {
    const char* jsonKey;
    const char* label;  // the table's name for it, with its definition
    double value;
};

using ReportFigures = std::vector<ReportFigure>;

// True when every phase value of every system is finite.
bool isFinite(const PhasorReport& report);

// "57.735027": six decimals, with a negative zero printed as 0; a magnitude
// of 1e9 and more in seven significant digits ("1.5e+12", "-1.234568e+307"),
// so that a column holds a number of at most 14 characters, not 300 digits.
std::string formatTableNumber(double value);

// The angle as a table shows it: 0 for a phasor whose magnitude prints as
// zero, where the angle would be rounding noise.
double tableAngleDegrees(const KexCalculate::Complex& z);

// For each system a heading with its unit and one row per phase: phase,
// magnitude, angle in degrees, real part, imaginary part; then a line
// "label: value" for each figure.
std::string renderTable(const PhasorReport& report, const ReportFigures& figures = {});

// {"magnitude":..,"angleDeg":..,"re":..,"im":..} in full precision, a
// negative zero written as 0.
nlohmann::ordered_json phasorJson(const KexCalculate::Complex& z);

// {"voltages":{"A":{"magnitude":..,"angleDeg":..,"re":..,"im":..},"B":..,"C":..},
//  "currents":{...}}, with only the systems of the report, numbers in full
// precision, then each figure under its key (null when it is not finite).
std::string renderJson(const PhasorReport& report, const ReportFigures& figures = {});

}  // namespace kexcalc
