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
};

}  // namespace KexCalculate
