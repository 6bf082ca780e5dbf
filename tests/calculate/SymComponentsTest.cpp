#include "SymComponents.h"

#include <gtest/gtest.h>

#include "PhasorAssertions.h"

using namespace KexCalculate;

namespace {

TEST(SymComponents, HoldsComponentsUntransformed) {
    for (const Complex& value : {SymComponents().NullComponent(), SymComponents().GetComponent(Negative)}) {
        EXPECT_COMPLEX_NEAR(value, Complex(), 0.0);
    }
    SymComponents s(Complex3(Complex(1, 0), Complex(2, 0), Complex(3, 0)));
    s.PositiveComponent(Complex(0, 5));  // the other two stay
    EXPECT_COMPLEX_NEAR(s.NullComponent(), Complex(1, 0), 0.0);
    EXPECT_COMPLEX_NEAR(s.GetComponent(Null), Complex(1, 0), 0.0);
    EXPECT_COMPLEX_NEAR(s.GetComponent(Positive), Complex(0, 5), 0.0);
    EXPECT_COMPLEX_NEAR(s.NegativeComponent(), Complex(3, 0), 0.0);
    EXPECT_COMPLEX_NEAR(s.GetComponent(Negative), Complex(3, 0), 0.0);
}

}  // namespace
