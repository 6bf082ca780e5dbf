// Assertions on phasors shared by the calculator tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "Complex.h"
#include "ThreePhaseSystem.h"

namespace KexCalculateTest {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoThirdsPi = 2.0943951023931953;

inline KexCalculate::Complex polar(double amplitude, double angle) {
    return {amplitude * std::cos(angle), amplitude * std::sin(angle)};
}

// Both parts within `tolerance` of the expected phasor.
inline ::testing::AssertionResult complexNear(const char* actualText, const char* expectedText, const char*,
                                              const KexCalculate::Complex& actual,
                                              const KexCalculate::Complex& expected, double tolerance) {
    if (std::fabs(actual.re - expected.re) <= tolerance && std::fabs(actual.im - expected.im) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << actualText << " = (" << actual.re << ", " << actual.im << ") but "
                                         << expectedText << " = (" << expected.re << ", " << expected.im
                                         << "), tolerance " << tolerance;
}

}  // namespace KexCalculateTest

#define EXPECT_COMPLEX_NEAR(actual, expected, tolerance) \
    EXPECT_PRED_FORMAT3(::KexCalculateTest::complexNear, actual, expected, tolerance)

#define EXPECT_PHASES_NEAR(system, expectedA, expectedB, expectedC, tolerance) \
    do {                                                                       \
        EXPECT_COMPLEX_NEAR((system).a(), expectedA, tolerance);               \
        EXPECT_COMPLEX_NEAR((system).b(), expectedB, tolerance);               \
        EXPECT_COMPLEX_NEAR((system).c(), expectedC, tolerance);               \
    } while (false)
