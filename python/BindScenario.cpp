// Scenarios in Python: the command line's scenario files, read by the same
// reader with the same checks and messages, from JSON text, a file or a dict,
// and the built-in scenario.
#include <pybind11/pybind11.h>

#include <cerrno>
#include <cmath>
#include <string>

#include "Conversions.h"
#include "CtStage.h"
#include "Scenario.h"
#include "ScenarioFields.h"

namespace kexpy {

namespace {

using KexRecording::TransientScenario;

// A value of a dict in the form of a scenario file: a complex number stands
// for [R, X], a number that is not finite for its name, which the reader then
// rejects under its key as it rejects any string where a number belongs.
py::object fileValue(const py::handle& value) {
    if (PyFloat_Check(value.ptr()) && !std::isfinite(value.cast<double>())) {
        return py::str(value);
    }
    if (PyComplex_Check(value.ptr())) {
        const Py_complex z = PyComplex_AsCComplex(value.ptr());
        py::list pair;
        pair.append(fileValue(py::float_(z.real)));
        pair.append(fileValue(py::float_(z.imag)));
        return std::move(pair);
    }
    if (py::isinstance<py::dict>(value)) {  // a group such as "ct"
        py::dict members;
        for (const auto& [key, member] : value.cast<py::dict>()) {
            members[key] = fileValue(member);
        }
        return std::move(members);
    }
    if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
        py::list items;
        for (const py::handle item : value) {
            items.append(fileValue(item));
        }
        return std::move(items);
    }
    return py::reinterpret_borrow<py::object>(value);
}

std::string jsonOfDict(const py::dict& values) {
    py::dict file;
    for (const auto& [key, value] : values) {
        file[key] = fileValue(value);
    }
    // numpy scalars that json does not know become Python numbers.
    const py::cpp_function number([](const py::object& value) -> py::object {
        if (PyIndex_Check(value.ptr()) != 0) {
            return py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
        }
        if (py::hasattr(value, "__float__")) {
            return fileValue(py::float_(value));
        }
        throw py::type_error("load_scenario: a " + typeName(value) + " is not a value of a scenario file");
    });
    return py::module_::import("json").attr("dumps")(file, py::arg("default") = number).cast<std::string>();
}

[[noreturn]] void raiseProblems(const std::string& origin, const std::vector<std::string>& problems) {
    std::string message;
    py::list lines;
    for (const std::string& problem : problems) {
        const std::string line = origin.empty() ? problem : origin + ": " + problem;
        message += (message.empty() ? "" : "\n") + line;
        lines.append(line);
    }
    const py::object error = py::reinterpret_borrow<py::object>(PyExc_ValueError)(message);
    error.attr("problems") = lines;
    PyErr_SetObject(PyExc_ValueError, error.ptr());
    throw py::error_already_set();
}

// JSON text starts with its object; anything else is a file name.
bool isJsonText(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string::npos && text[first] == '{';
}

TransientScenario loadScenario(const py::object& source) {
    std::string text;
    std::string origin;
    if (py::isinstance<py::dict>(source)) {
        text = jsonOfDict(source);
    } else if (py::isinstance<py::str>(source) && isJsonText(source.cast<std::string>())) {
        text = source.cast<std::string>();
    } else if (py::isinstance<py::str>(source) || py::hasattr(source, "__fspath__")) {
        origin = py::str(py::module_::import("os").attr("fspath")(source));
        const KexRecording::ScenarioText read = KexRecording::readScenarioFile(origin);
        if (read.error != 0 && read.error != EISDIR) {
            errno = read.error;
            PyErr_SetFromErrnoWithFilename(PyExc_OSError, origin.c_str());
            throw py::error_already_set();
        }
        if (!read.problem.empty()) {
            throw py::value_error(origin + ": " + read.problem);
        }
        text = read.text;
    } else {
        throw py::type_error("load_scenario: expected JSON text, a file path or a dict, got " + typeName(source));
    }
    KexRecording::ScenarioResult result = KexRecording::parseScenario(text);
    if (!result.ok()) {
        raiseProblems(origin, result.problems);
    }
    return std::move(result.scenario);
}

}  // namespace

void bindScenario(py::module_& module) {
    py::class_<TransientScenario>(
        module, "Scenario",
        "A transient test as kexcalc transient runs it: the model's record, the sampling and the labels of the "
        "recording, checked as the command line checks a scenario file. Keys as in docs/cli.md.")
        .def_property_readonly(
            "record",
            [](const py::object& self) {
                return py::cast(&self.cast<TransientScenario&>().record, py::return_value_policy::reference_internal,
                                self);
            },
            "The model's RlParameters (live: changes reach a model built on it at its next calculate()).")
        .def_property_readonly(
            "aperiodicModel",
            [](const TransientScenario& s) { return KexRecording::aperiodicModelName(s.aperiodicModel); },
            "\"exact\" (sample a CalculationRlExact of the model) or \"single-time-constant\" (the model itself)")
        .def_readonly("sampleRate", &TransientScenario::sampleRate, "samples per second, Hz")
        .def_readonly("duration", &TransientScenario::duration, "the whole record, s")
        .def_property_readonly("sampleCount", &KexRecording::sampleCount, "round(duration * sampleRate)")
        .def_readonly("station", &TransientScenario::station)
        .def_readonly("device", &TransientScenario::device)
        .def_readonly("startTime", &TransientScenario::startTime, "time of the first sample, UTC, as written")
        .def_readonly("startTimeNanoseconds", &TransientScenario::startTimeNanoseconds,
                      "the same in nanoseconds since 1970 (write_comtrade's start_time)")
        .def_property_readonly(
            "ct",
            [](const TransientScenario& s) -> py::object {
                if (!s.ct.present) {
                    return py::none();
                }
                py::list cts;
                for (const KexCalculate::CtParameters& ct : KexRecording::ctParameters(s)) {
                    cts.append(ct);
                }
                return std::move(cts);
            },
            "None without \"ct\"; else the CtParameters of phases A, B, C at the network's frequency, each for a "
            "CtSaturation")
        .def("to_json", &KexRecording::renderScenarioJson,
             "The scenario as a scenario file, every key with its value (kexcalc transient --print-scenario).");

    module.def("load_scenario", &loadScenario, py::arg("source"),
               R"(A scenario checked as kexcalc transient checks it, missing keys from the built-in scenario.

source: JSON text (it starts with '{'), the path of a scenario file (read to at most 4 MiB), or a dict of
    keys and values (a complex number may stand for [R, X]).
Raises ValueError with every problem, one line each naming the key, as the command line prints them
(also as the list e.problems), and OSError for a file that cannot be read.)");
    module.def(
        "default_scenario", []() { return KexRecording::defaultScenario(); },
        "The built-in scenario of kexcalc transient: a phase-A-to-ground fault at 50 % of a line.");
}

}  // namespace kexpy
