// Benchmarks of the calculation library: the per-sample accessors of the
// transient model, its block sampling, calculate(), and the steady-state
// calculators, and what the recording path adds per sample (the extremes it
// gathers), beside two reference kernels measured in the same run:
//   ScalarReference  the work one sample cannot do without: one sine and one
//                    exponential of the C library with the operands getMgn uses;
//   WriteOnly        only storing the samples of the same record into memory.
// Every benchmark counts items (samples, channel-samples or calls), so its cost
// per item is 1 / items_per_second; bench/report.py prints them as a table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "CalculationFault.h"
#include "CalculationRl.h"
#include "CalculationRlExact.h"
#include "CalculationZ.h"
#include "CtSaturation.h"
#include "DistanceParameters.h"
#include "RecordExtremes.h"
#include "Recording.h"

namespace {

using KexCalculate::CalculationRl;
using KexCalculate::Complex;
using KexCalculate::RlParameters;

constexpr double kSampleStep = 1e-4;            // 10 kHz
constexpr std::size_t kRecordSamples = 100000;  // 10 s of output per block call
constexpr std::size_t kPerCallSamples = 4096;   // instants per iteration of the per-call benchmarks
constexpr int kChannels = 6;

// A 50 Hz network with unequal sources and a load flow; the disturbance at 0.04 s.
RlParameters makeRecord(int networkType, int faultKind) {
    RlParameters p{};
    p.networkType = static_cast<std::int8_t>(networkType);
    p.preFaultDuration = 0.04;
    p.loadCurrent = 1.5;
    p.loadVoltage = 57.735;
    p.loadAngle = 25.0;
    p.frequency = 50.0;
    p.zS1 = Complex(0.8, 9.0);
    p.kS1 = Complex(1.4, 2.2);
    p.zLine = Complex(3.0, 30.0);
    p.kLine = Complex(2.8, 3.2);
    p.zS2 = Complex(1.5, 14.0);
    p.kS2 = Complex(0.9, 1.6);
    p.zBranch = Complex(4.0, 22.0);
    p.kBranch = Complex(2.5, 3.0);
    p.faultKind = static_cast<std::uint8_t>(faultKind);
    p.faultPhase = 1;
    p.useFaultResistance = true;
    p.faultResistance = 2.0;
    p.faultDistance = 35.0;
    p.branchDistance = 60.0;
    p.initialAngle = 0.7;
    p.swingPeriod = 0.5;
    p.swingAngle = 120.0;
    p.swingRiseTau = 0.1;
    p.swingDecayTau = 2.0;
    p.asyncSlipPeriod = 0.4;
    p.asyncRiseTau = 0.05;
    p.zSwitched = Complex(20.0, 8.0);
    return p;
}

constexpr int kOrdinaryKind = 2;  // one phase to ground
constexpr int kSwingKind = 8;
constexpr int kAsyncKind = 9;

struct Model {
    explicit Model(int faultKind, int networkType = 0) : params(makeRecord(networkType, faultKind)), model(&params) {
        model.calculate();
    }
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;
    RlParameters params;
    CalculationRl model;
};

// Host times of the per-call benchmarks: from the disturbance instant over ten
// time constants, so that every ordinary sample carries the aperiodic term
// (a sine and an exponential, as the scalar reference).
std::vector<double> perCallTimes(const Model& m) {
    const double span =
        m.params.faultKind == kSwingKind || m.params.faultKind == kAsyncKind ? 0.4 : 10.0 * m.model._tau;
    std::vector<double> times(kPerCallSamples);
    for (std::size_t k = 0; k < times.size(); ++k) {
        times[k] = m.params.preFaultDuration + span * static_cast<double>(k) / static_cast<double>(times.size());
    }
    return times;
}

void getMgnPerCall(benchmark::State& state, int faultKind) {
    const Model m(faultKind);
    const std::vector<double> times = perCallTimes(m);
    while (state.KeepRunning()) {
        for (int channel = 0; channel < kChannels; ++channel) {
            for (double time : times) {
                benchmark::DoNotOptimize(m.model.getMgn(channel, time));
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(times.size() * kChannels));
}

void BM_GetMgnOrdinary(benchmark::State& state) { getMgnPerCall(state, kOrdinaryKind); }
void BM_GetMgnSwing(benchmark::State& state) { getMgnPerCall(state, kSwingKind); }
void BM_GetMgnAsync(benchmark::State& state) { getMgnPerCall(state, kAsyncKind); }

// One sine and one exponential of the C library per sample, with getMgn's
// operands: the sine of omega t' + arg X of the channel's phasor, the
// exponential of -t' / tau.
void BM_ScalarReference(benchmark::State& state) {
    const Model m(kOrdinaryKind);
    const std::vector<double> times = perCallTimes(m);
    const double preFault = m.params.preFaultDuration;
    const double omega = m.model._omega;
    const double tau = m.model._tau;
    double angles[kChannels];
    for (unsigned channel = 0; channel < 3U; ++channel) {
        const Complex current = m.model._faultI.values[channel];
        const Complex voltage = m.model._faultU.values[channel];
        angles[channel] = std::atan2(current.im, current.re);
        angles[channel + 3U] = std::atan2(voltage.im, voltage.re);
    }
    while (state.KeepRunning()) {
        for (const double angle : angles) {
            for (double time : times) {
                const double t = time - preFault;
                benchmark::DoNotOptimize(std::sin(omega * t + angle));
                benchmark::DoNotOptimize(std::exp(-t / tau));
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(times.size() * kChannels));
}

void BM_IsChnnelActiv(benchmark::State& state) {
    const Model m(kOrdinaryKind);
    while (state.KeepRunning()) {
        for (int channel = 0; channel < kChannels; ++channel) {
            benchmark::DoNotOptimize(m.model.isChnnelActiv(channel));
        }
    }
    state.SetItemsProcessed(state.iterations() * kChannels);
}

void BM_Calculate(benchmark::State& state) {
    Model m(kOrdinaryKind, static_cast<int>(state.range(0)));
    while (state.KeepRunning()) {
        m.model.calculate();
        benchmark::DoNotOptimize(m.model._faultI);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_CalculateFault(benchmark::State& state) {
    double angle = 0.3;
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(angle);
        benchmark::DoNotOptimize(KexCalculate::CalculationFault::calculateFault(
            KexRelay::AnalogChannelSourceType::Voltage, KexCalculate::BCN, 42.0, angle, -1.0));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_CalculateZIconst(benchmark::State& state) {
    KexCalculate::CalculationZ calculator;
    const KexCalculate::DistanceParameters parameters;
    Kex::Polar z{5.0, 1.2};
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(z);
        benchmark::DoNotOptimize(calculator.calculateZIconst(KexCalculate::AN, z, 5.0, 0.0, parameters));
    }
    state.SetItemsProcessed(state.iterations());
}

// Block sampling of a 10 s record from host time 0 (pre-fault interval,
// disturbance, aperiodic term, fault state), or of the 0.2 s after the
// disturbance instant (the aperiodic interval), by the model or by the exact
// transients.
constexpr std::size_t kDecaySamples = 2000;

template <typename Waves>
void sampleOneChannel(benchmark::State& state, const Waves& waves, double startTime, std::size_t count) {
    std::vector<double> out(count);
    while (state.KeepRunning()) {
        waves.sampleChannel(1, startTime, kSampleStep, out.size(), out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}

template <typename Waves>
void sampleSixChannels(benchmark::State& state, const Waves& waves, double startTime, std::size_t count) {
    std::vector<double> out(kChannels * count);
    while (state.KeepRunning()) {
        waves.sampleAllChannels(startTime, kSampleStep, count, out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}

void sampleOneChannel(benchmark::State& state, int faultKind) {
    const Model m(faultKind);
    sampleOneChannel(state, m.model, 0.0, kRecordSamples);
}

void sampleSixChannels(benchmark::State& state, int faultKind) {
    const Model m(faultKind);
    sampleSixChannels(state, m.model, 0.0, kRecordSamples);
}

void BM_SampleChannelOrdinary(benchmark::State& state) { sampleOneChannel(state, kOrdinaryKind); }
void BM_SampleChannelSwing(benchmark::State& state) { sampleOneChannel(state, kSwingKind); }
void BM_SampleChannelAsync(benchmark::State& state) { sampleOneChannel(state, kAsyncKind); }
void BM_SampleAllChannelsOrdinary(benchmark::State& state) { sampleSixChannels(state, kOrdinaryKind); }
void BM_SampleAllChannelsSwing(benchmark::State& state) { sampleSixChannels(state, kSwingKind); }
void BM_SampleAllChannelsAsync(benchmark::State& state) { sampleSixChannels(state, kAsyncKind); }

// The exact transients of the ordinary kind: calculate() and the modes, and
// block sampling beside the model's on the same records.
struct ExactModel : Model {
    explicit ExactModel(int faultKind, int networkType = 0) : Model(faultKind, networkType) { exact.calculate(model); }
    KexCalculate::CalculationRlExact exact;
};

void BM_CalculateExact(benchmark::State& state) {
    ExactModel m(kOrdinaryKind, static_cast<int>(state.range(0)));
    while (state.KeepRunning()) {
        m.model.calculate();
        m.exact.calculate(m.model);
        benchmark::DoNotOptimize(m.exact.modeCount());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

// The ordinary kind sampled by the model or by the exact transients, over the
// 10 s record or the 0.2 s after the instant.
void sampleOrdinary(benchmark::State& state, bool exact, bool sixChannels, bool afterInstant) {
    const ExactModel m(kOrdinaryKind);
    const double startTime = afterInstant ? m.params.preFaultDuration : 0.0;
    const std::size_t count = afterInstant ? kDecaySamples : kRecordSamples;
    if (sixChannels) {
        exact ? sampleSixChannels(state, m.exact, startTime, count)
              : sampleSixChannels(state, m.model, startTime, count);
    } else {
        exact ? sampleOneChannel(state, m.exact, startTime, count) : sampleOneChannel(state, m.model, startTime, count);
    }
}

void BM_SampleChannelExact(benchmark::State& state) { sampleOrdinary(state, true, false, false); }
void BM_SampleAllChannelsExact(benchmark::State& state) { sampleOrdinary(state, true, true, false); }
void BM_SampleChannelDecay(benchmark::State& state) { sampleOrdinary(state, false, false, true); }
void BM_SampleChannelExactDecay(benchmark::State& state) { sampleOrdinary(state, true, false, true); }
void BM_SampleAllChannelsDecay(benchmark::State& state) { sampleOrdinary(state, false, true, true); }
void BM_SampleAllChannelsExactDecay(benchmark::State& state) { sampleOrdinary(state, true, true, true); }

// Only writing the record: the same array filled with k * step.
void writeOnly(benchmark::State& state, std::size_t channels) {
    std::vector<double> out(channels * kRecordSamples);
    double* const data = out.data();
    const std::size_t count = out.size();
    while (state.KeepRunning()) {
        for (std::size_t k = 0; k < count; ++k) {
            data[k] = static_cast<double>(k) * kSampleStep;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(count));
}

void BM_WriteOnlyOneChannel(benchmark::State& state) { writeOnly(state, 1); }
void BM_WriteOnlySixChannels(benchmark::State& state) { writeOnly(state, kChannels); }

// The CT stage on the three current channels of the same 10 s record: a CT
// that saturates in the first cycles of the fault (the DC offset) and works
// below its knee afterwards.
KexCalculate::CtParameters benchmarkCt() {
    KexCalculate::CtParameters ct{};
    ct.frequency = 50.0;
    ct.windingResistance = 0.5;
    ct.burdenResistance = 2.0;
    ct.burdenReactance = 0.5;
    ct.saturationVoltage = 25.0;
    ct.exponent = 22.0;
    ct.remanence = 0.3;
    return ct;
}

void BM_CtSaturationFromModel(benchmark::State& state) {
    const Model m(kOrdinaryKind);
    const KexCalculate::CtSaturation ct(benchmarkCt());
    std::vector<double> out(kRecordSamples);
    while (state.KeepRunning()) {
        for (int channel = 0; channel < 3; ++channel) {
            ct.saturate(KexCalculate::CtSaturation::channelOf(m.model, channel), 0.0, kSampleStep, out.size(),
                        out.data());
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(3 * out.size()));
}

void BM_CtSaturationFromSamples(benchmark::State& state) {
    const Model m(kOrdinaryKind);
    const KexCalculate::CtSaturation ct(benchmarkCt());
    std::vector<double> ideal(3 * kRecordSamples);
    for (std::size_t channel = 0; channel < 3; ++channel) {
        m.model.sampleChannel(static_cast<int>(channel), 0.0, kSampleStep, kRecordSamples,
                              ideal.data() + channel * kRecordSamples);
    }
    std::vector<double> out(kRecordSamples);
    while (state.KeepRunning()) {
        for (std::size_t channel = 0; channel < 3; ++channel) {
            ct.saturateSamples(ideal.data() + channel * kRecordSamples, kRecordSamples, kSampleStep, out.data());
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(3 * out.size()));
}

// The extremes of a recording gathered from the blocks of the 10 s record,
// sampled beforehand: the work the recording path adds to every block it
// writes, beside sampleAllChannels of the same record.
void watchExtremes(benchmark::State& state, int faultKind) {
    const Model m(faultKind);
    KexRecording::TimeAxis axis;
    axis.sampleRate = 1.0 / kSampleStep;
    axis.count = kRecordSamples;
    axis.hasDisturbance = true;
    axis.disturbanceTime = m.params.preFaultDuration;
    std::vector<double> samples(kChannels * kRecordSamples);
    m.model.sampleAllChannels(0.0, kSampleStep, kRecordSamples, samples.data());
    const KexRecording::RecordingScan scan;
    KexRecording::ExtremesWatch watch(m.model, m.params.frequency);
    while (state.KeepRunning()) {
        watch.begin(axis, KexRecording::modelChannels(), scan);
        for (std::size_t first = 0; first < kRecordSamples; first += KexRecording::kBlockSamples) {
            const std::size_t count = std::min(KexRecording::kBlockSamples, kRecordSamples - first);
            watch.write(
                {first, count, static_cast<std::size_t>(kChannels), samples.data() + kChannels * first, nullptr});
        }
        watch.finish();
        benchmark::DoNotOptimize(watch.extremes().channels.front().peak);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(samples.size()));
}

void BM_ExtremesOrdinary(benchmark::State& state) { watchExtremes(state, kOrdinaryKind); }
void BM_ExtremesSwing(benchmark::State& state) { watchExtremes(state, kSwingKind); }

}  // namespace

BENCHMARK(BM_ScalarReference);
BENCHMARK(BM_WriteOnlyOneChannel);
BENCHMARK(BM_WriteOnlySixChannels);
BENCHMARK(BM_GetMgnOrdinary);
BENCHMARK(BM_GetMgnSwing);
BENCHMARK(BM_GetMgnAsync);
BENCHMARK(BM_IsChnnelActiv);
BENCHMARK(BM_Calculate)->DenseRange(0, 3);
BENCHMARK(BM_CalculateFault);
BENCHMARK(BM_CalculateZIconst);
BENCHMARK(BM_SampleChannelOrdinary);
BENCHMARK(BM_SampleChannelSwing);
BENCHMARK(BM_SampleChannelAsync);
BENCHMARK(BM_SampleAllChannelsOrdinary);
BENCHMARK(BM_SampleAllChannelsSwing);
BENCHMARK(BM_SampleAllChannelsAsync);
BENCHMARK(BM_ExtremesOrdinary);
BENCHMARK(BM_ExtremesSwing);
BENCHMARK(BM_CtSaturationFromModel);
BENCHMARK(BM_CtSaturationFromSamples);
BENCHMARK(BM_CalculateExact)->DenseRange(0, 3);
BENCHMARK(BM_SampleChannelExact);
BENCHMARK(BM_SampleAllChannelsExact);
BENCHMARK(BM_SampleChannelDecay);
BENCHMARK(BM_SampleChannelExactDecay);
BENCHMARK(BM_SampleAllChannelsDecay);
BENCHMARK(BM_SampleAllChannelsExactDecay);

BENCHMARK_MAIN();
