#include "CalculationZ.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

namespace KexCalculate {

namespace {

constexpr double kGuard = 1e-8;
constexpr double kTinyImpedance = 1e-10;
constexpr double kParallelGuard = 1e-6;
constexpr double kMinArcTangent = 0.001;

bool isTwoPhase(Fault fault) { return fault == AB || fault == BC || fault == CA; }

// Loops that close through ground and so carry a ground-return impedance.
bool isGroundLoop(Fault fault) {
    return fault == AN || fault == BN || fault == CN || fault == ABN || fault == BCN || fault == CAN;
}

// A negative healthy current asks for the default of 0 A, as calculateFault
// reads it; the residual current must use the same value.
double healthyCurrentOrDefault(double healthyCurrent) { return healthyCurrent < 0.0 ? 0.0 : healthyCurrent; }

struct ReferenceAngles {
    double voltage;
    double current;
};

// The voltage always leads the current by phi; the flag decides which of the
// two stands at angle 0.
ReferenceAngles referenceAngles(bool voltageReference, double phi) {
    return voltageReference ? ReferenceAngles{0.0, -phi} : ReferenceAngles{phi, 0.0};
}

double angleOf(const Complex& z) { return std::atan2(z.im, z.re); }

// A balanced (transposed) three-phase element: the self impedance of each
// phase and the mutual impedance between any two.
struct BalancedElement {
    Complex self;
    Complex mutual;

    // Built from the positive- and zero-sequence impedances.
    static BalancedElement fromSequences(const Complex& z1, const Complex& z0) {
        const Complex three(3.0, 0.0);
        return {(z0 + z1 * Complex(2.0, 0.0)) / three, (z0 - z1) / three};
    }

    BalancedElement operator+(const BalancedElement& other) const { return {self + other.self, mutual + other.mutual}; }

