#include "CalculationFault.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PhasorAssertions.h"

using namespace KexCalculate;
using namespace KexCalculateTest;
using KexRelay::Current;
using KexRelay::Voltage;

namespace {

constexpr double kTol = 1e-12;
const double kOneOverSqrt3 = 1.0 / std::sqrt(3.0);

// Phases A, B, C before the rotation, from the loop value F and the healthy value H.
using Placement = Complex3 (*)(double f, double h);

struct FaultCase {
    Fault fault;
    int shift;
    double voltageScale, currentScale;  // applied to the loop value
    Placement place;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << "Fault " << static_cast<int>(c.fault); }

Complex3 phaseToGround(double f, double h, int faulted) {
    Complex3 out;
    for (int k = 0; k < 3; ++k) {  // healthy phases keep their positive-sequence place around the faulted one
        const double angle = -kTwoThirdsPi * static_cast<double>((k - faulted + 3) % 3);
        out.ix(k) = polar(k == faulted ? f : h, angle);
    }
    return out;
}

Complex3 twoPhaseToGround(double f, double h, int first) {
    Complex3 out = phaseToGround(f, h, first);
    out.ix((first + 1) % 3) = polar(f, -kTwoThirdsPi);  // the second faulted phase lags the first by 120 deg
    return out;
}

Complex3 twoPhase(double f, double h, int first) {
    Complex3 out;
    out.ix(first) = Complex(f, -0.5 * h);
    out.ix((first + 1) % 3) = Complex(-f, -0.5 * h);
    out.ix((first + 2) % 3) = Complex(0, h);
    return out;
}

const FaultCase kFaultCases[] = {
    {AN, 2, 1, 1, [](double f, double h) { return phaseToGround(f, h, 0); }},
    {BN, 0, 1, 1, [](double f, double h) { return phaseToGround(f, h, 1); }},
    {CN, 1, 1, 1, [](double f, double h) { return phaseToGround(f, h, 2); }},
    {AB, 2, 0.5, 1, [](double f, double h) { return twoPhase(f, h, 0); }},
    {BC, 0, 0.5, 1, [](double f, double h) { return twoPhase(f, h, 1); }},
    {CA, 1, 0.5, 1, [](double f, double h) { return twoPhase(f, h, 2); }},
    {ABC, 0, 1, 1, [](double f, double) { return phaseToGround(f, f, 0); }},
    {ABN, 2, 1, 1, [](double f, double h) { return twoPhaseToGround(f, h, 0); }},
    {BCN, 0, 1, 1, [](double f, double h) { return twoPhaseToGround(f, h, 1); }},
    {CAN, 1, 1, 1, [](double f, double h) { return twoPhaseToGround(f, h, 2); }},
    {ABC_lin, 0, kOneOverSqrt3, kOneOverSqrt3, [](double f, double) { return phaseToGround(f, f, 0); }},
};

class FaultPlacement : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultPlacement, ShiftAndRotationPlaceTheFaultedPhases) {
    const FaultCase& c = GetParam();
    EXPECT_EQ(CalculationFault::_getShiftCount(c.fault), c.shift);
    constexpr double value = 10, healthy = 3, angle = 0.7;
    for (const auto type : {Current, Voltage}) {
        const Complex3 p = c.place(value * (type == Voltage ? c.voltageScale : c.currentScale), healthy);
        const Complex turn = polar(1, angle);
        const Complex a = p.values[0] * turn, b = p.values[1] * turn, cc = p.values[2] * turn;

        const ThreePhaseSystem s = CalculationFault::calculateFault(type, c.fault, value, angle, healthy);
        EXPECT_PHASES_NEAR(s, a, b, cc, kTol);
        EXPECT_COMPLEX_NEAR(s.n(), (a + b + cc) / Complex(3, 0), kTol);
        EXPECT_PHASES_NEAR(CalculationFault::calculateFault(type, c.fault, polar(value, angle), healthy), a, b, cc,
                           kTol);
    }
}

INSTANTIATE_TEST_SUITE_P(AllKinds, FaultPlacement, ::testing::ValuesIn(kFaultCases));

// The default healthy values (a negative one) are in the worked cases.
TEST(CalculationFault, ZeroAndNaNHealthyValues) {
    // Zero is a healthy value of its own, not the default.
    EXPECT_PHASES_NEAR(CalculationFault::calculateFault(Voltage, AN, 30, 0, 0.0), Complex(30, 0), Complex(), Complex(),
                       kTol);
    const ThreePhaseSystem unknownHealthy =
        CalculationFault::calculateFault(Voltage, AN, 30, 0, std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(std::isnan(unknownHealthy.b().re) && std::isnan(unknownHealthy.c().im));
}

TEST(CalculationFault, UnknownKindIsBalancedUnscaledUnshifted) {
    const auto unknown = static_cast<Fault>(42);
    EXPECT_EQ(CalculationFault::_getShiftCount(unknown), 0);
    EXPECT_EQ(CalculationFault::_getShiftCount(static_cast<Fault>(-1)), 0);
    EXPECT_PHASES_NEAR(CalculationFault::calculateFault(Voltage, unknown, 10, 0.5, 99), polar(10, 0.5),
                       polar(10, 0.5 - kTwoThirdsPi), polar(10, 0.5 + kTwoThirdsPi), kTol);
    EXPECT_EQ(FaultsList.size(), 11U);
    EXPECT_EQ(ZFaultsList.back(), CAN);
}

}  // namespace
