#include "TransientSummary.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <sstream>

#include "CtStage.h"
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

// One channel's phasors (the fault state, or the state that stands for it)
// and aperiodic amplitude, in the model's channel order.
struct ChannelFigures {
    Complex preFault;
    Complex faultState;
    double aperiodic;
};

ChannelFigures channelFigures(const CalculationRl& model, const KexRecording::DisturbedState& state,
                              std::size_t channel) {
    const bool current = channel < 3;  // the model's channels 0..2 are currents
    const std::size_t phase = channel % 3;
    return {current ? model._predI.values[phase] : model._predU.values[phase], state.phasors[channel],
            current ? model._aperiodicI[phase] : model._aperiodicU[phase]};
}

// Whether the single-time-constant model has a DC component for the record:
// not for a swing, nor where nothing changes at the disturbance instant.
bool hasSingleTimeConstant(const RlParameters& p) {
    return !RlKind::isSwingOrAsync(p.faultKind) && KexRecording::unchangedStateReason(p).empty();
}

// The lines below the DC component: which state of a swing the table gives,
// why a record has none, why the exact model does not apply.
std::vector<std::string> aperiodicNotes(const RlParameters& p, const KexRecording::TransientWaves& waves,
                                        const KexRecording::DisturbedState& state) {
    std::vector<std::string> notes;
    const std::string unchanged = KexRecording::unchangedStateReason(p);
    if (RlKind::isSwingOrAsync(p.faultKind) && state.atInstant) {
        notes.push_back("Extreme state: at " + KexRecording::shortestText(state.time) + " s the source EMFs stand " +
                        formatTableNumber(radiansToDegrees(state.sourceAngle)) +
                        " deg apart, the nearest to opposition (180 deg) the record comes after the disturbance; the "
                        "largest loop current. No aperiodic component.");
    } else if (RlKind::isSwingOrAsync(p.faultKind)) {
        notes.emplace_back(
            "Fault state of a swing: the model's extreme values with the sources in opposition. No aperiodic "
            "component.");
    } else if (!unchanged.empty()) {
        notes.push_back("No aperiodic component, as " + unchanged + ".");
        return notes;
    }
    const std::string reason = waves.singleTimeConstantReason();
    if (!reason.empty()) {
        notes.push_back("aperiodicModel exact does not apply to faultKind " + KexRecording::faultKindName(p.faultKind) +
                        ": " + reason + "; the waveforms are the single-time-constant model's");
    }
    return notes;
}

// What the record reaches from the disturbance on.
std::string renderExtremes(const KexRecording::RecordExtremes& extremes, double frequency) {
    const bool any = std::any_of(extremes.channels.begin(), extremes.channels.end(),
                                 [](const KexRecording::ChannelExtremes& channel) { return channel.hasPeak; });
    if (!any) {
        return "\nThe record ends before the disturbance: nothing is reached after it.\n";
    }
    std::ostringstream out;
    out << "\nReached from the disturbance on: the RMS of each whole cycle ("
        << KexRecording::shortestText(kMillisecondsPerSecond / frequency)
        << " ms) counted from the instant, the DC component\nincluded, and the peak, the sample of the largest "
           "magnitude\n";
    constexpr int kLabelWidth = 8;
    constexpr int kNumberWidth = 14;
    const auto row = [&out](const std::string& label, const std::vector<std::string>& columns) {
        out << std::left << std::setw(kLabelWidth) << label << std::right;
        for (const std::string& column : columns) {
            out << std::setw(kNumberWidth) << column;
        }
        out << '\n';
    };
    row("channel", {"lowest", "highest", "cycle from", "peak", "at"});
    row("", {"(RMS)", "(RMS)", "(s)", "(A, V)", "(s)"});
    const std::vector<KexRecording::ChannelLabel>& labels = KexRecording::modelChannels();
    for (std::size_t channel = 0; channel < labels.size() && channel < extremes.channels.size(); ++channel) {
        const KexRecording::ChannelExtremes& reached = extremes.channels[channel];
        const std::string none = "-";
        row(labels[channel].id + " (" + labels[channel].unit + ")",
            {reached.hasWholeCycle ? formatTableNumber(reached.rmsLowest) : none,
             reached.hasWholeCycle ? formatTableNumber(reached.rmsHighest) : none,
             reached.hasWholeCycle ? formatTableNumber(reached.rmsHighestStart) : none, formatTableNumber(reached.peak),
             formatTableNumber(reached.peakTime)});
    }
    if (extremes.swingOrAsync && extremes.sourceAngle.reached) {
        const KexRecording::SourceAngleReach& angle = extremes.sourceAngle;
        out << "Angle between the source EMFs: " << formatTableNumber(radiansToDegrees(angle.before))
            << " deg before the disturbance, from " << formatTableNumber(radiansToDegrees(angle.lowest)) << " to "
            << formatTableNumber(radiansToDegrees(angle.highest)) << " deg after it";
        const double turns = (angle.highest - angle.lowest) / (2.0 * kPi);
        if (turns >= 1.0) {
            out << ", " << std::fixed << std::setprecision(2) << turns << " turns";
        }
        out << '\n';
    }
    return out.str();
}

