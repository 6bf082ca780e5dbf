// What `kexcalc transient` makes of a calculated transient model: the sampled
// six channels with the fault status, the COMTRADE recording, the CSV table,
// the printed summary, and a set of output files that appears all at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "CalculationRl.h"
#include "ComtradeWriter.h"
#include "Scenario.h"

namespace kexcalc {

constexpr int kChannelCount = 6;  // currents A, B, C, then voltages A, B, C

struct ChannelLabel {
    const char* id;     // "IA"
    const char* phase;  // "A"
    const char* unit;   // "A" or "V"
};

// In the model's channel order.
const std::array<ChannelLabel, kChannelCount>& channelLabels();

// Time of sample k on the record's time axis (0 at the first sample).
inline double sampleTime(std::size_t k, double sampleRate) { return static_cast<double>(k) / sampleRate; }

struct SampledRecord {
    double sampleRate = 0.0;
    double disturbanceTime = 0.0;  // s, where the fault status turns to 1
    std::array<std::vector<double>, kChannelCount> channels;
    std::vector<std::uint8_t> faultStatus;  // 0 before the disturbance instant, 1 from it on

    std::size_t size() const { return faultStatus.size(); }
};

// getMgn of every channel at k / sampleRate for k = 0 .. sampleCount - 1.
// Throws ArgumentError when the model gives a value that is not finite.
SampledRecord sampleModel(const KexCalculate::CalculationRl& model, const TransientScenario& scenario);

// The recording takes the samples over; `record` keeps its fault status only.
KexComtrade::Recording comtradeRecording(const TransientScenario& scenario, SampledRecord&& record);

// "time_s,IA_A,...,VC_V" and one row per sample, numbers in the shortest form
// that reads back to the same double. Returns false when the stream fails.
bool writeCsv(std::FILE* out, const SampledRecord& record);

// One line such as "phase-A-to-ground fault at 50 % of the line".
std::string describeDisturbance(const KexCalculate::RlParameters& p);

// Phasors before and after the disturbance, the aperiodic component, the
// active channels and the files written.
std::string renderSummary(const std::string& name, const TransientScenario& scenario,
                          const KexCalculate::CalculationRl& model, const std::vector<std::filesystem::path>& files);

// Files of one run, written under temporary names in the output directory
// and renamed only when all of them are complete. Whatever has not been
// committed is removed when the set is destroyed.
class OutputFileSet {
public:
    explicit OutputFileSet(std::filesystem::path directory);
    ~OutputFileSet();
    OutputFileSet(const OutputFileSet&) = delete;
    OutputFileSet& operator=(const OutputFileSet&) = delete;

    // A new empty temporary file that becomes `fileName` on commit.
    std::filesystem::path add(const std::string& fileName);
    void writeText(const std::string& fileName, const std::string& contents);
    // Renames every temporary to its final name. Throws ArgumentError.
    void commit();

    const std::vector<std::filesystem::path>& finalPaths() const { return finalPaths_; }

private:
    std::filesystem::path directory_;
    std::vector<std::filesystem::path> temporaryPaths_;
    std::vector<std::filesystem::path> finalPaths_;
    bool committed_ = false;
};

}  // namespace kexcalc
