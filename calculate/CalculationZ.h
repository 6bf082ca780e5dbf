// Test values at which a distance relay sees a given impedance, and the loop
// impedances with ground compensation behind them.
#pragma once

#include "CalculationFault.h"
#include "Complex.h"
#include "DistanceParameters.h"
#include "KexCalculateExport.h"
#include "KexCommon.h"
#include "ThreePhaseUISystem.h"

namespace KexCalculate {

class KEXCALCULATE_EXPORT CalculationZ {
public:
    // false: the currents stand at angle 0 and the voltages are turned by the
    // impedance angle; true: the voltages stand at 0 and the currents turn back.
    bool voltageReference = false;

    Complex _calcArcResistanceZ(const Complex& z, const DistanceParameters& p);
    Complex _groundZ(const Complex& z, const DistanceParameters& p);
    Complex _faultLoopZ(Fault fault, const Complex& z, const DistanceParameters& p);
    // z1 and z2 in parallel; 0 when their sum is below 1e-6 in magnitude.
    Complex parallel(Complex& z1, Complex& z2);

    ThreePhaseUISystem calculateZIconst(Fault fault, const Kex::Polar& z, double current, double healthyCurrent,
                                        const DistanceParameters& p);
    ThreePhaseUISystem calculateZUconst(Fault fault, const Kex::Polar& z, double voltage, double healthyVoltage,
                                        const DistanceParameters& p);
    Complex _calcUForZI(Fault fault, const Complex& z, double current, double healthyCurrent,
                        const DistanceParameters& p);
    Complex _calcIFromZU(Fault fault, const Complex& z, double voltage, const DistanceParameters& p);
    Complex _calcZForUI(Fault fault, Complex& u, Complex& i, double healthyCurrent, const DistanceParameters& p);
    Complex _calc1PhaseFaultZFromUI(Complex& u, Complex& i, double healthyCurrent, const DistanceParameters& p);
    ThreePhaseUISystem _getThreePhaseUISystem(Fault fault, double voltage, double current, double angle,
                                              double healthyVoltage, double healthyCurrent);

    // Test values at constant source impedance: a balanced EMF of sourceVoltage
    // (phase to neutral) behind the source impedance zS1, whose zero-sequence
    // impedance is zS1 with the factor pair kS = (R0/R1, X0/X1) applied part by
    // part, feeds a bolted fault of the given kind, without load, at the far end
    // of a line whose positive-sequence impedance is z (after the arc rule) and
    // whose ground return is the relay's own compensation of it, so that the
    // relay measures z on every faulted loop. The result is the relay-location
    // voltages and currents, turned by the angle reference as in the other two
    // modes. A fault loop without impedance (a pivot of its mesh equations
    // below 1e-8 ohm) carries no current: every current is then zero and the
    // voltages are the EMFs.
    ThreePhaseUISystem calculateZZsconst(Fault fault, const Kex::Polar& z, const Complex& zS1, const Complex& kS,
                                         double sourceVoltage, const DistanceParameters& p);
};

}  // namespace KexCalculate
