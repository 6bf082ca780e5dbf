// Phase values from symmetrical components: A = S0 + S1 + S2,
// B = S0 + a^2 S1 + a S2, C = S0 + a S1 + a^2 S2 with a = e^(j 120 deg), no 1/3.
#pragma once

#include "Complex.h"
#include "KexCalculateExport.h"
#include "SymComponents.h"
#include "ThreePhaseSystem.h"

namespace KexCalculate {

class KEXCALCULATE_EXPORT CalculationSymComponents {
public:
    static Complex3 CalcComplex3PhseSystem(const Complex& zero, const Complex& positive, const Complex& negative);
    static Complex3 CalcComplex3PhseSystem(const Complex3& components);
    static ThreePhaseSystem Calc3PhseSystem(const Complex3& components);
    static ThreePhaseSystem Calc3PhseSystem(const SymComponents& components);
    // Writes the phases into `phases`; the two arguments may be one object.
    static void setFaultValues(const Complex3& components, Complex3& phases);
};

}  // namespace KexCalculate
