#include "CalculationP.h"

#include <gtest/gtest.h>

#include <cmath>

#include "PhasorAssertions.h"

using namespace KexCalculate;
using namespace KexCalculateTest;

namespace {

constexpr double kTol = 1e-12;

// The complex power of the three phases, sum of U * conj(I).
Complex complexPower(const ThreePhaseUISystem& ui) {
    Complex s;
    for (unsigned k = 0; k < 3; ++k) {
        s += ui.voltages.values[k] * Conjugate(ui.currents.values[k]);
    }
    return s;
}

class PowerPerKind : public ::testing::TestWithParam<Fault> {};

// The phases carry the requested power; a two-phase loop takes the quotient as
// its line-to-line voltage and so carries half of it.
TEST_P(PowerPerKind, PhasesCarryTheRequestedPower) {
    const Fault fault = GetParam();
    Complex power(120, 50);
    const bool twoPhase = fault == AB || fault == BC || fault == CA;
    const Complex expected = twoPhase ? Complex(60, 25) : power;
    EXPECT_COMPLEX_NEAR(complexPower(CalculationP::calculatePIconst(fault, power, 4)), expected, kTol);
    // With the voltage held, the angle of the power goes to the current: the conjugate comes out.
    EXPECT_COMPLEX_NEAR(Conjugate(complexPower(CalculationP::calculatePUconst(fault, power, 40))), expected, kTol);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, PowerPerKind, ::testing::ValuesIn(FaultsList));

TEST(CalculationP, WorkedSystems) {
    Complex p100(100, 0);
    const ThreePhaseUISystem an = CalculationP::calculatePIconst(AN, p100, 5);
    EXPECT_PHASES_NEAR(an.voltages, Complex(20, 0), polar(kDefaultHealthyVoltage, -kTwoThirdsPi),
                       polar(kDefaultHealthyVoltage, kTwoThirdsPi), kTol);
    EXPECT_PHASES_NEAR(an.currents, Complex(5, 0), Complex(), Complex(), kTol);

    const ThreePhaseUISystem bc = CalculationP::calculatePIconst(BC, p100, 5);
    EXPECT_PHASES_NEAR(bc.voltages, Complex(0, kDefaultHealthyVoltage), Complex(5, -28.86751345948129),
                       Complex(-5, -28.86751345948129), kTol);
    EXPECT_PHASES_NEAR(bc.currents, Complex(), Complex(5, 0), Complex(-5, 0), kTol);

    Complex p300(300, 0);
    const ThreePhaseUISystem lin = CalculationP::calculatePIconst(ABC_lin, p300, 5);
    EXPECT_COMPLEX_NEAR(lin.voltages.a(), Complex(34.64101615137755, 0), kTol);
    EXPECT_COMPLEX_NEAR(lin.currents.a(), Complex(2.886751345948129, 0), kTol);
}

TEST(CalculationP, AngleOfPowerGoesToTheComputedQuantity) {
    Complex reactive(0, 100);
    const ThreePhaseUISystem iConst = CalculationP::calculatePIconst(AN, reactive, 5);
    EXPECT_COMPLEX_NEAR(iConst.voltages.a(), Complex(0, 20), kTol);
    EXPECT_COMPLEX_NEAR(iConst.currents.a(), Complex(5, 0), kTol);
    const ThreePhaseUISystem uConst = CalculationP::calculatePUconst(AN, reactive, 20);
    EXPECT_COMPLEX_NEAR(uConst.voltages.a(), Complex(20, 0), kTol);
    EXPECT_COMPLEX_NEAR(uConst.currents.a(), Complex(0, 5), kTol);

    const Complex nan = CalculationP::_calcUForSI(AN, reactive, 0);  // a zero current is not guarded
    EXPECT_TRUE(std::isnan(nan.re) && std::isnan(nan.im));
}

}  // namespace