    // The voltage drop along the element for the phase currents i.
    Complex3 drop(const Complex3& i) const {
        const Complex sum = i.values[0] + i.values[1] + i.values[2];
        Complex3 u;
        for (std::size_t k = 0; k < 3; ++k) {
            u.values[k] = (self - mutual) * i.values[k] + mutual * sum;
        }
        return u;
    }
};

using PhaseWeights = std::array<double, 3>;

Complex weighted(const PhaseWeights& weights, const Complex3& x) {
    Complex sum;
    for (std::size_t k = 0; k < 3; ++k) {
        sum += x.values[k] * Complex(weights[k], 0.0);
    }
    return sum;
}

// The phase currents of the mesh current j; a phase outside the mesh carries
// exactly none.
Complex3 phaseCurrents(const PhaseWeights& mesh, const Complex& j) {
    Complex3 i;
    for (std::size_t k = 0; k < 3; ++k) {
        if (mesh[k] != 0.0) {
            i.values[k] = j * Complex(mesh[k], 0.0);
        }
    }
    return i;
}

constexpr std::size_t kMaxMeshes = 2;

struct FaultMeshes {
    std::size_t count;
    std::array<PhaseWeights, kMaxMeshes> meshes;
    PhaseWeights reference;  // the phase or loop that carries the angle reference
};

// The meshes through the fault, in the reference position of calculateFault
// (the first faulted phase in slot 1). A mesh current flows out through the
// phases weighted +1 and back through those weighted -1, or through ground.
// The three-phase fault closes between the phases: with a balanced source no
// current returns through ground, so the zero-sequence impedances play no part.
FaultMeshes faultMeshes(Fault fault) {
    if (fault == ABN || fault == BCN || fault == CAN) {
        return {2, {{{0, 1, 0}, {0, 0, 1}}}, {0, 1, 0}};
    }
    if (isGroundLoop(fault)) {
        return {1, {{{0, 1, 0}}}, {0, 1, 0}};
    }
    if (isTwoPhase(fault)) {
        return {1, {{{0, 1, -1}}}, {0, 1, -1}};
    }
    return {2, {{{1, -1, 0}, {0, 1, -1}}}, {1, 0, 0}};
}

using MeshVector = std::array<Complex, kMaxMeshes>;
using MeshMatrix = std::array<MeshVector, kMaxMeshes>;

// The mesh currents of z j = e by elimination with partial pivoting. A pivot
// below the guard means the loops have no impedance: no current, rather than
// an infinite one.
MeshVector meshCurrents(MeshMatrix z, MeshVector e, std::size_t count) {
    for (std::size_t col = 0; col < count; ++col) {
        std::size_t pivot = col;
        for (std::size_t row = col + 1; row < count; ++row) {
            if (Complex::abs(z[row][col]) > Complex::abs(z[pivot][col])) {
                pivot = row;
            }
        }
        if (Complex::abs(z[pivot][col]) < kGuard) {
            return {};
        }
        std::swap(z[col], z[pivot]);
        std::swap(e[col], e[pivot]);
        for (std::size_t row = col + 1; row < count; ++row) {
            const Complex factor = z[row][col] / z[col][col];
            for (std::size_t k = col; k < count; ++k) {
                z[row][k] -= factor * z[col][k];
            }
            e[row] -= factor * e[col];
        }
    }
    MeshVector j;
    for (std::size_t row = count; row-- > 0;) {
        Complex rest = e[row];
        for (std::size_t k = row + 1; k < count; ++k) {
            rest -= z[row][k] * j[k];
        }
        j[row] = rest / z[row][row];
    }
    return j;
}

}  // namespace

Complex CalculationZ::_calcArcResistanceZ(const Complex& z, const DistanceParameters& p) {
    if (!p.loop.arcResistance) {
        return z;
    }
    const double lineAngle = p.lineImpedance.angle;
    const double t = lineAngle < kMinArcTangent ? kMinArcTangent : std::tan(lineAngle);
    return Complex(1.0 / t, 1.0) * Complex(z.im, 0.0);
}

Complex CalculationZ::_groundZ(const Complex& z, const DistanceParameters& p) {
    const DistanceParameters::LoopParameters loop = p.loop;
    switch (loop.groundFactorMode) {
    case K0:
        return z * Complex::fromPolar(loop.k0);
    case RE_RL_XE_XL:
        return {loop.reRlXeXl.re * z.re, loop.reRlXeXl.im * z.im};
    case Z0_Z1:
        return z * (Complex::fromPolar(loop.z0z1) - Complex(1.0, 0.0)) / Complex(3.0, 0.0);
    default:
        return {};
    }
}

Complex CalculationZ::_faultLoopZ(Fault fault, const Complex& z, const DistanceParameters& p) {
    const Complex direct = _calcArcResistanceZ(z, p);
    if (isGroundLoop(fault)) {
        return direct + _groundZ(z, p);
    }
    return direct;
}

Complex CalculationZ::parallel(Complex& z1, Complex& z2) {
    const Complex sum = z1 + z2;
    if (Complex::abs(sum) < kParallelGuard) {
        return {};
    }
    return (z1 * z2) / sum;
}

Complex CalculationZ::_calcUForZI(Fault fault, const Complex& z, double current, double healthyCurrent,
                                  const DistanceParameters& p) {
    const Complex direct = _calcArcResistanceZ(z, p);
    const Complex i(current, 0.0);
    if (isTwoPhase(fault)) {
        // Out in one faulted phase and back in the other.
        return (direct * i) * Complex(2.0, 0.0);
    }
    if (isGroundLoop(fault)) {
        // current - healthyCurrent is the residual current of the system that
        // calculateFault builds with healthy phases at -120 and +120 degrees.
        return direct * i + _groundZ(direct, p) * Complex(current - healthyCurrentOrDefault(healthyCurrent), 0.0);
    }
    return direct * i;
}

Complex CalculationZ::_calcIFromZU(Fault fault, const Complex& z, double voltage, const DistanceParameters& p) {
    if (Complex::abs(z) < kGuard) {
        return {};
    }
    const Complex direct = _calcArcResistanceZ(z, p);
    const Complex u(voltage, 0.0);
    if (isGroundLoop(fault)) {
        const Complex loopZ = direct + _groundZ(z, p);
        return Complex::abs(loopZ) < kGuard ? Complex() : u / loopZ;
    }
    if (Complex::abs(direct) < kGuard) {
        return {};
    }
    if (isTwoPhase(fault)) {
        return u / (direct * Complex(2.0, 0.0));
    }
    if (fault == ABC) {
        return u / direct;
    }
    return {};
}

Complex CalculationZ::_calcZForUI(Fault fault, Complex& u, Complex& i, double healthyCurrent,
                                  const DistanceParameters& p) {
    if (Complex::abs(i) < kGuard) {
        return {};
    }
    if (isTwoPhase(fault)) {
        return u / (i * Complex(2.0, 0.0));
    }
    if (isGroundLoop(fault)) {
        return _calc1PhaseFaultZFromUI(u, i, healthyCurrent, p);
    }
    return u / i;
}

Complex CalculationZ::_calc1PhaseFaultZFromUI(Complex& u, Complex& i, double healthyCurrent,
                                              const DistanceParameters& p) {
    // The residual current: the fault current less a healthy-phase current of
    // the given magnitude along the fault current's direction.
    const Complex residual = i - Complex::fromPolar(healthyCurrentOrDefault(healthyCurrent), std::atan2(i.im, i.re));
    const DistanceParameters::LoopParameters loop = p.loop;
    switch (loop.groundFactorMode) {
    case K0:
        return u / (i + residual * Complex::fromPolar(loop.k0));
    case RE_RL_XE_XL:
        return u / (i + Complex(loop.reRlXeXl.re * residual.re, loop.reRlXeXl.im * residual.im));
    case Z0_Z1:
        // The residual compensation with k0 = (Z0/Z1 - 1) / 3, the inverse of
        // the ground term that _calcUForZI adds in this mode.
        return u / (i + residual * (Complex::fromPolar(loop.z0z1) - Complex(1.0, 0.0)) / Complex(3.0, 0.0));
    default:
        return u / i;
    }
}

ThreePhaseUISystem CalculationZ::calculateZIconst(Fault fault, const Kex::Polar& z, double current,
                                                  double healthyCurrent, const DistanceParameters& p) {
    const Complex impedance = Complex::fromPolar(z);
    const Complex u = _calcUForZI(fault, impedance, current, healthyCurrent, p);
    // A vanishing impedance point keeps its own angle.
    const double phi = z.amplitude < kTinyImpedance ? z.angle : std::atan2(u.im, u.re);
    const ReferenceAngles angles = referenceAngles(voltageReference, phi);
    const ThreePhaseSystem voltages =
        CalculationFault::calculateFault(KexRelay::Voltage, fault, Complex::abs(u), angles.voltage, -1.0);
    const ThreePhaseSystem currents =
        CalculationFault::calculateFault(KexRelay::Current, fault, current, angles.current, healthyCurrent);
    return {voltages, currents};
}

ThreePhaseUISystem CalculationZ::calculateZUconst(Fault fault, const Kex::Polar& z, double voltage,
                                                  double healthyVoltage, const DistanceParameters& p) {
    const Complex impedance = Complex::fromPolar(z);
    const Complex i = _calcIFromZU(fault, impedance, voltage, p);
    const double phi = z.amplitude < kTinyImpedance ? z.angle : -std::atan2(i.im, i.re);
    const ReferenceAngles angles = referenceAngles(voltageReference, phi);
    const ThreePhaseSystem voltages =
        CalculationFault::calculateFault(KexRelay::Voltage, fault, voltage, angles.voltage, healthyVoltage);
    const ThreePhaseSystem currents =
        CalculationFault::calculateFault(KexRelay::Current, fault, Complex::abs(i), angles.current, -1.0);
    return {voltages, currents};
}

ThreePhaseUISystem CalculationZ::_getThreePhaseUISystem(Fault fault, double voltage, double current, double angle,
                                                        double healthyVoltage, double healthyCurrent) {
    const ReferenceAngles angles = referenceAngles(voltageReference, angle);
    const ThreePhaseSystem voltages =
        CalculationFault::calculateFault(KexRelay::Voltage, fault, voltage, angles.voltage, healthyVoltage);
    const ThreePhaseSystem currents =
        CalculationFault::calculateFault(KexRelay::Current, fault, current, angles.current, healthyCurrent);
    return {voltages, currents};
}

ThreePhaseUISystem CalculationZ::calculateZZsconst(Fault fault, const Kex::Polar& z, const Complex& zS1,
                                                   const Complex& kS, double sourceVoltage,
                                                   const DistanceParameters& p) {
    // The line carries the relay's own ground compensation (Z0 = ZD + 3 ZE),
    // so every faulted loop measures ZD.
    const Complex lineZ = _calcArcResistanceZ(Complex::fromPolar(z), p);
    const Complex groundZ = _groundZ(lineZ, p);
    const BalancedElement line{lineZ + groundZ, groundZ};
    Complex zS0 = zS1;
    zS0.mul(kS);
    const BalancedElement source = BalancedElement::fromSequences(zS1, zS0);
    const BalancedElement loop = source + line;

    const ThreePhaseSystem emfSystem(Complex(sourceVoltage, 0.0), true);
    const Complex3 emf(emfSystem.a(), emfSystem.b(), emfSystem.c());

    // No load: the only currents are the mesh currents through the fault.
    const FaultMeshes fm = faultMeshes(fault);
    MeshMatrix meshZ;
    MeshVector meshEmf;
    for (std::size_t k = 0; k < fm.count; ++k) {
        for (std::size_t l = 0; l < fm.count; ++l) {
            meshZ[k][l] = weighted(fm.meshes[k], loop.drop(phaseCurrents(fm.meshes[l], Complex(1.0, 0.0))));
        }
        meshEmf[k] = weighted(fm.meshes[k], emf);
    }
    const MeshVector j = meshCurrents(meshZ, meshEmf, fm.count);
    Complex3 i;
    for (std::size_t k = 0; k < fm.count; ++k) {
        const Complex3 meshI = phaseCurrents(fm.meshes[k], j[k]);
        for (std::size_t phase = 0; phase < 3; ++phase) {
            i.values[phase] += meshI.values[phase];
        }
    }
    // The relay sees the EMFs less the drop across the source.
    const Complex3 sourceDrop = source.drop(i);
    Complex3 u;
    for (std::size_t phase = 0; phase < 3; ++phase) {
        u.values[phase] = emf.values[phase] - sourceDrop.values[phase];
    }

    // Turn the result so that the reference current (or voltage) stands at 0.
    // Without a current, or for a vanishing impedance point, the point's own
    // angle is the angle between voltage and current.
    const Complex uRef = weighted(fm.reference, u);
    const Complex iRef = weighted(fm.reference, i);
    const bool noCurrent = iRef.re == 0.0 && iRef.im == 0.0;
    const double phi = z.amplitude < kTinyImpedance || noCurrent ? z.angle : angleOf(uRef) - angleOf(iRef);
    const ReferenceAngles angles = referenceAngles(voltageReference, phi);
    ThreePhaseUISystem result(u, i);
    result.rotate(noCurrent ? angles.voltage - angleOf(uRef) : angles.current - angleOf(iRef));
    result.shftPhaseValues(CalculationFault::_getShiftCount(fault));
    return result;
}

}  // namespace KexCalculate
