// Mathematical constants the library's units share. Internal: not installed.
#pragma once

namespace KexCalculate {
namespace detail {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2.0 * kPi;
constexpr double kSqrt2 = 1.4142135623730951;  // peak of an RMS phasor
constexpr double kDegToRad = 0.017453292519943295;

}  // namespace detail
}  // namespace KexCalculate
