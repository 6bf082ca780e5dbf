#include <gtest/gtest.h>

#include <cmath>

#include "Complex.h"

using KexCalculate::Complex;

TEST(ComplexSmoke, DivisionByZeroGivesNaN) {
    const Complex q = Complex(1.0, 0.0) / Complex(0.0, 0.0);
    EXPECT_TRUE(std::isnan(q.re));
    EXPECT_TRUE(std::isnan(q.im));
}
