// The CTs on the recording path: whatever blocks the recording reads, and in
// whatever order, each channel holds what one run of the whole record gives.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "CtStage.h"
#include "Scenario.h"
#include "TransientWaves.h"

namespace {

using KexCalculate::CtSaturation;
using KexRecording::kCtChannelCount;
using KexRecording::kModelChannelCount;
using KexRecording::kPhaseCount;

// Two passes in blocks (the second takes the first 1000 samples as kept, then
// runs the CTs again), then blocks out of order.
TEST(CtSource, AnyOrderOfBlocksGivesTheBitsOfOneRun) {
    const KexRecording::ScenarioResult parsed =
        KexRecording::parseScenario(R"({"ct": {"saturationVoltage": 20, "remanence": [0.5, 0, -0.3]}})");
    ASSERT_TRUE(parsed.ok());
    const KexRecording::TransientScenario& scenario = parsed.scenario;
    const KexRecording::TransientWaves waves(scenario.record, scenario.aperiodicModel);
    const KexRecording::TimeAxis axis = KexRecording::timeAxis(scenario);
    const KexRecording::ModelSource channels = waves.source(axis);
    const KexRecording::PhaseCts cts = KexRecording::ctParameters(scenario);
    const KexRecording::CtSource source(channels, cts, axis, 1000);

    std::array<std::vector<double>, kPhaseCount> secondary;
    for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
        secondary[phase].resize(axis.count);
        CtSaturation(cts[phase])
            .saturate(CtSaturation::channelOf(channels, static_cast<int>(phase)), 0.0, 1.0 / axis.sampleRate,
                      axis.count, secondary[phase].data());
    }
    const std::pair<std::size_t, std::size_t> reads[] = {{0, 700},   {700, 700},   {1400, 1600}, {0, 700},
                                                         {700, 700}, {1400, 1600}, {2500, 500},  {100, 50}};
    for (const auto& [first, count] : reads) {
        std::vector<double> out(kCtChannelCount * count);
        std::vector<double> ideal(kModelChannelCount * count);
        source.read(first, count, out.data());
        channels.read(first, count, ideal.data());
        for (std::size_t j = 0; j < count; ++j) {
            const double* row = &out[kCtChannelCount * j];
            for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
                ASSERT_EQ(row[phase], secondary[phase][first + j]) << "sample " << first + j << " of read " << first;
                ASSERT_EQ(row[KexRecording::idealChannelOf(phase)], ideal[kModelChannelCount * j + phase]);
                ASSERT_EQ(row[kPhaseCount + phase], ideal[kModelChannelCount * j + kPhaseCount + phase]);  // voltages
            }
        }
    }
}

}  // namespace
