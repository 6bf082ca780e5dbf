// Drives the library's numeric interface with arbitrary values (NaN and
// infinity included, every fault kind, network type, phase and channel) and
// checks what must hold for any input:
//   - nothing crashes and the sanitizers stay silent;
//   - calculate() twice gives the same bits, and a model that calculated
//     another record first ends up with the same bits as well;
//   - for a record that a scenario file may hold (the scenario validation
//     accepts it, and its sizes are within what an instrument can meet),
//     every sample of the six channels is a finite number;
//   - block sampling gives the same bits every time, the same bits from
//     sampleChannel as from sampleAllChannels for the same channel and
//     instant, zeros for a channel outside 0..5, and, for such a record,
//     getMgn's values to within 1e-9 of the channel's peak value (a
//     difference below 1e-300 A or V is agreement, so that a vanishing
//     channel's subnormal rounding is no finding);
//   - the steady-state calculators give the same bits for the same input, and
//     the polygon test does not depend on which vertex the polygon starts at.
// A violated property prints the record and aborts, so libFuzzer keeps the
// input as a crash.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "CalculationFault.h"
#include "CalculationP.h"
#include "CalculationRl.h"
#include "CalculationSymComponents.h"
#include "CalculationZ.h"
#include "DistanceParameters.h"
#include "FuzzInput.h"
#include "KexCalculateLocalization.h"
#include "PoligonHelper.h"
#include "Scenario.h"
#include "ScenarioFields.h"
#include "ThreePhaseSystem.h"
#include "ThreePhaseUISystem.h"
#include "TransientChecks.h"

namespace {

using namespace KexCalculate;
using kexfuzz::FuzzInput;
using KexRecording::TransientScenario;

// ------------------------------------------------------------ values

using Values = std::vector<double>;

void append(Values& out, double x) { out.push_back(x); }
void append(Values& out, bool flag) { out.push_back(flag ? 1.0 : 0.0); }
void append(Values& out, const Complex& z) {
    out.push_back(z.re);
    out.push_back(z.im);
}
void append(Values& out, const Complex3& t) {
    for (const Complex& z : t.values) {
        append(out, z);
    }
}
void append(Values& out, const ThreePhaseSystem& s) {
    for (const Complex& z : s.values) {
        append(out, z);
    }
}
void append(Values& out, const ThreePhaseUISystem& s) {
    append(out, s.voltages);
    append(out, s.currents);
}

// Bit for bit: a NaN equals a NaN with the same payload, 0 differs from -0.
bool sameBits(const Values& a, const Values& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](double x, double y) { return kexfuzz::bitsOf(x) == kexfuzz::bitsOf(y); });
}

// ------------------------------------------------------------ the transient case

// Where the model is probed beyond the sampling grid.
struct Probes {
    std::array<double, 3> times{};  // host time
    int channel = 0;
    double tau = 0.0;
    std::array<std::uint32_t, 4> sampleIndices{};
};

Complex readComplex(FuzzInput& in) {
    const double re = in.number();
    const double im = in.number();
    return {re, im};
}

// The built-in scenario's labels with a record and a sampling from the input:
// first a byte for each code and flag, then the numbers, in the order of the
// scenario fields.
TransientScenario readScenario(FuzzInput& in) {
    TransientScenario c = KexRecording::defaultScenario();
    for (const bool numbers : {false, true}) {
        for (const KexRecording::ScenarioField& field : KexRecording::scenarioFields()) {
            if (field.aliasOf != nullptr) {
                continue;
            }
            std::visit(
                [&](const auto& member) {
                    auto& value = KexRecording::valueIn(c, member);
                    using Value = std::decay_t<decltype(value)>;
                    if constexpr (std::is_same_v<Value, Complex>) {
                        if (numbers) value = readComplex(in);
                    } else if constexpr (std::is_same_v<Value, double>) {
                        if (numbers) value = in.number();
                    } else if constexpr (std::is_same_v<Value, bool>) {
                        if (!numbers) value = (in.byte() & 1U) != 0;
                    } else if constexpr (std::is_integral_v<Value>) {
                        if (!numbers) value = static_cast<Value>(in.byte());
                    }
                },
                field.member);
        }
    }
    return c;
}

