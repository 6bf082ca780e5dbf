// write_comtrade: the six channels as a COMTRADE recording, through the
// recording path the command line uses, from an (N, 6) array or from a
// calculated transient model. The files appear only when all of them are
// complete.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CalculationRl.h"
#include "ComtradeOutput.h"
#include "ComtradeWriter.h"
#include "Conversions.h"
#include "OutputFiles.h"
#include "Recording.h"
#include "RlExactModel.h"
#include "RlModel.h"
#include "Sampling.h"
#include "ScenarioFields.h"
#include "TransientSampling.h"
#include "TransientWaves.h"

namespace kexpy {

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr std::int64_t kMicrosecondsPerSecond = 1'000'000;
constexpr std::int64_t kNanosecondsPerMicrosecond = 1'000;
// The days around 1970 that nanoseconds in 64 bits can count (years 1677 to 2262).
constexpr std::int64_t kMaxDaysFromEpoch = 106'750;

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
    if (startTime.is_none()) return KexRecording::defaultScenario().startTimeNanoseconds;
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

py::list writeComtrade(const fs::path& pathBase, const py::object& source, const py::object& sampleRateObject,
                       const py::object& duration, const py::object& lineFrequency, const py::object& revision,
                       const std::string& format, bool singleFile, const py::object& preFaultDuration,
                       const std::string& stationName, const std::string& deviceId, const py::object& startTime) {
    if (pathBase.empty() || !pathBase.has_filename()) {
        throw py::value_error("path_base: expected a file name without extension, e.g. 'out/fault', got '" +
                              pathBase.string() + "'");
    }
    KexRecording::TimeAxis axis;
    axis.sampleRate = toReal(sampleRateObject, "sample_rate");
    if (!std::isfinite(axis.sampleRate) || axis.sampleRate <= 0.0) {
        throw py::value_error("sample_rate: must be positive and finite, got " + reprOf(axis.sampleRate));
    }
    KexComtrade::Options options;
    options.revision = revisionOf(revision);
    options.format = formatOf(format);
    options.singleFile = singleFile;
    KexRecording::ComtradeHeader header{stationName, deviceId, 50.0, startTimeOf(startTime)};

    std::optional<ModelSnapshot> snapshot;
    std::shared_ptr<const RlExactState> exact;
    py::array_t<double, py::array::c_style | py::array::forcecast> samples;
    std::unique_ptr<KexRecording::SampleSource> samplesSource;
    if (py::isinstance<RlModel>(source) || py::isinstance<RlExactModel>(source)) {
        if (!lineFrequency.is_none()) {
            throw py::value_error("line_frequency: taken from the model's record (frequency); leave it out");
        }
        if (!preFaultDuration.is_none()) {
            throw py::value_error("pre_fault_duration: taken from the model's record (preFaultDuration); leave it out");
        }
        if (duration.is_none()) {
            throw py::value_error("duration: the length of the record in seconds is needed with a model");
        }
        const double seconds = finiteReal(duration, "duration");
        if (seconds <= 0.0) throw py::value_error("duration: must be positive, got " + reprOf(seconds));
        const double count = std::round(seconds * axis.sampleRate);
        constexpr auto kMaxSampleCount = static_cast<double>(KexComtrade::kMaxSampleCount);
        if (count > kMaxSampleCount) {
            throw py::value_error("duration: " + reprOf(count) + " samples, more than the " + reprOf(kMaxSampleCount) +
                                  " a COMTRADE record may hold");
        }
        axis.count = static_cast<std::size_t>(count);
        const KexCalculate::RlParameters* record = nullptr;
        if (py::isinstance<RlExactModel>(source)) {
            exact = source.cast<const RlExactModel&>().state();
            const std::string problem = KexRecording::exactWaveformProblem(exact->exact.status());
            if (!problem.empty()) throw py::value_error("source: " + problem);
            record = &exact->record;
        } else {
            snapshot.emplace(source.cast<const RlModel&>(), "write_comtrade");
            record = snapshot->model()._params;
        }
        header.lineFrequency = record->frequency;
        axis.hasDisturbance = true;
        axis.disturbanceTime = record->preFaultDuration;
        if (exact) {
            samplesSource = std::make_unique<KexRecording::ModelSource>(exact->exact, axis);
        } else {
            samplesSource = std::make_unique<KexRecording::ModelSource>(snapshot->model(), axis);
        }
    } else {
        if (!duration.is_none()) {
            throw py::value_error("duration: only with a model as the source; the samples set the length");
        }
        samples = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(source);
        if (!samples) {
            PyErr_Clear();
            throw py::type_error(
                "samples: expected an (N, 6) array of real values, a CalculationRl or a CalculationRlExact, got " +
                typeName(source));
        }
        const std::size_t width = KexRecording::modelChannels().size();
        if (samples.ndim() != 2 || samples.shape(1) != static_cast<py::ssize_t>(width)) {
            throw py::value_error("samples: expected an array of shape (N, 6) (IA, IB, IC, VA, VB, VC), got shape " +
                                  shapeOf(samples));
        }
        axis.count = static_cast<std::size_t>(samples.shape(0));
        if (!lineFrequency.is_none()) header.lineFrequency = toReal(lineFrequency, "line_frequency");
        if (!preFaultDuration.is_none()) {
            axis.hasDisturbance = true;
            axis.disturbanceTime = finiteReal(preFaultDuration, "pre_fault_duration");
            if (axis.disturbanceTime < 0.0) {
                throw py::value_error("pre_fault_duration: must not be negative, got " + reprOf(axis.disturbanceTime));
            }
        }
        samplesSource = std::make_unique<KexRecording::ArraySource>(samples.data(), KexRecording::modelChannels());
    }
    const std::string outside = KexRecording::disturbanceOutsideRecord(axis);
    if (!outside.empty()) {
        throw py::value_error((snapshot ? "duration: " : "pre_fault_duration: ") + outside);
    }

    std::vector<fs::path> written;
    try {
        py::gil_scoped_release release;
        // The recording's problems are std::invalid_argument (ValueError),
        // naming the field and the problem.
        const KexRecording::RecordingScan scan = KexRecording::scanRecording(*samplesSource, axis);
        KexRecording::FileSet files(pathBase.parent_path());
        KexRecording::ComtradeFiles comtrade(files, pathBase.filename().string(), header, options);
        KexRecording::writeRecording(*samplesSource, axis, scan, {&comtrade});
        files.commit();
        for (const KexRecording::WrittenFile& file : files.written()) written.push_back(file.path);
    } catch (const KexRecording::FileSetError& failure) {
        errno = failure.error();
        PyErr_SetFromErrnoWithFilename(PyExc_OSError, failure.path().c_str());
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
    out/fault.cff); the directory must exist. Existing files are replaced, unless one of them is read-only
    (PermissionError naming it, nothing replaced); the new files appear only when all of them are complete.
source: an (N, 6) array of samples (IA, IB, IC, VA, VB, VC; sample k at k / sample_rate), or a
    calculated CalculationRl (the single time constant) or CalculationRlExact (every time constant of the
    network), sampled at k / sample_rate for k < round(duration * sample_rate), with the line frequency
    and the FAULT status channel (1 from preFaultDuration on) taken from its record. A disturbance
    instant (preFaultDuration or pre_fault_duration) must lie before the last sample.
sample_rate: Hz.  duration: s, only with a model.
line_frequency: Hz (array source; default 50).  pre_fault_duration: s (array source; adds the FAULT
    status channel and sets the trigger time).
revision: "1999" or "2013".  format: "ascii", "binary", "binary32" or "float32" (the last two need 2013).
single_file: one .cff file (2013 only).  start_time: None (2000-01-01 00:00:00 UTC), a datetime (naive
    means UTC) or nanoseconds since 1970-01-01 UTC.
Returns the paths written. Raises ValueError with the writer's message for a recording it cannot write
(e.g. a non-finite sample, a CalculationRlExact of a network without an exact solution), RuntimeError for
a model that was not calculated with its record, and OSError when a file cannot be written.)");
}

}  // namespace kexpy
