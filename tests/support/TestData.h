// The data files of tests/data, shared by the C++, the command-line and the
// Python tests.
#pragma once

#include <nlohmann/json.hpp>

#include <fstream>
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

}  // namespace TestData
