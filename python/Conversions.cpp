#include "Conversions.h"

#include <pybind11/numpy.h>

#include <cmath>

namespace kexpy {

using KexCalculate::Complex;

std::string typeName(py::handle object) { return py::str(py::type::handle_of(object).attr("__name__")); }

Complex toComplex(py::handle object, const std::string& what) {
    if (py::isinstance<Complex>(object)) {
        return object.cast<Complex>();
    }
    py::detail::make_caster<ComplexNumber> caster;
    if (!caster.load(object, true)) {
        throw py::type_error(what + ": expected a complex number, got " + typeName(object));
    }
    const std::complex<double> value = py::detail::cast_op<ComplexNumber&>(caster).value;
    return {value.real(), value.imag()};
}

double toReal(py::handle object, const std::string& what) {
    const bool number = PyFloat_Check(object.ptr()) || PyLong_Check(object.ptr()) ||
                        (!PyComplex_Check(object.ptr()) && PyNumber_Check(object.ptr()) &&
                         !PyUnicode_Check(object.ptr()) && py::hasattr(object, "__float__"));
    if (number) {
        const double value = PyFloat_AsDouble(object.ptr());
        if (!(value == -1.0 && PyErr_Occurred() != nullptr)) {
            return value;
        }
        PyErr_Clear();
    }
    throw py::type_error(what + ": expected a real number, got " + typeName(object));
}

namespace {

std::string shapeText(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t d = 0; d < array.ndim(); ++d) {
        text += (d > 0 ? ", " : "") + std::to_string(array.shape(d));
    }
    return text + (array.ndim() == 1 ? ",)" : ")");
}

bool isText(py::handle object) {
    return PyUnicode_Check(object.ptr()) || PyBytes_Check(object.ptr()) || PyByteArray_Check(object.ptr());
}

}  // namespace

std::vector<Complex> complexValues(py::handle object, std::size_t count, const std::string& what) {
    std::vector<Complex> values;
    const std::string expected = std::to_string(count) + " complex values";
    if (py::isinstance<py::array>(object)) {
        const auto array = py::reinterpret_borrow<py::array>(object);
        if (array.ndim() != 1 || static_cast<std::size_t>(array.shape(0)) != count) {
            throw py::value_error(what + ": expected " + expected + ", got an array of shape " + shapeText(array));
        }
        auto converted = py::array_t<std::complex<double>, py::array::forcecast>::ensure(object);
        if (converted) {
            const auto view = converted.unchecked<1>();
            for (py::ssize_t k = 0; k < view.shape(0); ++k) {
                values.emplace_back(view(k).real(), view(k).imag());
            }
            return values;
        }
        PyErr_Clear();  // an object array: each element on its own below
    }
    if (isText(object) || !py::isinstance<py::sequence>(object)) {
        throw py::type_error(what + ": expected a sequence of " + expected + ", got " + typeName(object));
    }
    const auto sequence = py::reinterpret_borrow<py::sequence>(object);
    if (sequence.size() != count) {
        throw py::value_error(what + ": expected " + expected + ", got " + std::to_string(sequence.size()));
    }
    for (std::size_t k = 0; k < count; ++k) {
        values.push_back(toComplex(sequence[k], what + "[" + std::to_string(k) + "]"));
    }
    return values;
}

Kex::PointF toPoint(py::handle object, const std::string& what) {
    if (py::isinstance<Kex::PointF>(object)) {
        return object.cast<Kex::PointF>();
    }
    if (isText(object) || !py::isinstance<py::sequence>(object)) {
        throw py::type_error(what + ": expected a point (x, y), got " + typeName(object));
    }
    const auto sequence = py::reinterpret_borrow<py::sequence>(object);
    if (sequence.size() != 2) {
        throw py::value_error(what + ": expected a point (x, y), got " + std::to_string(sequence.size()) +
                              " coordinates");
    }
    return {static_cast<float>(toReal(sequence[0], what + ".x")), static_cast<float>(toReal(sequence[1], what + ".y"))};
}

std::vector<Kex::PointF> pointList(py::handle object, const std::string& what) {
    std::vector<Kex::PointF> points;
    if (py::isinstance<py::array>(object)) {
        const auto array = py::reinterpret_borrow<py::array>(object);
        const bool empty = array.ndim() == 1 && array.shape(0) == 0;
        if (!empty && (array.ndim() != 2 || array.shape(1) != 2)) {
            throw py::value_error(what + ": expected an array of shape (N, 2), got shape " + shapeText(array));
        }
        auto converted = py::array_t<double, py::array::forcecast>::ensure(object);
        if (!converted) {
            PyErr_Clear();
            throw py::type_error(what + ": expected real coordinates, got an array of dtype " +
                                 std::string(py::str(array.dtype())));
        }
        if (!empty) {
            const auto view = converted.unchecked<2>();
            for (py::ssize_t k = 0; k < view.shape(0); ++k) {
                points.push_back({static_cast<float>(view(k, 0)), static_cast<float>(view(k, 1))});
            }
        }
        return points;
    }
    if (isText(object) || !py::isinstance<py::sequence>(object)) {
        throw py::type_error(what + ": expected a sequence of points (x, y), got " + typeName(object));
    }
    const auto sequence = py::reinterpret_borrow<py::sequence>(object);
    for (std::size_t k = 0; k < sequence.size(); ++k) {
        points.push_back(toPoint(sequence[k], what + "[" + std::to_string(k) + "]"));
    }
    return points;
}

ComplexArray complexArray(const Complex* values, std::size_t count) {
    ComplexArray array(static_cast<py::ssize_t>(count));
    std::complex<double>* out = array.mutable_data();
    for (std::size_t k = 0; k < count; ++k) {
        out[k] = std::complex<double>(values[k].re, values[k].im);
    }
    return array;
}

RealArray realArray(const double* values, std::size_t count) {
    RealArray array(static_cast<py::ssize_t>(count));
    double* out = array.mutable_data();
    for (std::size_t k = 0; k < count; ++k) {
        out[k] = values[k];
    }
    return array;
}

std::string reprOf(double value) { return py::repr(py::float_(value)); }

std::string reprOf(const Complex& value) {
    return py::repr(py::reinterpret_steal<py::object>(PyComplex_FromDoubles(value.re, value.im)));
}

}  // namespace kexpy
