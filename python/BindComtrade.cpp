// write_comtrade: the six channels as a COMTRADE recording, through the same
// writer the command line uses, from an (N, 6) array or from a calculated
// transient model. The files appear only when all of them are complete.
#include <fcntl.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl/filesystem.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "CalculationRl.h"
#include "ComtradeWriter.h"
#include "Conversions.h"
#include "RlModel.h"
#include "TransientSampling.h"

namespace kexpy {

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr std::int64_t kMicrosecondsPerSecond = 1'000'000;
constexpr std::int64_t kNanosecondsPerMicrosecond = 1'000;
// 2000-01-01 00:00:00 UTC, the command line's default start of a record.
constexpr std::int64_t kDefaultStartNanoseconds = 946'684'800LL * kNanosecondsPerSecond;
// The days around 1970 that nanoseconds in 64 bits can count (years 1677 to 2262).
constexpr std::int64_t kMaxDaysFromEpoch = 106'750;
// Above this the sampling of one record would hold hundreds of megabytes.
constexpr double kMaxSampleCount = 10'000'000.0;

struct ChannelLabel {
    const char* id;
    const char* phase;
    const char* unit;
};

// The command line's labels, in the model's channel order.
constexpr std::array<ChannelLabel, kChannelCount> kChannelLabels{
    {{"IA", "A", "A"}, {"IB", "B", "A"}, {"IC", "C", "A"}, {"VA", "A", "V"}, {"VB", "B", "V"}, {"VC", "C", "V"}}};

// An operating-system error while writing, raised as OSError once the GIL is back.
struct FileError {
    int error;
    fs::path path;
};

// Output files written under hidden temporary names next to their final
// names and renamed only when every one is complete; whatever has not been
// renamed is removed.
class FileSet {
public:
    FileSet() = default;
    FileSet(const FileSet&) = delete;
    FileSet& operator=(const FileSet&) = delete;
    ~FileSet() {
        if (!committed_) {
            for (const fs::path& path : temporary_) {
                std::error_code ignored;
                fs::remove(path, ignored);
            }
        }
    }

