// Current-transformer saturation: the CT's parameter record with keyword
// construction, and the stage on a current channel of a model or on a numpy
// array of samples of the ideal current.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cmath>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Conversions.h"
#include "CtSaturation.h"
#include "RlExactModel.h"
#include "RlModel.h"
#include "TransientWaves.h"

namespace kexpy {

using KexCalculate::CtIntegration;
using KexCalculate::CtParameters;
using KexCalculate::CtSaturation;

namespace {

using InputArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

struct CtField {
    const char* name;
    double CtParameters::*member;
    const char* doc;
};

const CtField kCtFields[] = {
    {"frequency", &CtParameters::frequency, "network frequency, Hz (the model's, for a model channel)"},
    {"windingResistance", &CtParameters::windingResistance, "secondary winding resistance Rw, ohm"},
    {"burdenResistance", &CtParameters::burdenResistance, "burden resistance Rb, ohm"},
    {"burdenReactance", &CtParameters::burdenReactance, "burden reactance Xb at the network frequency, ohm"},
    {"saturationVoltage", &CtParameters::saturationVoltage,
     "saturation voltage Vs, V RMS: a sinusoidal flux of peak sqrt(2) Vs / omega draws 10 A RMS"},
    {"exponent", &CtParameters::exponent, "exponent S of the excitation curve ie = A sign(lambda) |lambda|^S"},
    {"remanence", &CtParameters::remanence,
     "flux at the start of the record as a fraction of the saturation flux sqrt(2) Vs / omega, -0.95 to 0.95"},
};

const CtField* findCtField(const std::string& name) {
    for (const CtField& field : kCtFields) {
        if (name == field.name) return &field;
    }
    return nullptr;
}

std::string ctFieldName(const CtField& field) { return std::string("CtParameters.") + field.name; }

// A ValueError naming the first field that makes no sense.
void requireUsable(const CtParameters& p) {
    const KexCalculate::CtParameterCheck check = CtSaturation::check(p);
    if (check.field == nullptr) return;
    const CtField* field = findCtField(check.field);
    throw py::value_error(std::string("CtParameters.") + check.field + ": must be " + check.requirement + ", got " +
                          reprOf(p.*(field->member)));
}

double positiveOrDefault(const py::object& value, const std::string& what) {
    if (value.is_none()) return 0.0;
    const double number = toReal(value, what);
    if (!(std::isfinite(number) && number > 0.0)) {
        throw py::value_error(what + ": must be a finite number above 0, got " + reprOf(number));
    }
    return number;
}

void requireTimeStep(double step, const char* operation) {
    if (!(std::isfinite(step) && step > 0.0)) {
        throw py::value_error(std::string(operation) + ": step must be a finite number above 0, got " + reprOf(step));
    }
}

InputArray oneDimensional(const py::object& values, const char* operation, const char* name) {
    InputArray array = InputArray::ensure(values);
    if (!array) {
        PyErr_Clear();
        throw py::type_error(std::string(operation) + ": " + name + " must be an array of real numbers, got " +
                             typeName(values));
    }
    if (array.ndim() != 1) {
        throw py::value_error(std::string(operation) + ": " + name + " must be one-dimensional, got " +
                              std::to_string(array.ndim()) + " dimensions");
    }
    return array;
}

// The secondary current, with the flux linkage as a second array when asked.
py::object result(RealArray current, RealArray flux, bool withFlux) {
    if (withFlux) return py::make_tuple(std::move(current), std::move(flux));
    return std::move(current);
}

void bindParameters(py::module_& module) {
    py::class_<CtParameters> cls(module, "CtParameters",
                                 "The current transformer of one phase and its burden. CtParameters(**fields): every "
                                 "field not given is zero. CtSaturation checks the values.");
    for (const CtField& field : kCtFields) {
        double CtParameters::*member = field.member;
        const std::string what = ctFieldName(field);
        cls.def_property(
            field.name, [member](const CtParameters& p) { return p.*member; },
            [member, what](CtParameters& p, const py::object& value) { p.*member = toReal(value, what); }, field.doc);
    }
    cls.def(py::init([](const py::kwargs& values) {
                CtParameters p{};
                for (const auto& item : values) {
                    const std::string name = py::str(item.first);
                    const CtField* field = findCtField(name);
                    if (field == nullptr) throw py::type_error("CtParameters has no field '" + name + "'");
                    p.*(field->member) = toReal(item.second, ctFieldName(*field));
                }
                return p;
            }),
            "CtParameters(**fields): every field not given is zero.")
        .def("__repr__", [](const CtParameters& p) {
            std::string text = "CtParameters(";
            for (const CtField& field : kCtFields) {
                text += std::string(&field == kCtFields ? "" : ", ") + field.name + "=" + reprOf(p.*(field.member));
            }
            return text + ")";
        });
}

void bindStage(py::module_& module) {
    py::class_<CtSaturation> cls(
        module, "CtSaturation",
        "Saturation of a current transformer: the secondary current a CT with its burden delivers for an ideal "
        "secondary current, on a model's current channel or on samples. CtSaturation(params, maxStep=None, "
        "tolerance=None) copies the parameters and raises ValueError naming a field that makes no sense; maxStep "
        "(s) and tolerance tune the integration (None: the defaults).");
    cls.def(py::init([](const CtParameters& params, const py::object& maxStep, const py::object& tolerance) {
                requireUsable(params);
                return CtSaturation(params, CtIntegration{positiveOrDefault(maxStep, "CtSaturation: maxStep"),
                                                          positiveOrDefault(tolerance, "CtSaturation: tolerance")});
            }),
            py::arg("params"), py::arg("maxStep") = py::none(), py::arg("tolerance") = py::none())
        .def_property_readonly(
            "params", [](const CtSaturation& ct) { return ct.parameters(); }, "a copy of the parameters")
        .def_property_readonly(
            "maxStep", [](const CtSaturation& ct) { return ct.integration().maxStep; }, "longest internal step, s")
        .def_property_readonly(
            "tolerance", [](const CtSaturation& ct) { return ct.integration().tolerance; },
            "error allowed per step (S times the flux error over the saturation flux)")
        .def_property_readonly("saturationFlux", &CtSaturation::saturationFlux,
                               "sqrt(2) Vs / omega, V s: the peak of the sinusoidal flux that draws 10 A RMS")
        .def("excitationCurrent", py::vectorize(&CtSaturation::excitationCurrent), py::arg("fluxLinkage"),
             "The excitation curve: ie (A) at the flux linkage (V s); numbers or arrays.")
        .def(
            "saturate",
            [](const CtSaturation& ct, const py::object& model, int channel, double step, long long count, double start,
               bool flux) {
                const bool exact = py::isinstance<RlExactModel>(model);
                if (!exact && !py::isinstance<RlModel>(model)) {
                    throw py::type_error("saturate: model must be a CalculationRl or a CalculationRlExact, got " +
                                         typeName(model));
                }
                if (channel < 0 || channel > 2) {
                    throw py::value_error("saturate: channel must be a current channel, 0, 1 or 2, got " +
                                          std::to_string(channel));
                }
                requireTimeStep(step, "saturate");
                if (!std::isfinite(start))
                    throw py::value_error("saturate: start must be finite, got " + reprOf(start));
                if (count < 0) {
                    throw py::value_error("saturate: count must not be negative, got " + std::to_string(count));
                }
                const auto samples = static_cast<std::size_t>(count);
                std::optional<ModelSnapshot> snapshot;
                std::shared_ptr<const RlExactState> exactState;
                if (exact) {
                    exactState = model.cast<const RlExactModel&>().state();
                    const std::string problem = KexRecording::exactWaveformProblem(exactState->exact.status());
                    if (!problem.empty()) throw py::value_error("saturate: " + problem);
                } else {
                    snapshot.emplace(model.cast<const RlModel&>(), "CtSaturation.saturate");
                }
                const KexCalculate::CtIdealCurrent ideal = exact ? CtSaturation::channelOf(exactState->exact, channel)
                                                                 : CtSaturation::channelOf(snapshot->model(), channel);
                RealArray current(static_cast<py::ssize_t>(samples));
                RealArray fluxLinkage(static_cast<py::ssize_t>(flux ? samples : 0));
                double* currentData = current.mutable_data();
                double* fluxData = flux ? fluxLinkage.mutable_data() : nullptr;
                {
                    py::gil_scoped_release release;
                    ct.saturate(ideal, start, step, samples, currentData, fluxData);
                }
                return result(std::move(current), std::move(fluxLinkage), flux);
            },
            py::arg("model"), py::arg("channel"), py::arg("step"), py::arg("count"), py::arg("start") = 0.0,
            py::arg("flux") = false,
            "The secondary current of a current channel (0, 1, 2) of a calculated CalculationRl (or the exact "
            "transients of one, a CalculationRlExact) at start + k * step, "
            "k = 0 .. count - 1, the ideal current taken from the model at the integrator's own instants and the "
            "remanent flux at `start`: a float64 array; with flux=True a pair (current, flux linkage in V s).")
        .def(
            "saturateSamples",
            [](const CtSaturation& ct, const py::object& samples, double step, bool flux) {
                const InputArray ideal = oneDimensional(samples, "saturateSamples", "samples");
                requireTimeStep(step, "saturateSamples");
                const auto count = static_cast<std::size_t>(ideal.shape(0));
                RealArray current(static_cast<py::ssize_t>(count));
                RealArray fluxLinkage(static_cast<py::ssize_t>(flux ? count : 0));
                const double* idealData = ideal.data();
                double* currentData = current.mutable_data();
                double* fluxData = flux ? fluxLinkage.mutable_data() : nullptr;
                {
                    py::gil_scoped_release release;
                    ct.saturateSamples(idealData, count, step, currentData, fluxData);
                }
                return result(std::move(current), std::move(fluxLinkage), flux);
            },
            py::arg("samples"), py::arg("step"), py::arg("flux") = false,
            "The secondary current for samples of the ideal current taken every `step` seconds, the cubic through "
            "the four nearest samples between them and the remanent flux at the first: a float64 array; with "
            "flux=True a pair (current, flux linkage in V s).")
        .def_static(
            "firstDeparture",
            [](const py::object& ideal, const py::object& saturated, double fraction) -> py::object {
                const InputArray idealArray = oneDimensional(ideal, "firstDeparture", "ideal");
                const InputArray saturatedArray = oneDimensional(saturated, "firstDeparture", "saturated");
                if (idealArray.shape(0) != saturatedArray.shape(0)) {
                    throw py::value_error("firstDeparture: ideal and saturated must have the same length, got " +
                                          std::to_string(idealArray.shape(0)) + " and " +
                                          std::to_string(saturatedArray.shape(0)));
                }
                const auto count = static_cast<std::size_t>(idealArray.shape(0));
                const std::size_t k =
                    CtSaturation::firstDeparture(idealArray.data(), saturatedArray.data(), count, fraction);
                if (k == count) return py::none();
                return py::int_(k);
            },
            py::arg("ideal"), py::arg("saturated"), py::arg("fraction") = KexCalculate::CtLimits::SaturationDeparture,
            "The index of the first sample where the saturated current departs from the ideal one by more than "
            "fraction * max |ideal| (a NaN counts as a departure), or None.");
}

}  // namespace

void bindCtSaturation(py::module_& module) {
    bindParameters(module);
    bindStage(module);
}

}  // namespace kexpy
