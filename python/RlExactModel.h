// The Python CalculationRlExact: the exact transients of a calculated
// CalculationRl. calculate() copies the model and its record, so the object
// needs nothing of Python's afterwards (the record may change or go), and it
// keeps the copies in a state that a sampling call takes with the GIL held and
// uses without it while another thread calculates again.
#pragma once

#include <memory>

#include "CalculationRl.h"
#include "CalculationRlExact.h"
#include "RlModel.h"

namespace kexpy {

// The exact transients and the record their copy of the model reads.
struct RlExactState {
    KexCalculate::RlParameters record{};
    KexCalculate::CalculationRlExact exact;
};

class RlExactModel {
public:
    RlExactModel() : state_(std::make_shared<const RlExactState>()) {}

    // RuntimeError for a model not calculated with its record.
    void calculate(const RlModel& model) {
        const KexCalculate::CalculationRl& calculated = model.calculated("CalculationRlExact.calculate");
        auto state = std::make_shared<RlExactState>();
        state->record = *calculated._params;
        KexCalculate::CalculationRl copy = calculated;
        copy._params = &state->record;
        state->exact.calculate(copy);
        state_ = std::move(state);
    }

    std::shared_ptr<const RlExactState> state() const { return state_; }

private:
    std::shared_ptr<const RlExactState> state_;
};

}  // namespace kexpy
