// What the binding units of the kexcalculate module share: the conversions
// between the library's phasor types and Python numbers, sequences and numpy
// arrays, and the entry point of each unit.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

#include "Complex.h"
#include "KexCommon.h"

namespace kexpy {

namespace py = pybind11;

using ComplexArray = py::array_t<std::complex<double>>;
using RealArray = py::array_t<double>;

// Any Python number that has a complex value (complex, float, int, the numpy
// scalars, or an object with __complex__ or __float__); never a string. The
// implicit conversion from Python numbers to Complex goes through it.
struct ComplexNumber {
    std::complex<double> value;
};

// "str", "list", ...: the type name of a Python object, for error messages.
std::string typeName(py::handle object);

// A complex value, or a TypeError naming `what`.
KexCalculate::Complex toComplex(py::handle object, const std::string& what);

// A real value (float, int, numpy scalar); a TypeError naming `what` otherwise.
double toReal(py::handle object, const std::string& what);

// Exactly `count` complex values from a sequence or a one-dimensional array;
// TypeError for something else, ValueError for a different length.
std::vector<KexCalculate::Complex> complexValues(py::handle object, std::size_t count, const std::string& what);

// A point from a PointF or an (x, y) pair.
Kex::PointF toPoint(py::handle object, const std::string& what);

// Points from an N x 2 array or a sequence of (x, y) pairs.
std::vector<Kex::PointF> pointList(py::handle object, const std::string& what);

// numpy complex128 copies of phasors.
ComplexArray complexArray(const KexCalculate::Complex* values, std::size_t count);

template <std::size_t N>
ComplexArray complexArray(const std::array<KexCalculate::Complex, N>& values) {
    return complexArray(values.data(), N);
}

// A numpy float64 copy of real values.
RealArray realArray(const double* values, std::size_t count);

// Python's repr of a float or a complex value.
std::string reprOf(double value);
std::string reprOf(const KexCalculate::Complex& value);

// The binding units, in the order the module registers them.
void bindPhasors(py::module_& module);
void bindSteadyState(py::module_& module);
void bindTransient(py::module_& module);
void bindExact(py::module_& module);
void bindScenario(py::module_& module);
void bindComtrade(py::module_& module);
void bindCtSaturation(py::module_& module);

}  // namespace kexpy

namespace pybind11 {
namespace detail {

template <>
struct type_caster<kexpy::ComplexNumber> {
public:
    PYBIND11_TYPE_CASTER(kexpy::ComplexNumber, const_name("complex"));

    bool load(handle source, bool /*convert*/) {
        if (!source || PyUnicode_Check(source.ptr()) || PyBytes_Check(source.ptr()) ||
            PyByteArray_Check(source.ptr())) {
            return false;
        }
        if (!PyComplex_Check(source.ptr()) && !PyFloat_Check(source.ptr()) && !PyLong_Check(source.ptr()) &&
            !PyNumber_Check(source.ptr()) && !hasattr(source, "__complex__")) {
            return false;
        }
        const Py_complex number = PyComplex_AsCComplex(source.ptr());
        if (number.real == -1.0 && PyErr_Occurred() != nullptr) {
            PyErr_Clear();
            return false;
        }
        value.value = std::complex<double>(number.real, number.imag);
        return true;
    }

    static handle cast(const kexpy::ComplexNumber& source, return_value_policy /*policy*/, handle /*parent*/) {
        return PyComplex_FromDoubles(source.value.real(), source.value.imag());
    }
};

}  // namespace detail
}  // namespace pybind11
