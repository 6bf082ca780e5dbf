// Runs the built kexcalc program for the tests and collects what it says.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace KexcalcTest {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// `environment` goes before the program: "NAME=value ...".
inline RunResult runKexcalc(const std::vector<std::string>& arguments, const std::string& environment = "") {
    std::array<char, 32> errPath{};
    std::snprintf(errPath.data(), errPath.size(), "/tmp/kexcalc-err-XXXXXX");
    const int errFile = mkstemp(errPath.data());
    if (errFile < 0) {
        ADD_FAILURE() << "no temporary file";
        return {};
    }
    close(errFile);
    std::string command = environment + " " + shellQuoted(KEXCALC_PATH);
    for (const std::string& argument : arguments) {
        command += " " + shellQuoted(argument);
    }
    command += " 2>" + shellQuoted(errPath.data());

    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return result;
    }
    std::array<char, 4096> buffer{};
    std::size_t count = 0;
    while ((count = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.out.append(buffer.data(), count);
    }
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream errStream(errPath.data());
    std::ostringstream err;
    err << errStream.rdbuf();
    result.err = err.str();
    std::remove(errPath.data());
    return result;
}

}  // namespace KexcalcTest