// Where a phase's CT departs from the ideal current: on the record's axis and
// from the disturbance instant (negative before it), in seconds.
struct CtSaturationTime {
    bool saturates;
    double time;
    double afterDisturbance;
};

CtSaturationTime ctSaturationTime(const KexRecording::TransientScenario& scenario, std::size_t departure) {
    if (departure >= KexRecording::sampleCount(scenario)) {
        return {false, 0.0, 0.0};
    }
    const double time = KexRecording::timeAxis(scenario).time(departure);
    return {true, time, time - scenario.record.preFaultDuration};
}

double saturationFlux(const KexRecording::TransientScenario& scenario) {
    return KexCalculate::CtSaturation(KexRecording::ctParameters(scenario)[0]).saturationFlux();
}

// The CTs' parameters, then for each phase its remanence and where it departs
// from the ideal current.
void renderCurrentTransformers(std::ostream& out, const KexRecording::TransientScenario& scenario,
                               const std::array<std::size_t, 3>& departures) {
    using KexRecording::shortestText;
    const KexRecording::CtScenario& ct = scenario.ct;
    out << "\nCurrent transformers: Rw " << shortestText(ct.windingResistance) << " ohm, burden "
        << shortestText(ct.burdenResistance) << " + j" << shortestText(ct.burdenReactance) << " ohm, Vs "
        << shortestText(ct.saturationVoltage) << " V, S " << shortestText(ct.exponent) << " (saturation flux "
        << std::setprecision(6) << saturationFlux(scenario) << " V s at " << shortestText(scenario.record.frequency)
        << " Hz)\n";
    constexpr int kLabelWidth = 8;
    constexpr int kColumnWidth = 14;
    constexpr int kWideColumnWidth = 24;
    out << std::left << std::setw(kLabelWidth) << "channel" << std::right << std::setw(kColumnWidth) << "remanence"
        << std::setw(kColumnWidth) << "saturates at" << std::setw(kWideColumnWidth) << "after the disturbance" << '\n';
    for (std::size_t phase = 0; phase < departures.size(); ++phase) {
        const KexRecording::ChannelLabel& label = KexRecording::modelChannels()[phase];
        out << std::left << std::setw(kLabelWidth) << (label.id + " (" + label.unit + ")") << std::right
            << std::setw(kColumnWidth) << shortestText(ct.remanence[phase]);
        const CtSaturationTime saturation = ctSaturationTime(scenario, departures[phase]);
        if (saturation.saturates) {
            std::ostringstream at;  // 0.0001 s rather than 1e-04 s
            at << std::setprecision(10) << saturation.time << " s";
            std::ostringstream after;
            after << std::setprecision(6) << std::fabs(saturation.afterDisturbance) * kMillisecondsPerSecond << " ms"
                  << (saturation.afterDisturbance < 0.0 ? " before" : "");
            out << std::setw(kColumnWidth) << at.str() << std::setw(kWideColumnWidth) << after.str();
        } else {
            out << std::setw(kColumnWidth) << "none";
        }
        out << '\n';
    }
    out << "Saturates at: the first sample of the secondary current more than "
        << percent(100.0 * KexCalculate::CtLimits::SaturationDeparture)
        << " % of the ideal peak away from the ideal current. IA, IB, IC are the secondary currents; IA ideal, IB "
           "ideal, IC ideal the model's.\n";
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

std::string disturbedStateName(const KexRecording::DisturbedState& state) {
    if (!state.atInstant) {
        return "fault state";
    }
    std::ostringstream name;
    name << "extreme state at " << std::setprecision(6) << state.time << " s";
    return name.str();
}

std::string renderSummary(const std::string& name, const KexRecording::TransientScenario& scenario,
                          const KexRecording::TransientWaves& waves, const KexRecording::RecordExtremes& extremes,
                          const CtDepartures& ctDepartures, const std::vector<KexRecording::WrittenFile>& files) {
    const RlParameters& p = scenario.record;
    const CalculationRl& model = waves.model();
    const KexRecording::DisturbedState state = KexRecording::disturbedState(model, extremes);
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
    for (const char* heading : {"pre-fault", "angle", state.atInstant ? "extreme state" : "fault state", "angle"}) {
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
        const auto [pre, post, aperiodic] = channelFigures(model, state, channel);
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
    } else if (hasSingleTimeConstant(p)) {
        out << "\nAperiodic time constant tau: " << std::setprecision(6) << model._tau
            << " s; each channel's DC component is sqrt(2)*A*exp(-t'/tau), t' the time since the disturbance\n";
    } else {
        out << '\n';
    }
    for (const std::string& note : aperiodicNotes(p, waves, state)) {
        out << note << '\n';
    }
    out << renderExtremes(extremes, p.frequency);
    if (ctDepartures) {
        renderCurrentTransformers(out, scenario, *ctDepartures);
    }
    out << "\nFiles written:\n";
    for (const KexRecording::WrittenFile& file : files) {
        out << "  " << file.path.string() << (file.replaced ? "  (replaced the earlier file)" : "") << '\n';
    }
    return out.str();
}

std::string renderSummaryJson(const std::string& name, const KexRecording::TransientScenario& scenario,
                              const KexRecording::TransientWaves& waves, const KexRecording::RecordExtremes& extremes,
                              const CtDepartures& ctDepartures, const std::vector<KexRecording::WrittenFile>& files) {
    using Json = nlohmann::ordered_json;
    const RlParameters& p = scenario.record;
    const CalculationRl& model = waves.model();
    const KexRecording::DisturbedState state = KexRecording::disturbedState(model, extremes);
    const KexCalculate::CalculationRlExact& exact = waves.exact();
    const bool exactDc = waves.isExact();
    Json channels = Json::array();
    const std::vector<KexRecording::ChannelLabel>& labels = KexRecording::modelChannels();
    for (std::size_t channel = 0; channel < labels.size(); ++channel) {
        const auto [pre, post, aperiodic] = channelFigures(model, state, channel);
        const KexRecording::ChannelExtremes reached =
            channel < extremes.channels.size() ? extremes.channels[channel] : KexRecording::ChannelExtremes{};
        const auto cycleFigure = [&reached](double value) {
            return reached.hasWholeCycle ? Json(value) : Json(nullptr);
        };
        channels.push_back(
            {{"id", labels[channel].id},
             {"unit", labels[channel].unit},
             {"active", model.isChnnelActiv(static_cast<int>(channel))},
             {"preFault", phasorJson(pre)},
             {"faultState", phasorJson(post)},
             {"aperiodic", exactDc ? Json(nullptr) : Json(aperiodic)},
             {"dcAtDisturbance", exactDc ? exact.initialDc(static_cast<int>(channel)) : kSqrt2 * aperiodic},
             {"reached", reached.hasPeak ? Json{{"rmsLowest", cycleFigure(reached.rmsLowest)},
                                                {"rmsHighest", cycleFigure(reached.rmsHighest)},
                                                {"rmsHighestCycleStart", cycleFigure(reached.rmsHighestStart)},
                                                {"peak", reached.peak},
                                                {"peakTime", reached.peakTime}}
                                         : Json(nullptr)}});
    }
    Json modes = Json::array();
    for (std::size_t mode = 0; exactDc && mode < exact.modeCount(); ++mode) {
        const double tau = exact.modeTimeConstant(mode);
        Json dc = Json::array();
        for (std::size_t channel = 0; channel < labels.size(); ++channel) {
            dc.push_back(exact.modeDc(mode, static_cast<int>(channel)));
        }
        modes.push_back({{"tau", std::isinf(tau) ? Json(nullptr) : Json(tau)}, {"dc", dc}});
    }
    Json cts = nullptr;
    if (ctDepartures) {
        const KexRecording::CtScenario& ct = scenario.ct;
        Json phases = Json::array();
        for (std::size_t phase = 0; phase < ctDepartures->size(); ++phase) {
            const CtSaturationTime saturation = ctSaturationTime(scenario, (*ctDepartures)[phase]);
            phases.push_back(
                {{"id", labels[phase].id},
                 {"remanence", ct.remanence[phase]},
                 {"saturatesAt", saturation.saturates ? Json(saturation.time) : Json(nullptr)},
                 {"afterDisturbance", saturation.saturates ? Json(saturation.afterDisturbance) : Json(nullptr)}});
        }
        cts = {{"windingResistance", ct.windingResistance},
               {"burdenResistance", ct.burdenResistance},
               {"burdenReactance", ct.burdenReactance},
               {"saturationVoltage", ct.saturationVoltage},
               {"exponent", ct.exponent},
               {"saturationFlux", saturationFlux(scenario)},
               {"phases", phases}};
    }
    Json written = Json::array();
    for (const KexRecording::WrittenFile& file : files) {
        written.push_back({{"path", file.path.string()}, {"replaced", file.replaced}});
    }
    const Json summary{{"scenario", name},
                       {"disturbance", describeDisturbance(p)},
                       {"networkType", KexRecording::networkTypeName(p.networkType)},
                       {"faultKind", KexRecording::faultKindName(p.faultKind)},
                       {"aperiodicModel",
                        KexRecording::aperiodicModelName(exactDc ? KexRecording::AperiodicModel::Exact
                                                                 : KexRecording::AperiodicModel::SingleTimeConstant)},
                       {"samples", KexRecording::sampleCount(scenario)},
                       {"sampleRate", scenario.sampleRate},
                       {"duration", scenario.duration},
                       {"frequency", p.frequency},
                       {"disturbanceTime", p.preFaultDuration},
                       {"channels", channels},
                       {"tau", !exactDc && hasSingleTimeConstant(p) ? Json(model._tau) : Json(nullptr)},
                       {"modes", modes},
                       {"notes", aperiodicNotes(p, waves, state)},
                       {"extremeState", state.atInstant ? Json{{"time", state.time},
                                                               {"sourceAngleDeg", radiansToDegrees(state.sourceAngle)}}
                                                        : Json(nullptr)},
                       {"sourceAngle", extremes.swingOrAsync && extremes.sourceAngle.reached
                                           ? Json{{"beforeDeg", radiansToDegrees(extremes.sourceAngle.before)},
                                                  {"lowestDeg", radiansToDegrees(extremes.sourceAngle.lowest)},
                                                  {"highestDeg", radiansToDegrees(extremes.sourceAngle.highest)}}
                                           : Json(nullptr)},
                       {"ct", cts},
                       {"files", written}};
    // A name or a path need not be UTF-8.
    return summary.dump(2, ' ', false, Json::error_handler_t::replace) + '\n';
}

}  // namespace kexcalc