Probes readProbes(FuzzInput& in) {
    Probes probes;
    for (double& t : probes.times) {
        t = in.number();
    }
    probes.channel = in.bits<std::int32_t>();
    probes.tau = in.number();
    for (std::uint32_t& k : probes.sampleIndices) {
        k = in.bits<std::uint32_t>();
    }
    return probes;
}

// Every member of the model, then everything a host reads from it.
Values snapshot(const CalculationRl& m, const Probes& probes) {
    Values out;
    for (const Complex& z : {m._e1, m._e2, m._uLoad, m._iLoad, m._zLoad, m._zFault, m._zS1, m._zLine, m._zS2, m._zSum,
                             m._zK, m._zRest, m._zBranch, m._zSwitched, m._e1Start, m._e2Start, m._work1, m._work2}) {
        append(out, z);
    }
    for (const Complex3* t :
         {&m._predI, &m._predU, &m._faultU, &m._faultI, &m._zS1Sym, &m._zBranchSym, &m._zRightSym, &m._zKSym,
          &m._zReverseSym, &m._zEqSym, &m._zLoopSym, &m._iHealthySym, &m._iFaultedSym, &m._iSource1Sym}) {
        append(out, *t);
    }
    for (double x : {m._faultDistance, m._omega, m._delta0, m._tau}) {
        append(out, x);
    }
    for (unsigned k = 0; k < 3U; ++k) {
        append(out, m._aperiodicI[k]);
        append(out, m._aperiodicU[k]);
    }

    const double disturbance = m._params->preFaultDuration;
    for (double time : {probes.times[0], probes.times[1], probes.times[2], disturbance, disturbance + 0.001}) {
        for (int channel : {-1, 0, 1, 2, 3, 4, 5, 6, probes.channel}) {
            append(out, m.getMgn(channel, time));
            append(out, m._getComplexValue(channel, time - disturbance));
            append(out, m._getExponenValue(channel, time - disturbance, probes.tau));
        }
        const E1E2UI state = m.getE1E2UI(time - disturbance);
        for (const Complex& z : {state.e1, state.e2, state.u, state.i}) {
            append(out, z);
        }
    }
    for (int channel : {-1, 0, 1, 2, 3, 4, 5, 6, probes.channel}) {
        append(out, m.isChnnelActiv(channel));
    }
    const SwingOrAmowUIValues magnitudes = m.getSwingOrAmowUIValues();
    for (double x : {magnitudes.uMin, magnitudes.iMax, magnitudes.uMax}) {
        append(out, x);
    }
    return out;
}

// Whether a scenario file holding this record and sampling passes the
// scenario validation: the scenario written as JSON and read back. What the
// validation accepts must read back unchanged.
bool acceptedByScenarioValidation(const TransientScenario& c) {
    const KexRecording::ScenarioResult parsed = KexRecording::parseScenario(KexRecording::renderScenarioJson(c));
    if (!parsed.ok()) {
        return false;
    }
    if (!kexfuzz::sameScenario(parsed.scenario, c)) {
        kexfuzz::fail(c, "an accepted scenario does not read back from its own JSON unchanged");
    }
    return true;
}

// Returns whether the scenario validation accepts the record with sizes an
// instrument can meet, where its samples must be finite.
bool checkTransientModel(const TransientScenario& c, const Probes& probes) {
    CalculationRl model(&c.record);
    model.calculate();
    const Values first = snapshot(model, probes);
    model.calculate();
    if (!sameBits(snapshot(model, probes), first)) {
        kexfuzz::fail(c, "calculate() twice on one object gives different bits");
    }

    // Another disturbance on another network first, then this record.
    RlParameters other = c.record;
    other.faultKind = static_cast<std::uint8_t>(c.record.faultKind ^ 0x0BU);
    other.networkType = static_cast<std::int8_t>(c.record.networkType ^ 0x03);
    other.initialAngle = c.record.initialAngle + 1.0;
    CalculationRl reused(&other);
    reused.calculate();
    reused._params = &c.record;
    reused.calculate();
    if (!sameBits(snapshot(reused, probes), first)) {
        kexfuzz::fail(c, "the result depends on an earlier calculation");
    }

    if (!acceptedByScenarioValidation(c)) {
        return false;
    }
    kexfuzz::requireFiniteSamples(c, probes.sampleIndices);
    return kexfuzz::withinEngineeringRange(c);
}

