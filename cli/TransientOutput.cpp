#include "TransientOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <system_error>
#include <utility>

#include "CommandLine.h"
#include "PhasorFormat.h"

namespace kexcalc {

namespace {

using KexCalculate::CalculationRl;
using KexCalculate::Complex;
using KexCalculate::RlParameters;

constexpr double kSqrt2 = 1.4142135623730951;
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

std::string errnoText(int error) { return std::generic_category().message(error); }

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

const std::array<ChannelLabel, kChannelCount>& channelLabels() {
    static const std::array<ChannelLabel, kChannelCount> labels{
        {{"IA", "A", "A"}, {"IB", "B", "A"}, {"IC", "C", "A"}, {"VA", "A", "V"}, {"VB", "B", "V"}, {"VC", "C", "V"}}};
    return labels;
}

SampledRecord sampleModel(const CalculationRl& model, const TransientScenario& scenario) {
    const std::size_t count = sampleCount(scenario);
    SampledRecord record;
    record.sampleRate = scenario.sampleRate;
    record.disturbanceTime = scenario.record.preFaultDuration;
    record.faultStatus.resize(count);
    for (auto& channel : record.channels) {
        channel.resize(count);
    }
    for (std::size_t k = 0; k < count; ++k) {
        const double time = sampleTime(k, scenario.sampleRate);
        // The same comparison that getMgn makes between its two intervals.
        record.faultStatus[k] = time - record.disturbanceTime < 0.0 ? 0 : 1;
        for (int channel = 0; channel < kChannelCount; ++channel) {
            const double value = model.getMgn(channel, time);
            if (!std::isfinite(value)) {
                throw ArgumentError(std::string("the model gives a value that is not finite on channel ") +
                                    channelLabels()[static_cast<std::size_t>(channel)].id + " at " + shortNumber(time) +
                                    " s; check the magnitudes of the scenario");
            }
            record.channels[static_cast<std::size_t>(channel)][k] = value;
        }
    }
    return record;
}

KexComtrade::Recording comtradeRecording(const TransientScenario& scenario, SampledRecord&& record) {
    KexComtrade::Recording recording;
    recording.stationName = scenario.station;
    recording.deviceId = scenario.device;
    recording.lineFrequency = scenario.record.frequency;
    recording.sampleRate = record.sampleRate;
    recording.startTimeNanoseconds = scenario.startTimeNanoseconds;
    recording.triggerTimeNanoseconds =
        scenario.startTimeNanoseconds +
        std::llround(record.disturbanceTime * static_cast<double>(kNanosecondsPerSecond));
    for (std::size_t channel = 0; channel < kChannelCount; ++channel) {
        const ChannelLabel& label = channelLabels()[channel];
        recording.analogChannels.push_back({label.id, label.phase, label.unit, std::move(record.channels[channel])});
    }
    recording.statusChannels.push_back({"FAULT", record.faultStatus});
    return recording;
}

bool writeCsv(std::FILE* out, const SampledRecord& record) {
    std::string header = "time_s";
    for (const ChannelLabel& label : channelLabels()) {
        header += std::string(",") + label.id + "_" + label.unit;
    }
    header += '\n';
    if (std::fputs(header.c_str(), out) < 0) {
        return false;
    }
    std::array<char, std::size_t{7} * 32> row{};  // seven numbers of at most 32 characters
    for (std::size_t k = 0; k < record.size(); ++k) {
        char* position = row.data();
        char* const end = row.data() + row.size();
        position = std::to_chars(position, end, sampleTime(k, record.sampleRate)).ptr;
        for (const auto& channel : record.channels) {
            *position++ = ',';
            position = std::to_chars(position, end, channel[k]).ptr;
        }
        *position++ = '\n';
        const auto length = static_cast<std::size_t>(position - row.data());
        if (std::fwrite(row.data(), 1, length, out) != length) {
            return false;
        }
    }
    return std::fflush(out) == 0;
}

std::string describeDisturbance(const RlParameters& p) {
    const std::string onePhase = faultPhaseName(p.faultKind, p.faultPhase);
    std::string where;
    if (p.faultDistance <= -0.004) {
        where = "behind the relay";
    } else if (p.networkType == 1) {
        where = "on the branch tapped at " + percent(p.faultDistance) + " % of the line, " + percent(p.branchDistance) +
                " % along it";
    } else {
        where = "at " + percent(p.faultDistance) + " % of the line";
    }
    const std::string pair = onePhase.size() == 2 ? std::string(1, onePhase[0]) + "-" + onePhase[1] : onePhase;
    switch (p.faultKind) {
    case 0:
    case 4:
        return "three-phase fault " + where;
    case 1:
    case 5:
        return "phase " + pair + " fault " + where;
    case 2:
    case 6:
        return "phase-" + onePhase + "-to-ground fault " + where;
    case 3:
    case 7:
        return "phase " + pair + "-to-ground fault " + where;
    case 8:
        return "power swing towards " + percent(p.swingAngle) + " deg";
    case 9:
        return "asynchronous operation, slip period " + percent(p.asyncSlipPeriod) + " s";
    case 10:
        return "phase " + onePhase + " open";
    case 11:
        return "load switching";
    default:
        return "no disturbance";
    }
}

std::string renderSummary(const std::string& name, const TransientScenario& scenario, const CalculationRl& model,
                          const std::vector<std::filesystem::path>& files) {
    const RlParameters& p = scenario.record;
    std::ostringstream out;
    out << "Scenario " << name << ": " << describeDisturbance(p) << " (" << networkTypeName(p.networkType)
        << ", faultKind " << faultKindName(p.faultKind) << ")\n";
    out << "Record: " << sampleCount(scenario) << " samples at " << shortNumber(scenario.sampleRate) << " Hz ("
        << shortNumber(scenario.duration) << " s), " << shortNumber(p.frequency) << " Hz network, disturbance at "
        << shortNumber(p.preFaultDuration) << " s\n\n";

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
    for (std::size_t channel = 0; channel < kChannelCount; ++channel) {
        const ChannelLabel& label = channelLabels()[channel];
        const bool current = channel < 3;
        const std::size_t phase = channel % 3;
        const Complex pre = current ? model._predI.values[phase] : model._predU.values[phase];
        const Complex post = current ? model._faultI.values[phase] : model._faultU.values[phase];
        const double aperiodic = current ? model._aperiodicI[phase] : model._aperiodicU[phase];
        out << std::left << std::setw(kLabelWidth) << (std::string(label.id) + " (" + label.unit + ")")
            << std::setw(kFlagWidth) << (model.isChnnelActiv(static_cast<int>(channel)) ? "yes" : "no") << std::right
            << std::setw(kNumberWidth) << formatTableNumber(phasorMagnitude(pre)) << std::setw(kNumberWidth)
            << formatTableNumber(phasorAngleDegrees(pre)) << std::setw(kNumberWidth)
            << formatTableNumber(phasorMagnitude(post)) << std::setw(kNumberWidth)
            << formatTableNumber(phasorAngleDegrees(post)) << std::setw(kNumberWidth) << formatTableNumber(aperiodic)
            << std::setw(kNumberWidth) << formatTableNumber(kSqrt2 * aperiodic) << '\n';
    }
    const bool swing = p.faultKind == 8 || p.faultKind == 9;
    if (swing) {
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

OutputFileSet::OutputFileSet(std::filesystem::path directory) : directory_(std::move(directory)) {}

OutputFileSet::~OutputFileSet() {
    if (!committed_) {
        for (const std::filesystem::path& path : temporaryPaths_) {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    }
}

std::filesystem::path OutputFileSet::add(const std::string& fileName) {
    // Hidden and unique, in the target directory so that the rename stays on
    // one file system. The mode follows the umask like any other new file.
    for (unsigned attempt = 0;; ++attempt) {
        std::filesystem::path path =
            directory_ / ("." + fileName + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt));
        const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            close(descriptor);
            temporaryPaths_.push_back(path);
            finalPaths_.push_back(directory_ / fileName);
            return path;
        }
        if (errno != EEXIST || attempt > 100) {
            throw ArgumentError("--out", "cannot create a file in '" + directory_.string() + "': " + errnoText(errno));
        }
    }
}

void OutputFileSet::writeText(const std::string& fileName, const std::string& contents) {
    const std::filesystem::path path = add(fileName);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw ArgumentError("--out", "cannot write '" + path.string() + "': " + errnoText(errno));
    }
    const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
    const int error = errno;
    if (std::fclose(file) != 0 || !written) {
        throw ArgumentError("--out", "cannot write '" + path.string() + "': " + errnoText(written ? errno : error));
    }
}

void OutputFileSet::commit() {
    // What would stop a rename halfway is found before the first one.
    for (const std::filesystem::path& path : finalPaths_) {
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
        if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
            !std::filesystem::is_symlink(status)) {
            throw ArgumentError("--out", "'" + path.string() + "' exists and is not a file; nothing was replaced");
        }
    }
    for (std::size_t k = 0; k < temporaryPaths_.size(); ++k) {
        std::error_code error;
        std::filesystem::rename(temporaryPaths_[k], finalPaths_[k], error);
        if (error) {
            throw ArgumentError("--out", "cannot rename '" + temporaryPaths_[k].string() + "' to '" +
                                             finalPaths_[k].string() + "': " + error.message());
        }
    }
    committed_ = true;
}

}  // namespace kexcalc
