// The phasor value type of the library and a triple of phasors (phases A, B, C
// or sequences zero, positive, negative). Angles are in radians; a positive
// angle turns a phasor counter-clockwise.
#pragma once

#include <array>

#include "KexCalculateExport.h"
#include "KexCommon.h"

namespace KexCalculate {

class KEXCALCULATE_EXPORT Complex {
public:
    double re;
    double im;

    Complex() : re(0.0), im(0.0) {}
    Complex(double real, double imag) : re(real), im(imag) {}
    Complex(const Complex& z) = default;
    // A null pointer gives (0, 0) rather than a crash.
    Complex(Complex* p) : re(p != nullptr ? p->re : 0.0), im(p != nullptr ? p->im : 0.0) {}

    Complex& operator=(const Complex& z) = default;
    Complex& operator=(Complex& z) = default;

    static Complex fromPolar(Kex::Polar p);
    static Complex fromPolar(double amplitude, double angle);
    static double abs(const Complex& z);
    static Complex exp(const Complex& z);
    static Complex rotate(const Complex& z, double angle);

    void rotate(double angle);

    Complex operator*(const Complex& w) const { return {re * w.re - im * w.im, re * w.im + im * w.re}; }
    Complex operator/(const Complex& w) const;

    // The compound operators return a copy of the new value, not a reference.
    Complex operator+=(const Complex& w);
    Complex operator-=(const Complex& w);
    Complex operator*=(const Complex& w);
    Complex operator/=(const Complex& w);
    // Part-by-part product (re * w.re, im * w.im); not the complex product.
    Complex mul(const Complex& w);

    Complex operator+(const Complex& w) const { return {re + w.re, im + w.im}; }
    Complex operator-(const Complex& w) const { return {re - w.re, im - w.im}; }
    Complex operator-() const { return {-re, -im}; }
};

KEXCALCULATE_EXPORT Complex Conjugate(const Complex& z);

class KEXCALCULATE_EXPORT Complex3 {
public:
    std::array<Complex, 3> values;

    Complex3() = default;
    Complex3(const Complex& a, const Complex& b, const Complex& c) : values{a, b, c} {}

    // Element i for 0 <= i <= 2, a zero value for any other index. The mutable
    // accessor hands out a per-thread zero that is reset at every such call, so
    // a write through an earlier result never leaks into a later one.
    Complex& ix(int i);
    const Complex& ix(int i) const;
};

}  // namespace KexCalculate