// ------------------------------------------------------------ block sampling

// A block of samples as a host asks for it: host times startTime + k * step.
struct Block {
    double startTime = 0.0;
    double step = 0.0;
    std::size_t count = 0;
    int channel = 0;
};

Block readBlock(FuzzInput& in) {
    Block block;
    block.startTime = in.number();
    block.step = in.number();
    // Up to three times the 512 samples from which the block kernels take over.
    block.count = in.bits<std::uint16_t>() % 1537U;
    block.channel = static_cast<int>(in.byte() % 8U) - 1;  // -1 .. 6
    return block;
}

// Block sampling gives the same bits every time and from either path, zeros
// for a channel outside 0..5 and, where the samples must be finite, getMgn's
// values to within 1e-9 of the channel's peak value.
void checkBlockSampling(const TransientScenario& c, const Block& block, bool samplesFinite) {
    CalculationRl model(&c.record);
    model.calculate();
    std::vector<double> all(6 * block.count);
    std::vector<double> again(6 * block.count);
    std::vector<double> one(block.count);
    model.sampleAllChannels(block.startTime, block.step, block.count, all.data());
    model.sampleAllChannels(block.startTime, block.step, block.count, again.data());
    model.sampleChannel(block.channel, block.startTime, block.step, block.count, one.data());
    if (!sameBits(all, again)) {
        kexfuzz::fail(c, "block sampling twice gives different bits");
    }
    const bool channelExists = block.channel >= 0 && block.channel <= 5;
    if (!channelExists && std::any_of(one.begin(), one.end(), [](double x) { return x != 0.0; })) {
        kexfuzz::fail(c, "block sampling of a channel outside 0..5 gives a value other than 0");
    }
    for (std::size_t k = 0; channelExists && k < block.count; ++k) {
        const double fromAll = all[6 * k + static_cast<std::size_t>(block.channel)];
        if (kexfuzz::bitsOf(one[k]) != kexfuzz::bitsOf(fromAll)) {
            std::fprintf(stderr, "\nchannel %d, sample %zu of %zu (start %.17g, step %.17g): sampleChannel %.17g, "
                         "sampleAllChannels %.17g\n", block.channel, k, block.count, block.startTime, block.step,
                         one[k], fromAll);
            kexfuzz::fail(c, "sampleChannel and sampleAllChannels give different bits for one channel and instant");
        }
    }
    const double lastTime = block.startTime + static_cast<double>(block.count) * block.step;
    if (!samplesFinite || !std::isfinite(block.startTime) || !std::isfinite(lastTime)) {
        return;
    }
    constexpr double kTolerance = 1e-9;         // of the channel's peak value
    constexpr double kAgreementFloor = 1e-300;  // A or V
    constexpr double kSqrt2 = 1.4142135623730951;
    std::vector<double> expected(block.count);
    for (int channel = 0; channel < 6; ++channel) {
        // The channel's peak: that of its phasors and aperiodic term, or of
        // what getMgn gives in the block (a swing's phasor moves).
        const auto slot = static_cast<unsigned>(channel % 3);
        const double aperiodic = channel < 3 ? model._aperiodicI[slot] : model._aperiodicU[slot];
        double peak = kSqrt2 * std::fmax(Complex::abs(model._getPredComplexValue(channel)),
                                         Complex::abs(model._getPostComplexValue(channel)) + std::fabs(aperiodic));
        for (std::size_t k = 0; k < block.count; ++k) {
            expected[k] = model.getMgn(channel, block.startTime + static_cast<double>(k) * block.step);
            peak = std::fmax(peak, std::fabs(expected[k]));
        }
        // Where getMgn has no finite value (its sine argument overflows far
        // outside any record), block sampling has none either. The bound is
        // relative to the peak, with an absolute floor: a channel whose peak
        // is 0 or subnormal differs from getMgn by rounding alone.
        const double allowed = std::fmax(kTolerance * peak, kAgreementFloor);
        const auto agrees = [&](double sampled, double reference) {
            return std::fabs(sampled - reference) <= allowed || (std::isnan(sampled) && std::isnan(reference));
        };
        for (std::size_t k = 0; k < block.count; ++k) {
            const double fromAll = all[6 * k + static_cast<std::size_t>(channel)];
            if (!agrees(fromAll, expected[k])) {
                std::fprintf(stderr,
                             "\nchannel %d, sample %zu of %zu (start %.17g, step %.17g): getMgn %.17g, "
                             "sampleAllChannels %.17g, peak %.17g\n",
                             channel, k, block.count, block.startTime, block.step, expected[k], fromAll, peak);
                kexfuzz::fail(c, "block sampling differs from getMgn by more than 1e-9 of the peak");
            }
        }
    }
}

