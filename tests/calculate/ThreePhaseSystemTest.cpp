#include "ThreePhaseSystem.h"

#include <gtest/gtest.h>

#include "PhasorAssertions.h"
#include "ThreePhaseUISystem.h"

using namespace KexCalculate;
using namespace KexCalculateTest;

namespace {

constexpr double kTol = 1e-14;
constexpr double kHalfSqrt3 = 0.8660254037844386;
const Complex kX(1, 2), kY(3, 4), kZ(5, 6), kMarker(9, -9);

ThreePhaseSystem xyzWithMarker() {
    ThreePhaseSystem s(Complex3(kX, kY, kZ));
    s.n(kMarker);
    return s;
}

TEST(ThreePhaseSystem, SymmetricalSetFromOnePhasor) {
    const ThreePhaseSystem positive(Complex(1, 0), true);  // B lags A
    EXPECT_PHASES_NEAR(positive, Complex(1, 0), Complex(-0.5, -kHalfSqrt3), Complex(-0.5, kHalfSqrt3), kTol);
    EXPECT_COMPLEX_NEAR(positive.n(), Complex(), 1e-15);
    const ThreePhaseSystem negative(Complex(0, 2), false);  // B leads A
    EXPECT_PHASES_NEAR(negative, Complex(0, 2), Complex(-2 * kHalfSqrt3, -1), Complex(2 * kHalfSqrt3, -1), kTol);
    EXPECT_PHASES_NEAR(ThreePhaseSystem(Complex(), true), Complex(), Complex(), Complex(), 0.0);
}

TEST(ThreePhaseSystem, FourthValueAndAccessors) {
    ThreePhaseSystem s(Complex3(Complex(3, 0), Complex(0, 3), Complex()));
    EXPECT_COMPLEX_NEAR(s.getPhaseComplexValue(N), Complex(1, 1), kTol);
    EXPECT_COMPLEX_NEAR(s.getPhaseComplexValue(static_cast<Phase>(4)), Complex(), 0.0);
    s.a(Complex(30, 0));  // n keeps its old value and stays out of the sum
    EXPECT_COMPLEX_NEAR(s.n(), Complex(1, 1), kTol);
    EXPECT_COMPLEX_NEAR(s.sumOfPhases(), Complex(30, 3), 0.0);
}

struct ShiftCase {
    int k;
    Complex a, b, c;
};

class ThreePhaseShift : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(ThreePhaseShift, MovesPhasesCyclicallyAndLeavesN) {
    const ShiftCase& c = GetParam();
    ThreePhaseUISystem ui(xyzWithMarker(), xyzWithMarker());
    ui.shftPhaseValues(c.k);
    for (const ThreePhaseSystem& s : {ui.voltages, ui.currents}) {
        EXPECT_PHASES_NEAR(s, c.a, c.b, c.c, 0.0);
        EXPECT_COMPLEX_NEAR(s.n(), kMarker, 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, ThreePhaseShift,
                         ::testing::Values(ShiftCase{1, kZ, kX, kY}, ShiftCase{4, kZ, kX, kY}, ShiftCase{2, kY, kZ, kX},
                                           ShiftCase{3, kX, kY, kZ}, ShiftCase{0, kX, kY, kZ},
                                           ShiftCase{-1, kX, kY, kZ}));

TEST(ThreePhaseUISystem, RotationTurnsBothSystemsAndN) {
    ThreePhaseUISystem ui(xyzWithMarker(), xyzWithMarker());  // n taken over, not recomputed
    ui.rotate(kPi);
    for (const ThreePhaseSystem& s : {ui.uSystem(), ui.iSystem()}) {
        EXPECT_PHASES_NEAR(s, -kX, -kY, -kZ, kTol);
        EXPECT_COMPLEX_NEAR(s.n(), -kMarker, kTol);
    }
    const ThreePhaseUISystem fromTriples(Complex3(Complex(3, 0), Complex(0, 3), Complex()), Complex3(kX, kY, kZ));
    EXPECT_COMPLEX_NEAR(fromTriples.voltages.n(), Complex(1, 1), kTol);
    EXPECT_COMPLEX_NEAR(fromTriples.currents.n(), Complex(3, 4), kTol);
}

}  // namespace