    void write(const fs::path& finalPath, const std::string& contents) {
        const fs::path directory = finalPath.has_parent_path() ? finalPath.parent_path() : fs::path(".");
        int descriptor = -1;
        fs::path temporary;
        for (unsigned attempt = 0; descriptor < 0; ++attempt) {
            temporary = directory / ("." + finalPath.filename().string() + ".tmp-" + std::to_string(getpid()) + "-" +
                                     std::to_string(attempt));
            descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (descriptor < 0 && (errno != EEXIST || attempt > 100)) throw FileError{errno, finalPath};
        }
        temporary_.push_back(temporary);
        final_.push_back(finalPath);
        const char* data = contents.data();
        std::size_t left = contents.size();
        while (left > 0) {
            const ssize_t written = ::write(descriptor, data, left);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                const int error = written < 0 ? errno : EIO;
                close(descriptor);
                throw FileError{error, finalPath};
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        if (close(descriptor) != 0) throw FileError{errno, finalPath};
    }

    void commit() {
        // What would stop a rename halfway is found before the first one.
        for (const fs::path& path : final_) {
            std::error_code error;
            if (fs::is_directory(path, error)) throw FileError{EISDIR, path};
        }
        for (std::size_t k = 0; k < final_.size(); ++k) {
            std::error_code error;
            fs::rename(temporary_[k], final_[k], error);
            if (error) throw FileError{error.value(), final_[k]};
        }
        committed_ = true;
    }

    const std::vector<fs::path>& finalPaths() const { return final_; }

private:
    std::vector<fs::path> temporary_;
    std::vector<fs::path> final_;
    bool committed_ = false;
};

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

KexComtrade::Revision revisionOf(const py::object& revision) {
    std::string text;
    if (py::isinstance<py::str>(revision)) {
        text = revision.cast<std::string>();
    } else if (PyLong_Check(revision.ptr()) && !PyBool_Check(revision.ptr())) {
        text = std::string(py::str(revision));
    }
    if (text == "1999") return KexComtrade::Revision::Rev1999;
    if (text == "2013") return KexComtrade::Revision::Rev2013;
    throw py::value_error("revision: expected \"1999\" or \"2013\", got " + std::string(py::repr(revision)));
}

KexComtrade::DataFormat formatOf(const std::string& format) {
    const std::string name = lowercase(format);
    if (name == "ascii") return KexComtrade::DataFormat::Ascii;
    if (name == "binary") return KexComtrade::DataFormat::Binary;
    if (name == "binary32") return KexComtrade::DataFormat::Binary32;
    if (name == "float32") return KexComtrade::DataFormat::Float32;
    throw py::value_error("format: expected \"ascii\", \"binary\", \"binary32\" or \"float32\", got \"" + format +
                          "\"");
}

std::int64_t startTimeOf(const py::object& startTime) {
    if (startTime.is_none()) return kDefaultStartNanoseconds;
    if (PyLong_Check(startTime.ptr()) && !PyBool_Check(startTime.ptr())) {
        int overflow = 0;
        const long long nanoseconds = PyLong_AsLongLongAndOverflow(startTime.ptr(), &overflow);
        if (overflow != 0) throw py::value_error("start_time: outside the nanoseconds a 64-bit count holds");
        return nanoseconds;
    }
    const py::module_ datetime = py::module_::import("datetime");
    if (!py::isinstance(startTime, datetime.attr("datetime"))) {
        throw py::type_error(
            "start_time: expected None, a datetime (naive means UTC) or nanoseconds since 1970-01-01 UTC, got " +
            typeName(startTime));
    }
    const py::object utc = datetime.attr("timezone").attr("utc");
    const py::object aware =
        startTime.attr("tzinfo").is_none() ? startTime.attr("replace")(py::arg("tzinfo") = utc) : startTime;
    const py::object delta = aware - datetime.attr("datetime")(1970, 1, 1, py::arg("tzinfo") = utc);
    const auto days = delta.attr("days").cast<std::int64_t>();
    if (days < -kMaxDaysFromEpoch || days > kMaxDaysFromEpoch) {
        throw py::value_error("start_time: outside the years 1677 to 2262");
    }
    const auto seconds = delta.attr("seconds").cast<std::int64_t>();
    const auto microseconds = delta.attr("microseconds").cast<std::int64_t>();
    return ((days * kSecondsPerDay + seconds) * kMicrosecondsPerSecond + microseconds) * kNanosecondsPerMicrosecond;
}

double finiteReal(const py::object& value, const std::string& what) {
    const double number = toReal(value, what);
    if (!std::isfinite(number)) throw py::value_error(what + ": must be finite, got " + reprOf(number));
    return number;
}

// Fault status: 0 before the disturbance instant, 1 from it on, by the same
// comparison the model makes between its two intervals.
std::vector<std::uint8_t> faultStatus(std::size_t count, double sampleRate, double disturbanceTime) {
    std::vector<std::uint8_t> status(count);
    for (std::size_t k = 0; k < count; ++k) {
        status[k] = static_cast<double>(k) / sampleRate - disturbanceTime < 0.0 ? 0 : 1;
    }
    return status;
}

// Row-major samples (sample k, channel c at 6 * k + c) into the recording's channels.
void addChannels(KexComtrade::Recording& recording, const double* rows, std::size_t count) {
    for (std::size_t channel = 0; channel < kChannelCount; ++channel) {
        const ChannelLabel& label = kChannelLabels[channel];
        std::vector<double> samples(count);
        for (std::size_t k = 0; k < count; ++k) samples[k] = rows[kChannelCount * k + channel];
        recording.analogChannels.push_back({label.id, label.phase, label.unit, std::move(samples)});
    }
}

std::int64_t triggerTime(std::int64_t start, double disturbanceTime) {
    return start + std::llround(disturbanceTime * static_cast<double>(kNanosecondsPerSecond));
}

py::list writeComtrade(const fs::path& pathBase, const py::object& source, const py::object& sampleRateObject,
                       const py::object& duration, const py::object& lineFrequency, const py::object& revision,
                       const std::string& format, bool singleFile, const py::object& preFaultDuration,
                       const std::string& stationName, const std::string& deviceId, const py::object& startTime) {
    if (pathBase.empty() || !pathBase.has_filename()) {
        throw py::value_error("path_base: expected a file name without extension, e.g. 'out/fault', got '" +
                              pathBase.string() + "'");
    }
    const double sampleRate = toReal(sampleRateObject, "sample_rate");
    if (!std::isfinite(sampleRate) || sampleRate <= 0.0) {
        throw py::value_error("sample_rate: must be positive and finite, got " + reprOf(sampleRate));
    }
    KexComtrade::Options options;
    options.revision = revisionOf(revision);
    options.format = formatOf(format);
    options.singleFile = singleFile;

    KexComtrade::Recording recording;
    recording.stationName = stationName;
    recording.deviceId = deviceId;
    recording.sampleRate = sampleRate;
    recording.startTimeNanoseconds = startTimeOf(startTime);
    recording.triggerTimeNanoseconds = recording.startTimeNanoseconds;

    if (py::isinstance<RlModel>(source)) {
        if (!lineFrequency.is_none()) {
            throw py::value_error("line_frequency: taken from the model's record (frequency); leave it out");
        }
        if (!preFaultDuration.is_none()) {
            throw py::value_error("pre_fault_duration: taken from the model's record (preFaultDuration); leave it out");
        }
        if (duration.is_none()) {
            throw py::value_error("duration: the length of the record in seconds is needed with a CalculationRl");
        }
        const double seconds = finiteReal(duration, "duration");
        if (seconds <= 0.0) throw py::value_error("duration: must be positive, got " + reprOf(seconds));
        const double samples = std::round(seconds * sampleRate);
        if (samples > kMaxSampleCount) {
            throw py::value_error("duration: " + reprOf(samples) + " samples, more than the " +
                                  reprOf(kMaxSampleCount) + " a record may hold");
        }
        const auto count = static_cast<std::size_t>(samples);
        const ModelSnapshot snapshot(source.cast<const RlModel&>().model);
        const KexCalculate::RlParameters& record = *snapshot.model()._params;
        recording.lineFrequency = record.frequency;
        recording.triggerTimeNanoseconds = triggerTime(recording.startTimeNanoseconds, record.preFaultDuration);
        {
            py::gil_scoped_release release;
            // Sample k at k / sampleRate, as the command line places it.
            std::vector<double> times(count);
            for (std::size_t k = 0; k < count; ++k) times[k] = static_cast<double>(k) / sampleRate;
            std::vector<double> rows(kChannelCount * count);
            sampleChannelsAt(snapshot.model(), times.data(), count, rows.data());
            addChannels(recording, rows.data(), count);
            recording.statusChannels.push_back({"FAULT", faultStatus(count, sampleRate, record.preFaultDuration)});
        }
    } else {
        if (!duration.is_none()) {
            throw py::value_error("duration: only with a CalculationRl source; the samples set the length");
        }
        const auto samples = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(source);
        if (!samples) {
            PyErr_Clear();
            throw py::type_error("samples: expected an (N, 6) array of real values or a CalculationRl, got " +
                                 typeName(source));
        }
        if (samples.ndim() != 2 || samples.shape(1) != static_cast<py::ssize_t>(kChannelCount)) {
            std::string shape = "(";
            for (py::ssize_t d = 0; d < samples.ndim(); ++d) {
                shape += (d > 0 ? ", " : "") + std::to_string(samples.shape(d));
            }
            shape += samples.ndim() == 1 ? ",)" : ")";
            throw py::value_error("samples: expected an array of shape (N, 6) (IA, IB, IC, VA, VB, VC), got shape " +
                                  shape);
        }
        const auto count = static_cast<std::size_t>(samples.shape(0));
        recording.lineFrequency = lineFrequency.is_none() ? 50.0 : toReal(lineFrequency, "line_frequency");
        addChannels(recording, samples.data(), count);
        if (!preFaultDuration.is_none()) {
            const double disturbanceTime = finiteReal(preFaultDuration, "pre_fault_duration");
            recording.statusChannels.push_back({"FAULT", faultStatus(count, sampleRate, disturbanceTime)});
            recording.triggerTimeNanoseconds = triggerTime(recording.startTimeNanoseconds, disturbanceTime);
        }
    }

    std::vector<fs::path> written;
    try {
        py::gil_scoped_release release;
        // Throws std::invalid_argument (ValueError) naming the field and the problem.
        const KexComtrade::Files files = KexComtrade::renderComtrade(recording, options);
        FileSet set;
        const std::string base = pathBase.string();
        if (options.singleFile) {
            set.write(base + ".cff", files.cff);
        } else {
            set.write(base + ".cfg", files.cfg);
            set.write(base + ".dat", files.dat);
        }
        set.commit();
        written = set.finalPaths();
    } catch (const FileError& failure) {
        errno = failure.error;
        PyErr_SetFromErrnoWithFilename(PyExc_OSError, failure.path.c_str());
        throw py::error_already_set();
    }
    py::list paths;
    for (const fs::path& path : written) paths.append(py::str(path.string()));
    return paths;
}

}  // namespace

void bindComtrade(py::module_& module) {
    module.def("write_comtrade", &writeComtrade, py::arg("path_base"), py::arg("source"), py::arg("sample_rate"),
               py::arg("duration") = py::none(), py::kw_only(), py::arg("line_frequency") = py::none(),
               py::arg("revision") = "1999", py::arg("format") = "binary", py::arg("single_file") = false,
               py::arg("pre_fault_duration") = py::none(), py::arg("station_name") = "KexCalculate",
               py::arg("device_id") = "kexcalculate", py::arg("start_time") = py::none(),
               R"(Writes the six channels as a COMTRADE recording with the command line's writer.

path_base: the files' path without extension ('out/fault' gives out/fault.cfg and out/fault.dat, or
    out/fault.cff); the directory must exist. Existing files are replaced; the new files appear only when
    all of them are complete.
source: an (N, 6) array of samples (IA, IB, IC, VA, VB, VC; sample k at k / sample_rate), or a
    calculated CalculationRl, sampled at k / sample_rate for k < round(duration * sample_rate), with the
    line frequency and the FAULT status channel (1 from preFaultDuration on) taken from its record.
sample_rate: Hz.  duration: s, only with a CalculationRl.
line_frequency: Hz (array source; default 50).  pre_fault_duration: s (array source; adds the FAULT
    status channel and sets the trigger time).
revision: "1999" or "2013".  format: "ascii", "binary", "binary32" or "float32" (the last two need 2013).
single_file: one .cff file (2013 only).  start_time: None (2000-01-01 00:00:00 UTC), a datetime (naive
    means UTC) or nanoseconds since 1970-01-01 UTC.
Returns the paths written. Raises ValueError with the writer's message for a recording it cannot write
(e.g. a non-finite sample) and OSError when a file cannot be written.)");
}

}  // namespace kexpy
