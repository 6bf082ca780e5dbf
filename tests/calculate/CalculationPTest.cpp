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

// The phases carry the requested power; a two-phase loop takes the quotient as
// its line-to-line voltage and so carries half of it.
TEST(CalculationP, PhasesCarryTheRequestedPower) {
    Complex power(120, 50);
    for (const Fault fault : FaultsList) {
        SCOPED_TRACE(fault);
        const bool twoPhase = fault == AB || fault == BC || fault == CA;
        const Complex expected = twoPhase ? Complex(60, 25) : power;
        EXPECT_COMPLEX_NEAR(complexPower(CalculationP::calculatePIconst(fault, power, 4)), expected, kTol);
        // With the voltage held, the angle of the power goes to the current: the conjugate comes out.
        EXPECT_COMPLEX_NEAR(Conjugate(complexPower(CalculationP::calculatePUconst(fault, power, 40))), expected, kTol);
    }
}

TEST(CalculationP, ZeroCurrentIsNotGuarded) {
    Complex reactive(0, 100);
    const Complex nan = CalculationP::_calcUForSI(AN, reactive, 0);  // a zero current is not guarded
    EXPECT_TRUE(std::isnan(nan.re) && std::isnan(nan.im));
}

}  // namespace
