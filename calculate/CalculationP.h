// Test values for a given complex power S = P + jQ with the current or the
// voltage held at a given magnitude.
#pragma once

#include "CalculationFault.h"
#include "Complex.h"
#include "KexCalculateExport.h"
#include "ThreePhaseUISystem.h"

namespace KexCalculate {

class KEXCALCULATE_EXPORT CalculationP {
public:
    // Loop voltage for `power` at a current of `current` along angle 0.
    static Complex _calcUForSI(Fault fault, Complex& power, double current);
    // Loop current for `power` at a voltage of `voltage` along angle 0.
    static Complex _calcIForSU(Fault fault, Complex& power, double voltage);
    static ThreePhaseUISystem calculatePIconst(Fault fault, Complex& power, double current);
    static ThreePhaseUISystem calculatePUconst(Fault fault, Complex& power, double voltage);
};

}  // namespace KexCalculate
