// The library's promise to a multi-threaded host: one calculated transient
// model may be sampled by several threads at once, the steady-state
// calculators are reentrant, and the only state shared across objects (the
// zero value of Complex3's index accessor and the string table) is created
// safely on first use. Every thread's results must equal, bit for bit, those
// of one thread; built with ThreadSanitizer, any unsynchronised access is a
// report that stops the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "CalculationFault.h"
#include "CalculationP.h"
#include "CalculationRl.h"
#include "CalculationSymComponents.h"
#include "CalculationZ.h"
#include "DistanceParameters.h"
#include "KexCalculateLocalization.h"
#include "PoligonHelper.h"
#include "RlTestSupport.h"

namespace {

using namespace KexCalculate;
using RlTest::sameBits;

// More threads than the machine has cores, so that they interleave.
constexpr int kThreadCount = 8;

// Results flattened to doubles, compared bit for bit (NaN equals NaN).
using Values = std::vector<double>;

void append(Values& out, double x) { out.push_back(x); }
void append(Values& out, bool flag) { out.push_back(flag ? 1.0 : 0.0); }
void append(Values& out, const Complex& z) {
    out.push_back(z.re);
    out.push_back(z.im);
}
template <typename Triple>  // Complex3, ThreePhaseSystem
auto append(Values& out, const Triple& t) -> decltype(t.values, void()) {
    for (const Complex& z : t.values) {
        append(out, z);
    }
}
template <typename... Parts>
void append(Values& out, const Parts&... parts) {
    (append(out, parts), ...);
}
void append(Values& out, const ThreePhaseUISystem& s) { append(out, s.voltages, s.currents); }
void append(Values& out, const E1E2UI& v) { append(out, v.e1, v.e2, v.u, v.i); }
void append(Values& out, const SwingOrAmowUIValues& v) { append(out, v.uMin, v.iMax, v.uMax); }

// Runs work(thread index) on kThreadCount threads that all wait at a gate
// until every one of them has started, so that their first calls coincide.
// Once they are done, work(0) on this thread gives the expected results.
void expectThreadsGiveOneThreadsResults(const std::function<Values(int)>& work) {
    std::atomic<int> arrived{0};
    std::atomic<bool> open{false};
    std::vector<Values> results(kThreadCount);
    std::vector<std::thread> threads;
    threads.reserve(kThreadCount);
    for (int k = 0; k < kThreadCount; ++k) {
        threads.emplace_back([&, k] {
            arrived.fetch_add(1);
            while (!open.load()) {
                std::this_thread::yield();
            }
            results[static_cast<std::size_t>(k)] = work(k);
        });
    }
    while (arrived.load() < kThreadCount) {
        std::this_thread::yield();
    }
    open.store(true);
    for (std::thread& t : threads) {
        t.join();
    }
    const Values expected = work(0);
    for (int k = 0; k < kThreadCount; ++k) {
        EXPECT_TRUE(sameBits(results[static_cast<std::size_t>(k)], expected)) << "thread " << k;
    }
}

// ------------------------------------------------- shared zero values

const int kOutOfRange[] = {-1, 3, 4, 100, -100, INT_MIN, INT_MAX};

// Reads (and for the mutable accessor, writes through) the zero values of a
// triple shared by all threads. Kept first in the file: run alone, as CTest
// runs it, the threads race the very first use.
Values useZeroValues(Complex3& shared, const Complex3& sharedConst, int thread) {
    Values out;
    for (int round = 0; round < 50; ++round) {
        for (int index : kOutOfRange) {
            append(out, sharedConst.ix(index));
            Complex& zero = shared.ix(index);
            append(out, zero);
            // A write through one result must not show in the next one, in
            // this thread or any other.
            zero = Complex(thread + 1.0, round + 1.0);
            append(out, shared.ix(index));
        }
        append(out, sharedConst.ix(1));
        append(out, std::string(lng::KexCalculate::get("Faults.ABC_lin")) == "ABC line");
    }
    return out;
}

TEST(ConcurrencyTest, FirstUseOfSharedZeroValues) {
    Complex3 shared(Complex(1.0, 2.0), Complex(3.0, 4.0), Complex(5.0, 6.0));
    const Complex3 sharedConst(Complex(1.0, 2.0), Complex(3.0, 4.0), Complex(5.0, 6.0));

    expectThreadsGiveOneThreadsResults([&](int thread) { return useZeroValues(shared, sharedConst, thread); });
    // The writes through the mutable accessor left the triple itself alone.
    Values untouched;
    append(untouched, shared);
    EXPECT_TRUE(sameBits(untouched, {1.0, 2.0, 3.0, 4.0, 5.0, 6.0}));
    EXPECT_EQ(sharedConst.ix(-1).re, 0.0);
}

// ------------------------------------------------- one transient model

// Everything a host reads from a calculated model, in a fixed layout. Each
// thread walks the samples from a different start, so that the threads read
// the same members at different moments as well as at the same one.
Values sampleModel(const CalculationRl& model, int thread) {
    constexpr int kSamples = 120;
    constexpr double kStep = 1.0 / 2000.0;     // 60 ms around the disturbance instant at 40 ms
    constexpr std::size_t kPerSample = 8 + 8;  // channels -1..6, then getE1E2UI
    Values out(kSamples * kPerSample);
    for (int n = 0; n < kSamples; ++n) {
        const int k = (n + thread * 17) % kSamples;
        const double time = k * kStep;
        Values sample;
        for (int channel = -1; channel <= 6; ++channel) {
            append(sample, model.getMgn(channel, time));
        }
        append(sample, model.getE1E2UI(time - 0.04));
        std::copy(sample.begin(), sample.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(k) * kPerSample));
    }
    for (int channel = -1; channel <= 6; ++channel) {
        append(out, model.isChnnelActiv(channel));
    }
    append(out, model.getSwingOrAmowUIValues());
    return out;
}

