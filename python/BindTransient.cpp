// The transient two-source network model: the parameter record with keyword
// construction, the model object that keeps its record alive, its state as
// numpy arrays, and the sampling of the six channels into numpy arrays.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CalculationRl.h"
#include "Complex.h"
#include "Conversions.h"
#include "RlModel.h"
#include "ScenarioFields.h"
#include "TransientSampling.h"

namespace kexpy {

using KexCalculate::CalculationRl;
using KexCalculate::Complex;
using KexCalculate::Complex3;
using KexCalculate::E1E2;
using KexCalculate::E1E2UI;
using KexCalculate::RlParameters;
using KexCalculate::SwingOrAmowUIValues;

namespace {

// ------------------------------------------------------------ RlParameters

// Setters of the record's fields by name, for the keyword constructor and
// unpickling; every value passes the same checks as an attribute assignment.
using FieldSetter = std::function<void(RlParameters&, py::handle)>;
struct RecordField {
    std::string name;
    FieldSetter set;
};

double fieldValue(py::handle value, const std::string& what, double*) { return toReal(value, what); }

Complex fieldValue(py::handle value, const std::string& what, Complex*) { return toComplex(value, what); }

bool fieldValue(py::handle value, const std::string& what, bool*) {
    py::detail::make_caster<bool> caster;
    if (caster.load(value, false)) {  // bool and numpy.bool_
        return py::detail::cast_op<bool>(caster);
    }
    if (PyLong_Check(value.ptr())) {
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
        if (overflow == 0 && (number == 0 || number == 1)) return number == 1;
    }
    throw py::type_error(what + ": expected True or False, got " + std::string(py::repr(value)));
}

template <typename Integer>
Integer integerFieldValue(py::handle value, const std::string& what) {
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr())) {
        throw py::type_error(what + ": expected an integer, got " + typeName(value));
    }
    const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    constexpr long long lowest = std::numeric_limits<Integer>::min();
    constexpr long long highest = std::numeric_limits<Integer>::max();
    if (overflow != 0 || number < lowest || number > highest) {
        throw py::value_error(what + ": must be an integer from " + std::to_string(lowest) + " to " +
                              std::to_string(highest) + ", got " + std::string(py::repr(value)));
    }
    return static_cast<Integer>(number);
}

std::int8_t fieldValue(py::handle value, const std::string& what, std::int8_t*) {
    return integerFieldValue<std::int8_t>(value, what);
}

std::uint8_t fieldValue(py::handle value, const std::string& what, std::uint8_t*) {
    return integerFieldValue<std::uint8_t>(value, what);
}

// Complex fields come back as live views of the record (p.zS1.re = 2 changes
// the record); the others as Python numbers.
py::object fieldObject(const py::object& owner, const Complex& value) {
    return py::cast(&value, py::return_value_policy::reference_internal, owner);
}
template <typename Value>
py::object fieldObject(const py::object&, const Value& value) {
    return py::cast(value);
}

class RecordBinder {
public:
    explicit RecordBinder(py::class_<RlParameters>& cls) : cls_(cls) {}

    template <typename Value>
    RecordBinder& field(const char* name, Value RlParameters::*member, const char* doc) {
        const std::string what = std::string("RlParameters.") + name;
        FieldSetter set = [member, what](RlParameters& p, py::handle value) {
            p.*member = fieldValue(value, what, static_cast<Value*>(nullptr));
        };
        cls_.def_property(
            name,
            [member](const py::object& self) {
                const RlParameters& p = self.cast<const RlParameters&>();
                return fieldObject(self, p.*member);
            },
            set, doc);
        fields_.push_back({name, std::move(set)});
        return *this;
    }

    const std::vector<RecordField>& fields() const { return fields_; }

private:
    py::class_<RlParameters>& cls_;
    std::vector<RecordField> fields_;
};

// The record's fields as the scenario description gives them; the other
// fields of a scenario (sampling, labels) are not part of the record.
template <typename Value>
void bindField(RecordBinder& binder, const KexRecording::ScenarioField& field,
               const KexRecording::MemberOf<RlParameters, Value>& member) {
    static std::deque<std::string> docs;  // the binding keeps pointers to them
    std::string doc = field.meaning;
    doc.erase(std::remove(doc.begin(), doc.end(), '`'), doc.end());
    if (field.unit != "-") {
        doc += ", " + field.unit;
    }
    if (field.form == KexRecording::FieldForm::Code || field.form == KexRecording::FieldForm::Phase) {
        doc += " (the numbers here; the names are those of scenario files)";
    }
    docs.push_back(std::move(doc));
    binder.field(field.name.c_str(), member.member, docs.back().c_str());
}
template <typename Owner, typename Value>
void bindField(RecordBinder&, const KexRecording::ScenarioField&, const KexRecording::MemberOf<Owner, Value>&) {}

