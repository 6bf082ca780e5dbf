#include "TransientSummary.h"

#include <cmath>
#include <iomanip>
#include <sstream>

#include "PhasorFormat.h"
#include "RlCodes.h"
#include "RlNames.h"
#include "Sampling.h"

namespace kexcalc {

namespace {

using KexCalculate::CalculationRl;
using KexCalculate::Complex;
using KexCalculate::RlParameters;
namespace RlKind = KexCalculate::RlKind;
namespace RlNetwork = KexCalculate::RlNetwork;
namespace RlLimits = KexCalculate::RlLimits;

constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kMillisecondsPerSecond = 1000.0;

std::string percent(double value) {
    std::ostringstream out;
    out << std::setprecision(6) << value;
    return out.str();
}

}  // namespace

std::string describeDisturbance(const RlParameters& p) {
    const std::string onePhase = KexRecording::faultPhaseName(p.faultKind, p.faultPhase);
    std::string where;
    if (RlLimits::isFaultBehindRelay(p.faultKind, p.faultDistance)) {
        where = "behind the relay";
    } else if (p.networkType == RlNetwork::TappedBranch) {
        where = "on the branch tapped at " + percent(p.faultDistance) + " % of the line, " + percent(p.branchDistance) +
                " % along it";
    } else {
        where = "at " + percent(p.faultDistance) + " % of the line";
    }
    const std::string pair = onePhase.size() == 2 ? std::string(1, onePhase[0]) + "-" + onePhase[1] : onePhase;
    if (RlKind::isThreePhase(p.faultKind)) {
        return "three-phase fault " + where;
    }
    if (RlKind::isTwoPhase(p.faultKind)) {
        return "phase " + pair + (RlKind::isGroundFault(p.faultKind) ? "-to-ground fault " : " fault ") + where;
    }
    if (RlKind::isShortCircuit(p.faultKind)) {
        return "phase-" + onePhase + "-to-ground fault " + where;
    }
    switch (p.faultKind) {
    case RlKind::Swing:
        return "power swing towards " + percent(p.swingAngle) + " deg";
    case RlKind::AsyncOperation:
        return "asynchronous operation, slip period " + percent(p.asyncSlipPeriod) + " s";
    case RlKind::PhaseBreak:
        return "phase " + onePhase + " open";
    case RlKind::LoadSwitching:
        return "load switching";
    default:
        return "no disturbance";
    }
}

std::string renderSummary(const std::string& name, const KexRecording::TransientScenario& scenario,
                          const KexRecording::TransientWaves& waves, const std::vector<KexRecording::WrittenFile>& files) {
    const RlParameters& p = scenario.record;
    const CalculationRl& model = waves.model();
    const KexCalculate::CalculationRlExact& exact = waves.exact();
    const bool exactDc = waves.isExact();
    std::ostringstream out;
    out << "Scenario " << name << ": " << describeDisturbance(p) << " (" << KexRecording::networkTypeName(p.networkType)
        << ", faultKind " << KexRecording::faultKindName(p.faultKind) << ")\n";
    using KexRecording::shortestText;
    out << "Record: " << KexRecording::sampleCount(scenario) << " samples at " << shortestText(scenario.sampleRate)
        << " Hz (" << shortestText(scenario.duration) << " s), " << shortestText(p.frequency)
        << " Hz network, disturbance at " << shortestText(p.preFaultDuration) << " s\n\n";

    constexpr int kLabelWidth = 8;
    constexpr int kFlagWidth = 8;
    constexpr int kNumberWidth = 14;
    const auto column = [&out](const std::string& text) { out << std::setw(kNumberWidth) << text; };
    out << std::left << std::setw(kLabelWidth) << "channel" << std::setw(kFlagWidth) << "active" << std::right;
    for (const char* heading : {"pre-fault", "angle", "fault state", "angle"}) {
        column(heading);
    }
    exactDc ? column("DC at t0") : (column("aperiodic"), column("DC at t0"));
    out << '\n' << std::left << std::setw(kLabelWidth) << "" << std::setw(kFlagWidth) << "" << std::right;
    for (const char* unit : {"(RMS)", "(deg)", "(RMS)", "(deg)"}) {
        column(unit);
    }
    exactDc ? column("(A, V)") : (column("A"), column("sqrt(2)*A"));
    out << '\n';
    const std::vector<KexRecording::ChannelLabel>& labels = KexRecording::modelChannels();
    for (std::size_t channel = 0; channel < labels.size(); ++channel) {
        const bool current = channel < 3;  // the model's channels 0..2 are currents
        const std::size_t phase = channel % 3;
        const Complex pre = current ? model._predI.values[phase] : model._predU.values[phase];
        const Complex post = current ? model._faultI.values[phase] : model._faultU.values[phase];
        const double aperiodic = current ? model._aperiodicI[phase] : model._aperiodicU[phase];
        out << std::left << std::setw(kLabelWidth) << (labels[channel].id + " (" + labels[channel].unit + ")")
            << std::setw(kFlagWidth) << (model.isChnnelActiv(static_cast<int>(channel)) ? "yes" : "no") << std::right;
        for (const double value :
             {phasorMagnitude(pre), tableAngleDegrees(pre), phasorMagnitude(post), tableAngleDegrees(post)}) {
            column(formatTableNumber(value));
        }
        if (exactDc) {
            column(formatTableNumber(exact.initialDc(static_cast<int>(channel))));
        } else {
            column(formatTableNumber(aperiodic));
            column(formatTableNumber(kSqrt2 * aperiodic));
        }
        out << '\n';
    }
    if (exactDc) {
        out << "\nDC component (aperiodicModel exact): the network's " << exact.modeCount()
            << " time constants tau and their DC at t0;\neach channel's DC is the sum of DC*exp(-t'/tau), t' the "
               "time since the disturbance\n";
        out << std::left << std::setw(kLabelWidth + kFlagWidth) << "tau (ms)" << std::right;
        for (const KexRecording::ChannelLabel& label : labels) {
            column(label.id + " (" + label.unit + ")");
        }
        out << '\n';
        for (std::size_t mode = 0; mode < exact.modeCount(); ++mode) {
            const double tau = exact.modeTimeConstant(mode);
            out << std::left << std::setw(kLabelWidth + kFlagWidth)
                << (std::isinf(tau) ? std::string("infinite") : formatTableNumber(tau * kMillisecondsPerSecond))
                << std::right;
            for (std::size_t channel = 0; channel < labels.size(); ++channel) {
                column(formatTableNumber(exact.modeDc(mode, static_cast<int>(channel))));
            }
            out << '\n';
        }
    } else if (RlKind::isSwingOrAsync(p.faultKind)) {
        out << "\nFault state of a swing: the extreme values with the sources in opposition; the waveform follows "
               "the angle between the sources. No aperiodic component.\n";
    } else {
        out << "\nAperiodic time constant tau: " << std::setprecision(6) << model._tau
            << " s; each channel's DC component is sqrt(2)*A*exp(-t'/tau), t' the time since the disturbance\n";
    }
    const std::string reason = waves.singleTimeConstantReason();
    if (!reason.empty()) {
        out << "aperiodicModel exact does not apply to faultKind " << KexRecording::faultKindName(p.faultKind) << ": "
            << reason << "; the waveforms are the single-time-constant model's\n";
    }
    out << "\nFiles written:\n";
    for (const KexRecording::WrittenFile& file : files) {
        out << "  " << file.path.string() << (file.replaced ? "  (replaced the earlier file)" : "") << '\n';
    }
    return out.str();
}

}  // namespace kexcalc