// ------------------------------------------------------------ steady state

// Mostly the defined kinds, sometimes any value the type can hold.
Fault readFault(FuzzInput& in) {
    const std::uint8_t choice = in.byte();
    if (choice < 224U) {
        return static_cast<Fault>(choice % 11U);
    }
    return static_cast<Fault>(in.bits<std::int32_t>());
}

KexRelay::AnalogChannelSourceType readSourceType(FuzzInput& in) {
    const std::uint8_t choice = in.byte();
    if (choice < 224U) {
        return static_cast<KexRelay::AnalogChannelSourceType>(choice % 2U);
    }
    return static_cast<KexRelay::AnalogChannelSourceType>(in.bits<std::int32_t>());
}

Kex::Polar readPolar(FuzzInput& in) {
    const double amplitude = in.number();
    const double angle = in.number();
    return {amplitude, angle};
}

struct SteadyStateCase {
    Fault fault = AN;
    KexRelay::AnalogChannelSourceType type = KexRelay::Current;
    double value = 0.0;
    double angle = 0.0;
    double healthy = 0.0;
    Complex complexValue;
    Complex power;
    double current = 0.0;
    double voltage = 0.0;
    Kex::Polar z{};
    DistanceParameters settings;
    GroundFactorMode anyMode = K0;
    bool voltageReference = false;
    Complex3 sequences;
    int shift = 0;
    int index = 0;
    std::vector<Kex::PointF> polygon;
    Kex::PointF point{};
    std::string key;
};

SteadyStateCase readSteadyStateCase(FuzzInput& in) {
    SteadyStateCase c;
    c.fault = readFault(in);
    c.type = readSourceType(in);
    c.value = in.number();
    c.angle = in.number();
    c.healthy = in.number();
    c.complexValue = readComplex(in);
    c.power = readComplex(in);
    c.current = in.number();
    c.voltage = in.number();
    c.z = readPolar(in);
    c.settings.lineImpedance = readPolar(in);
    c.settings.loop.arcResistance = (in.byte() & 1U) != 0;
    c.settings.loop.k0 = readPolar(in);
    c.settings.loop.reRlXeXl = readComplex(in);
    c.settings.loop.z0z1 = readPolar(in);
    c.anyMode = static_cast<GroundFactorMode>(in.bits<std::int32_t>());
    c.voltageReference = (in.byte() & 1U) != 0;
    for (Complex& z : c.sequences.values) {
        z = readComplex(in);
    }
    c.shift = in.bits<std::int32_t>();
    c.index = in.bits<std::int32_t>();
    const std::size_t vertices = in.byte() % 9U;
    for (std::size_t k = 0; k < vertices; ++k) {
        const float x = in.bits<float>();
        const float y = in.bits<float>();
        c.polygon.push_back({x, y});
    }
    c.point.x = in.bits<float>();
    c.point.y = in.bits<float>();
    c.key = in.text(24);
    return c;
}

