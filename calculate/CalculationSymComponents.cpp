#include "CalculationSymComponents.h"

namespace KexCalculate {

namespace {

constexpr double kTwoThirdsPi = 2.0943951023931953;

}  // namespace

Complex3 CalculationSymComponents::CalcComplex3PhseSystem(const Complex& zero, const Complex& positive,
                                                          const Complex& negative) {
    const Complex a = Complex::exp(Complex(0.0, kTwoThirdsPi));
    const Complex a2 = Complex::exp(Complex(0.0, -kTwoThirdsPi));
    return {(zero + positive) + negative, (zero + a2 * positive) + a * negative, (zero + a * positive) + a2 * negative};
}

Complex3 CalculationSymComponents::CalcComplex3PhseSystem(const Complex3& components) {
    return CalcComplex3PhseSystem(components.values[0], components.values[1], components.values[2]);
}

ThreePhaseSystem CalculationSymComponents::Calc3PhseSystem(const Complex3& components) {
    return ThreePhaseSystem(CalcComplex3PhseSystem(components));
}

ThreePhaseSystem CalculationSymComponents::Calc3PhseSystem(const SymComponents& components) {
    return ThreePhaseSystem(CalcComplex3PhseSystem(components.NullComponent(), components.PositiveComponent(),
                                                   components.NegativeComponent()));
}

void CalculationSymComponents::setFaultValues(const Complex3& components, Complex3& phases) {
    // Computed into a temporary first, so that `phases` may alias `components`.
    phases = CalcComplex3PhseSystem(components);
}

}  // namespace KexCalculate
