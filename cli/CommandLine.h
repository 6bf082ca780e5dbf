// Pieces every kexcalc subcommand shares: the error for a bad argument, the
// parsing of plain numbers and named choices, and the run of the parsed
// command line with its exit codes.
#pragma once

#include <stdexcept>
#include <string>

#include "CalculationFault.h"
#include "Choices.h"

namespace CLI {
class App;
}

namespace kexcalc {

// Exit codes of the program.
constexpr int kExitOk = 0;
constexpr int kExitBadArguments = 2;

// A command-line argument that cannot be used; the message names it.
class ArgumentError : public std::runtime_error {
public:
    ArgumentError(const std::string& argument, const std::string& problem)
        : std::runtime_error(argument + ": " + problem) {}
    // For a problem that no single argument owns.
    explicit ArgumentError(const std::string& message) : std::runtime_error(message) {}
};

// A finite decimal number ("57.735", "-1e3", "+5"); surrounding blanks are
// allowed, anything else around the number is not.
double parseNumber(const std::string& text, const std::string& argument);

using KexRecording::choiceNames;
using KexRecording::Choices;

// One of a fixed set of names, compared without regard to letter case.
template <typename T>
T parseChoice(const std::string& text, const Choices<T>& choices, const std::string& argument) {
    const T* chosen = KexRecording::findChoice(text, choices);
    if (chosen == nullptr) {
        throw ArgumentError(argument, KexRecording::unknownChoice(text, choices));
    }
    return *chosen;
}

// The fault kinds by their names (AN ... CAN, ABC_lin).
const Choices<KexCalculate::Fault>& faultKindChoices();

// Parses the command line and runs the chosen subcommand (its callback writes
// the output). Help goes to stdout with exit code 0; a bad argument gives one
// line on stderr and exit code 2, with nothing written to stdout.
int runCommandLine(CLI::App& app, int argc, const char* const* argv);

}  // namespace kexcalc