const RecordField* findField(const std::vector<RecordField>& fields, const std::string& name) {
    for (const RecordField& field : fields) {
        if (field.name == name) return &field;
    }
    return nullptr;
}

void bindRecord(py::module_& module) {
    py::class_<RlParameters> cls(
        module, "RlParameters",
        "The transient model's description of the network and the disturbance. RlParameters(**fields): every "
        "field not given is zero. Impedances in ohms (R + jX, a Python complex will do), voltages and currents as "
        "RMS magnitudes, time in seconds, angles in radians except loadAngle and swingAngle (degrees); "
        "zero-sequence factor pairs hold R0/R1 in re and X0/X1 in im.");
    auto fields = std::make_shared<std::vector<RecordField>>();
    RecordBinder binder(cls);
    for (const KexRecording::ScenarioField& field : KexRecording::scenarioFields()) {
        if (field.aliasOf == nullptr) {
            std::visit([&binder, &field](const auto& member) { bindField(binder, field, member); }, field.member);
        }
    }
    *fields = binder.fields();

    py::tuple names(fields->size());
    for (std::size_t k = 0; k < fields->size(); ++k) names[k] = py::str((*fields)[k].name);
    cls.attr("_fields") = names;

    cls.def(py::init([fields](const py::kwargs& values) {
                RlParameters p{};
                for (const auto& item : values) {
                    const std::string name = py::str(item.first);
                    const RecordField* field = findField(*fields, name);
                    if (field == nullptr) {
                        throw py::type_error("RlParameters has no field '" + name + "'");
                    }
                    field->set(p, item.second);
                }
                return p;
            }),
            "RlParameters(**fields): every field not given is zero.")
        .def("__copy__", [](const RlParameters& p) { return RlParameters(p); })
        .def(
            "__deepcopy__", [](const RlParameters& p, const py::dict&) { return RlParameters(p); }, py::arg("memo"))
        .def("copy", [](const RlParameters& p) { return RlParameters(p); })
        .def("__repr__",
             [fields](const py::object& self) {
                 std::string text = "RlParameters(";
                 for (std::size_t k = 0; k < fields->size(); ++k) {
                     const std::string& name = (*fields)[k].name;
                     const py::object value = self.attr(name.c_str());
                     text += (k > 0 ? ", " : "") + name + "=" +
                             (py::isinstance<Complex>(value) ? reprOf(value.cast<Complex>())
                                                             : std::string(py::repr(value)));
                 }
                 return text + ")";
             })
        .def(py::pickle(
            [fields](const py::object& self) {
                py::dict state;
                for (const RecordField& field : *fields) {
                    py::object value = self.attr(field.name.c_str());
                    if (py::isinstance<Complex>(value)) {
                        const Complex z = value.cast<Complex>();
                        value = py::reinterpret_steal<py::object>(PyComplex_FromDoubles(z.re, z.im));
                    }
                    state[py::str(field.name)] = value;
                }
                return state;
            },
            [fields](const py::dict& state) {
                RlParameters p{};
                for (const auto& item : state) {
                    const RecordField* field = findField(*fields, py::str(item.first));
                    if (field != nullptr) field->set(p, item.second);
                }
                return p;
            }));
}

// ----------------------------------------------------------- CalculationRl

py::object complexObject(const Complex& value) { return py::cast(value); }
py::object complexObject(const Complex3& value) { return complexArray(value.values); }
py::object complexObject(double value) { return py::float_(value); }
py::object complexObject(const std::array<double, 3>& value) { return realArray(value.data(), value.size()); }

template <typename Value>
void stateMember(py::class_<RlModel>& cls, const char* name, Value CalculationRl::*member, const char* doc) {
    cls.def_property_readonly(
        name, [member](const RlModel& m) { return complexObject(m.model.*member); }, doc);
}

