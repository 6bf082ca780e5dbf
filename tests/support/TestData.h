// The data files of tests/data, shared by the C++, the command-line and the
// Python tests.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace TestData {

inline nlohmann::json read(const std::string& fileName) {
    std::ifstream in(std::string(KEX_TEST_DATA_DIR) + "/" + fileName);
    return nlohmann::json::parse(in);
}

// The entries of one table of a data file, in the file's order.
inline std::vector<nlohmann::json> table(const std::string& fileName, const char* name) {
    return read(fileName).at(name);
}

inline std::string caseName(const ::testing::TestParamInfo<nlohmann::json>& info) {
    return info.param.value("what", "Case" + std::to_string(info.index));
}

}  // namespace TestData

// An entry in a test's name and messages by its own name.
namespace nlohmann {
inline void PrintTo(const json& entry, std::ostream* out) {
    *out << entry.value("name", entry.value("what", entry.dump()));
}
}  // namespace nlohmann
