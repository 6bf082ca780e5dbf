#include "TransientSummary.h"

#include <array>
#include <charconv>
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

std::string shortNumber(double value) {
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
}

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
                          const CalculationRl& model, const std::vector<std::filesystem::path>& files) {
    const RlParameters& p = scenario.record;
    std::ostringstream out;
    out << "Scenario " << name << ": " << describeDisturbance(p) << " (" << KexRecording::networkTypeName(p.networkType)
        << ", faultKind " << KexRecording::faultKindName(p.faultKind) << ")\n";
    out << "Record: " << KexRecording::sampleCount(scenario) << " samples at " << shortNumber(scenario.sampleRate)
        << " Hz (" << shortNumber(scenario.duration) << " s), " << shortNumber(p.frequency)
        << " Hz network, disturbance at " << shortNumber(p.preFaultDuration) << " s\n\n";

    constexpr int kLabelWidth = 8;
    constexpr int kFlagWidth = 8;
    constexpr int kNumberWidth = 14;
    out << std::left << std::setw(kLabelWidth) << "channel" << std::setw(kFlagWidth) << "active" << std::right
        << std::setw(kNumberWidth) << "pre-fault" << std::setw(kNumberWidth) << "angle" << std::setw(kNumberWidth)
        << "fault state" << std::setw(kNumberWidth) << "angle" << std::setw(kNumberWidth) << "aperiodic"
        << std::setw(kNumberWidth) << "DC at t0" << '\n';
    out << std::left << std::setw(kLabelWidth) << "" << std::setw(kFlagWidth) << "" << std::right
        << std::setw(kNumberWidth) << "(RMS)" << std::setw(kNumberWidth) << "(deg)" << std::setw(kNumberWidth)
        << "(RMS)" << std::setw(kNumberWidth) << "(deg)" << std::setw(kNumberWidth) << "A" << std::setw(kNumberWidth)
        << "sqrt(2)*A" << '\n';
    const std::vector<KexRecording::ChannelLabel>& labels = KexRecording::modelChannels();
    for (std::size_t channel = 0; channel < labels.size(); ++channel) {
        const bool current = channel < 3;  // the model's channels 0..2 are currents
        const std::size_t phase = channel % 3;
        const Complex pre = current ? model._predI.values[phase] : model._predU.values[phase];
        const Complex post = current ? model._faultI.values[phase] : model._faultU.values[phase];
        const double aperiodic = current ? model._aperiodicI[phase] : model._aperiodicU[phase];
        out << std::left << std::setw(kLabelWidth) << (labels[channel].id + " (" + labels[channel].unit + ")")
            << std::setw(kFlagWidth) << (model.isChnnelActiv(static_cast<int>(channel)) ? "yes" : "no") << std::right
            << std::setw(kNumberWidth) << formatTableNumber(phasorMagnitude(pre)) << std::setw(kNumberWidth)
            << formatTableNumber(phasorAngleDegrees(pre)) << std::setw(kNumberWidth)
            << formatTableNumber(phasorMagnitude(post)) << std::setw(kNumberWidth)
            << formatTableNumber(phasorAngleDegrees(post)) << std::setw(kNumberWidth) << formatTableNumber(aperiodic)
            << std::setw(kNumberWidth) << formatTableNumber(kSqrt2 * aperiodic) << '\n';
    }
    if (RlKind::isSwingOrAsync(p.faultKind)) {
        out << "\nFault state of a swing: the extreme values with the sources in opposition; the waveform follows "
               "the angle between the sources. No aperiodic component.\n";
    } else {
        out << "\nAperiodic time constant tau: " << std::setprecision(6) << model._tau
            << " s; each channel's DC component is sqrt(2)*A*exp(-t'/tau), t' the time since the disturbance\n";
    }
    out << "\nFiles written:\n";
    for (const std::filesystem::path& file : files) {
        out << "  " << file.string() << '\n';
    }
    return out.str();
}

}  // namespace kexcalc
