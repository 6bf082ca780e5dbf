#include "Complex.h"

#include <cmath>

namespace KexCalculate {

Complex Complex::fromPolar(Kex::Polar p) { return fromPolar(p.amplitude, p.angle); }

Complex Complex::fromPolar(double amplitude, double angle) {
    return {amplitude * std::cos(angle), amplitude * std::sin(angle)};
}

double Complex::abs(const Complex& z) { return std::sqrt(z.re * z.re + z.im * z.im); }

Complex Complex::exp(const Complex& z) {
    const double magnitude = std::exp(z.re);
    return {magnitude * std::cos(z.im), magnitude * std::sin(z.im)};
}

Complex Complex::rotate(const Complex& z, double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return {z.re * c - z.im * s, z.re * s + z.im * c};
}

void Complex::rotate(double angle) { *this = rotate(*this, angle); }

// Smith's method. The magnitudes are compared as sqrt(x * x), so a part beyond
// about 1.34e154 counts as infinite; equal magnitudes and NaN take the second
// branch, where a zero divisor yields (NaN, NaN).
Complex Complex::operator/(const Complex& w) const {
    const double c = w.re;
    const double d = w.im;
    if (std::sqrt(c * c) > std::sqrt(d * d)) {
        const double r = d / c;
        const double den = c + r * d;
        return {(re + r * im) / den, (im - r * re) / den};
    }
    const double r = c / d;
    const double den = r * c + d;
    return {(r * re + im) / den, (r * im - re) / den};
}

Complex Complex::operator+=(const Complex& w) {
    re += w.re;
    im += w.im;
    return *this;
}

Complex Complex::operator-=(const Complex& w) {
    re -= w.re;
    im -= w.im;
    return *this;
}

Complex Complex::operator*=(const Complex& w) {
    *this = *this * w;
    return *this;
}

Complex Complex::operator/=(const Complex& w) {
    *this = *this / w;
    return *this;
}

Complex Complex::mul(const Complex& w) {
    re *= w.re;
    im *= w.im;
    return *this;
}

Complex Conjugate(const Complex& z) { return {z.re, -z.im}; }

Complex& Complex3::ix(int i) {
    if (static_cast<unsigned>(i) <= 2U) {
        return values[static_cast<unsigned>(i)];
    }
    thread_local Complex zero;
    zero = Complex();
    return zero;
}

const Complex& Complex3::ix(int i) const {
    if (static_cast<unsigned>(i) <= 2U) {
        return values[static_cast<unsigned>(i)];
    }
    static const Complex zero;
    return zero;
}

}  // namespace KexCalculate
