// The waveforms of a transient scenario by its aperiodic model: the model
// calculated from the record and, for the exact model, the exact transients of
// its network. The command line and the Python module choose through it, and
// say alike why a record keeps the single time constant or has no exact
// waveforms at all.
#pragma once

#include <string>

#include "CalculationRl.h"
#include "CalculationRlExact.h"
#include "Sampling.h"
#include "ScenarioFields.h"

namespace KexRecording {

// Why exact transients of this status give no waveforms (the network has no
// exact solution, or nothing was calculated); empty for Exact and for
// KindOutsideScope, which gives the single-time-constant model's waveforms.
std::string exactWaveformProblem(KexCalculate::RlExactStatus status);

// Why nothing changes at the disturbance instant of the record, so that its
// waveforms have no aperiodic component whatever the model (no disturbance,
// load switching off a single line); empty where something changes.
std::string unchangedStateReason(const KexCalculate::RlParameters& record);

class TransientWaves {
public:
    // Calculates the model from the record, which must outlive this object
    // and every source taken from it; for the exact model its exact
    // transients as well.
    TransientWaves(const KexCalculate::RlParameters& record, AperiodicModel aperiodicModel);

    AperiodicModel aperiodicModel() const { return aperiodicModel_; }
    const KexCalculate::CalculationRl& model() const { return model_; }
    // Not calculated under the single-time-constant model.
    const KexCalculate::CalculationRlExact& exact() const { return exact_; }
    // The waveforms are the exact transients': the exact model on a kind it covers.
    bool isExact() const { return exact_.status() == KexCalculate::RlExactStatus::Exact; }
    // Why the chosen model gives no waveforms; empty when it does.
    std::string problem() const;
    // Why the exact model keeps the single time constant for the record's
    // kind; empty where it does not (a kind it covers, or the single time
    // constant chosen).
    std::string singleTimeConstantReason() const;

    // The chosen waveforms on the time axis; this object must outlive it.
    ModelSource source(const TimeAxis& axis) const;

private:
    AperiodicModel aperiodicModel_;
    KexCalculate::CalculationRl model_;
    KexCalculate::CalculationRlExact exact_;
};

}  // namespace KexRecording
