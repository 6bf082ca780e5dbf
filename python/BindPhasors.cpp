// The phasor types: Complex (to and from Python complex), the polar and point
// records of the sibling library, Complex3, the three-phase systems and the
// symmetrical-components record. Triples go to numpy as complex128 arrays.
#include <pybind11/complex.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <complex>
#include <string>

#include "Complex.h"
#include "Conversions.h"
#include "KexCommon.h"
#include "SymComponents.h"
#include "ThreePhaseSystem.h"
#include "ThreePhaseUISystem.h"

namespace kexpy {

using KexCalculate::Complex;
using KexCalculate::Complex3;
using KexCalculate::Phase;
using KexCalculate::SymComponents;
using KexCalculate::SymComponentType;
using KexCalculate::ThreePhaseSystem;
using KexCalculate::ThreePhaseUISystem;

namespace {

// __copy__ and __deepcopy__ for a plain value class.
template <typename Value, typename... Options>
void addCopy(py::class_<Value, Options...>& cls) {
    cls.def("__copy__", [](const Value& value) { return Value(value); });
    cls.def(
        "__deepcopy__", [](const Value& value, const py::dict&) { return Value(value); }, py::arg("memo"));
}

// The pair of a Polar or a PointF from a two-element sequence.
std::array<double, 2> realPair(const py::object& pair, const std::string& what, const char* names) {
    if (PyUnicode_Check(pair.ptr()) || !py::isinstance<py::sequence>(pair)) {
        throw py::type_error(what + ": expected " + names + ", got " + typeName(pair));
    }
    const auto sequence = py::reinterpret_borrow<py::sequence>(pair);
    if (sequence.size() != 2) {
        throw py::value_error(what + ": expected " + names + ", got " + std::to_string(sequence.size()) + " values");
    }
    return {toReal(sequence[0], what + "[0]"), toReal(sequence[1], what + "[1]")};
}

Complex3 complex3From(const py::object& values, const std::string& what) {
    const std::vector<Complex> v = complexValues(values, 3, what);
    return {v[0], v[1], v[2]};
}

// Python indexing of a triple: -3..2, IndexError otherwise.
std::size_t tripleIndex(py::ssize_t index) {
    const py::ssize_t position = index < 0 ? index + 3 : index;
    if (position < 0 || position > 2) {
        throw py::index_error("index " + std::to_string(index) + " out of range for a triple of phasors");
    }
    return static_cast<std::size_t>(position);
}

std::string systemRepr(const char* name, const ThreePhaseSystem& s) {
    return std::string(name) + "(a=" + reprOf(s.a()) + ", b=" + reprOf(s.b()) + ", c=" + reprOf(s.c()) +
           ", n=" + reprOf(s.n()) + ")";
}

void bindComplex(py::module_& module) {
    py::class_<Complex> cls(module, "Complex",
                            "A phasor in rectangular form (re + j im). Converts to and from Python complex: "
                            "complex(z) and every function taking a Complex also takes a complex, float or int.");
    cls.def(py::init<>())
        .def(py::init<double, double>(), py::arg("re"), py::arg("im") = 0.0)
        .def(py::init([](const ComplexNumber& z) { return Complex(z.value.real(), z.value.imag()); }), py::arg("value"))
        .def_readwrite("re", &Complex::re)
        .def_readwrite("im", &Complex::im)
        .def_static("fromPolar", py::overload_cast<Kex::Polar>(&Complex::fromPolar), py::arg("polar"),
                    "The phasor of a Polar or an (amplitude, angle) pair; angle in radians.")
        .def_static("fromPolar", py::overload_cast<double, double>(&Complex::fromPolar), py::arg("amplitude"),
                    py::arg("angle"))
        .def_static("abs", &Complex::abs, py::arg("z"), "The magnitude of z.")
        .def_static("exp", &Complex::exp, py::arg("z"))
        .def_static("rotated", py::overload_cast<const Complex&, double>(&Complex::rotate), py::arg("z"),
                    py::arg("angle"),
                    "z turned by angle (radians, counter-clockwise); the library's static Complex::rotate.")
        .def("rotate", py::overload_cast<double>(&Complex::rotate), py::arg("angle"),
             "Turns this phasor in place by angle (radians, counter-clockwise).")
        .def("mul", &Complex::mul, py::arg("w"),
             "Part-by-part product (re * w.re, im * w.im), in place; returns the new value.")
        .def("conjugate", [](const Complex& z) { return KexCalculate::Conjugate(z); })
        .def("__complex__", [](const Complex& z) { return std::complex<double>(z.re, z.im); })
        .def("__abs__", &Complex::abs)
        .def("__neg__", [](const Complex& z) { return -z; })
        .def("__pos__", [](const Complex& z) { return z; })
        .def(
            "__add__", [](const Complex& z, const Complex& w) { return z + w; }, py::is_operator())
        .def(
            "__radd__", [](const Complex& z, const Complex& w) { return w + z; }, py::is_operator())
        .def(
            "__sub__", [](const Complex& z, const Complex& w) { return z - w; }, py::is_operator())
        .def(
            "__rsub__", [](const Complex& z, const Complex& w) { return w - z; }, py::is_operator())
        .def(
            "__mul__", [](const Complex& z, const Complex& w) { return z * w; }, py::is_operator())
        .def(
            "__rmul__", [](const Complex& z, const Complex& w) { return w * z; }, py::is_operator())
        .def(
            "__truediv__", [](const Complex& z, const Complex& w) { return z / w; }, py::is_operator())
        .def(
            "__rtruediv__", [](const Complex& z, const Complex& w) { return w / z; }, py::is_operator())
        .def(
            "__eq__", [](const Complex& z, const Complex& w) { return z.re == w.re && z.im == w.im; },
            py::is_operator())
        .def(
            "__ne__", [](const Complex& z, const Complex& w) { return !(z.re == w.re && z.im == w.im); },
            py::is_operator())
        .def("__repr__", [](const Complex& z) { return "Complex(" + reprOf(z.re) + ", " + reprOf(z.im) + ")"; })
        .def(py::pickle(
            [](const Complex& z) { return py::make_tuple(z.re, z.im); },
            [](const py::tuple& state) { return Complex(state[0].cast<double>(), state[1].cast<double>()); }));
    addCopy(cls);
    py::implicitly_convertible<ComplexNumber, Complex>();

    module.def("Conjugate", &KexCalculate::Conjugate, py::arg("z"), "(z.re, -z.im).");
}

void bindSiblingRecords(py::module_& module) {
    py::class_<Kex::Polar> polar(module, "Polar",
                                 "A phasor in polar form: amplitude and angle (radians). Wherever a Polar is "
                                 "expected, an (amplitude, angle) tuple will do.");
    polar
        .def(py::init([](double amplitude, double angle) {
                 return Kex::Polar{amplitude, angle};
             }),
             py::arg("amplitude") = 0.0, py::arg("angle") = 0.0)
        .def(py::init([](const py::object& pair) {
                 const auto v = realPair(pair, "Polar", "(amplitude, angle)");
                 return Kex::Polar{v[0], v[1]};
             }),
             py::arg("pair"))
        .def_readwrite("amplitude", &Kex::Polar::amplitude)
        .def_readwrite("angle", &Kex::Polar::angle)
        .def("__iter__", [](const Kex::Polar& p) { return py::iter(py::make_tuple(p.amplitude, p.angle)); })
        .def(
            "__eq__",
            [](const Kex::Polar& p, const Kex::Polar& q) { return p.amplitude == q.amplitude && p.angle == q.angle; },
            py::is_operator())
        .def("__repr__",
             [](const Kex::Polar& p) { return "Polar(" + reprOf(p.amplitude) + ", " + reprOf(p.angle) + ")"; })
        .def(py::pickle([](const Kex::Polar& p) { return py::make_tuple(p.amplitude, p.angle); },
                        [](const py::tuple& state) {
                            return Kex::Polar{state[0].cast<double>(), state[1].cast<double>()};
                        }));
    addCopy(polar);
    py::implicitly_convertible<py::tuple, Kex::Polar>();
    py::implicitly_convertible<py::list, Kex::Polar>();

    py::class_<Kex::PointF> point(module, "PointF",
                                  "A point of a characteristic diagram in single precision; an (x, y) tuple will "
                                  "do wherever a point is expected.");
    point.def(py::init([](float x, float y) {
                  return Kex::PointF{x, y};
              }),
              py::arg("x") = 0.0F, py::arg("y") = 0.0F)
        .def_readwrite("x", &Kex::PointF::x)
        .def_readwrite("y", &Kex::PointF::y)
        .def("__iter__", [](const Kex::PointF& p) { return py::iter(py::make_tuple(p.x, p.y)); })
        .def("__repr__", [](const Kex::PointF& p) {
            return "PointF(" + reprOf(static_cast<double>(p.x)) + ", " + reprOf(static_cast<double>(p.y)) + ")";
        });
    addCopy(point);
}

void bindComplex3(py::module_& module) {
    py::class_<Complex3> cls(module, "Complex3",
                             "Three phasors: phases A, B, C, or sequences zero, positive, negative. Converts to "
                             "and from numpy (np.asarray(t), Complex3(array)); a list, tuple or array of three "
                             "values will do wherever a Complex3 is expected.");
    cls.def(py::init<>())
        .def(py::init<const Complex&, const Complex&, const Complex&>(), py::arg("a"), py::arg("b"), py::arg("c"))
        .def(py::init([](const py::object& values) { return complex3From(values, "Complex3"); }), py::arg("values"))
        .def_property(
            "values", [](const Complex3& t) { return complexArray(t.values); },
            [](Complex3& t, const py::object& values) { t = complex3From(values, "Complex3.values"); },
            "numpy complex128 copy of the three values; assign three values to change them.")
        .def(
            "ix", [](const Complex3& t, int i) { return t.ix(i); }, py::arg("i"),
            "Element i for 0 <= i <= 2, a zero value for any other index.")
        .def("__len__", [](const Complex3&) { return 3; })
        .def("__getitem__", [](const Complex3& t, py::ssize_t i) { return t.values[tripleIndex(i)]; })
        .def("__setitem__", [](Complex3& t, py::ssize_t i, const Complex& v) { t.values[tripleIndex(i)] = v; })
        .def("__iter__",
             [](const Complex3& t) { return py::iter(py::make_tuple(t.values[0], t.values[1], t.values[2])); })
        .def(
            "__array__",
            [](const Complex3& t, const py::object& dtype) {
                py::array array = complexArray(t.values);
                return dtype.is_none() ? array : py::array(array.attr("astype")(dtype));
            },
            py::arg("dtype") = py::none())
        .def(
            "__eq__",
            [](const Complex3& t, const Complex3& u) {
                for (std::size_t k = 0; k < 3; ++k) {
                    if (!(t.values[k].re == u.values[k].re && t.values[k].im == u.values[k].im)) return false;
                }
                return true;
            },
            py::is_operator())
        .def("__repr__",
             [](const Complex3& t) {
                 return "Complex3(" + reprOf(t.values[0]) + ", " + reprOf(t.values[1]) + ", " + reprOf(t.values[2]) +
                        ")";
             })
        .def(py::pickle([](const Complex3& t) { return py::make_tuple(t.values[0], t.values[1], t.values[2]); },
                        [](const py::tuple& state) {
                            return Complex3(state[0].cast<Complex>(), state[1].cast<Complex>(),
                                            state[2].cast<Complex>());
                        }));
    addCopy(cls);
    py::implicitly_convertible<py::list, Complex3>();
    py::implicitly_convertible<py::tuple, Complex3>();
    py::implicitly_convertible<py::array, Complex3>();
}

void bindThreePhaseSystems(py::module_& module) {
    py::enum_<Phase>(module, "Phase", py::arithmetic(), "Phase index of a ThreePhaseSystem (N is the fourth value).")
        .value("A", KexCalculate::A)
        .value("B", KexCalculate::B)
        .value("C", KexCalculate::C)
        .value("N", KexCalculate::N)
        .export_values();

    py::class_<ThreePhaseSystem> system(module, "ThreePhaseSystem",
                                        "Phases A, B, C of one quantity and the fourth value n (one third of the "
                                        "phase sum when built from phases). `phasors` is the numpy array [A, B, C], "
                                        "`values` [A, B, C, n]; both are copies, assign to change them.");
    system.def(py::init<>())
        .def(py::init<Complex, bool>(), py::arg("a"), py::arg("directSequence"),
             "A symmetrical set from phase A: positive sequence (B lags A by 120 degrees) when directSequence is "
             "true, negative sequence otherwise.")
        .def(py::init<const Complex3&>(), py::arg("phases"), "From phases A, B, C; n = (A + B + C) / 3.")
        .def_property(
            "phasors", [](const ThreePhaseSystem& s) { return complexArray(s.values.data(), 3); },
            [](ThreePhaseSystem& s, const py::object& values) {
                const std::vector<Complex> v = complexValues(values, 3, "ThreePhaseSystem.phasors");
                for (std::size_t k = 0; k < 3; ++k) s.values[k] = v[k];
            },
            "numpy complex128 array [A, B, C]; assigning it leaves n unchanged.")
        .def_property(
            "values", [](const ThreePhaseSystem& s) { return complexArray(s.values); },
            [](ThreePhaseSystem& s, const py::object& values) {
                const std::vector<Complex> v = complexValues(values, 4, "ThreePhaseSystem.values");
                for (std::size_t k = 0; k < 4; ++k) s.values[k] = v[k];
            },
            "numpy complex128 array [A, B, C, n].")
        .def("a", py::overload_cast<>(&ThreePhaseSystem::a, py::const_))
        .def("a", py::overload_cast<const Complex&>(&ThreePhaseSystem::a), py::arg("value"))
        .def("b", py::overload_cast<>(&ThreePhaseSystem::b, py::const_))
        .def("b", py::overload_cast<const Complex&>(&ThreePhaseSystem::b), py::arg("value"))
        .def("c", py::overload_cast<>(&ThreePhaseSystem::c, py::const_))
        .def("c", py::overload_cast<const Complex&>(&ThreePhaseSystem::c), py::arg("value"))
        .def("n", py::overload_cast<>(&ThreePhaseSystem::n, py::const_))
        .def("n", py::overload_cast<const Complex&>(&ThreePhaseSystem::n), py::arg("value"))
        .def("sumOfPhases", &ThreePhaseSystem::sumOfPhases, "A + B + C (n not included).")
        .def("getPhaseComplexValue", &ThreePhaseSystem::getPhaseComplexValue, py::arg("phase"))
        .def("rotate", &ThreePhaseSystem::rotate, py::arg("angle"), "Turns all four values, n included.")
        .def("shftPhaseValues", &ThreePhaseSystem::shftPhaseValues, py::arg("k"),
             "Moves the phase values k places cyclically (A to B for k = 1); n never moves.")
        .def("__repr__", [](const ThreePhaseSystem& s) { return systemRepr("ThreePhaseSystem", s); })
        .def(py::pickle([](const ThreePhaseSystem& s) { return py::make_tuple(complexArray(s.values)); },
                        [](const py::tuple& state) {
                            ThreePhaseSystem s;
                            const std::vector<Complex> v = complexValues(state[0], 4, "state");
                            for (std::size_t k = 0; k < 4; ++k) s.values[k] = v[k];
                            return s;
                        }));
    addCopy(system);

    py::class_<ThreePhaseUISystem> ui(module, "ThreePhaseUISystem",
                                      "A voltage system and a current system: what the steady-state calculators "
                                      "return. `voltages` and `currents` are live views of the members.");
    ui.def(py::init<>())
        .def(py::init<const ThreePhaseSystem&, const ThreePhaseSystem&>(), py::arg("voltages"), py::arg("currents"),
             "Copies both systems whole, n values included.")
        .def(py::init<const Complex3&, const Complex3&>(), py::arg("voltages"), py::arg("currents"),
             "From phase triples; each n is one third of the phase sum.")
        .def_readwrite("voltages", &ThreePhaseUISystem::voltages)
        .def_readwrite("currents", &ThreePhaseUISystem::currents)
        .def("uSystem", &ThreePhaseUISystem::uSystem)
        .def("iSystem", &ThreePhaseUISystem::iSystem)
        .def("rotate", &ThreePhaseUISystem::rotate, py::arg("angle"))
        .def("shftPhaseValues", &ThreePhaseUISystem::shftPhaseValues, py::arg("k"))
        .def("__repr__", [](const ThreePhaseUISystem& s) {
            return "ThreePhaseUISystem(voltages=" + systemRepr("ThreePhaseSystem", s.voltages) +
                   ", currents=" + systemRepr("ThreePhaseSystem", s.currents) + ")";
        });
    addCopy(ui);
}

void bindSymComponents(py::module_& module) {
    py::enum_<SymComponentType>(module, "SymComponentType", py::arithmetic())
        .value("Null", KexCalculate::Null)
        .value("Positive", KexCalculate::Positive)
        .value("Negative", KexCalculate::Negative)
        .export_values();

    py::class_<SymComponents> cls(module, "SymComponents",
                                  "The zero-, positive- and negative-sequence components of one quantity.");
    cls.def(py::init<>())
        .def(py::init<const Complex3&>(), py::arg("components"), "Takes the three values as sequence components.")
        .def_property(
            "components", [](const SymComponents& s) { return complexArray(s.components); },
            [](SymComponents& s, const py::object& values) {
                const std::vector<Complex> v = complexValues(values, 3, "SymComponents.components");
                for (std::size_t k = 0; k < 3; ++k) s.components[k] = v[k];
            },
            "numpy complex128 array [zero, positive, negative].")
        .def("GetComponent", &SymComponents::GetComponent, py::arg("t"))
        .def("NullComponent", py::overload_cast<>(&SymComponents::NullComponent, py::const_))
        .def("NullComponent", py::overload_cast<const Complex&>(&SymComponents::NullComponent), py::arg("value"))
        .def("PositiveComponent", py::overload_cast<>(&SymComponents::PositiveComponent, py::const_))
        .def("PositiveComponent", py::overload_cast<const Complex&>(&SymComponents::PositiveComponent),
             py::arg("value"))
        .def("NegativeComponent", py::overload_cast<>(&SymComponents::NegativeComponent, py::const_))
        .def("NegativeComponent", py::overload_cast<const Complex&>(&SymComponents::NegativeComponent),
             py::arg("value"))
        .def("__repr__", [](const SymComponents& s) {
            return "SymComponents(" + reprOf(s.components[0]) + ", " + reprOf(s.components[1]) + ", " +
                   reprOf(s.components[2]) + ")";
        });
    addCopy(cls);
}

}  // namespace

void bindPhasors(py::module_& module) {
    bindComplex(module);
    bindSiblingRecords(module);
    bindComplex3(module);
    bindThreePhaseSystems(module);
    bindSymComponents(module);
}

}  // namespace kexpy
