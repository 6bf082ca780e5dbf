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
// calculate(), as they do in C++. Unlike C++, the module raises instead of
// giving zeros: for a record value that is not finite (at calculate), and for
// results read from a model that was not calculated since its record was set.
class RlModel {
public:
    explicit RlModel(const py::object& params) { setParams(params); }

    void setParams(const py::object& params) {
        if (!py::isinstance<KexCalculate::RlParameters>(params)) {
            throw py::type_error("CalculationRl: params must be an RlParameters record, got " + typeName(params));
        }
        model._params = &params.cast<KexCalculate::RlParameters&>();
        params_ = params;
        calculated_ = false;
    }
    const py::object& params() const { return params_; }

    // ValueError naming the first field that is not finite.
    void calculate();

    // The model, for an operation that reads its results; RuntimeError
    // before the first calculate() with the present record.
    const KexCalculate::CalculationRl& calculated(const char* operation) const;

    KexCalculate::CalculationRl model;

private:
    py::object params_;
    bool calculated_ = false;
};

// A copy of the model and its record, taken with the GIL held, so that the
// sampling can run without it while Python threads change the record or
// recalculate the model.
class ModelSnapshot {
public:
    ModelSnapshot(const RlModel& model, const char* operation)
        : record_(*model.model._params), model_(model.calculated(operation)) {
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
