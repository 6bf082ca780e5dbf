// Fault kinds of the steady-state calculators and the phase phasors of a
// voltage or current system for a fault of a given kind and size.
#pragma once

#include <cstdint>
#include <list>

#include "Complex.h"
#include "KexCalculateExport.h"
#include "KexRelay.h"
#include "ThreePhaseSystem.h"

namespace KexCalculate {

enum Fault : std::int32_t {
    AN = 0,
    BN = 1,
    CN = 2,
    AB = 3,
    BC = 4,
    CA = 5,
    ABC = 6,
    ABN = 7,
    BCN = 8,
    CAN = 9,
    ABC_lin = 10,  // three-phase, the value given as a line value
};

// Every kind, and the kinds for which impedance tests are defined. Each unit
// that includes this header holds its own copy.
static const std::list<Fault> FaultsList{AN, BN, CN, AB, BC, CA, ABC, ABN, BCN, CAN, ABC_lin};
static const std::list<Fault> ZFaultsList{AN, BN, CN, AB, BC, CA, ABC, ABN, BCN, CAN};

class KEXCALCULATE_EXPORT CalculationFault {
public:
    // How far the triple built in the reference position moves so that the
    // faulted phases land on the right letters.
    static int _getShiftCount(Fault fault);
    // The reference position: the (first) faulted phase in slot 1 at angle 0,
    // or for two phases the loop slot 1 - slot 2 along angle 0.
    static Complex3 _getFautPhaseValues(Fault fault, double faultValue, double healthyValue);
    // value is the magnitude in the faulted loop, angle (radians) the angle of
    // the faulted phase or loop; a negative healthyValue asks for the default
    // (0 A, or 100/sqrt(3) V).
    static ThreePhaseSystem calculateFault(KexRelay::AnalogChannelSourceType type, Fault fault, double value,
                                           double angle, double healthyValue);
    static ThreePhaseSystem calculateFault(KexRelay::AnalogChannelSourceType type, Fault fault, Complex value,
                                           double healthyValue);
};

}  // namespace KexCalculate
