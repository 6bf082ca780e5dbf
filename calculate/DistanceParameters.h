// Settings of a distance relay that the impedance calculator needs: the line
// angle, the arc-resistance rule and the ground compensation factor in one of
// its three customary forms.
#pragma once

#include <cstdint>

#include "Complex.h"
#include "KexCalculateExport.h"
#include "KexCommon.h"

namespace KexCalculate {

// Which ground factor is in use; any other value means no ground return.
enum GroundFactorMode : std::int32_t { K0 = 0, RE_RL_XE_XL = 1, Z0_Z1 = 2 };

class KEXCALCULATE_EXPORT DistanceParameters {
public:
    struct LoopParameters {
        // When true, a loop impedance is replaced by the point on the line
        // angle with the same reactance (the resistance beyond it is dropped).
        bool arcResistance = false;
        GroundFactorMode groundFactorMode = K0;
        Kex::Polar k0{1.0, 0.0};
        Complex reRlXeXl{1.0, 1.0};  // RE/RL in re, XE/XL in im
        Kex::Polar z0z1{4.0, 0.0};   // Z0/Z1 of the line
    };

    Kex::Polar lineImpedance{100.0, 1.3962634015954636};  // only the angle (80 deg) is read
    LoopParameters loop;

    DistanceParameters();
};

}  // namespace KexCalculate
