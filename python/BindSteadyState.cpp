// The steady-state calculators, the distance-relay settings, the polygon test
// and the translated display strings.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "CalculationFault.h"
#include "CalculationP.h"
#include "CalculationSymComponents.h"
#include "CalculationZ.h"
#include "Complex.h"
#include "Conversions.h"
#include "DistanceParameters.h"
#include "KexCalculateLocalization.h"
#include "KexCommon.h"
#include "KexRelay.h"
#include "PoligonHelper.h"

namespace kexpy {

using KexCalculate::CalculationFault;
using KexCalculate::CalculationP;
using KexCalculate::CalculationSymComponents;
using KexCalculate::CalculationZ;
using KexCalculate::Complex;
using KexCalculate::Complex3;
using KexCalculate::DistanceParameters;
using KexCalculate::Fault;
using KexCalculate::SymComponents;
using KexRelay::AnalogChannelSourceType;

namespace {

void bindEnums(py::module_& module) {
    py::enum_<Fault>(module, "Fault", py::arithmetic(), "Fault kinds of the steady-state calculators.")
        .value("AN", KexCalculate::AN)
        .value("BN", KexCalculate::BN)
        .value("CN", KexCalculate::CN)
        .value("AB", KexCalculate::AB)
        .value("BC", KexCalculate::BC)
        .value("CA", KexCalculate::CA)
        .value("ABC", KexCalculate::ABC)
        .value("ABN", KexCalculate::ABN)
        .value("BCN", KexCalculate::BCN)
        .value("CAN", KexCalculate::CAN)
        .value("ABC_lin", KexCalculate::ABC_lin, "three-phase, the value given as a line value")
        .export_values();

    py::tuple faults(KexCalculate::FaultsList.size());
    std::size_t k = 0;
    for (const Fault fault : KexCalculate::FaultsList) faults[k++] = py::cast(fault);
    module.attr("FaultsList") = faults;
    py::tuple zFaults(KexCalculate::ZFaultsList.size());
    k = 0;
    for (const Fault fault : KexCalculate::ZFaultsList) zFaults[k++] = py::cast(fault);
    module.attr("ZFaultsList") = zFaults;

    py::enum_<AnalogChannelSourceType>(module, "AnalogChannelSourceType", py::arithmetic(),
                                       "Whether an analog output channel generates a current or a voltage.")
        .value("Current", KexRelay::Current)
        .value("Voltage", KexRelay::Voltage)
        .export_values();

    py::enum_<KexCalculate::GroundFactorMode>(module, "GroundFactorMode", py::arithmetic(),
                                              "Which ground factor of DistanceParameters.LoopParameters is used.")
        .value("K0", KexCalculate::K0)
        .value("RE_RL_XE_XL", KexCalculate::RE_RL_XE_XL)
        .value("Z0_Z1", KexCalculate::Z0_Z1)
        .export_values();
}

void bindCalculators(py::module_& module) {
    py::class_<CalculationFault>(module, "CalculationFault",
                                 "The phase phasors of a voltage or current system for a fault of a given kind "
                                 "and size (static operations).")
        .def(py::init<>())
        .def_static("_getShiftCount", &CalculationFault::_getShiftCount, py::arg("fault"))
        .def_static("_getFautPhaseValues", &CalculationFault::_getFautPhaseValues, py::arg("fault"),
                    py::arg("faultValue"), py::arg("healthyValue"))
        .def_static("calculateFault",
                    py::overload_cast<AnalogChannelSourceType, Fault, double, double, double>(
                        &CalculationFault::calculateFault),
                    py::arg("type"), py::arg("fault"), py::arg("value"), py::arg("angle"), py::arg("healthyValue"),
                    "value: magnitude in the faulted loop; angle (radians) of the faulted phase or loop; a negative "
                    "healthyValue asks for the default (0 A, or 100/sqrt(3) V).")
        .def_static(
            "calculateFault",
            py::overload_cast<AnalogChannelSourceType, Fault, Complex, double>(&CalculationFault::calculateFault),
            py::arg("type"), py::arg("fault"), py::arg("value"), py::arg("healthyValue"),
            "The faulted-loop value as one phasor (a Complex or a Python complex).");

    py::class_<CalculationP>(module, "CalculationP",
                             "Test values for a complex power S = P + jQ with the current or the voltage held "
                             "(static operations; the power may be a Python complex).")
        .def(py::init<>())
        .def_static(
            "_calcUForSI",
            [](Fault fault, Complex power, double current) { return CalculationP::_calcUForSI(fault, power, current); },
            py::arg("fault"), py::arg("power"), py::arg("current"))
        .def_static(
            "_calcIForSU",
            [](Fault fault, Complex power, double voltage) { return CalculationP::_calcIForSU(fault, power, voltage); },
            py::arg("fault"), py::arg("power"), py::arg("voltage"))
        .def_static(
            "calculatePIconst",
            [](Fault fault, Complex power, double current) {
                return CalculationP::calculatePIconst(fault, power, current);
            },
            py::arg("fault"), py::arg("power"), py::arg("current"))
        .def_static(
            "calculatePUconst",
            [](Fault fault, Complex power, double voltage) {
                return CalculationP::calculatePUconst(fault, power, voltage);
            },
            py::arg("fault"), py::arg("power"), py::arg("voltage"));

    py::class_<CalculationSymComponents>(module, "CalculationSymComponents",
                                         "Phase values from symmetrical components: A = S0 + S1 + S2, "
                                         "B = S0 + a^2 S1 + a S2, C = S0 + a S1 + a^2 S2 (static operations).")
        .def(py::init<>())
        .def_static("CalcComplex3PhseSystem",
                    py::overload_cast<const Complex&, const Complex&, const Complex&>(
                        &CalculationSymComponents::CalcComplex3PhseSystem),
                    py::arg("zero"), py::arg("positive"), py::arg("negative"))
        .def_static("CalcComplex3PhseSystem",
                    py::overload_cast<const Complex3&>(&CalculationSymComponents::CalcComplex3PhseSystem),
                    py::arg("components"))
        .def_static("Calc3PhseSystem",
                    py::overload_cast<const SymComponents&>(&CalculationSymComponents::Calc3PhseSystem),
                    py::arg("components"))
        .def_static("Calc3PhseSystem", py::overload_cast<const Complex3&>(&CalculationSymComponents::Calc3PhseSystem),
                    py::arg("components"))
        .def_static("setFaultValues", &CalculationSymComponents::setFaultValues, py::arg("components"),
                    py::arg("phases").noconvert(), "Writes the phases into `phases`, which must be a Complex3 object.");
}

void bindDistance(py::module_& module) {
    py::class_<DistanceParameters> params(module, "DistanceParameters",
                                          "Settings of a distance relay: the line angle, the arc-resistance rule "
                                          "and the ground factor. Fields are live (p.loop.k0 = (1.2, 0.1) works).");
    py::class_<DistanceParameters::LoopParameters> loop(params, "LoopParameters");
    loop.def(py::init<>())
        .def_readwrite("arcResistance", &DistanceParameters::LoopParameters::arcResistance)
        .def_readwrite("groundFactorMode", &DistanceParameters::LoopParameters::groundFactorMode)
        .def_readwrite("k0", &DistanceParameters::LoopParameters::k0)
        .def_readwrite("reRlXeXl", &DistanceParameters::LoopParameters::reRlXeXl)
        .def_readwrite("z0z1", &DistanceParameters::LoopParameters::z0z1)
        .def("__repr__", [](const DistanceParameters::LoopParameters& p) {
            return "LoopParameters(arcResistance=" + std::string(p.arcResistance ? "True" : "False") +
                   ", groundFactorMode=" + std::string(py::repr(py::cast(p.groundFactorMode))) +
                   ", k0=" + std::string(py::repr(py::cast(p.k0))) + ", reRlXeXl=" + reprOf(p.reRlXeXl) +
                   ", z0z1=" + std::string(py::repr(py::cast(p.z0z1))) + ")";
        });

    params.def(py::init<>())
        .def(py::init([](const Kex::Polar& lineImpedance, const DistanceParameters::LoopParameters& loopParameters) {
                 DistanceParameters p;
                 p.lineImpedance = lineImpedance;
                 p.loop = loopParameters;
                 return p;
             }),
             py::arg("lineImpedance"), py::arg("loop") = DistanceParameters::LoopParameters())
        .def_readwrite("lineImpedance", &DistanceParameters::lineImpedance)
        .def_readwrite("loop", &DistanceParameters::loop)
        .def("__repr__", [](const DistanceParameters& p) {
            return "DistanceParameters(lineImpedance=" + std::string(py::repr(py::cast(p.lineImpedance))) +
                   ", loop=" + std::string(py::repr(py::cast(p.loop))) + ")";
        });

    py::class_<CalculationZ>(module, "CalculationZ",
                             "Test values at which a distance relay sees a given impedance, and the loop "
                             "impedances with ground compensation. Impedance points are Polar or (amplitude, angle).")
        .def(py::init([](bool voltageReference) {
                 CalculationZ calculator;
                 calculator.voltageReference = voltageReference;
                 return calculator;
             }),
             py::arg("voltageReference") = false)
        .def_readwrite("voltageReference", &CalculationZ::voltageReference,
                       "False: currents at angle 0, voltages turned; true: voltages at 0, currents turned back.")
        .def("_calcArcResistanceZ", &CalculationZ::_calcArcResistanceZ, py::arg("z"), py::arg("p"))
        .def("_groundZ", &CalculationZ::_groundZ, py::arg("z"), py::arg("p"))
        .def("_faultLoopZ", &CalculationZ::_faultLoopZ, py::arg("fault"), py::arg("z"), py::arg("p"))
        .def(
            "parallel", [](CalculationZ& calculator, Complex z1, Complex z2) { return calculator.parallel(z1, z2); },
            py::arg("z1"), py::arg("z2"))
        .def("calculateZIconst", &CalculationZ::calculateZIconst, py::arg("fault"), py::arg("z"), py::arg("current"),
             py::arg("healthyCurrent"), py::arg("p"))
        .def("calculateZUconst", &CalculationZ::calculateZUconst, py::arg("fault"), py::arg("z"), py::arg("voltage"),
             py::arg("healthyVoltage"), py::arg("p"))
        .def("calculateZZsconst", &CalculationZ::calculateZZsconst, py::arg("fault"), py::arg("z"), py::arg("zS1"),
             py::arg("kS"), py::arg("sourceVoltage"), py::arg("p"),
             "Test values at constant source impedance: an EMF of sourceVoltage (phase to neutral) behind zS1, "
             "whose zero-sequence impedance is zS1 with the factor pair kS = (R0/R1, X0/X1) applied part by part, "
             "feeds a bolted fault at the impedance point z; no load. A fault loop without impedance gives zero "
             "currents.")
        .def("_calcUForZI", &CalculationZ::_calcUForZI, py::arg("fault"), py::arg("z"), py::arg("current"),
             py::arg("healthyCurrent"), py::arg("p"))
        .def("_calcIFromZU", &CalculationZ::_calcIFromZU, py::arg("fault"), py::arg("z"), py::arg("voltage"),
             py::arg("p"))
        .def(
            "_calcZForUI",
            [](CalculationZ& calculator, Fault fault, Complex u, Complex i, double healthyCurrent,
               const DistanceParameters& p) { return calculator._calcZForUI(fault, u, i, healthyCurrent, p); },
            py::arg("fault"), py::arg("u"), py::arg("i"), py::arg("healthyCurrent"), py::arg("p"))
        .def(
            "_calc1PhaseFaultZFromUI",
            [](CalculationZ& calculator, Complex u, Complex i, double healthyCurrent, const DistanceParameters& p) {
                return calculator._calc1PhaseFaultZFromUI(u, i, healthyCurrent, p);
            },
            py::arg("u"), py::arg("i"), py::arg("healthyCurrent"), py::arg("p"))
        .def("_getThreePhaseUISystem", &CalculationZ::_getThreePhaseUISystem, py::arg("fault"), py::arg("voltage"),
             py::arg("current"), py::arg("angle"), py::arg("healthyVoltage"), py::arg("healthyCurrent"));
}

void bindPolygon(py::module_& module) {
    module.def(
        "isPointInPoligon",
        [](const py::object& polygon, const py::object& point) -> py::object {
            const std::vector<Kex::PointF> vertices = pointList(polygon, "polygon");
            if (py::isinstance<py::array>(point) && py::reinterpret_borrow<py::array>(point).ndim() == 2) {
                const std::vector<Kex::PointF> points = pointList(point, "point");
                py::array_t<bool> inside(static_cast<py::ssize_t>(points.size()));
                bool* out = inside.mutable_data();
                for (std::size_t k = 0; k < points.size(); ++k) {
                    out[k] = KexCalculate::isPointInPoligon(vertices, points[k]);
                }
                return std::move(inside);
            }
            return py::bool_(KexCalculate::isPointInPoligon(vertices, toPoint(point, "point")));
        },
        py::arg("polygon"), py::arg("point"),
        "Whether a point lies inside a polygon (even-odd rule, single precision). polygon: a list of (x, y) "
        "or an N x 2 array; point: (x, y), or an M x 2 array for a boolean array of M answers.");
}

void bindLocalization(py::module_& module) {
    py::module_ lng = module.def_submodule("lng", "The library's translated display strings.");
    lng.def(
        "get", [](const std::string& key) { return py::str(lng::KexCalculate::get(key)); }, py::arg("key"),
        "The text of key in the current language; an unknown key comes back unchanged.");
    lng.def(
        "language", [] { return static_cast<int>(lng::language); }, "The language index: 0 English, 1 Russian.");
    lng.def(
        "setLanguage",
        [](const py::int_& index) {
            int overflow = 0;
            const long long value = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
            if (overflow != 0 || value < 0 || value > 255) {
                throw py::value_error(
                    "setLanguage: index must be 0 (English), 1 (Russian) or another value up to "
                    "255, got " +
                    std::string(py::repr(index)));
            }
            lng::language = static_cast<std::uint8_t>(value);
        },
        py::arg("index"), "Selects the language for every later lng.get: 0 English, 1 Russian.");
}

}  // namespace

void bindSteadyState(py::module_& module) {
    bindEnums(module);
    bindCalculators(module);
    bindDistance(module);
    bindPolygon(module);
    bindLocalization(module);
}

}  // namespace kexpy
