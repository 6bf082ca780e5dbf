// The Python CalculationRl: the transient model together with the Python
// RlParameters object whose record it reads, and the private copy the module
// samples without the GIL.
#pragma once

#include <pybind11/pybind11.h>

#include "CalculationRl.h"
#include "Conversions.h"

namespace kexpy {

// Holding the Python object keeps the record alive as long as the model, and
// changes made through it (params.faultKind = 2) reach the model at the next
// calculate(), as they do in C++.
class RlModel {
public:
    explicit RlModel(const py::object& params) { setParams(params); }

    void setParams(const py::object& params) {
        if (!py::isinstance<KexCalculate::RlParameters>(params)) {
            throw py::type_error("CalculationRl: params must be an RlParameters record, got " + typeName(params));
        }
        model._params = &params.cast<KexCalculate::RlParameters&>();
        params_ = params;
    }
    const py::object& params() const { return params_; }

    KexCalculate::CalculationRl model;

private:
    py::object params_;
};

// A copy of the model and its record, taken with the GIL held, so that the
// sampling can run without it while Python threads change the record or
// recalculate the model.
class ModelSnapshot {
public:
    explicit ModelSnapshot(const KexCalculate::CalculationRl& model) : record_(*model._params), model_(model) {
        model_._params = &record_;
    }
    ModelSnapshot(const ModelSnapshot&) = delete;
    ModelSnapshot& operator=(const ModelSnapshot&) = delete;

    const KexCalculate::CalculationRl& model() const { return model_; }

private:
    KexCalculate::RlParameters record_;
    KexCalculate::CalculationRl model_;
};

}  // namespace kexpy
