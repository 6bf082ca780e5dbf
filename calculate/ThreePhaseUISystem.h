// A voltage system paired with a current system: the result the steady-state
// calculators hand to the host.
#pragma once

#include "Complex.h"
#include "KexCalculateExport.h"
#include "ThreePhaseSystem.h"

namespace KexCalculate {

class KEXCALCULATE_EXPORT ThreePhaseUISystem {
public:
    ThreePhaseSystem voltages;
    ThreePhaseSystem currents;

    ThreePhaseUISystem() = default;
    // Each n is recomputed as one third of the phase sum.
    ThreePhaseUISystem(const Complex3& u, const Complex3& i);
    // Copies both systems whole, n values included.
    ThreePhaseUISystem(const ThreePhaseSystem& u, const ThreePhaseSystem& i);

    ThreePhaseSystem uSystem() const { return voltages; }
    ThreePhaseSystem iSystem() const { return currents; }

    void rotate(double angle);
    void shftPhaseValues(int k);
};

}  // namespace KexCalculate
