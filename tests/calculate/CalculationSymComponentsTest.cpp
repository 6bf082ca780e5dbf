#include "CalculationSymComponents.h"

#include <gtest/gtest.h>

#include "PhasorAssertions.h"

using namespace KexCalculate;
using namespace KexCalculateTest;

namespace {

constexpr double kTol = 1e-13;

struct SequenceCase {
    Complex3 sequences;  // zero, positive, negative
    Complex3 phases;     // A, B, C
};

class SequenceToPhase : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(SequenceToPhase, AllFiveFormsAgree) {
    const SequenceCase& c = GetParam();
    const Complex3& s = c.sequences;
    const Complex3& ph = c.phases;

    const Complex3 fromParts = CalculationSymComponents::CalcComplex3PhseSystem(s.values[0], s.values[1], s.values[2]);
    const Complex3 fromTriple = CalculationSymComponents::CalcComplex3PhseSystem(s);
    const ThreePhaseSystem fromTripleSystem = CalculationSymComponents::Calc3PhseSystem(s);
    const ThreePhaseSystem fromRecord = CalculationSymComponents::Calc3PhseSystem(SymComponents(s));
    Complex3 written;
    CalculationSymComponents::setFaultValues(s, written);
    Complex3 inPlace = s;  // components and phases are one object
    CalculationSymComponents::setFaultValues(inPlace, inPlace);

    for (const Complex3& result : {fromParts, fromTriple, written, inPlace}) {
        EXPECT_PHASES_NEAR(ThreePhaseSystem(result), ph.values[0], ph.values[1], ph.values[2], kTol);
    }
    for (const ThreePhaseSystem& system : {fromTripleSystem, fromRecord}) {
        EXPECT_PHASES_NEAR(system, ph.values[0], ph.values[1], ph.values[2], kTol);
        EXPECT_COMPLEX_NEAR(system.n(), s.values[0], kTol);  // n is the zero sequence
    }
}

// Phases chosen freely; their sequence components formed here with the 1/3 of
// the forward transform, so the calculator must return the phases unchanged.
SequenceCase roundTrip(const Complex& a, const Complex& b, const Complex& c) {
    const Complex op = polar(1, kTwoThirdsPi);
    const Complex op2 = polar(1, -kTwoThirdsPi);
    const Complex third(3, 0);
    return {Complex3((a + b + c) / third, (a + op * b + op2 * c) / third, (a + op2 * b + op * c) / third),
            Complex3(a, b, c)};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SequenceToPhase,
    ::testing::Values(SequenceCase{Complex3(Complex(), Complex(), Complex(10, 0)),
                                   Complex3(Complex(10, 0), polar(10, kTwoThirdsPi), polar(10, -kTwoThirdsPi))},
                      roundTrip(Complex(10, 1), Complex(-3, 4), Complex(0.5, -7))));

}  // namespace
