#include "Complex.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <thread>
#include <type_traits>

#include "PhasorAssertions.h"

using namespace KexCalculate;
using namespace KexCalculateTest;

namespace {

constexpr double kTol = 1e-15;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool isNaNPhasor(const Complex& z) { return std::isnan(z.re) && std::isnan(z.im); }

struct DivisionCase {
    Complex dividend, divisor, quotient;
};

class ComplexDivision : public ::testing::TestWithParam<DivisionCase> {};

TEST_P(ComplexDivision, MatchesHandQuotient) {
    const DivisionCase& c = GetParam();
    EXPECT_COMPLEX_NEAR(c.dividend / c.divisor, c.quotient, kTol);
    Complex z = c.dividend;
    EXPECT_COMPLEX_NEAR(z /= c.divisor, c.quotient, kTol);
    EXPECT_COMPLEX_NEAR(z, c.quotient, kTol);
}

INSTANTIATE_TEST_SUITE_P(SmithBranches, ComplexDivision,
                         ::testing::Values(DivisionCase{{1, 0}, {0, 1}, {0, -1}},  // |re| <= |im| of the divisor
                                           DivisionCase{{1, 1}, {1, 1}, {1, 0}},
                                           DivisionCase{{3, 4}, {1, 2}, {2.2, -0.4}},
                                           DivisionCase{{3, 4}, {2, 1}, {2, 1}},  // |re| > |im| of the divisor
                                           DivisionCase{{6, -4}, {2, 0}, {3, -2}},
                                           // c*c + d*d would overflow; the scaled quotient stays finite.
                                           DivisionCase{{1e200, 0}, {1e200, 1e200}, {0.5, -0.5}}));

TEST(Complex, ZeroOrNaNDivisorGivesNaNWithoutThrowing) {
    Complex z(1, 0);
    const Complex returned = (z /= Complex(0, 0));
    EXPECT_TRUE(isNaNPhasor(z));
    EXPECT_TRUE(isNaNPhasor(returned));
    EXPECT_TRUE(isNaNPhasor(Complex(1, 2) / Complex(kNaN, 0)));
}

TEST(Complex, ConstructionProductsAndPartwiseMul) {
    Complex source(1.5, -2.5);
    Complex* none = nullptr;
    EXPECT_COMPLEX_NEAR(Complex(&source), source, 0.0);
    EXPECT_COMPLEX_NEAR(Complex(none), Complex(0, 0), 0.0);  // a null pointer reads as zero
    EXPECT_COMPLEX_NEAR(Complex(), Complex(0, 0), 0.0);

    EXPECT_COMPLEX_NEAR(Complex(2, 3) * Complex(4, 5), Complex(-7, 22), 0.0);
    Complex w(2, 3);
    EXPECT_COMPLEX_NEAR(w.mul(Complex(4, 5)), Complex(8, 15), 0.0);
    EXPECT_COMPLEX_NEAR(w, Complex(8, 15), 0.0);
    Complex z(1, 2);
    z *= z;  // both operands read before the write
    EXPECT_COMPLEX_NEAR(z, Complex(-3, 4), 0.0);
    EXPECT_COMPLEX_NEAR(z -= Complex(1, 1), Complex(-4, 3), 0.0);
    static_assert(std::is_same_v<decltype(z += z), Complex>, "compound operators return a copy");
}

TEST(Complex, MagnitudeExpPolarAndRotation) {
    EXPECT_DOUBLE_EQ(Complex::abs(Complex(3, 4)), 5.0);
    EXPECT_TRUE(std::isinf(Complex::abs(Complex(1e200, 0))));  // no rescaling
    EXPECT_COMPLEX_NEAR(Complex::exp(Complex(0, kPi)), Complex(-1, 0), kTol);
    EXPECT_COMPLEX_NEAR(Complex::exp(Complex(1, 0)), Complex(std::exp(1.0), 0), 0.0);
    EXPECT_COMPLEX_NEAR(Complex::fromPolar(1, kPi), Complex(-1, 0), kTol);
    EXPECT_COMPLEX_NEAR(Complex::fromPolar(Kex::Polar{-2, kPi / 2}), Complex(0, -2), kTol);  // opposite phasor

    // A positive angle turns counter-clockwise.
    EXPECT_COMPLEX_NEAR(Complex::rotate(Complex(1, 0), kPi / 2), Complex(0, 1), kTol);
    Complex z(0, 1);
    z.rotate(-kPi / 2);
    EXPECT_COMPLEX_NEAR(z, Complex(1, 0), kTol);
    for (const double bad : {kNaN, std::numeric_limits<double>::infinity()}) {
        EXPECT_TRUE(isNaNPhasor(Complex::rotate(Complex(1, 1), bad)));
        EXPECT_TRUE(isNaNPhasor(Complex::fromPolar(1, bad)));
    }
}

TEST(Complex, ConjugateFlipsTheSignOfZero) {
    const Complex c = Conjugate(Complex(1, 0));
    EXPECT_EQ(c.re, 1.0);
    EXPECT_TRUE(c.im == 0.0 && std::signbit(c.im));
    EXPECT_COMPLEX_NEAR(Conjugate(Complex(3, -4)), Complex(3, 4), 0.0);
}

// An index outside 0..2 reads as zero: the const accessor gives one shared
// zero, the mutable one a zero of the calling thread's own, fresh at each call.
TEST(Complex3, IndexRuleAndZerosOutOfRange) {
    Complex3 triple(Complex(1, 0), Complex(2, 0), Complex(3, 0));
    const Complex3& constant = triple;
    triple.ix(2) = Complex(7, 7);
    EXPECT_COMPLEX_NEAR(triple.values[2], Complex(7, 7), 0.0);
    EXPECT_COMPLEX_NEAR(constant.ix(1), Complex(2, 0), 0.0);
    for (const int bad : {-1, 3, INT_MIN, INT_MAX}) {
        EXPECT_COMPLEX_NEAR(triple.ix(bad), Complex(), 0.0);
        EXPECT_COMPLEX_NEAR(constant.ix(bad), Complex(), 0.0);
    }
    const Complex3 zeros;
    EXPECT_EQ(&constant.ix(-1), &zeros.ix(5));
    EXPECT_COMPLEX_NEAR(zeros.ix(0), Complex(), 0.0);

    Complex& mine = triple.ix(3);
    mine = Complex(5, 6);
    bool theirsIsFreshZero = false;
    std::thread other([&] {
        Complex& theirs = triple.ix(3);
        theirsIsFreshZero = &theirs != &mine && theirs.re == 0.0 && theirs.im == 0.0;
    });
    other.join();
    EXPECT_TRUE(theirsIsFreshZero);
    EXPECT_COMPLEX_NEAR(mine, Complex(5, 6), 0.0);       // the other thread's reset left this one alone
    EXPECT_COMPLEX_NEAR(triple.ix(-1), Complex(), 0.0);  // the write does not show in this thread's next call
}

}  // namespace
