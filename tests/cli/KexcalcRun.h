// Runs the built kexcalc program for the tests and collects what it says.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace KexcalcTest {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The bytes of a file; none when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// The program and its arguments as one shell word each.
inline std::string kexcalcCommand(const std::vector<std::string>& arguments) {
    std::string command = shellQuoted(KEXCALC_PATH);
    for (const std::string& argument : arguments) {
        command += " " + shellQuoted(argument);
    }
    return command;
}

// What a shell command writes to stdout, and its exit code.
inline RunResult runShell(const std::string& command) {
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
    return result;
}

// A refused run: exit code 2, nothing on stdout, and one line on stderr that
// says `says`.
inline void expectRefused(const RunResult& run, const std::string& says) {
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
}

// `environment` goes before the program: "NAME=value ..."; `input` is the
// file standard input reads (none: the test's own).
inline RunResult runKexcalc(const std::vector<std::string>& arguments, const std::string& environment = "",
                            const std::string& input = "") {
    std::string errPath = "/tmp/kexcalc-err-XXXXXX";
    const int errFile = mkstemp(errPath.data());
    if (errFile < 0) {
        ADD_FAILURE() << "no temporary file";
        return {};
    }
    close(errFile);
    std::string command = environment + " " + kexcalcCommand(arguments) + " 2>" + shellQuoted(errPath);
    if (!input.empty()) {
        command += " <" + shellQuoted(input);
    }
    RunResult result = runShell(command);
    result.err = readFile(errPath);
    std::remove(errPath.c_str());
    return result;
}

// The program on a terminal of its own (a pseudo-terminal of script(1)), its
// stdout discarded: `out` is what its stderr showed there.
inline RunResult runKexcalcOnTerminal(const std::vector<std::string>& arguments) {
    return runShell("script -qec " + shellQuoted(kexcalcCommand(arguments) + " >/dev/null") + " /dev/null");
}

// Starts the program without waiting for it, its output discarded; the caller
// waits for the returned process (the shell becomes the program).
inline pid_t startKexcalc(const std::vector<std::string>& arguments) {
    const std::string command = "exec " + kexcalcCommand(arguments) + " >/dev/null 2>&1";
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

}  // namespace KexcalcTest
