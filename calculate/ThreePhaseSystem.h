// The phasors of one three-phase quantity: phases A, B, C and the fourth value
// n, which the constructors set to one third of the phase sum.
#pragma once

#include <array>
#include <cstdint>

#include "Complex.h"
#include "KexCalculateExport.h"

namespace KexCalculate {

enum Phase : std::int32_t { A = 0, B = 1, C = 2, N = 3 };

class KEXCALCULATE_EXPORT ThreePhaseSystem {
public:
    std::array<Complex, 4> values;

    ThreePhaseSystem() = default;
    // A symmetrical set from the phase-A phasor: positive sequence (B lags A by
    // 120 degrees) when directSequence is true, negative sequence otherwise.
    ThreePhaseSystem(Complex a, bool directSequence);
    ThreePhaseSystem(const Complex3& v);

    // A + B + C; n is not included.
    Complex sumOfPhases();
    Complex getPhaseComplexValue(Phase p) const;

    Complex a() const { return values[Phase::A]; }
    Complex b() const { return values[Phase::B]; }
    Complex c() const { return values[Phase::C]; }
    Complex n() const { return values[Phase::N]; }
    void a(const Complex& v) { values[Phase::A] = v; }
    void b(const Complex& v) { values[Phase::B] = v; }
    void c(const Complex& v) { values[Phase::C] = v; }
    void n(const Complex& v) { values[Phase::N] = v; }

    // Turns all four values, n included.
    void rotate(double angle);
    // Moves the phase values k places cyclically (A to B for k = 1); k <= 0
    // leaves them in place, n never moves.
    void shftPhaseValues(int k);
};

}  // namespace KexCalculate
