// What `kexcalc transient` tells the user about a run: one line naming the
// disturbance, and the summary of the model's phasors and the files written.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "CalculationRl.h"
#include "OutputFiles.h"
#include "RecordExtremes.h"
#include "ScenarioFields.h"
#include "TransientWaves.h"

namespace kexcalc {

// One line such as "phase-A-to-ground fault at 50 % of the line".
std::string describeDisturbance(const KexCalculate::RlParameters& p);

// "fault state", or for a swing the instant that stands for it: "extreme
// state at 0.3521 s".
std::string disturbedStateName(const KexRecording::DisturbedState& state);

// The sample at which each phase's CT departs from the ideal current (the
// record's sample count where it does not), for a scenario with CTs.
using CtDepartures = std::optional<std::array<std::size_t, 3>>;

// Phasors before the disturbance and in the state that stands for it, the DC
// component of the chosen aperiodic model (its time constants and each
// channel's DC at the instant), the active channels, what the record reaches
// after the disturbance, the CTs and where they saturate, and the files
// written (those that replaced a file marked).
std::string renderSummary(const std::string& name, const KexRecording::TransientScenario& scenario,
                          const KexRecording::TransientWaves& waves, const KexRecording::RecordExtremes& extremes,
                          const CtDepartures& ctDepartures, const std::vector<KexRecording::WrittenFile>& files);

// The same as one JSON object, numbers in full precision (docs/cli.md gives
// its shape).
std::string renderSummaryJson(const std::string& name, const KexRecording::TransientScenario& scenario,
                              const KexRecording::TransientWaves& waves, const KexRecording::RecordExtremes& extremes,
                              const CtDepartures& ctDepartures, const std::vector<KexRecording::WrittenFile>& files);

}  // namespace kexcalc