class SharedModelTest : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(SharedModelTest, SamplesEqualOneThreadsSamples) {
    const auto [kind, network] = GetParam();
    // A fault through a resistance, so that every kind's fault state depends on it.
    RlParameters record = RlTest::throughResistance(RlTest::makeRecord(network, kind), 2.0);
    record.faultPhase = 1;
    const RlTest::CalculatedModel m(record);
    expectThreadsGiveOneThreadsResults([&](int thread) { return sampleModel(m.model, thread); });
    // The model really carries a waveform: phase A's current is active.
    EXPECT_TRUE(m.model.isChnnelActiv(0));
}

INSTANTIATE_TEST_SUITE_P(ConcurrencyTest, SharedModelTest,
                         ::testing::Combine(::testing::Range(0, 13), ::testing::Values(0, 3)), RlTest::kindNetworkName);

// ------------------------------------------------- steady-state calculators

// Every steady-state calculation on inputs that vary with the round; distinct
// calculator objects per thread, as the library's contract asks, and shared
// read-only inputs (the relay settings, the polygon).
Values steadyStateResults(const DistanceParameters& settings, const std::vector<Kex::PointF>& polygon) {
    Values out;
    CalculationZ impedance;
    for (int round = 0; round < 4; ++round) {
        const double size = 1.0 + round;
        for (Fault fault : FaultsList) {
            append(out, CalculationFault::calculateFault(KexRelay::Current, fault, 5.0 * size, 0.3, -1.0));
            append(out, CalculationFault::calculateFault(KexRelay::Voltage, fault, Complex(30.0, size), 20.0));
            Complex power(100.0 * size, 40.0);
            append(out, CalculationP::calculatePIconst(fault, power, 5.0));
            append(out, CalculationP::calculatePUconst(fault, power, 57.7));
            impedance.voltageReference = (round % 2) != 0;
            append(out, impedance.calculateZIconst(fault, Kex::Polar{2.0 * size, 1.2}, 5.0, 0.5, settings));
            append(out, impedance.calculateZUconst(fault, Kex::Polar{2.0 * size, 1.2}, 30.0, 57.7, settings));
            append(out, impedance._faultLoopZ(fault, Complex(size, 4.0), settings));
        }
        const Complex3 sequences(Complex(size, 0.0), Complex(10.0, 1.0), Complex(0.5, -size));
        append(out, CalculationSymComponents::CalcComplex3PhseSystem(sequences));
        append(out, CalculationSymComponents::Calc3PhseSystem(sequences));
        append(out, CalculationSymComponents::Calc3PhseSystem(SymComponents(sequences)));
        Complex3 phases;
        CalculationSymComponents::setFaultValues(sequences, phases);
        append(out, phases);
        for (int k = -2; k <= 8; ++k) {
            const Kex::PointF point{static_cast<float>(k) * 0.5F, static_cast<float>(round) * 0.7F};
            append(out, isPointInPoligon(polygon, point));
        }
        append(out, std::string(lng::KexCalculate::get("Faults.ABC_lin")) == "ABC line");
        append(out, std::string(lng::KexCalculate::get("an unknown key")) == "an unknown key");
    }
    return out;
}

TEST(ConcurrencyTest, SteadyStateCalculatorsEqualOneThreadsResults) {
    DistanceParameters settings;
    settings.loop.groundFactorMode = Z0_Z1;
    settings.loop.arcResistance = true;
    const std::vector<Kex::PointF> polygon{{0.0F, 0.0F}, {3.0F, -0.5F}, {3.5F, 2.5F}, {0.5F, 3.0F}, {-0.5F, 1.0F}};
    expectThreadsGiveOneThreadsResults([&](int) { return steadyStateResults(settings, polygon); });
}

}  // namespace
