// Transient model of a two-source network: source 1 (E1 behind zS1), the
// protected line, source 2 (E2 behind zS2), the relay at the busbar between
// source 1 and the line. From a host-owned parameter record it computes the
// pre-fault and fault-state phasors of the six output channels (currents and
// voltages of phases A, B, C) and the decaying aperiodic component, and gives
// each channel's instantaneous value at any time.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Complex.h"
#include "KexCalculateExport.h"

namespace KexCalculate {

// The host's description of the network and the disturbance. Impedances in
// ohms (R + jX), voltages and currents as RMS magnitudes, time in seconds,
// angles in radians except loadAngle and swingAngle (degrees). Zero-sequence
// factor pairs hold R0/R1 in re and X0/X1 in im.
struct RlParameters {
    std::int8_t networkType;  // 0 single line, 1 tapped branch, 2 double circuit (relay on the
                              // healthy circuit), 3 and above double circuit (relay on the faulted one)
    double preFaultDuration;  // disturbance instant on the host's time axis
    double loadCurrent;       // pre-fault phase-A current at the relay
    double loadVoltage;       // pre-fault phase-A voltage at the relay
    double loadAngle;         // degrees the current lags the voltage
    double frequency;         // Hz
    Complex zS1;
    Complex kS1;
    Complex zLine;  // one circuit, whole length
    Complex kLine;
    Complex zS2;
    Complex kS2;
    Complex zBranch;  // whole tapped branch
    Complex kBranch;
    std::uint8_t faultKind;   // 0/4 three-phase, 1/5 two-phase, 2/6 one-phase-to-ground,
                              // 3/7 two-phase-to-ground, 8 swing, 9 asynchronous operation,
                              // 10 phase break, 11 load switching, 12+ no disturbance
    std::uint8_t faultPhase;  // 0..2: phase A, B, C or pair A-B, B-C, C-A
    bool useFaultResistance;
    double faultResistance;
    double faultDistance;   // percent of the line from the relay busbar; negative: behind the relay
    double branchDistance;  // percent of the tapped branch
    double initialAngle;    // network phase angle at the disturbance instant, radians
    double swingPeriod;
    double swingAngle;  // degrees
    double swingRiseTau;
    double swingDecayTau;
    double asyncSlipPeriod;
    double asyncRiseTau;
    Complex zSwitched;  // load switching on a single line
};

struct E1E2 {
    Complex e1;
    Complex e2;
};

struct E1E2UI {
    Complex e1;
    Complex e2;
    Complex u;  // phase-A voltage at the relay busbar
    Complex i;  // phase-A current at the relay
};

struct SwingOrAmowUIValues {
    double uMin;
    double iMax;
    double uMax;
};

namespace detail {
class BlockSampler;  // the block sampling of sampleChannel and sampleAllChannels
}  // namespace detail

class KEXCALCULATE_EXPORT CalculationRl {
public:
    Complex _e1;
    Complex _e2;
    Complex3 _predI;
    Complex3 _predU;
    Complex3 _faultU;
    Complex3 _faultI;
    const RlParameters* _params = nullptr;
    double _faultDistance = 0.0;
    double _omega = 0.0;
    Complex _uLoad;
    Complex _iLoad;
    Complex _zLoad;
    Complex _zFault;
    Complex _zS1;
    Complex _zLine;
    Complex _zS2;
    Complex _zSum;
    Complex _zK;
    Complex _zRest;
    Complex _zBranch;
    Complex _zSwitched;
    Complex3 _zS1Sym;
    Complex3 _zBranchSym;
    Complex3 _zRightSym;
    Complex3 _zKSym;
    Complex3 _zReverseSym;
    Complex3 _zEqSym;
    Complex3 _zLoopSym;
    Complex _e1Start;
    Complex _e2Start;
    double _delta0 = 0.0;
    Complex _work1;
    Complex _work2;
    Complex3 _iHealthySym;
    Complex3 _iFaultedSym;
    Complex3 _iSource1Sym;
    std::array<double, 3> _aperiodicI{};
    std::array<double, 3> _aperiodicU{};
    double _tau = 0.0;

    CalculationRl() = default;
    explicit CalculationRl(const RlParameters* params) : _params(params) {}

    // Recomputes every member from the record; the result never depends on an
    // earlier call.
    void calculate();

    // Instantaneous value of a channel (0..2 currents A, B, C; 3..5 voltages)
    // at host time `time`; 0 for any other channel.
    double getMgn(int channel, double time) const;
    bool isChnnelActiv(int channel) const;

    // Block sampling for hosts that need many samples: out[k] is the channel's
    // value at host time startTime + k * step, k = 0 .. count - 1; it agrees
    // with getMgn at that instant to within 1e-9 of the channel's peak value.
    // A channel outside 0..5 gives zeros.
    void sampleChannel(int channel, double startTime, double step, std::size_t count, double* out) const;
    // The six channels at once, interleaved: out[6 * k + channel]. Each value
    // is bit for bit what sampleChannel gives for that channel and instant.
    void sampleAllChannels(double startTime, double step, std::size_t count, double* out) const;

    E1E2UI getE1E2UI(double t) const;
    SwingOrAmowUIValues getSwingOrAmowUIValues() const;