void bindResults(py::module_& module) {
    py::class_<E1E2>(module, "E1E2")
        .def(py::init<>())
        .def_readwrite("e1", &E1E2::e1)
        .def_readwrite("e2", &E1E2::e2)
        .def("__iter__", [](const E1E2& r) { return py::iter(py::make_tuple(r.e1, r.e2)); })
        .def("__repr__", [](const E1E2& r) { return "E1E2(e1=" + reprOf(r.e1) + ", e2=" + reprOf(r.e2) + ")"; });

    py::class_<E1E2UI>(module, "E1E2UI",
                       "The source EMFs and phase A's voltage and current at the relay; unpacks as "
                       "e1, e2, u, i = model.getE1E2UI(t).")
        .def(py::init<>())
        .def_readwrite("e1", &E1E2UI::e1)
        .def_readwrite("e2", &E1E2UI::e2)
        .def_readwrite("u", &E1E2UI::u)
        .def_readwrite("i", &E1E2UI::i)
        .def("__iter__", [](const E1E2UI& r) { return py::iter(py::make_tuple(r.e1, r.e2, r.u, r.i)); })
        .def("__repr__", [](const E1E2UI& r) {
            return "E1E2UI(e1=" + reprOf(r.e1) + ", e2=" + reprOf(r.e2) + ", u=" + reprOf(r.u) + ", i=" + reprOf(r.i) +
                   ")";
        });

    py::class_<SwingOrAmowUIValues>(module, "SwingOrAmowUIValues",
                                    "Voltage and current with the EMFs in opposition; unpacks as "
                                    "uMin, iMax, uMax = model.getSwingOrAmowUIValues().")
        .def(py::init<>())
        .def_readwrite("uMin", &SwingOrAmowUIValues::uMin)
        .def_readwrite("iMax", &SwingOrAmowUIValues::iMax)
        .def_readwrite("uMax", &SwingOrAmowUIValues::uMax)
        .def("__iter__", [](const SwingOrAmowUIValues& r) { return py::iter(py::make_tuple(r.uMin, r.iMax, r.uMax)); })
        .def("__repr__", [](const SwingOrAmowUIValues& r) {
            return "SwingOrAmowUIValues(uMin=" + reprOf(r.uMin) + ", iMax=" + reprOf(r.iMax) +
                   ", uMax=" + reprOf(r.uMax) + ")";
        });
}

