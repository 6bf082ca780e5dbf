#include "TransientWaves.h"

#include "RlCodes.h"

namespace KexRecording {

using KexCalculate::RlExactStatus;
namespace RlKind = KexCalculate::RlKind;

std::string exactWaveformProblem(RlExactStatus status) {
    if (status == RlExactStatus::Exact || status == RlExactStatus::KindOutsideScope) {
        return {};
    }
    return std::string("no exact transients: ") + KexCalculate::rlExactStatusText(status);
}

namespace {

// Why a kind outside the exact mode keeps the single time constant.
std::string outsideScopeReason(std::uint8_t kind) {
    if (RlKind::isSwingOrAsync(kind)) {
        return "the angle between the sources moves and the waveform has no aperiodic component";
    }
    if (kind == RlKind::PhaseBreak) {
        return "an ideal interruption of an inductive current has no finite exact solution";
    }
    if (kind == RlKind::LoadSwitching) {
        return "load switching changes nothing on this network (zSwitched is switched on a single line only)";
    }
    return "there is no disturbance: the waves simply continue";
}

}  // namespace

std::string unchangedStateReason(const KexCalculate::RlParameters& record) {
    const bool unchanged =
        !RlKind::isDisturbance(record.faultKind) ||
        (record.faultKind == RlKind::LoadSwitching && record.networkType != KexCalculate::RlNetwork::SingleLine);
    return unchanged ? outsideScopeReason(record.faultKind) : std::string();
}

TransientWaves::TransientWaves(const KexCalculate::RlParameters& record, AperiodicModel aperiodicModel)
    : aperiodicModel_(aperiodicModel), model_(&record) {
    model_.calculate();
    if (aperiodicModel_ == AperiodicModel::Exact) {
        exact_.calculate(model_);
    }
}

std::string TransientWaves::problem() const {
    return aperiodicModel_ == AperiodicModel::Exact ? exactWaveformProblem(exact_.status()) : std::string();
}

std::string TransientWaves::singleTimeConstantReason() const {
    if (exact_.status() != RlExactStatus::KindOutsideScope) {
        return {};
    }
    return outsideScopeReason(model_._params->faultKind);
}

ModelSource TransientWaves::source(const TimeAxis& axis) const {
    if (isExact()) {
        return ModelSource(exact_, axis);
    }
    return ModelSource(model_, axis);
}

}  // namespace KexRecording