Values steadyStateResults(const SteadyStateCase& c) {
    Values out;
    append(out, CalculationFault::calculateFault(c.type, c.fault, c.value, c.angle, c.healthy));
    append(out, CalculationFault::calculateFault(c.type, c.fault, c.complexValue, c.healthy));
    append(out, CalculationFault::_getFautPhaseValues(c.fault, c.value, c.healthy));
    append(out, static_cast<double>(CalculationFault::_getShiftCount(c.fault)));

    Complex power = c.power;
    append(out, CalculationP::calculatePIconst(c.fault, power, c.current));
    append(out, CalculationP::calculatePUconst(c.fault, power, c.voltage));

    for (GroundFactorMode mode : {K0, RE_RL_XE_XL, Z0_Z1, c.anyMode}) {
        DistanceParameters settings = c.settings;
        settings.loop.groundFactorMode = mode;
        CalculationZ calculator;
        calculator.voltageReference = c.voltageReference;
        append(out, calculator.calculateZIconst(c.fault, c.z, c.current, c.healthy, settings));
        append(out, calculator.calculateZUconst(c.fault, c.z, c.voltage, c.healthy, settings));
        append(out, calculator._getThreePhaseUISystem(c.fault, c.voltage, c.current, c.angle, c.healthy, c.value));
        Complex u = c.complexValue;
        Complex i = c.power;
        append(out, calculator._calcZForUI(c.fault, u, i, c.healthy, settings));
        append(out, calculator._calc1PhaseFaultZFromUI(u, i, c.healthy, settings));
        append(out, calculator._faultLoopZ(c.fault, c.complexValue, settings));
        append(out, calculator.parallel(u, i));
    }

    append(out, CalculationSymComponents::CalcComplex3PhseSystem(c.sequences));
    append(out, CalculationSymComponents::Calc3PhseSystem(c.sequences));
    append(out, CalculationSymComponents::Calc3PhseSystem(SymComponents(c.sequences)));
    Complex3 aliased = c.sequences;
    CalculationSymComponents::setFaultValues(aliased, aliased);
    append(out, aliased);

    ThreePhaseSystem system(c.sequences);
    system.shftPhaseValues(c.shift);
    system.rotate(c.angle);
    append(out, system);
    append(out, system.getPhaseComplexValue(static_cast<Phase>(c.index)));
    append(out, c.sequences.ix(c.index));
    Complex3 writable = c.sequences;
    writable.ix(c.index) = Complex(1.0, 1.0);
    append(out, writable.ix(c.index));

    append(out, isPointInPoligon(c.polygon, c.point));
    const char* text = lng::KexCalculate::get(c.key);
    append(out, static_cast<double>(std::strlen(text)));
    return out;
}

void checkSteadyState(const SteadyStateCase& c) {
    const Values first = steadyStateResults(c);
    if (!sameBits(steadyStateResults(c), first)) {
        std::fprintf(stderr, "\nproperty violated: a steady-state calculation gives different bits for one input\n");
        std::abort();
    }
    // The even-odd rule counts the same edges whichever vertex comes first.
    const bool inside = isPointInPoligon(c.polygon, c.point);
    std::vector<Kex::PointF> turned = c.polygon;
    for (std::size_t k = 1; k < turned.size(); ++k) {
        std::rotate(turned.begin(), turned.begin() + 1, turned.end());
        if (isPointInPoligon(turned, c.point) != inside) {
            std::fprintf(stderr, "\nproperty violated: the polygon test depends on the first vertex\n");
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const TransientScenario transient = readScenario(in);
    const Probes probes = readProbes(in);
    const SteadyStateCase steadyState = readSteadyStateCase(in);
    const Block block = readBlock(in);
    const bool samplesFinite = checkTransientModel(transient, probes);
    checkBlockSampling(transient, block, samplesFinite);
    checkSteadyState(steadyState);
    return 0;
}