void bindModel(py::module_& module) {
    py::class_<RlModel> cls(
        module, "CalculationRl",
        "The transient model of a two-source network. CalculationRl(params) keeps the RlParameters object alive "
        "and reads it at every calculate(), so params.faultKind = 2; model.calculate() works as in C++. Channels: "
        "0..2 currents A, B, C; 3..5 voltages A, B, C.");
    cls.def(py::init([](const py::object& params) { return std::make_unique<RlModel>(params); }), py::arg("params"))
        .def_property(
            "params", [](const RlModel& m) { return m.params(); },
            [](RlModel& m, const py::object& params) { m.setParams(params); },
            "The RlParameters object the model reads (the library's _params).")
        .def_property(
            "_params", [](const RlModel& m) { return m.params(); },
            [](RlModel& m, const py::object& params) { m.setParams(params); })
        .def(
            "calculate", [](RlModel& m) { m.calculate(); },
            "Recomputes every state member from the record; call it after every change of the record. Raises "
            "ValueError naming a field of the record that is not finite. Until it has run with the present record, "
            "getMgn, isChnnelActiv, getE1E2UI, getSwingOrAmowUIValues, sample, sampleBlock and write_comtrade "
            "raise RuntimeError.")
        .def(
            "getMgn",
            [](const RlModel& m, int channel, double time) {
                return m.calculated("CalculationRl.getMgn").getMgn(channel, time);
            },
            py::arg("channel"), py::arg("time"),
            "Instantaneous value of a channel at host time `time`; 0 for a channel outside 0..5.")
        .def(
            "isChnnelActiv",
            [](const RlModel& m, int channel) {
                return m.calculated("CalculationRl.isChnnelActiv").isChnnelActiv(channel);
            },
            py::arg("channel"))
        .def(
            "getE1E2UI",
            [](const RlModel& m, double t) { return m.calculated("CalculationRl.getE1E2UI").getE1E2UI(t); },
            py::arg("t"),
            "EMFs, voltage and current of phase A at t seconds after the disturbance (swing, asynchronous "
            "operation).")
        .def(
            "getSwingOrAmowUIValues",
            [](const RlModel& m) {
                return m.calculated("CalculationRl.getSwingOrAmowUIValues").getSwingOrAmowUIValues();
            },
            "uMin, iMax, uMax with the EMFs in opposition.")
        .def(
            "sample",
            [](const RlModel& m, const TimesArray& times) {
                return sampleAtTimes(ModelSnapshot(m, "CalculationRl.sample").model(), times);
            },
            py::arg("times"),
            "The six channels at the given host times: a (len(times), 6) float64 array, row k = "
            "[getMgn(0, times[k]), ..., getMgn(5, times[k])].")
        .def(
            "sampleBlock",
            [](const RlModel& m, double start, double step, long long count) {
                return sampleBlockOf(ModelSnapshot(m, "CalculationRl.sampleBlock").model(), start, step, count);
            },
            py::arg("start"), py::arg("step"), py::arg("count"),
            "The six channels at start + k * step for k = 0 .. count - 1: a (count, 6) float64 array.");

    stateMember(cls, "_e1", &CalculationRl::_e1, "EMF of source 1 (pre-fault), a copy");
    stateMember(cls, "_e2", &CalculationRl::_e2, "EMF of source 2 (pre-fault), a copy");
    stateMember(cls, "_predI", &CalculationRl::_predI, "pre-fault phase currents [A, B, C]");
    stateMember(cls, "_predU", &CalculationRl::_predU, "pre-fault phase voltages [A, B, C]");
    stateMember(cls, "_faultI", &CalculationRl::_faultI, "fault-state phase currents [A, B, C]");
    stateMember(cls, "_faultU", &CalculationRl::_faultU, "fault-state phase voltages [A, B, C]");
    stateMember(cls, "_aperiodicI", &CalculationRl::_aperiodicI, "aperiodic current amplitudes [A, B, C] (RMS scale)");
    stateMember(cls, "_aperiodicU", &CalculationRl::_aperiodicU, "aperiodic voltage amplitudes [A, B, C] (RMS scale)");
    stateMember(cls, "_tau", &CalculationRl::_tau, "time constant of the aperiodic component, s");
    stateMember(cls, "_omega", &CalculationRl::_omega, "angular frequency, rad/s");
    stateMember(cls, "_faultDistance", &CalculationRl::_faultDistance, "effective fault distance, percent");
    stateMember(cls, "_delta0", &CalculationRl::_delta0, "initial angle between the EMFs, rad");
    stateMember(cls, "_uLoad", &CalculationRl::_uLoad, "pre-fault voltage of phase A");
    stateMember(cls, "_iLoad", &CalculationRl::_iLoad, "pre-fault current of phase A");
    stateMember(cls, "_zLoad", &CalculationRl::_zLoad, "load impedance");
    stateMember(cls, "_zK", &CalculationRl::_zK, "line section from the relay busbar to the fault");
    stateMember(cls, "_zRest", &CalculationRl::_zRest, "line section from the fault to source 2");
    stateMember(cls, "_zS1Sym", &CalculationRl::_zS1Sym, "sequence impedances of source 1 [0, 1, 2]");
    stateMember(cls, "_zKSym", &CalculationRl::_zKSym, "sequence impedances of the section to the fault");
    stateMember(cls, "_zRightSym", &CalculationRl::_zRightSym, "sequence impedances from the fault to source 2");
    stateMember(cls, "_zBranchSym", &CalculationRl::_zBranchSym, "sequence impedances of the branch section");
    stateMember(cls, "_zEqSym", &CalculationRl::_zEqSym, "sequence impedances seen from the fault");
    stateMember(cls, "_zLoopSym", &CalculationRl::_zLoopSym, "sequence impedances of the source-to-source loop");
}

}  // namespace

void RlModel::calculate() {
    const KexRecording::ScenarioField* field = KexRecording::firstNonFiniteField(*model._params);
    if (field != nullptr) {
        calculated_ = false;
        throw py::value_error("CalculationRl.calculate: RlParameters." + field->name + " must be finite, got " +
                              std::string(py::repr(params_.attr(field->name.c_str()))));
    }
    model.calculate();
    calculated_ = true;
}

const KexCalculate::CalculationRl& RlModel::calculated(const char* operation) const {
    if (!calculated_) {
        throw std::runtime_error(std::string(operation) +
                                 ": the model has not been calculated with its record; call calculate() first");
    }
    return model;
}

void bindTransient(py::module_& module) {
    bindRecord(module);
    bindResults(module);
    bindModel(module);
}

}  // namespace kexpy
