// The steady-state worked cases of tests/data/steady_state_cases.json, read
// by the library's and the command line's tests alike (the Python tests read
// the same file).
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <complex>
#include <optional>
#include <string>
#include <vector>

#include "TestData.h"

namespace WorkedCases {

using Phasor = std::complex<double>;
using Phases = std::array<Phasor, 3>;

inline const nlohmann::json& file() {
    static const nlohmann::json cases = TestData::read("steady_state_cases.json");
    return cases;
}

inline std::vector<nlohmann::json> steadyStateCases() { return file().at("cases"); }

inline Phasor phasor(const nlohmann::json& pair) { return {pair.at(0).get<double>(), pair.at(1).get<double>()}; }

// The case's voltages or currents ("voltages", "currents"), when it gives them.
inline std::optional<Phases> expected(const nlohmann::json& c, const char* system) {
    if (!c.contains(system)) {
        return std::nullopt;
    }
    const nlohmann::json& values = c.at(system);
    return Phases{phasor(values.at(0)), phasor(values.at(1)), phasor(values.at(2))};
}

inline ::testing::AssertionResult phasesNear(const Phases& actual, const Phases& expected) {
    const double tolerance = file().at("tolerance").get<double>();
    for (std::size_t k = 0; k < 3; ++k) {
        if (!(std::abs(actual[k] - expected[k]) <= tolerance)) {
            return ::testing::AssertionFailure() << "phase "
                                                 << "ABC"[k] << ": " << actual[k] << ", expected " << expected[k];
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace WorkedCases
