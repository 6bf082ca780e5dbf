// CalculationRlExact: the exact transients of a calculated model, sampled like
// the model, with the network's modes as numpy arrays and the status that says
// whether (and why not) the exact solution applies.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <string>

#include "CalculationRlExact.h"
#include "Conversions.h"
#include "RlExactModel.h"
#include "TransientSampling.h"
#include "TransientWaves.h"

namespace kexpy {

namespace {

using KexCalculate::CalculationRlExact;
using KexCalculate::RlExactStatus;

const RlModel& modelArgument(const py::object& model, const char* operation) {
    if (!py::isinstance<RlModel>(model)) {
        throw py::type_error(std::string(operation) + ": model must be a calculated CalculationRl, got " +
                             typeName(model));
    }
    return model.cast<const RlModel&>();
}

// The state to sample; a ValueError where the network has no exact waveforms.
std::shared_ptr<const RlExactState> waveforms(const RlExactModel& m, const char* operation) {
    std::shared_ptr<const RlExactState> state = m.state();
    const std::string problem = KexRecording::exactWaveformProblem(state->exact.status());
    if (!problem.empty()) {
        throw py::value_error(std::string(operation) + ": " + problem);
    }
    return state;
}

}  // namespace

void bindExact(py::module_& module) {
    py::enum_<RlExactStatus>(module, "RlExactStatus",
                             "Whether the exact transients apply to the record last calculated, and if not, why.")
        .value("NotCalculated", RlExactStatus::NotCalculated)
        .value("Exact", RlExactStatus::Exact)
        .value("KindOutsideScope", RlExactStatus::KindOutsideScope)
        .value("InvalidRecord", RlExactStatus::InvalidRecord)
        .value("NotPassive", RlExactStatus::NotPassive)
        .value("LoopWithoutImpedance", RlExactStatus::LoopWithoutImpedance)
        .value("ModelDiffers", RlExactStatus::ModelDiffers);

    py::class_<RlExactModel> cls(
        module, "CalculationRlExact",
        "The exact transients of a calculated CalculationRl: each channel is its fault-state sine wave plus one "
        "decaying term per time constant of the network. CalculationRlExact(model) or calculate(model) copies "
        "the model and its record: call it again after the model is recalculated. Kinds outside the exact "
        "mode (swing, asynchronous operation, phase break, load switching off a single line, no disturbance) "
        "give the model's waveforms (status KindOutsideScope); a network without an exact solution (status "
        "NotPassive, LoopWithoutImpedance, ModelDiffers, InvalidRecord) has no waveforms here, and sampling it "
        "raises ValueError with the reason.");
    cls.def(py::init<>())
        .def(py::init([](const py::object& model) {
                 RlExactModel exact;
                 exact.calculate(modelArgument(model, "CalculationRlExact"));
                 return exact;
             }),
             py::arg("model"))
        .def(
            "calculate",
            [](RlExactModel& m, const py::object& model) { m.calculate(modelArgument(model, "calculate")); },
            py::arg("model"), "Solves the network of the model's record (the model calculated from it).")
        .def_property_readonly(
            "status", [](const RlExactModel& m) { return m.state()->exact.status(); }, "an RlExactStatus")
        .def_property_readonly(
            "statusText",
            [](const RlExactModel& m) {
                return std::string(KexCalculate::rlExactStatusText(m.state()->exact.status()));
            },
            "the status in words")
        .def(
            "getMgn",
            [](const RlExactModel& m, int channel, double time) {
                return waveforms(m, "getMgn")->exact.getMgn(channel, time);
            },
            py::arg("channel"), py::arg("time"),
            "Instantaneous value of a channel at host time `time`, as CalculationRl.getMgn.")
        .def(
            "sample",
            [](const RlExactModel& m, const TimesArray& times) {
                return sampleAtTimes(waveforms(m, "sample")->exact, times);
            },
            py::arg("times"), "The six channels at the given host times: a (len(times), 6) float64 array.")
        .def(
            "sampleBlock",
            [](const RlExactModel& m, double start, double step, long long count) {
                return sampleBlockOf(waveforms(m, "sampleBlock")->exact, start, step, count);
            },
            py::arg("start"), py::arg("step"), py::arg("count"),
            "The six channels at start + k * step for k = 0 .. count - 1: a (count, 6) float64 array.")
        .def_property_readonly(
            "modeTimeConstants",
            [](const RlExactModel& m) {
                const CalculationRlExact& exact = m.state()->exact;
                RealArray taus(static_cast<py::ssize_t>(exact.modeCount()));
                for (std::size_t k = 0; k < exact.modeCount(); ++k) {
                    taus.mutable_at(static_cast<py::ssize_t>(k)) = exact.modeTimeConstant(k);
                }
                return taus;
            },
            "The network's time constants that reach the channels, longest first, s (inf for a loop without "
            "resistance): shape (M,); empty unless status is Exact.")
        .def_property_readonly(
            "modeDc",
            [](const RlExactModel& m) {
                const CalculationRlExact& exact = m.state()->exact;
                RealArray dc = channelArray(exact.modeCount());
                for (std::size_t k = 0; k < exact.modeCount(); ++k) {
                    for (std::size_t channel = 0; channel < kChannelCount; ++channel) {
                        dc.mutable_at(static_cast<py::ssize_t>(k), static_cast<py::ssize_t>(channel)) =
                            exact.modeDc(k, static_cast<int>(channel));
                    }
                }
                return dc;
            },
            "Each mode's DC on each channel at the disturbance instant, A and V as the samples: shape (M, 6); "
            "channel c carries the sum over k of modeDc[k, c] * exp(-t' / modeTimeConstants[k]).")
        .def_property_readonly(
            "initialDc",
            [](const RlExactModel& m) {
                RealArray dc(static_cast<py::ssize_t>(kChannelCount));
                for (std::size_t channel = 0; channel < kChannelCount; ++channel) {
                    dc.mutable_at(static_cast<py::ssize_t>(channel)) =
                        m.state()->exact.initialDc(static_cast<int>(channel));
                }
                return dc;
            },
            "Each channel's whole DC at the disturbance instant: shape (6,).");
}

}  // namespace kexpy
