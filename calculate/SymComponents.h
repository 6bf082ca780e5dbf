// The zero-, positive- and negative-sequence components of one three-phase
// quantity. A record only: the transform to phases is CalculationSymComponents.
#pragma once

#include <array>
#include <cstdint>

#include "Complex.h"
#include "KexCalculateExport.h"

namespace KexCalculate {

enum SymComponentType : std::int32_t { Null = 0, Positive = 1, Negative = 2 };

class KEXCALCULATE_EXPORT SymComponents {
public:
    std::array<Complex, 3> components;

    SymComponents() = default;
    // Takes the three values as sequence components already (no transform).
    SymComponents(const Complex3& v) : components(v.values) {}

    // A type outside 0..2 gives (0, 0).
    Complex GetComponent(SymComponentType t) const {
        const auto index = static_cast<std::uint32_t>(t);
        return index <= 2U ? components[index] : Complex();
    }
    Complex NullComponent() const { return components[SymComponentType::Null]; }
    Complex PositiveComponent() const { return components[SymComponentType::Positive]; }
    Complex NegativeComponent() const { return components[SymComponentType::Negative]; }
    void NullComponent(const Complex& v) { components[SymComponentType::Null] = v; }
    void PositiveComponent(const Complex& v) { components[SymComponentType::Positive] = v; }
    void NegativeComponent(const Complex& v) { components[SymComponentType::Negative] = v; }
};

}  // namespace KexCalculate
