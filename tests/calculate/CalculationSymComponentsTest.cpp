#include "CalculationSymComponents.h"

#include <gtest/gtest.h>

#include "PhasorAssertions.h"

using namespace KexCalculate;
using namespace KexCalculateTest;

namespace {

constexpr double kTol = 1e-13;

// Phases chosen freely; their sequence components formed here with the 1/3 of
// the forward transform, so each form of the calculator must return the phases
// unchanged. The balanced set of each sequence alone is a worked case.
TEST(CalculationSymComponents, AllFiveFormsGiveBackThePhases) {
    const Complex a(10, 1), b(-3, 4), c(0.5, -7);
    const Complex op = polar(1, kTwoThirdsPi);
    const Complex op2 = polar(1, -kTwoThirdsPi);
    const Complex third(3, 0);
    const Complex3 s((a + b + c) / third, (a + op * b + op2 * c) / third, (a + op2 * b + op * c) / third);

    const Complex3 fromParts = CalculationSymComponents::CalcComplex3PhseSystem(s.values[0], s.values[1], s.values[2]);
    const Complex3 fromTriple = CalculationSymComponents::CalcComplex3PhseSystem(s);
    const ThreePhaseSystem fromTripleSystem = CalculationSymComponents::Calc3PhseSystem(s);
    const ThreePhaseSystem fromRecord = CalculationSymComponents::Calc3PhseSystem(SymComponents(s));
    Complex3 written;
    CalculationSymComponents::setFaultValues(s, written);
    Complex3 inPlace = s;  // components and phases are one object
    CalculationSymComponents::setFaultValues(inPlace, inPlace);

    for (const Complex3& result : {fromParts, fromTriple, written, inPlace}) {
        EXPECT_PHASES_NEAR(ThreePhaseSystem(result), a, b, c, kTol);
    }
    for (const ThreePhaseSystem& system : {fromTripleSystem, fromRecord}) {
        EXPECT_PHASES_NEAR(system, a, b, c, kTol);
        EXPECT_COMPLEX_NEAR(system.n(), s.values[0], kTol);  // n is the zero sequence
    }
}

}  // namespace
