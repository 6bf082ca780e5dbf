#include "CalculationRlExact.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <limits>
#include <optional>

#include "RlCodes.h"
#include "detail/ChunkKernels.h"
#include "detail/MathConstants.h"
#include "detail/RlNetworkSegment.h"

namespace KexCalculate {

namespace {

using Segment = detail::RlNetworkSegment;
using Matrix3 = Segment::Matrix3;
using Phasor3 = Segment::Phasor3;
using Cx = std::complex<double>;

using detail::kPi;
using detail::kSqrt2;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// The network's steady state must equal the model's phasors to this fraction
// of the quantity's largest magnitude; it does to rounding wherever the
// model's guards against vanishing divisors stay out of the way.
constexpr double kModelAgreement = 1e-6;
// A DC below this fraction of the quantity's largest peak is rounding of
// terms that cancel (the healthy phase of a phase-to-phase fault has none).
constexpr double kRoundingNoise = 1e-11;
// Modes whose decay rates differ by less than this fraction are one mode (the
// positive- and negative-sequence modes of a balanced network coincide).
constexpr double kSameRate = 1e-9;
// A mode is left out once it lies below this fraction of every channel's
// peak: far below the rounding of the sine waves, so no step in the waveform.
constexpr double kNegligibleDc = 1e-15;

constexpr std::size_t kMinChunkedSamples = 16;  // shorter blocks are summed sample by sample
// Samples per chunk of the modes: each mode's table costs an exponential per
// sample of a chunk, each chunk one more, so short chunks cost least for the
// few thousand samples a mode lives.
constexpr std::size_t kDcChunk = 64;
static_assert(kDcChunk <= detail::kChunkCapacity, "a chunk of the modes fits the decay tables");

bool isChannel(int channel) { return channel >= 0 && channel <= 5; }

bool isFinite(const Complex& z) { return std::isfinite(z.re) && std::isfinite(z.im); }

Cx cx(const Complex& z) { return {z.re, z.im}; }

// A balanced element of positive-sequence impedance z1 and zero-sequence
// factors k (Z0 = (R1 kR) + j (X1 kX)): self (Z0 + 2 Z1) / 3, mutual (Z0 - Z1) / 3.
struct PhaseImpedance {
    Matrix3 resistance;
    Matrix3 inductance;
};

Matrix3 balanced(double positive, double zero) {
    Matrix3 m = Matrix3::Constant((zero - positive) / 3.0);
    m.diagonal().setConstant((zero + 2.0 * positive) / 3.0);
    return m;
}

PhaseImpedance phaseImpedance(const Complex& z1, const Complex& k, double omega) {
    return {balanced(z1.re, z1.re * k.re), balanced(z1.im, z1.im * k.im) / omega};
}

Complex scaled(const Complex& z, double share) { return {z.re * share, z.im * share}; }

// A positive-sequence set: B lags A by 120 degrees, C leads it.
Phasor3 positiveSequence(const Complex& phaseA) {
    const Cx a = cx(phaseA);
    return {a, a * std::polar(1.0, -2.0 * kPi / 3.0), a * std::polar(1.0, 2.0 * kPi / 3.0)};
}

// The network of the model's record in the reference position (phase A
// faulted, or the pair B-C), driven by the model's EMFs at the instant.
struct ModelNetwork {
    Segment segment;
    PhaseImpedance source1;
    Phasor3 source1Emf;
    int source1Branch = 0;  // phase A's branch of source 1
    int relayBranch = 0;    // phase A's branch of the element the relay measures
};

void addFaultConnection(Segment& s, int point, std::uint8_t kind, double rf) {
    constexpr int kGround = Segment::kGround;
    if (RlKind::isThreePhase(kind)) {
        for (int phase = 0; phase < 3; ++phase) {
            s.connect(point, phase, kGround, 0, rf);
        }
    } else if (RlKind::isGroundFault(kind) && RlKind::isTwoPhase(kind)) {
        s.connect(point, 1, point, 2, 0.0);  // B and C together, to ground through rf
        s.connect(point, 1, kGround, 0, rf);
    } else if (RlKind::isTwoPhase(kind)) {
        s.connect(point, 1, point, 2, rf);
    } else {
        s.connect(point, 0, kGround, 0, rf);
    }
}

// Short circuits: the same elements before and after the instant, the fault's
// connections added after them. Load switching: source 1, the line and source
// 2 before; source 1 and the switched impedance after.
void buildNetwork(const CalculationRl& model, bool afterInstant, ModelNetwork& n) {
    constexpr int kGround = Segment::kGround;
    const RlParameters& p = *model._params;
    const double omega = model._omega;
    Segment& s = n.segment;
    const auto element = [&](int from, int to, const Complex& z, const Complex& k, const Phasor3& emf) {
        const PhaseImpedance phase = phaseImpedance(z, k, omega);
        return s.addElement(from, to, phase.resistance, phase.inductance, emf);
    };
    const int bus = s.addNode();
    n.source1 = phaseImpedance(p.zS1, p.kS1, omega);
    n.source1Emf = positiveSequence(model._e1Start);
    n.source1Branch = s.addElement(kGround, bus, n.source1.resistance, n.source1.inductance, n.source1Emf);
    if (p.faultKind == RlKind::LoadSwitching && afterInstant) {
        // Source 1 feeds the switched impedance in place of the line and source 2.
        n.relayBranch = element(bus, kGround, p.zSwitched, Complex(1.0, 1.0), Phasor3::Zero());
        return;
    }
    const int far = s.addNode();
    element(kGround, far, p.zS2, p.kS2, positiveSequence(model._e2Start));
    const double share = model._faultDistance / 100.0;
    const bool behind = model._faultDistance < 0.0;
    const std::int8_t network = p.networkType;
    const auto sections = [&](int to) {  // the line from the busbar to `to`, then on to source 2
        const int first = element(bus, to, scaled(p.zLine, share), p.kLine, Phasor3::Zero());
        element(to, far, p.zLine - scaled(p.zLine, share), p.kLine, Phasor3::Zero());
        return first;
    };
    int faultNode = bus;
    if (RlNetwork::isDoubleCircuit(network)) {
        const int healthy = element(bus, far, p.zLine, p.kLine, Phasor3::Zero());
        int faulted = 0;
        if (behind) {
            faulted = element(bus, far, p.zLine, p.kLine, Phasor3::Zero());
        } else {
            faultNode = s.addNode();
            faulted = sections(faultNode);
        }
        n.relayBranch = network == RlNetwork::DoubleCircuitHealthy ? healthy : faulted;
    } else {
        int tap = bus;
        if (behind || p.faultKind == RlKind::LoadSwitching) {
            n.relayBranch = element(bus, far, p.zLine, p.kLine, Phasor3::Zero());
        } else {
            tap = s.addNode();
            n.relayBranch = sections(tap);
        }
        faultNode = tap;
        if (network == RlNetwork::TappedBranch) {
            faultNode = s.addNode();
            element(tap, faultNode, scaled(p.zBranch, p.branchDistance / 100.0), p.kBranch, Phasor3::Zero());
        }
    }
    if (afterInstant) {
        addFaultConnection(s, faultNode, p.faultKind, model._zFault.re);
    }
}

RlExactStatus statusOf(Segment::Status status) {
    switch (status) {
    case Segment::Status::Solved:
        return RlExactStatus::Exact;
    case Segment::Status::NotPassive:
        return RlExactStatus::NotPassive;
    case Segment::Status::LoopWithoutImpedance:
        return RlExactStatus::LoopWithoutImpedance;
    default:
        return RlExactStatus::InvalidRecord;
    }
}

// The relay's phasors of a solved network: the measured element's currents and
// the busbar voltage e1 - Z_S1 i_S1, channels 0..5 in the reference position.
std::array<Cx, 6> relayPhasors(const ModelNetwork& n, double omega) {
    const Segment::BranchPhasors& steady = n.segment.steadyState();
    const Eigen::Matrix3cd zS1 = n.source1.resistance.cast<Cx>() + Cx(0.0, omega) * n.source1.inductance.cast<Cx>();
    const Phasor3 voltage = n.source1Emf - zS1 * steady.segment<3>(n.source1Branch);
    std::array<Cx, 6> phasors{};
    for (int phase = 0; phase < 3; ++phase) {
        phasors[static_cast<unsigned>(phase)] = steady(n.relayBranch + phase);
        phasors[static_cast<unsigned>(phase) + 3U] = voltage(phase);
    }
    return phasors;
}

// The channel that phase `referencePhase` of the reference position becomes
// after the model's move to faultPhase (t'[i] = t[(i + shift) mod 3]).
unsigned movedChannel(unsigned referenceChannel, unsigned shift) {
    const unsigned quantity = referenceChannel / 3U * 3U;
    return quantity + (referenceChannel % 3U + 3U - shift) % 3U;
}

const Complex& modelPhasor(const Complex3& currents, const Complex3& voltages, unsigned channel) {
    return channel < 3U ? currents.values[channel] : voltages.values[channel - 3U];
}

// The largest peak of the currents (0) and of the voltages (1), before and after the instant.
std::array<double, 2> quantityPeaks(const CalculationRl& model) {
    std::array<double, 2> peaks{};
    for (unsigned channel = 0; channel < 6U; ++channel) {
        const double pre = Complex::abs(modelPhasor(model._predI, model._predU, channel));
        const double post = Complex::abs(modelPhasor(model._faultI, model._faultU, channel));
        double& peak = peaks[channel / 3U];
        peak = std::max(peak, kSqrt2 * std::max(pre, post));
    }
    return peaks;
}

bool modelIsFinite(const CalculationRl& m) {
    bool finite = std::isfinite(m._omega) && m._omega > 0.0;
    for (unsigned i = 0; i < 3U; ++i) {
        finite = finite && isFinite(m._predI.values[i]) && isFinite(m._predU.values[i]) &&
                 isFinite(m._faultI.values[i]) && isFinite(m._faultU.values[i]);
    }
    return finite;
}

struct Mode {
    double rate;
    std::array<double, 6> dc;
};

}  // namespace

const char* rlExactStatusText(RlExactStatus status) {
    switch (status) {
    case RlExactStatus::NotCalculated:
        return "not calculated";
    case RlExactStatus::Exact:
        return "exact: every time constant of the network";
    case RlExactStatus::KindOutsideScope:
        return "kind outside the exact mode: the single-time-constant model's waveforms";
    case RlExactStatus::InvalidRecord:
        return "invalid record: a value that is not finite, a frequency that is not positive, or a network "
               "beyond the range of double arithmetic (inductances and resistances too many orders of magnitude "
               "apart)";
    case RlExactStatus::NotPassive:
        return "network not passive: a negative resistance or inductance (a negative zero-sequence factor or fault "
               "resistance, a fault beyond the line's end)";
    case RlExactStatus::LoopWithoutImpedance:
        return "a loop with neither resistance nor inductance: no finite current";
    case RlExactStatus::ModelDiffers:
        return "the model's phasors are not the network's steady state (a guard against a vanishing divisor acted)";
    }
    return "unknown status";
}

void CalculationRlExact::calculate(const CalculationRl& model) {
    *this = CalculationRlExact();
    _waves = model;
    if (model._params == nullptr) {
        return;
    }
    const RlParameters& p = *model._params;
    const bool inScope = RlKind::isShortCircuit(p.faultKind) ||
                         (p.faultKind == RlKind::LoadSwitching && p.networkType == RlNetwork::SingleLine);
    if (!inScope) {
        _status = RlExactStatus::KindOutsideScope;
        _output = Output::Model;
        return;
    }
    _status = RlExactStatus::InvalidRecord;
    if (!modelIsFinite(model)) {
        return;
    }
    // From here on the model's sine waves; its own aperiodic term never.
    _waves._aperiodicI.fill(0.0);
    _waves._aperiodicU.fill(0.0);
    _waves._tau = 0.0;

    const double omega = model._omega;
    ModelNetwork before;
    ModelNetwork after;
    buildNetwork(model, false, before);
    buildNetwork(model, true, after);
    Segment::Status solved = before.segment.solve(omega, nullptr);
    Segment::BranchVector start = Segment::BranchVector::Zero(after.segment.branchCount());
    if (solved == Segment::Status::Solved) {
        // The branch currents at the instant; after load switching the switched
        // impedance carries on the line's current.
        const Segment::BranchVector atInstant = kSqrt2 * before.segment.steadyState().imag();
        if (p.faultKind == RlKind::LoadSwitching) {
            start.segment<3>(after.source1Branch) = atInstant.segment<3>(before.source1Branch);
            start.segment<3>(after.relayBranch) = atInstant.segment<3>(before.relayBranch);
        } else {
            start.head(atInstant.size()) = atInstant;
        }
        solved = after.segment.solve(omega, &start);
    }
    _status = statusOf(solved);
    _output = _status == RlExactStatus::InvalidRecord ? Output::Nothing : Output::SineWaves;
    if (_status != RlExactStatus::Exact) {
        return;
    }

    const unsigned shift = RlKind::faultPhaseShift(p.faultKind, p.faultPhase);
    const std::array<double, 2> peaks = quantityPeaks(model);
    const std::array<Cx, 6> pre = relayPhasors(before, omega);
    const std::array<Cx, 6> post = relayPhasors(after, omega);
    for (unsigned c = 0; c < 6U; ++c) {
        const unsigned channel = movedChannel(c, shift);
        _networkPreFault[channel] = Complex(pre[c].real(), pre[c].imag());
        _networkFault[channel] = Complex(post[c].real(), post[c].imag());
        const double tolerance = kModelAgreement * peaks[channel / 3U] / kSqrt2;
        if (std::abs(pre[c] - cx(modelPhasor(model._predI, model._predU, channel))) > tolerance ||
            std::abs(post[c] - cx(modelPhasor(model._faultI, model._faultU, channel))) > tolerance) {
            _status = RlExactStatus::ModelDiffers;
        }
    }
    if (_status != RlExactStatus::Exact) {
        return;
    }

    // Each mode on the channels: the relay's currents, and the busbar voltage
    // e1 - R_S1 i_S1 - L_S1 di_S1/dt, which a mode current a e^(-lambda t')
    // enters as -(R_S1 - lambda L_S1) a.
    const Segment& segment = after.segment;
    std::array<Mode, Segment::kMaxBranches> modes{};
    const int modeCount = segment.modeCount();
    for (int k = 0; k < modeCount; ++k) {
        Mode& mode = modes[static_cast<std::size_t>(k)];
        mode.rate = segment.decayRates()(k);
        const Eigen::Vector3d source = segment.modeCurrents().block<3, 1>(after.source1Branch, k);
        const Eigen::Vector3d voltage =
            -(after.source1.resistance - mode.rate * after.source1.inductance) * source;
        for (unsigned c = 0; c < 3U; ++c) {
            mode.dc[movedChannel(c, shift)] = segment.modeCurrents()(after.relayBranch + static_cast<int>(c), k);
            mode.dc[movedChannel(c + 3U, shift)] = voltage(static_cast<int>(c));
        }
    }
    // A mode's voltage (R_S1 - lambda L_S1) a can overflow where the network
    // is beyond double range.
    for (int k = 0; k < modeCount; ++k) {
        const Mode& mode = modes[static_cast<std::size_t>(k)];
        if (!std::all_of(mode.dc.begin(), mode.dc.end(), [](double dc) { return std::isfinite(dc); })) {
            _status = RlExactStatus::InvalidRecord;
            _output = Output::Nothing;
            return;
        }
    }
    // Longest time constant first; modes of one time constant together.
    std::sort(modes.begin(), modes.begin() + modeCount, [](const Mode& a, const Mode& b) { return a.rate < b.rate; });
    std::array<double, kMaxModes> rates{};
    std::size_t count = 0;
    for (int k = 0; k < modeCount; ++k) {
        const Mode& mode = modes[static_cast<std::size_t>(k)];
        if (count > 0 && mode.rate - rates[count - 1] <= kSameRate * mode.rate) {
            for (std::size_t c = 0; c < 6; ++c) {
                _dc[count - 1][c] += mode.dc[c];
            }
            continue;
        }
        if (count == kMaxModes) {
            _status = RlExactStatus::InvalidRecord;  // more modes than the model's networks have
            _output = Output::Nothing;
            return;
        }
        rates[count] = mode.rate;
        _dc[count++] = mode.dc;
    }
    // Rounding noise out; modes that reach no channel out.
    _modeCount = 0;
    for (std::size_t k = 0; k < count; ++k) {
        double reach = 0.0;  // the mode's largest DC as a fraction of its channel's peak
        for (std::size_t c = 0; c < 6; ++c) {
            const double peak = peaks[c / 3];
            double& dc = _dc[k][c];
            if (std::fabs(dc) < kRoundingNoise * peak) {
                dc = 0.0;
            }
            reach = std::max(reach, dc == 0.0 ? 0.0 : (peak > 0.0 ? std::fabs(dc) / peak : kInfinity));
        }
        if (reach == 0.0) {
            continue;
        }
        _timeConstant[_modeCount] = rates[k] > 0.0 ? 1.0 / rates[k] : kInfinity;
        _dc[_modeCount] = _dc[k];
        _negligibleFrom[_modeCount] = rates[k] > 0.0 ? std::log(reach / kNegligibleDc) : kInfinity;
        ++_modeCount;
    }
    _output = Output::Exact;
}

double CalculationRlExact::modeTimeConstant(std::size_t mode) const {
    return mode < _modeCount ? _timeConstant[mode] : 0.0;
}

double CalculationRlExact::modeDc(std::size_t mode, int channel) const {
    return mode < _modeCount && isChannel(channel) ? _dc[mode][static_cast<unsigned>(channel)] : 0.0;
}

double CalculationRlExact::initialDc(int channel) const {
    double sum = 0.0;
    for (std::size_t k = 0; k < _modeCount; ++k) {
        sum += modeDc(k, channel);
    }
    return sum;
}

Complex CalculationRlExact::networkPreFaultPhasor(int channel) const {
    return isChannel(channel) ? _networkPreFault[static_cast<unsigned>(channel)] : Complex();
}

Complex CalculationRlExact::networkFaultPhasor(int channel) const {
    return isChannel(channel) ? _networkFault[static_cast<unsigned>(channel)] : Complex();
}

// The exponent t'/tau as the block sampling's decay kernel forms it.
double CalculationRlExact::_dcAt(unsigned channel, double t) const {
    double dc = 0.0;
    for (std::size_t k = 0; k < _modeCount; ++k) {
        const double exponent = -t / _timeConstant[k];
        if (-exponent < _negligibleFrom[k]) {
            dc += _dc[k][channel] * std::exp(exponent);
        }
    }
    return dc;
}

double CalculationRlExact::getMgn(int channel, double time) const {
    if (_output == Output::Nothing) {
        return 0.0;
    }
    const double periodic = _waves.getMgn(channel, time);
    if (_output != Output::Exact || !isChannel(channel)) {
        return periodic;
    }
    const double t = time - _waves._params->preFaultDuration;
    return t >= 0.0 ? periodic + _dcAt(static_cast<unsigned>(channel), t) : periodic;
}

void CalculationRlExact::sampleChannel(int channel, double startTime, double step, std::size_t count,
                                       double* out) const {
    if (_output == Output::Nothing) {
        std::fill(out, out + count, 0.0);
        return;
    }
    _waves.sampleChannel(channel, startTime, step, count, out);
    if (_output == Output::Exact && isChannel(channel)) {
        _addDc(channel, 1, startTime, step, count, out);
    }
}

void CalculationRlExact::sampleAllChannels(double startTime, double step, std::size_t count, double* out) const {
    if (_output == Output::Nothing) {
        std::fill(out, out + 6 * count, 0.0);
        return;
    }
    _waves.sampleAllChannels(startTime, step, count, out);
    if (_output == Output::Exact) {
        _addDc(0, 6, startTime, step, count, out);
    }
}

// Adds the modes to sampled sine waves with the chunk kernels: in chunks of
// samples from the instant on, each mode's e^(-t'/tau) from decayChunk (its
// table made when a chunk first needs it), added to the waves mode by mode by
// addDecaysChunk. A mode ends on the very sample where getMgn leaves it out.
void CalculationRlExact::_addDc(int firstChannel, int channelCount, double startTime, double step, std::size_t count,
                                double* out) const {
    const auto stride = static_cast<std::size_t>(channelCount);
    const auto first = static_cast<unsigned>(firstChannel);
    const detail::SampleAxis axis{startTime, step, _waves._params->preFaultDuration};
    const auto since = [&axis](std::size_t k) { return axis.sinceDisturbance(static_cast<double>(k)); };
    const bool chunked = std::isfinite(startTime) && std::isfinite(step) && step > 0.0 &&
                         std::isfinite(axis.disturbance) && count >= kMinChunkedSamples;
    if (!chunked) {
        for (std::size_t k = 0; k < count; ++k) {
            const double t = since(k);
            for (unsigned c = 0; c < stride; ++c) {
                out[stride * k + c] += t >= 0.0 ? _dcAt(first + c, t) : 0.0;
            }
        }
        return;
    }

    // The first sample from the instant on (t' grows with k).
    std::size_t k0 = 0;
    const double fromInstant = std::ceil((axis.disturbance - startTime) / step);
    if (fromInstant > 0.0) {
        k0 = fromInstant < static_cast<double>(count) ? static_cast<std::size_t>(fromInstant) : count;
    }
    while (k0 > 0 && since(k0 - 1) >= 0.0) {
        --k0;
    }
    while (k0 < count && since(k0) < 0.0) {
        ++k0;
    }
    if (k0 == count) {
        return;
    }

    // A time constant is positive (a finite decay rate), so its table is usable.
    const std::size_t length = std::min(kDcChunk, count - k0);
    std::array<std::optional<detail::DecayTable>, kMaxModes> tables;
    std::array<bool, kMaxModes> alive{};
    std::fill(alive.begin(), alive.begin() + static_cast<std::ptrdiff_t>(_modeCount), true);
    std::array<std::array<double, kDcChunk>, kMaxModes> factors;
    std::array<const double*, kMaxModes> amplitudes{};
    std::array<const double*, kMaxModes> decays{};
    for (; k0 < count; k0 += length) {
        const std::size_t m = std::min(length, count - k0);
        std::size_t terms = 0;
        for (std::size_t k = 0; k < _modeCount; ++k) {
            if (!alive[k]) {
                continue;
            }
            const double tau = _timeConstant[k];
            const auto inside = [&](std::size_t j) { return since(k0 + j) / tau < _negligibleFrom[k]; };
            std::size_t to = m;
            if (!inside(m - 1)) {
                to = 0;
                while (to < m && inside(to)) {
                    ++to;
                }
                alive[k] = false;
            }
            if (to == 0) {
                continue;
            }
            if (!tables[k]) {
                tables[k].emplace(length, step, tau);
            }
            double* factor = factors[terms].data();
            detail::decayChunk(*tables[k], axis, k0, to, factor);
            std::fill(factor + to, factor + m, 0.0);
            amplitudes[terms] = _dc[k].data() + first;
            decays[terms] = factor;
            ++terms;
        }
        if (terms == 0) {
            return;
        }
        detail::addDecaysChunk(amplitudes.data(), decays.data(), terms, stride, m, out + stride * k0);
    }
}

}  // namespace KexCalculate
