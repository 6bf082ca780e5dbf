#include "CalculationRl.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "CalculationSymComponents.h"
#include "RlCodes.h"
#include "detail/Compiler.h"
#include "detail/RlConstants.h"

namespace KexCalculate {

namespace {

using detail::aperiodicTerm;
using detail::belowAperiodicFloor;
using detail::isChannel;
using detail::kDegToRad;
using detail::kAperiodicFloor;
using detail::kFourThirdsPi;
using detail::kPi;
using detail::kSqrt2;
using detail::kTwoPi;
using RlLimits::QuotientGuard;

// The time constant of the aperiodic component and its substitutes.
constexpr double kMinTau = 1e-6;  // a shorter (or NaN) time constant is replaced by kFallbackTau
constexpr double kFallbackTau = 0.001;
constexpr double kFallbackResistance = 0.001;
constexpr double kPhaseBreakTau = 0.0005;

const Complex kOne(1.0, 0.0);
const Complex kTwo(2.0, 0.0);
const Complex kThree(3.0, 0.0);
const Complex kHundred(100.0, 0.0);

// x / y, or (0, 0) where the model expects the divisor to vanish.
Complex guardedQuotient(const Complex& x, const Complex& y) {
    return Complex::abs(y) < QuotientGuard ? Complex() : x / y;
}

// The zero-sequence impedance of z with the factor pair k (R0/R1, X0/X1).
Complex zeroSequence(const Complex& z, const Complex& k) {
    Complex z0(z);
    z0.mul(k);
    return z0;
}

double argument(const Complex& z) { return std::atan2(z.im, z.re); }

// e^(-t/T); a time constant of 0 is a step that has happened at t = 0.
double decayFactor(double t, double timeConstant) {
    if (timeConstant != 0.0) {
        return std::exp(-t / timeConstant);
    }
    return t >= 0.0 ? 0.0 : 1.0;
}

// The angle in [0, 2 pi).
double positiveAngle(double angle) {
    const double reduced = std::remainder(angle, kTwoPi);
    return reduced < 0.0 ? reduced + kTwoPi : reduced;
}

// The phasor of a channel 0..5 in a pair of triples (currents 0..2, voltages 3..5).
const Complex& channelPhasor(const Complex3& currents, const Complex3& voltages, unsigned channel) {
    return channel <= 2U ? currents.values[channel] : voltages.values[channel - 3U];
}

// The turn of each phase of the swing phasor, (channel mod 3) * 4 pi / 3, as
// the factor (cos, sin) that Complex::rotate applies: multiplying by it gives
// the rotated phasor bit for bit, without a sine and cosine per sample.
const std::array<Complex, 3> kPhaseStepTurns = {Complex::rotate(Complex(1.0, 0.0), 0.0 * kFourThirdsPi),
                                                Complex::rotate(Complex(1.0, 0.0), 1.0 * kFourThirdsPi),
                                                Complex::rotate(Complex(1.0, 0.0), 2.0 * kFourThirdsPi)};

}  // namespace

// ---------------------------------------------------------------- predicates

bool CalculationRl::_isPhaseBreak() const { return _params->faultKind == RlKind::PhaseBreak; }

bool CalculationRl::_isOnePhaseFault() const { return RlKind::isOnePhase(_params->faultKind); }

bool CalculationRl::_isTwoPhaseFault() const { return RlKind::isTwoPhase(_params->faultKind); }

bool CalculationRl::_isSwing() const { return _params->faultKind == RlKind::Swing; }

bool CalculationRl::_isAsyncMov() const { return _params->faultKind == RlKind::AsyncOperation; }

bool CalculationRl::_isSwingOrAmow() const { return RlKind::isSwingOrAsync(_params->faultKind); }

// ------------------------------------------------------------------- driver

void CalculationRl::calculate() {
    const RlParameters* params = _params;
    *this = CalculationRl(params);  // nothing from an earlier calculation survives
    if (params == nullptr) {
        return;
    }
    _initializeNSValues();
    _initializePredValues();
    _initializeZValues();
    _initializeE1E2Values();
    _calcPredUI();
    if (RlKind::isDisturbance(params->faultKind)) {
        _calcFaultValues();
    } else {
        // No disturbance: the waveform simply continues.
        _faultI = _predI;
        _faultU = _predU;
    }
    _convertFazaFault();
    _derivePolarForms();
}

void CalculationRl::_init() {
    _initializeNSValues();
    _initializePredValues();
    _initializeZValues();
    _initializeE1E2Values();
}

void CalculationRl::_initializeNSValues() {
    _faultDistance = RlLimits::effectiveFaultDistance(_params->faultKind, _params->faultDistance);
}

void CalculationRl::_calcFaultValues() {
    const std::uint8_t kind = _params->faultKind;
    if (!RlKind::isDisturbance(kind)) {
        return;
    }
    if (RlKind::isSwingOrAsync(kind)) {
        const SwingOrAmowUIValues magnitudes = getSwingOrAmowUIValues();
        const Complex3 currents(Complex(), Complex(magnitudes.iMax, 0.0), Complex());
        const Complex3 voltages(Complex(), Complex(magnitudes.uMin, 0.0), Complex());
        CalculationSymComponents::setFaultValues(currents, _faultI);
        CalculationSymComponents::setFaultValues(voltages, _faultU);
        return;
    }
    const Complex3 currents = _getISymComponents();
    const Complex3 voltages = _getUSymComponents(currents);
    _tau = _getTau();
    _calcAuAi(currents);
    CalculationSymComponents::setFaultValues(currents, _faultI);
    CalculationSymComponents::setFaultValues(voltages, _faultU);
}

void CalculationRl::_convertFazaFault() {
    const unsigned n = RlKind::faultPhaseShift(_params->faultKind, _params->faultPhase);
    if (n != 0) {
        _shiftAllValues(static_cast<int>(n));
    }
}

// ------------------------------------------------------ network impedances

void CalculationRl::_initializeZValues() {
    const RlParameters& p = *_params;
    _zFault = p.useFaultResistance ? Complex(p.faultResistance, 0.0) : Complex();
    _zS1 = p.zS1;
    _zLine = p.zLine;
    _zS2 = p.zS2;
    _zSum = (_zS1 + _zLine) + _zS2;
    _zK = _faultDistance >= 0.0 ? _zLine * Complex(_faultDistance, 0.0) / kHundred : Complex();
    _zRest = _zLine - _zK;
    _zBranch = Complex();
    if (RlNetwork::isDoubleCircuit(p.networkType)) {
        // Delta-star transformation of the faulted circuit's two sections and
        // the healthy circuit: the arm towards the fault.
        _zRest = _zRest / kTwo;
        _zBranch = Complex::abs(_zLine) < QuotientGuard ? Complex() : _zK * _zRest / _zLine;
    }
    if (p.networkType == RlNetwork::TappedBranch) {
        _zBranch = p.zBranch * Complex(p.branchDistance, 0.0) / kHundred;
    }
    _zSwitched = p.networkType == RlNetwork::SingleLine ? p.zSwitched : Complex();
    _initializeZComponents();
}

void CalculationRl::_initializeZComponents() {
    const RlParameters& p = *_params;
    const bool doubleCircuit = RlNetwork::isDoubleCircuit(p.networkType);

    _zS1Sym = Complex3(zeroSequence(_zS1, p.kS1), _zS1, _zS1);
    const Complex& branchFactors = doubleCircuit ? p.kLine : p.kBranch;
    _zBranchSym = Complex3(zeroSequence(_zBranch, branchFactors), _zBranch, _zBranch);
    _zRightSym = Complex3(zeroSequence(_zS2, p.kS2) + zeroSequence(_zRest, p.kLine), _zS2 + _zRest, _zS2 + _zRest);
    const Complex zk = doubleCircuit ? _zK / kTwo : _zK;
    _zKSym = Complex3(zeroSequence(zk, p.kLine), zk, zk);
    if (_faultDistance < 0.0 && doubleCircuit) {
        // Source 2's current divides equally between the circuits.
        const Complex z2 = _zS2 * kTwo;
        _zReverseSym = Complex3(zeroSequence(_zLine, p.kLine) + zeroSequence(z2, p.kS2), _zLine + z2, _zLine + z2);
    }
    for (unsigned k = 0; k < 3U; ++k) {
        const Complex source1Side = _zS1Sym.values[k] + _zKSym.values[k];
        const Complex source2Side = _zRightSym.values[k];
        _zEqSym.values[k] = guardedQuotient(source1Side * source2Side, source1Side + source2Side);
        if (p.networkType != RlNetwork::SingleLine) {
            _zEqSym.values[k] += _zBranchSym.values[k];  // the fault lies at the end of the branch
        }
        _zLoopSym.values[k] = source1Side + source2Side;
    }
}

Complex CalculationRl::_parallel(Complex a, Complex b) const { return guardedQuotient(a * b, a + b); }

// --------------------------------------------- source EMFs, pre-fault state

void CalculationRl::_initializePredValues() {
    const RlParameters& p = *_params;
    _omega = kTwoPi * p.frequency;
    _uLoad = Complex(p.loadVoltage, 0.0);
    _iLoad = Complex::fromPolar(p.loadCurrent, -p.loadAngle * kPi / 180.0);
    _zLoad = Complex::abs(_iLoad) < QuotientGuard ? Complex() : _uLoad / _iLoad;
}

void CalculationRl::_initializeE1E2Values() {
    const RlParameters& p = *_params;
    const bool doubleCircuit = RlNetwork::isDoubleCircuit(p.networkType);
    // On a double circuit the load current is that of the relay's circuit, so
    // source 1 delivers twice of it.
    const Complex sourceCurrent = doubleCircuit ? _iLoad * kTwo : _iLoad;
    const Complex zl = doubleCircuit ? _zLine / kTwo : _zLine;

    _e1 = _uLoad + sourceCurrent * _zS1;
    if (Complex::abs(_e1) < RlLimits::EmfGuard) {
        _e1 = Complex();
    }
    _e2 = _uLoad - sourceCurrent * (zl + _zS2);
    if (Complex::abs(_e2) < RlLimits::EmfGuard) {
        _e2 = Complex();
    }
    // Swing and asynchronous operation apply the angle to the instantaneous
    // values instead.
    const bool turn = !RlKind::isSwingOrAsync(p.faultKind);
    _e1Start = turn ? Complex::rotate(_e1, p.initialAngle) : _e1;
    _e2Start = turn ? Complex::rotate(_e2, p.initialAngle) : _e2;
    _delta0 = std::fabs(std::remainder(argument(_e2) - argument(_e1), kTwoPi));
}

void CalculationRl::_calcPredUI() {
    const double angle = _params->initialAngle;
    _predI = CalculationSymComponents::CalcComplex3PhseSystem(Complex(), Complex::rotate(_iLoad, angle), Complex());
    _predU = CalculationSymComponents::CalcComplex3PhseSystem(Complex(), Complex::rotate(_uLoad, angle), Complex());
}

// ------------------------------------------------ fault-current components

Complex CalculationRl::_getUkp() { return Complex::rotate(_uLoad - _zK * _iLoad, _params->initialAngle); }

Complex3 CalculationRl::_getAlphaValues() {
    const Complex z0 = _zEqSym.values[0];
    const Complex z1 = _zEqSym.values[1];  // the negative-sequence network equals the positive one
    const Complex rf = _zFault;
    switch (_params->faultKind) {
    case RlKind::TwoPhaseGround:
    case RlKind::TwoPhaseGroundAlt:
        _work1 = z0 + kThree * rf;
        _work2 = z1 + kTwo * _work1;
        return {guardedQuotient(z0, _work2), guardedQuotient(_work1, _work2), guardedQuotient(_work1, _work2)};
    case RlKind::OnePhaseGround:
    case RlKind::OnePhaseGroundAlt:
        _work1 = (z0 + kTwo * z1) + kThree * rf;
        return {-guardedQuotient(z0, _work1), guardedQuotient((z0 + z1) + kThree * rf, _work1),
                -guardedQuotient(z1, _work1)};
    case RlKind::TwoPhase:
    case RlKind::TwoPhaseAlt:
        _work1 = kTwo * z1 + rf;
        return {Complex(), guardedQuotient(rf + z1, _work1), guardedQuotient(z1, _work1)};
    default:
        return {Complex(), guardedQuotient(rf, z1 + rf), Complex()};
    }
}

Complex CalculationRl::_getAlpha(const Complex3& values, int k) {
    if (k == 1) {
        return values.values[1] - kOne;  // the pre-fault positive-sequence ratio is 1
    }
    if (k == 0 || k == 2) {
        return values.values[static_cast<unsigned>(k)];
    }
    return {};
}

Complex3 CalculationRl::_getISymComponents() {
    const std::uint8_t kind = _params->faultKind;
    if (kind == RlKind::PhaseBreak) {
        return _getPhaseBreakISymComponents();
    }
    if (kind == RlKind::LoadSwitching) {
        return _getLoadSwichingISymComponents();
    }
    if (!RlKind::isShortCircuit(kind)) {
        return {};
    }

    const std::int8_t network = _params->networkType;
    const Complex ukp = _getUkp();
    const Complex3 ratios = _getAlphaValues();
    const Complex ip = _predI.values[0];
    Complex3 result;
    for (unsigned k = 0; k < 3U; ++k) {
        const Complex faultComponentRatio = _getAlpha(ratios, static_cast<int>(k));
        if (!RlNetwork::isDoubleCircuit(network)) {
            if (network == RlNetwork::TappedBranch) {
                // The fault current -Ukp/Zeq divides between the two sides in
                // inverse proportion to their impedances. Behind the relay the
                // line side feeds it through the relay in reverse.
                const Complex& side = _faultDistance < 0.0 ? _zS1Sym.values[k] : _zRightSym.values[k];
                const Complex drive = _faultDistance < 0.0 ? ukp : -ukp;
                _work1 = guardedQuotient(drive * side, _zLoopSym.values[k] * _zEqSym.values[k]);
            } else if (_faultDistance < 0.0) {
                _work1 = guardedQuotient(ukp, _zRightSym.values[k]);
            } else {
                _work1 = -guardedQuotient(ukp, _zS1Sym.values[k] + _zKSym.values[k]);
            }
            result.values[k] = _work1 * faultComponentRatio;
            continue;
        }
        const Complex drive = ukp * faultComponentRatio;
        if (_faultDistance < 0.0) {
            _iFaultedSym.values[k] = guardedQuotient(drive, _zReverseSym.values[k]);
            _iHealthySym.values[k] = _iFaultedSym.values[k];
        } else {
            _iSource1Sym.values[k] =
                -guardedQuotient(drive * _zRightSym.values[k], _zLoopSym.values[k] * _zEqSym.values[k]);
            // The busbar's fault-component voltage less the fault point's, over
            // the faulted circuit's section up to the fault (twice the star arm).
            _iFaultedSym.values[k] =
                -guardedQuotient(_iSource1Sym.values[k] * _zS1Sym.values[k] + drive, _zKSym.values[k] * kTwo);
            _iHealthySym.values[k] = _iSource1Sym.values[k] - _iFaultedSym.values[k];
        }
        result.values[k] = network == RlNetwork::DoubleCircuitHealthy ? _iHealthySym.values[k] : _iFaultedSym.values[k];
    }
    result.values[1] += ip;
    return result;
}

Complex3 CalculationRl::_getPhaseBreakISymComponents() {
    // Phase A open: the positive network in series with the negative and zero
    // networks in parallel, driven by the voltage across the open pole.
    const std::int8_t network = _params->networkType;
    const Complex ip = _predI.values[0];
    const bool doubleCircuit = RlNetwork::isDoubleCircuit(network);

    // Loop impedances seen from the open pole. On a double circuit the pole is
    // in the faulted circuit, closed through the healthy circuit in parallel
    // with the path through both sources.
    Complex3 circuit;
    Complex3 external;
    Complex3 loop = _zLoopSym;
    if (doubleCircuit) {
        const RlParameters& p = *_params;
        circuit = Complex3(zeroSequence(_zLine, p.kLine), _zLine, _zLine);
        const Complex3 source2(zeroSequence(_zS2, p.kS2), _zS2, _zS2);
        for (unsigned k = 0; k < 3U; ++k) {
            external.values[k] = _zS1Sym.values[k] + source2.values[k];
            loop.values[k] = circuit.values[k] + guardedQuotient(circuit.values[k] * external.values[k],
                                                                 circuit.values[k] + external.values[k]);
        }
    }
    const Complex z0 = loop.values[0];
    const Complex z1 = loop.values[1];

    const Complex openPoleVoltage = ip * z1;
    const Complex zp = guardedQuotient(z1 * z0, z1 + z0);
    _work1 = guardedQuotient(openPoleVoltage, z1 + zp);
    _work2 = -guardedQuotient(_work1, z1 + z0);
    const Complex3 poleCurrents(z1 * _work2, _work1, z0 * _work2);
    if (!doubleCircuit) {
        return poleCurrents;
    }

    _iFaultedSym = Complex3(poleCurrents.values[0], poleCurrents.values[1] - ip, poleCurrents.values[2]);
    Complex3 result;
    for (unsigned k = 0; k < 3U; ++k) {
        // The change of the faulted circuit's current returns partly through
        // the healthy circuit and partly through the sources.
        _iSource1Sym.values[k] =
            guardedQuotient(_iFaultedSym.values[k] * circuit.values[k], circuit.values[k] + external.values[k]);
        _iHealthySym.values[k] = _iSource1Sym.values[k] - _iFaultedSym.values[k];
        result.values[k] = network == RlNetwork::DoubleCircuitHealthy ? _iHealthySym.values[k] : _iFaultedSym.values[k];
    }
    result.values[1] += ip;
    return result;
}

Complex3 CalculationRl::_getLoadSwichingISymComponents() {
    if (_params->networkType != RlNetwork::SingleLine) {
        // Only a single line switches a load; elsewhere the load flow stays.
        return {Complex(), _predI.values[0], Complex()};
    }
    // Source 1 feeds the switched impedance in place of the line and source 2.
    const Complex current = guardedQuotient(_e1Start, _zS1 + _zSwitched);
    return {Complex(), current, Complex()};
}

// ------------------------------------------------ voltage components

Complex3 CalculationRl::_getUSymComponents(const Complex3& I) {
    const RlParameters& p = *_params;
    if (p.faultKind == RlKind::LoadSwitching && p.networkType != RlNetwork::SingleLine) {
        return {Complex(), Complex::rotate(_uLoad, p.initialAngle), Complex()};
    }
    const Complex ukp = _getUkp();
    const Complex3 ratios = _getAlphaValues();
    const Complex3& zs = _zS1Sym;
    if (_faultDistance < 0.0) {
        // The busbar is the fault point, or on a tapped branch the fault current
        // adds the branch's drop to it.
        Complex3 result;
        for (unsigned k = 0; k < 3U; ++k) {
            const Complex faultComponent = ukp * _getAlpha(ratios, static_cast<int>(k));
            result.values[k] =
                ukp * ratios.values[k] - guardedQuotient(faultComponent * _zBranchSym.values[k], _zEqSym.values[k]);
        }
        return result;
    }
    if (!RlNetwork::isDoubleCircuit(p.networkType)) {
        return {-I.values[0] * zs.values[0], _e1Start - I.values[1] * zs.values[1], -I.values[2] * zs.values[2]};
    }
    // Source 1 feeds both circuits: twice the relay circuit's load current
    // plus the fault components of both.
    const Complex ip = _predI.values[0];
    return {-_iSource1Sym.values[0] * zs.values[0], _e1Start - (kTwo * ip + _iSource1Sym.values[1]) * zs.values[1],
            -_iSource1Sym.values[2] * zs.values[2]};
}

// ------------------------------------------------ aperiodic component

double CalculationRl::_getTau() {
    const std::uint8_t kind = _params->faultKind;
    if (kind == RlKind::PhaseBreak) {
        return kPhaseBreakTau;
    }
    if (kind == RlKind::LoadSwitching) {
        const Complex loop = _params->networkType == RlNetwork::SingleLine ? _zS1 + _zSwitched : _zSum;
        return loop.im / (_omega * loop.re);
    }
    if (kind == RlKind::ThreePhaseAlt) {
        const Complex a = _zS1 + _zLoad;
        const Complex numerator = (a * (_zS1 + _zRest)) * ((_zS1 + _zK) + _zFault);
        const Complex denominator = a * ((_zS1 + _zRest) + _zFault) + _zFault * ((_zLine + _zS2) - _zLoad);
        _work1 = guardedQuotient(numerator, denominator);
        const double tau = _work1.im / (_omega * _work1.re);
        if (tau > kMinTau) {
            return tau;
        }
    }
    // The loop from source 1 through the relay to the fault.
    return (_zS1.im + _zK.im + _zBranch.im) / ((_zS1.re + _zK.re + _zBranch.re + _zFault.re) * _omega);
}

void CalculationRl::_calcAuAi(const Complex3& I) {
    const RlParameters& p = *_params;
    // The busbar voltage is e1 - R i - L di/dt, so a decaying current A e^(-t/tau)
    // leaves (X / (omega tau) - R) A at the relay.
    double equivalentResistance = kFallbackResistance;
    if (p.faultKind != RlKind::PhaseBreak) {
        if (_tau > kMinTau) {
            equivalentResistance = _zS1.im / (_tau * _omega) - _zS1.re;
        } else {
            _tau = kFallbackTau;
        }
    }

    // The change the disturbance causes; the aperiodic term cancels its jump.
    const ThreePhaseSystem change =
        CalculationSymComponents::Calc3PhseSystem(Complex3(I.values[0], I.values[1] - _predI.values[0], I.values[2]));
    for (unsigned phase = 0; phase < 3U; ++phase) {
        const double jump = change.values[phase].im;
        _aperiodicI[phase] = belowAperiodicFloor(jump) ? -kAperiodicFloor : -jump;
        _aperiodicU[phase] = equivalentResistance * _aperiodicI[phase];
    }
    if (p.faultKind == RlKind::LoadSwitching && p.networkType != RlNetwork::SingleLine) {
        _aperiodicI.fill(0.0);
        _aperiodicU.fill(0.0);
    }
}

void CalculationRl::_calcExponetValues(const Complex3& I) {
    _tau = _getTau();
    _calcAuAi(I);
}

// ------------------------------------------- swing, asynchronous operation

double CalculationRl::_getSwingDeltaAngle(double t) const {
    const RlParameters& p = *_params;
    const double way = p.swingAngle * kDegToRad - _delta0;
    const double envelope = way * (1.0 - decayFactor(t, p.swingRiseTau)) * 0.5;
    const double oscillation = std::cos((kTwoPi * t) / p.swingPeriod);
    return (1.0 - decayFactor(t, p.swingDecayTau) * oscillation) * envelope;
}

double CalculationRl::_getAMovDeltaAngle(double t) const {
    const RlParameters& p = *_params;
    return ((1.0 - decayFactor(t, p.asyncRiseTau)) * (kTwoPi * t)) / p.asyncSlipPeriod;
}

double CalculationRl::_getDeltaAngle(double t) const {
    switch (_params->faultKind) {
    case RlKind::Swing:
        return _getSwingDeltaAngle(t);
    case RlKind::AsyncOperation:
        return _getAMovDeltaAngle(t);
    default:
        return 0.0;
    }
}

E1E2 CalculationRl::_getE1E2(double t) const { return _turnedEmfs(t, _currentEmfPolar()); }

E1E2 CalculationRl::_turnedEmfs(double t, const EmfPolar& emf) const {
    E1E2 result{_e1, _e2};
    if (t < 0.0) {
        return result;
    }
    const double delta = _getDeltaAngle(t);
    // The leading EMF is turned forward, so the angle between them grows by delta.
    if (emf.e2Lead < kPi) {
        result.e2 = Complex::fromPolar(emf.e2Magnitude, emf.e2Angle + delta);
    } else {
        result.e1 = Complex::fromPolar(emf.e1Magnitude, emf.e1Angle + delta);
    }
    return result;
}

E1E2UI CalculationRl::getE1E2UI(double t) const { return _relayStateAt(t, _currentEmfPolar(), _currentRelayLoop()); }

E1E2UI CalculationRl::_relayStateAt(double t, const EmfPolar& emf, const RelayLoop& loop) const {
    if (t < 0.0 && !RlKind::isSwingOrAsync(_params->faultKind)) {
        return {_e1, _e2, _uLoad, _iLoad};
    }
    const E1E2 turned = _turnedEmfs(t, emf);
    const Complex loopCurrent = loop.vanishes ? Complex() : (turned.e1 - turned.e2) / loop.impedance;
    const Complex busbarVoltage = turned.e1 - _zS1 * loopCurrent;
    // On a double circuit both circuits are in parallel; the relay's carries half.
    return {turned.e1, turned.e2, busbarVoltage, loop.doubleCircuit ? loopCurrent / kTwo : loopCurrent};
}

SwingOrAmowUIValues CalculationRl::getSwingOrAmowUIValues() const {
    const double e1 = Complex::abs(_e1Start);
    const double e2 = Complex::abs(_e2Start);
    const double z1 = Complex::abs(_zS1);
    // The EMFs in opposition drive (e1 + e2) / |loop| round the loop.
    if (RlNetwork::isDoubleCircuit(_params->networkType)) {
        const double zs = Complex::abs((_zS1 + _zLine / kTwo) + _zS2);
        return {e1 - ((e1 + e2) / zs) * z1, (e1 + e2) / zs / 2.0, std::max(e1, e2)};
    }
    const double zs = Complex::abs(_zSum);
    return {e1 - ((e1 + e2) / zs) * z1, (e1 + e2) / zs, std::max(e1, e2)};
}

// ---------------------------------------------------- channel output

Complex CalculationRl::_getPredComplexValue(int channel) const {
    if (!isChannel(channel)) {
        return {};
    }
    return channel <= 2 ? _predI.values[static_cast<unsigned>(channel)]
                        : _predU.values[static_cast<unsigned>(channel - 3)];
}

Complex CalculationRl::_getPostComplexValue(int channel) const {
    if (!isChannel(channel)) {
        return {};
    }
    return channel <= 2 ? _faultI.values[static_cast<unsigned>(channel)]
                        : _faultU.values[static_cast<unsigned>(channel - 3)];
}

Complex CalculationRl::_getPostComplexValue(int channel, double t) const {
    return _isSwingOrAmow() ? _getSwingAMovComplexValue(channel, t) : _getPostComplexValue(channel);
}

Complex CalculationRl::_getComplexValue(int channel, double t) const {
    return t < 0.0 ? _getPredComplexValue(channel) : _getPostComplexValue(channel, t);
}

Complex CalculationRl::_getSwingAMovComplexValue(int channel, double t) const {
    if (!isChannel(channel)) {
        return {};
    }
    const E1E2UI state = getE1E2UI(t);
    const Complex& phaseA = channel <= 2 ? state.i : state.u;
    return phaseA * kPhaseStepTurns[static_cast<unsigned>(channel % 3)];
}

double CalculationRl::_getExponenValue(int channel, double t, double tau) const {
    if (t < 0.0 || _isSwingOrAmow() || !isChannel(channel)) {
        return 0.0;
    }
    const auto index = static_cast<unsigned>(channel);
    return aperiodicTerm(index <= 2U ? _aperiodicI[index] : _aperiodicU[index - 3U], t, tau);
}

double CalculationRl::getMgn(int channel, double time) const {
    if (_params == nullptr || !isChannel(channel)) {
        return 0.0;
    }
    const RlParameters& p = *_params;
    const double t = time - p.preFaultDuration;
    const auto index = static_cast<unsigned>(channel);
    if (t < 0.0) {
        const Kex::Polar x = _polarOf(channelPhasor(_predI, _predU, index), _preFaultPolar[index]);
        return kSqrt2 * x.amplitude * std::sin(_omega * t + x.angle);
    }
    if (RlKind::isSwingOrAsync(p.faultKind)) {
        return _swingValue(index, t);
    }
    const double amplitude = index <= 2U ? _aperiodicI[index] : _aperiodicU[index - 3U];
    const double aperiodic = aperiodicTerm(amplitude, t, _tau);
    const Kex::Polar x = _polarOf(channelPhasor(_faultI, _faultU, index), _faultStatePolar[index]);
    const double periodic = x.amplitude * std::sin((_omega * t + x.angle) + 0.0);
    return kSqrt2 * (aperiodic + periodic);
}

// Kept out of getMgn, so that the ordinary kinds' path stays short.
KEX_NOINLINE double CalculationRl::_swingValue(unsigned channel, double t) const {
    const E1E2UI state = _relayStateAt(t, _currentEmfPolar(), _currentRelayLoop());
    const Complex x = (channel <= 2U ? state.i : state.u) * kPhaseStepTurns[channel % 3U];
    const double periodic = Complex::abs(x) * std::sin((_omega * t + argument(x)) + _params->initialAngle);
    return kSqrt2 * (0.0 + periodic);  // no aperiodic term in these kinds
}

bool CalculationRl::isChnnelActiv(int channel) const {
    if (_params == nullptr || !isChannel(channel)) {
        return false;
    }
    const auto index = static_cast<unsigned>(channel);
    const double pre = _params->preFaultDuration >= RlLimits::MinPreFaultDuration
                           ? _polarOf(channelPhasor(_predI, _predU, index), _preFaultPolar[index]).amplitude
                           : 0.0;
    const double post = _polarOf(channelPhasor(_faultI, _faultU, index), _faultStatePolar[index]).amplitude;
    return post + pre > RlLimits::ActiveThreshold;
}

void CalculationRl::_shiftAllValues(int n) {
    _shiftPhaseValues(_predU, n);
    _shiftPhaseValues(_predI, n);
    _shiftPhaseValues(_faultU, n);
    _shiftPhaseValues(_faultI, n);
    _shiftPhaseValues(_aperiodicI, n);
    _shiftPhaseValues(_aperiodicU, n);
}

// ------------------------------------- polar forms kept for the accessors

CalculationRl::EmfPolar CalculationRl::_emfPolarOf(const Complex& e1, const Complex& e2) {
    EmfPolar emf;
    emf.e1 = e1;
    emf.e2 = e2;
    emf.e1Magnitude = Complex::abs(e1);
    emf.e1Angle = argument(e1);
    emf.e2Magnitude = Complex::abs(e2);
    emf.e2Angle = argument(e2);
    emf.e2Lead = positiveAngle(emf.e2Angle - positiveAngle(emf.e1Angle));
    return emf;
}

CalculationRl::EmfPolar CalculationRl::_currentEmfPolar() const {
    if (_sameBits(_e1, _emfPolar.e1) && _sameBits(_e2, _emfPolar.e2)) {
        return _emfPolar;
    }
    return _emfPolarOf(_e1, _e2);
}

CalculationRl::RelayLoop CalculationRl::_currentRelayLoop() const {
    RelayLoop loop;
    loop.doubleCircuit = RlNetwork::isDoubleCircuit(_params->networkType);
    const SwingLoop& kept = _swingLoop;
    if (_sameBits(_zS1, kept.zS1) && _sameBits(_zLine, kept.zLine) && _sameBits(_zS2, kept.zS2) &&
        _sameBits(_zSum, kept.zSum)) {
        loop.impedance = loop.doubleCircuit ? kept.doubleCircuitLoop : kept.zSum;
        loop.vanishes = loop.doubleCircuit ? kept.doubleCircuitLoopVanishes : kept.singleLineLoopVanishes;
        return loop;
    }
    loop.impedance = loop.doubleCircuit ? (_zS1 + _zLine / kTwo) + _zS2 : _zSum;
    loop.vanishes = Complex::abs(loop.impedance) < QuotientGuard;
    return loop;
}

Complex CalculationRl::_phaseStepTurn(int phase) { return kPhaseStepTurns[static_cast<unsigned>(phase)]; }

void CalculationRl::_derivePolarForms() {
    for (int channel = 0; channel < 6; ++channel) {
        const auto index = static_cast<unsigned>(channel);
        const Complex pre = _getPredComplexValue(channel);
        _preFaultPolar[index] = {pre, Complex::abs(pre), argument(pre)};
        const Complex post = _getPostComplexValue(channel);
        _faultStatePolar[index] = {post, Complex::abs(post), argument(post)};
    }
    _emfPolar = _emfPolarOf(_e1, _e2);

    SwingLoop& loop = _swingLoop;
    loop.zS1 = _zS1;
    loop.zLine = _zLine;
    loop.zS2 = _zS2;
    loop.zSum = _zSum;
    loop.singleLineLoopVanishes = Complex::abs(_zSum) < QuotientGuard;
    loop.doubleCircuitLoop = (_zS1 + _zLine / kTwo) + _zS2;
    loop.doubleCircuitLoopVanishes = Complex::abs(loop.doubleCircuitLoop) < QuotientGuard;
}

}  // namespace KexCalculate