    // Model steps, in the order calculate() runs them.
    void _initializeNSValues();
    void _initializePredValues();
    void _initializeZValues();
    void _initializeZComponents();
    void _initializeE1E2Values();
    void _calcPredUI();
    void _calcFaultValues();
    void _convertFazaFault();
    void _init();

    bool _isPhaseBreak() const;
    bool _isOnePhaseFault() const;
    bool _isTwoPhaseFault() const;
    bool _isSwing() const;
    bool _isAsyncMov() const;
    bool _isSwingOrAmow() const;

    Complex _parallel(Complex a, Complex b) const;

    Complex3 _getISymComponents();
    Complex _getUkp();
    Complex3 _getAlphaValues();
    Complex _getAlpha(const Complex3& values, int k);
    Complex3 _getPhaseBreakISymComponents();
    Complex3 _getLoadSwichingISymComponents();
    Complex3 _getUSymComponents(const Complex3& I);

    double _getTau();
    void _calcAuAi(const Complex3& I);
    void _calcExponetValues(const Complex3& I);

    double _getSwingDeltaAngle(double t) const;
    double _getAMovDeltaAngle(double t) const;
    double _getDeltaAngle(double t) const;
    E1E2 _getE1E2(double t) const;

    Complex _getPredComplexValue(int channel) const;
    Complex _getPostComplexValue(int channel) const;
    Complex _getPostComplexValue(int channel, double t) const;
    Complex _getComplexValue(int channel, double t) const;
    Complex _getSwingAMovComplexValue(int channel, double t) const;
    double _getExponenValue(int channel, double t, double tau) const;

    void _shiftAllValues(int n);

    // t[i] = old t[(n + i) mod 3], n taken as unsigned: n = 2 moves what was
    // computed for phase A to phase B.
    template <typename Triple>
    void _shiftPhaseValues(Triple& t, int n) {
        const Triple old = t;
        for (unsigned i = 0; i < 3U; ++i) {
            slot(t, i) = slot(old, (static_cast<unsigned>(n) + i) % 3U);
        }
    }

private:
    // What calculate() derives once for the per-sample accessors, so that they
    // need no atan2, square root or remainder. Each entry keeps the values it
    // was derived from and is used only while those are bit for bit unchanged:
    // members set by hand, or a later _shiftAllValues, make the accessors
    // compute directly, never from a stale entry.
    struct PhasorPolar {
        Complex phasor;  // derived from
        double magnitude = 0.0;
        double angle = 0.0;  // atan2(im, re)
    };
    struct EmfPolar {
        Complex e1;  // derived from
        Complex e2;
        double e1Magnitude = 0.0;
        double e1Angle = 0.0;
        double e2Magnitude = 0.0;
        double e2Angle = 0.0;
        double e2Lead = 0.0;  // of e2 over e1, in [0, 2 pi)
    };
    struct SwingLoop {
        Complex zS1;  // derived from
        Complex zLine;
        Complex zS2;
        Complex zSum;
        bool singleLineLoopVanishes = true;  // |_zSum| below the quotient guard
        Complex doubleCircuitLoop;           // both circuits in parallel between the sources
        bool doubleCircuitLoopVanishes = true;
    };

    // The loop that carries the swing current, as getE1E2UI divides by it.
    struct RelayLoop {
        Complex impedance;
        bool vanishes = true;  // below the quotient guard: no current
        bool doubleCircuit = false;
    };

    std::array<PhasorPolar, 6> _preFaultPolar{};
    std::array<PhasorPolar, 6> _faultStatePolar{};
    EmfPolar _emfPolar;
    SwingLoop _swingLoop;

    void _derivePolarForms();
    static std::uint64_t _bitsOf(double x) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &x, sizeof bits);
        return bits;
    }
    // Bit for bit, so that -0 differs from +0 and a NaN equals itself.
    static bool _sameBits(const Complex& a, const Complex& b) {
        return _bitsOf(a.re) == _bitsOf(b.re) && _bitsOf(a.im) == _bitsOf(b.im);
    }
    // The kept polar form (magnitude, atan2 angle) while the phasor is the one
    // it came from, else computed now.
    static Kex::Polar _polarOf(const Complex& phasor, const PhasorPolar& derived) {
        if (_sameBits(phasor, derived.phasor)) {
            return {derived.magnitude, derived.angle};
        }
        return {Complex::abs(phasor), std::atan2(phasor.im, phasor.re)};
    }
    static EmfPolar _emfPolarOf(const Complex& e1, const Complex& e2);
    EmfPolar _currentEmfPolar() const;
    RelayLoop _currentRelayLoop() const;
    E1E2 _turnedEmfs(double t, const EmfPolar& emf) const;
    E1E2UI _relayStateAt(double t, const EmfPolar& emf, const RelayLoop& loop) const;
    static Complex _phaseStepTurn(int phase);              // phase 0, 1, 2
    double _swingValue(unsigned channel, double t) const;  // getMgn from t' >= 0 in swing and asynchronous operation

    friend class detail::BlockSampler;

    static Complex& slot(Complex3& t, unsigned i) { return t.values[i]; }
    static const Complex& slot(const Complex3& t, unsigned i) { return t.values[i]; }
    static double& slot(std::array<double, 3>& t, unsigned i) { return t[i]; }
    static const double& slot(const std::array<double, 3>& t, unsigned i) { return t[i]; }
};

}  // namespace KexCalculate
