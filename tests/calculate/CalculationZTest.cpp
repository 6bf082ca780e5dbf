#include "CalculationZ.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "PhasorAssertions.h"

using namespace KexCalculate;
using namespace KexCalculateTest;

namespace {

constexpr double kTol = 1e-12;
constexpr double kLineAngle80 = 1.3962634015954636;
const Kex::Polar kK0{0.8, 0.3};
const Kex::Polar kZ0Z1{3.5, 0.2};

DistanceParameters withMode(GroundFactorMode mode) {
    DistanceParameters p;
    p.loop.groundFactorMode = mode;
    p.loop.k0 = kK0;
    p.loop.z0z1 = kZ0Z1;
    return p;
}

DistanceParameters withArcResistance(double lineAngle) {
    DistanceParameters p;
    p.loop.arcResistance = true;
    p.lineImpedance.angle = lineAngle;
    return p;
}

// Each form's default (k0 = 1 at 0, Z0/Z1 = 4 at 0, RE/RL = XE/XL = 1) makes the ground return equal to the
// line, so a ground loop is twice the line. Other factors are checked through what a relay measures (RelayLoops).
TEST(CalculationZ, DefaultsAndTheGroundReturn) {
    CalculationZ calc;
    DistanceParameters p;
    EXPECT_EQ(p.lineImpedance.angle, kLineAngle80);
    EXPECT_FALSE(p.loop.arcResistance);
    for (const GroundFactorMode mode : {K0, RE_RL_XE_XL, Z0_Z1}) {
        p.loop.groundFactorMode = mode;
        for (const Fault f : FaultsList) {
            const bool groundLoop = f == AN || f == BN || f == CN || f == ABN || f == BCN || f == CAN;
            EXPECT_COMPLEX_NEAR(calc._faultLoopZ(f, Complex(1, 2), p), groundLoop ? Complex(2, 4) : Complex(1, 2), kTol)
                << "fault " << f << ", mode " << mode;
        }
    }
    p.loop.groundFactorMode = static_cast<GroundFactorMode>(3);  // no ground return
    EXPECT_COMPLEX_NEAR(calc._faultLoopZ(AN, Complex(3, 3), p), Complex(3, 3), 0.0);
}

TEST(CalculationZ, ArcResistanceRule) {
    CalculationZ calc;
    const Complex z(10, 5);
    EXPECT_COMPLEX_NEAR(calc._calcArcResistanceZ(z, withArcResistance(kLineAngle80)), Complex(0.8816349035423253, 5),
                        kTol);
    EXPECT_COMPLEX_NEAR(calc._calcArcResistanceZ(z, withArcResistance(kPi / 4)), Complex(5, 5), kTol);
    // The tangent is clamped at 0.001 for small and negative line angles.
    EXPECT_COMPLEX_NEAR(calc._calcArcResistanceZ(z, withArcResistance(0.0)), Complex(5000, 5), 1e-9);
    EXPECT_COMPLEX_NEAR(calc._calcArcResistanceZ(z, withArcResistance(-0.5)), Complex(5000, 5), 1e-9);
    // The loop impedance forms its ground term from the full impedance, the loop voltage from the reduced one.
    EXPECT_COMPLEX_NEAR(calc._faultLoopZ(AN, z, withArcResistance(kLineAngle80)), Complex(10.881634903542325, 10),
                        kTol);
    EXPECT_COMPLEX_NEAR(calc._calcUForZI(AN, z, 1, 0, withArcResistance(kLineAngle80)),
                        Complex(2 * 0.8816349035423253, 10), kTol);
}

TEST(CalculationZ, DivisorGuards) {
    CalculationZ calc;
    Complex one(1, 0), two(2, 0), minusOne(-1, 0), belowGuard(-1 + 5e-7, 0);
    EXPECT_COMPLEX_NEAR(calc.parallel(one, minusOne), Complex(), 0.0);
    EXPECT_COMPLEX_NEAR(calc.parallel(two, two), Complex(1, 0), kTol);
    EXPECT_COMPLEX_NEAR(calc.parallel(one, belowGuard), Complex(), 0.0);

    const DistanceParameters p;
    EXPECT_COMPLEX_NEAR(calc._calcIFromZU(ABC, Complex(5e-9, 0), 1, p), Complex(), 0.0);
    EXPECT_COMPLEX_NEAR(calc._calcIFromZU(ABC, Complex(2e-8, 0), 1, p), Complex(5e7, 0), 1e-4);
    DistanceParameters cancelling;  // the ground return cancels the line
    cancelling.loop.k0 = Kex::Polar{1, kPi};
    EXPECT_COMPLEX_NEAR(calc._calcIFromZU(AN, Complex(1, 1), 1, cancelling), Complex(), 0.0);
    // The arc rule leaves nothing of a purely resistive point.
    EXPECT_COMPLEX_NEAR(calc._calcIFromZU(AB, Complex(3, 0), 1, withArcResistance(1)), Complex(), 0.0);

    Complex u(10, 0), tiny(5e-9, 0), small(2e-8, 0);
    EXPECT_COMPLEX_NEAR(calc._calcZForUI(ABC, u, tiny, 0, p), Complex(), 0.0);
    EXPECT_COMPLEX_NEAR(calc._calcZForUI(ABC, u, small, 0, p), Complex(5e8, 0), 1e-3);
    // The ground-loop quotient itself has no guard: RE/RL = -1 cancels a real fault current.
    DistanceParameters cancellingReal;
    cancellingReal.loop.groundFactorMode = RE_RL_XE_XL;
    cancellingReal.loop.reRlXeXl = Complex(-1, 1);
    Complex real(5, 0);
    const Complex seen = calc._calc1PhaseFaultZFromUI(u, real, 0, cancellingReal);
    EXPECT_TRUE(std::isnan(seen.re) && std::isnan(seen.im));
}

TEST(CalculationZ, VoltageThenImpedanceGivesBackTheImpedance) {
    CalculationZ calc;
    for (const Fault fault : ZFaultsList) {
        for (const GroundFactorMode mode : {K0, Z0_Z1}) {
            for (const double healthyCurrent : {0.0, 1.5}) {
                const DistanceParameters p = withMode(mode);
                Complex u = calc._calcUForZI(fault, polar(4, 1.2), 5, healthyCurrent, p);
                Complex i(5, 0);
                EXPECT_COMPLEX_NEAR(calc._calcZForUI(fault, u, i, healthyCurrent, p), polar(4, 1.2), kTol)
                    << "fault " << fault << ", mode " << mode << ", healthy current " << healthyCurrent;
            }
        }
    }
}

TEST(CalculationZ, SystemsOfGivenValuesAndAngleReference) {
    CalculationZ calc;
    const ThreePhaseUISystem direct = calc._getThreePhaseUISystem(AN, 30, 5, 0.3, 40, 2);
    EXPECT_COMPLEX_NEAR(direct.voltages.b(), polar(40, 0.3 - kTwoThirdsPi), kTol);
    EXPECT_COMPLEX_NEAR(direct.currents.b(), polar(2, -kTwoThirdsPi), kTol);

    calc.voltageReference = true;  // the voltage stands at 0, the current turns back
    const ThreePhaseUISystem directTurned = calc._getThreePhaseUISystem(ABC, 100, 5, 0.3, -1, -1);
    EXPECT_COMPLEX_NEAR(directTurned.voltages.a(), Complex(100, 0), kTol);
    EXPECT_COMPLEX_NEAR(directTurned.currents.a(), polar(5, -0.3), kTol);
}

TEST(CalculationZ, VanishingImpedanceKeepsItsOwnAngle) {
    CalculationZ calc;
    calc.voltageReference = true;
    DistanceParameters p;
    p.loop.k0 = Kex::Polar{1, kPi / 2};  // the loop voltage stands 45 deg beyond the impedance
    const auto currentAngleA = [&](double amplitude) {
        const Complex i = calc.calculateZIconst(AN, Kex::Polar{amplitude, 0.5}, 5, 0, p).currents.a();
        return std::atan2(i.im, i.re);
    };
    EXPECT_NEAR(currentAngleA(0.0), -0.5, kTol);
    EXPECT_NEAR(currentAngleA(1e-9), -0.5 - kPi / 4, kTol);

    calc.voltageReference = false;
    EXPECT_COMPLEX_NEAR(calc.calculateZUconst(AN, Kex::Polar{0, 0.5}, 20, -1, p).voltages.a(), polar(20, 0.5), kTol);
    EXPECT_PHASES_NEAR(calc.calculateZUconst(ABC_lin, Kex::Polar{2, 0.5}, 20, -1, p).currents, Complex(), Complex(),
                       Complex(), 0.0);
}

// Constant source impedance: a source of 63.5 V behind ZS1 = 1.5 at 1.4 rad
// with Z0 = (2.5 R1, 3.2 X1).
namespace source {

const Complex kZ1 = polar(1.5, 1.4);
const Complex kFactors(2.5, 3.2);
const Complex kZ0(kZ1.re * 2.5, kZ1.im * 3.2);
const Complex kMutual = (kZ0 - kZ1) / Complex(3, 0);
constexpr double kEmf = 63.5;
const Kex::Polar kPoint{4, 1.2};

}  // namespace source

double relativeError(const Complex& actual, const Complex& expected) {
    return Complex::abs(actual - expected) / Complex::abs(expected);
}

// What a relay set with p measures in the loop of `phase` to ground, from
// U = ZD I + ZE IE. The RE/RL, XE/XL form compensates resistance and reactance
// apart, so R and X come from the two real equations of
// U = R (I + kR IE) + jX (I + kX IE).
Complex groundLoopSeen(const ThreePhaseUISystem& ui, Phase phase, const DistanceParameters& p) {
    const Complex u = ui.voltages.getPhaseComplexValue(phase);
    const Complex i = ui.currents.getPhaseComplexValue(phase);
    const Complex ie = ui.currents.a() + ui.currents.b() + ui.currents.c();
    const DistanceParameters::LoopParameters& loop = p.loop;
    if (loop.groundFactorMode == RE_RL_XE_XL) {
        const Complex r = i + ie * Complex(loop.reRlXeXl.re, 0);
        const Complex x = (i + ie * Complex(loop.reRlXeXl.im, 0)) * Complex(0, 1);
        const auto cross = [](const Complex& a, const Complex& b) { return a.re * b.im - a.im * b.re; };
        return {cross(x, u) / cross(x, r), cross(r, u) / cross(r, x)};
    }
    Complex k0;
    if (loop.groundFactorMode == K0) {
        k0 = polar(loop.k0.amplitude, loop.k0.angle);
    } else if (loop.groundFactorMode == Z0_Z1) {
        k0 = (polar(loop.z0z1.amplitude, loop.z0z1.angle) - Complex(1, 0)) / Complex(3, 0);
    }
    return u / (i + k0 * ie);
}

struct FaultedLoops {
    std::vector<Phase> toGround;
    std::vector<std::pair<Phase, Phase>> between;
    std::vector<Phase> healthy;
};

// The loops a relay measures for each kind, in the order of the Fault values,
// and the healthy phases.
const FaultedLoops kFaultedLoops[] = {{{A}, {}, {B, C}},
                                      {{B}, {}, {C, A}},
                                      {{C}, {}, {A, B}},
                                      {{}, {{A, B}}, {C}},
                                      {{}, {{B, C}}, {A}},
                                      {{}, {{C, A}}, {B}},
                                      {{A, B, C}, {{A, B}, {B, C}, {C, A}}, {}},
                                      {{A, B}, {{A, B}}, {C}},
                                      {{B, C}, {{B, C}}, {A}},
                                      {{C, A}, {{C, A}}, {B}},
                                      {{A, B, C}, {{A, B}, {B, C}, {C, A}}, {}}};

// The kinds whose constant-current and constant-voltage test values are the
// currents of a network: one loop (one phase to ground, two phases) and ABC.
bool hasNetworkCurrents(Fault fault) { return fault != ABN && fault != BCN && fault != CAN && fault != ABC_lin; }

using LoopCase = std::tuple<Fault, GroundFactorMode, bool>;

class RelayLoops : public ::testing::TestWithParam<LoopCase> {};

// Every faulted loop, measured as the relay measures it, sees the impedance
// point (after the arc rule) under either reference: behind the source
// impedance for every kind, the healthy phases dead; at constant current (a
// negative healthy current is the default 0 A) or voltage for the kinds with
// network currents. These two form the arc rule's ground term from the full
// impedance, so a single ground loop sees the point only without the rule.
TEST_P(RelayLoops, SeeTheImpedancePoint) {
    const auto [fault, mode, arcResistance] = GetParam();
    DistanceParameters p = withMode(mode);
    p.loop.arcResistance = arcResistance;
    p.loop.reRlXeXl = Complex(1.8, 0.6);
    const double x = 4 * std::sin(1.2);
    const Complex seen = arcResistance ? Complex(x / std::tan(kLineAngle80), x) : polar(4, 1.2);
    const FaultedLoops& loops = kFaultedLoops[fault];
    const bool constantValues = hasNetworkCurrents(fault) && !(arcResistance && loops.toGround.size() == 1);
    for (const bool voltageReference : {false, true}) {
        CalculationZ calc;
        calc.voltageReference = voltageReference;
        std::vector<std::pair<const char*, ThreePhaseUISystem>> systems{
            {"source impedance",
             calc.calculateZZsconst(fault, source::kPoint, source::kZ1, source::kFactors, source::kEmf, p)}};
        for (const Phase phase : loops.healthy) {
            EXPECT_EQ(Complex::abs(systems[0].second.currents.getPhaseComplexValue(phase)), 0.0) << "phase " << phase;
        }
        if (constantValues) {
            systems.insert(systems.end(),
                           {{"constant current", calc.calculateZIconst(fault, source::kPoint, 5, 1.5, p)},
                            {"default healthy current", calc.calculateZIconst(fault, source::kPoint, 5, -1, p)},
                            {"constant voltage", calc.calculateZUconst(fault, source::kPoint, 20, 40, p)}});
        }
        for (const auto& [model, ui] : systems) {
            SCOPED_TRACE(std::string(model) + (voltageReference ? ", voltage reference" : ", current reference"));
            for (const Phase phase : loops.toGround) {
                EXPECT_LT(relativeError(groundLoopSeen(ui, phase, p), seen), 1e-9) << "to ground, phase " << phase;
            }
            for (const auto& [first, second] : loops.between) {
                const Complex loopZ =
                    (ui.voltages.getPhaseComplexValue(first) - ui.voltages.getPhaseComplexValue(second)) /
                    (ui.currents.getPhaseComplexValue(first) - ui.currents.getPhaseComplexValue(second));
                EXPECT_LT(relativeError(loopZ, seen), 1e-9) << "between phases " << first << " and " << second;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(KindsAndGroundFactors, RelayLoops,
                         ::testing::Combine(::testing::ValuesIn(FaultsList),
                                            ::testing::Values(K0, RE_RL_XE_XL, Z0_Z1, static_cast<GroundFactorMode>(3)),
                                            ::testing::Bool()));

// A single phase to ground against the sequence networks in series: the fault
// current is 3E / (Z1 + Z2 + Z0) summed over source and line, and the healthy
// phases keep their EMF less the source's mutual drop ZSm I_f. The current
// reference puts I_f at 0, the voltage reference U_f.
TEST(CalculationZ, SourceImpedanceSinglePhaseFaultFromSequenceNetworks) {
    const DistanceParameters p = withMode(K0);
    const Complex zD = polar(4, 1.2);
    const Complex zL0 = zD * (Complex(1, 0) + Complex(3, 0) * polar(kK0.amplitude, kK0.angle));
    const Complex loopSum = (source::kZ1 + zD) * Complex(2, 0) + source::kZ0 + zL0;
    const Complex iF(3 * source::kEmf / Complex::abs(loopSum), 0);
    const Complex eF = iF * loopSum / Complex(3, 0);  // the faulted phase's EMF
    const Complex uF = iF * (zD * Complex(2, 0) + zL0) / Complex(3, 0);
    const Complex uLagging = Complex::rotate(eF, -kTwoThirdsPi) - source::kMutual * iF;
    const Complex uLeading = Complex::rotate(eF, kTwoThirdsPi) - source::kMutual * iF;
    for (const Fault fault : {AN, BN, CN}) {
        const auto faulted = static_cast<std::size_t>(fault);  // the faulted phase's index
        for (const bool voltageReference : {false, true}) {
            CalculationZ calc;
            calc.voltageReference = voltageReference;
            const ThreePhaseUISystem ui =
                calc.calculateZZsconst(fault, source::kPoint, source::kZ1, source::kFactors, source::kEmf, p);
            const double turn = voltageReference ? -std::atan2(uF.im, uF.re) : 0.0;
            EXPECT_COMPLEX_NEAR(ui.currents.values[faulted], Complex::rotate(iF, turn), 1e-9);
            EXPECT_COMPLEX_NEAR(ui.voltages.values[faulted], Complex::rotate(uF, turn), 1e-9);
            EXPECT_COMPLEX_NEAR(ui.voltages.values[(faulted + 1) % 3], Complex::rotate(uLagging, turn), 1e-9);
            EXPECT_COMPLEX_NEAR(ui.voltages.values[(faulted + 2) % 3], Complex::rotate(uLeading, turn), 1e-9);
        }
    }
}

// Without source impedance the relay sees the EMFs themselves: the
// constant-voltage test values at the source's loop voltage (the line value
// for two phases and for ABC_lin). Where that model's currents are the
// network's own the currents agree too; elsewhere its current angle is not
// the network's, so only the voltage reference is common ground.
TEST(CalculationZ, SourceImpedanceZeroGivesConstantVoltageValues) {
    const double lineValue = source::kEmf * std::sqrt(3.0);
    const DistanceParameters p = withMode(K0);
    for (const Fault fault : FaultsList) {
        SCOPED_TRACE(fault);
        const bool twoPhase = fault == AB || fault == BC || fault == CA;
        for (const bool voltageReference : {true, false}) {
            CalculationZ calc;
            calc.voltageReference = voltageReference;
            const ThreePhaseUISystem zs =
                calc.calculateZZsconst(fault, source::kPoint, Complex(), source::kFactors, source::kEmf, p);
            const ThreePhaseUISystem uConst = calc.calculateZUconst(
                fault, source::kPoint, twoPhase || fault == ABC_lin ? lineValue : source::kEmf, source::kEmf, p);
            if (voltageReference || hasNetworkCurrents(fault)) {
                EXPECT_PHASES_NEAR(zs.voltages, uConst.voltages.a(), uConst.voltages.b(), uConst.voltages.c(), 1e-9);
            }
            if (hasNetworkCurrents(fault)) {
                EXPECT_PHASES_NEAR(zs.currents, uConst.currents.a(), uConst.currents.b(), uConst.currents.c(), 1e-9);
            }
        }
    }
}

// A loop without impedance carries no current rather than an infinite one: a
// source of exactly minus the line leaves every kind with zero currents and
// the EMFs at the relay. A vanishing impedance point keeps its own angle.
TEST(CalculationZ, SourceImpedanceGuards) {
    const DistanceParameters noGround = withMode(static_cast<GroundFactorMode>(3));
    for (const Fault fault : FaultsList) {
        SCOPED_TRACE(fault);
        const ThreePhaseUISystem ui = CalculationZ().calculateZZsconst(fault, source::kPoint, -polar(4, 1.2),
                                                                       Complex(1, 1), source::kEmf, noGround);
        EXPECT_PHASES_NEAR(ui.currents, Complex(), Complex(), Complex(), 0.0);
        for (const Phase phase : {A, B, C}) {
            EXPECT_NEAR(Complex::abs(ui.voltages.getPhaseComplexValue(phase)), source::kEmf, 1e-12);
        }
    }
    CalculationZ calc;
    calc.voltageReference = true;
    const ThreePhaseUISystem closeIn =
        calc.calculateZZsconst(AN, Kex::Polar{0, 0.5}, source::kZ1, source::kFactors, source::kEmf, withMode(K0));
    EXPECT_COMPLEX_NEAR(closeIn.voltages.a(), Complex(), 1e-12);
    EXPECT_NEAR(std::atan2(closeIn.currents.a().im, closeIn.currents.a().re), -0.5, 1e-12);
}

}  // namespace
