#include "ThreePhaseSystem.h"

namespace KexCalculate {

namespace {

constexpr double kTwoThirdsPi = 2.0943951023931953;

Complex oneThirdOfSum(const Complex& a, const Complex& b, const Complex& c) {
    return (((Complex() + a) + b) + c) / Complex(3.0, 0.0);
}

}  // namespace

ThreePhaseSystem::ThreePhaseSystem(Complex a, bool directSequence) {
    const double step = directSequence ? -kTwoThirdsPi : kTwoThirdsPi;
    for (int k = 0; k < 3; ++k) {
        values[static_cast<unsigned>(k)] = Complex::rotate(a, static_cast<double>(k) * step);
    }
    values[Phase::N] = oneThirdOfSum(values[Phase::A], values[Phase::B], values[Phase::C]);
}

ThreePhaseSystem::ThreePhaseSystem(const Complex3& v) {
    values[Phase::A] = v.ix(0);
    values[Phase::B] = v.ix(1);
    values[Phase::C] = v.ix(2);
    values[Phase::N] = oneThirdOfSum(values[Phase::A], values[Phase::B], values[Phase::C]);
}

Complex ThreePhaseSystem::sumOfPhases() {
    return ((Complex() + values[Phase::A]) + values[Phase::B]) + values[Phase::C];
}

Complex ThreePhaseSystem::getPhaseComplexValue(Phase p) const {
    const auto index = static_cast<std::uint32_t>(p);
    return index <= 3U ? values[index] : Complex();
}

void ThreePhaseSystem::rotate(double angle) {
    for (Complex& value : values) {
        value.rotate(angle);
    }
}

void ThreePhaseSystem::shftPhaseValues(int k) {
    if (k <= 0) {
        return;
    }
    const int s = k % 3;
    const std::array<Complex, 3> old{values[0], values[1], values[2]};
    for (int j = 0; j < 3; ++j) {
        values[static_cast<unsigned>((j + s) % 3)] = old[static_cast<unsigned>(j)];
    }
}

}  // namespace KexCalculate
