#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <charconv>
#include <cmath>
#include <iostream>
#include <system_error>

#include "Scenario.h"

namespace kexcalc {

namespace {

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string trimmed(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlank(text[first])) {
        ++first;
    }
    while (last > first && isBlank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

// CLI11 messages are single lines already; keep it that way whatever they
// say, and whatever an argument they quote holds.
std::string oneLine(std::string message) {
    for (char& c : message) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    while (!message.empty() && message.back() == ' ') {
        message.pop_back();
    }
    return KexRecording::escapeControlCharacters(message);
}

// An option of one value that was given more than once, for which CLI11 says
// "At Most 1 required but received 2"; nullptr when there is none.
const CLI::Option* repeatedOption(const CLI::App& app) {
    for (const CLI::App* command : app.get_subcommands()) {
        for (const CLI::Option* option : command->get_options()) {
            if (option->get_type_size_max() > 0 && option->get_items_expected_max() == 1 && option->count() > 1) {
                return option;
            }
        }
    }
    return nullptr;
}

}  // namespace

double parseNumber(const std::string& text, const std::string& argument) {
    const std::string number = trimmed(text);
    if (number.empty()) {
        throw ArgumentError(argument, "a number is missing");
    }
    // from_chars reads the C locale's form and no leading '+'; allow one.
    const std::size_t start = number[0] == '+' ? 1 : 0;
    if (start == 1 && (number.size() == 1 || number[1] == '+' || number[1] == '-')) {
        throw ArgumentError(argument, "'" + text + "' is not a number");
    }
    double value = 0.0;
    const char* const begin = number.data() + start;
    const char* const end = number.data() + number.size();
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        throw ArgumentError(argument, "'" + text + "' is out of the range of a double");
    }
    if (error != std::errc() || stop != end) {
        throw ArgumentError(argument, "'" + text + "' is not a number");
    }
    if (!std::isfinite(value)) {
        throw ArgumentError(argument, "'" + text + "' is not a finite number");
    }
    return value;
}

const Choices<KexCalculate::Fault>& faultKindChoices() {
    using namespace KexCalculate;
    static const Choices<Fault> kinds{{"AN", AN},   {"BN", BN},   {"CN", CN},          {"AB", AB},
                                      {"BC", BC},   {"CA", CA},   {"ABC", ABC},        {"ABN", ABN},
                                      {"BCN", BCN}, {"CAN", CAN}, {"ABC_lin", ABC_lin}};
    return kinds;
}

int runCommandLine(CLI::App& app, int argc, const char* const* argv) {
    // CLI11 only says that a subcommand is required; name the one given and
    // the ones there are.
    const std::string first = argc > 1 ? argv[1] : "";
    if (first.empty() || first[0] != '-') {
        std::string names;
        bool known = false;
        for (const CLI::App* command : app.get_subcommands({})) {
            names += (names.empty() ? "" : ", ") + command->get_name();
            known = known || command->get_name() == first;
        }
        if (!known) {
            std::cerr << app.get_name() << ": "
                      << (first.empty() ? "a subcommand is required" : "unknown subcommand '" + first + "'")
                      << "; expected one of " << names << '\n';
            return kExitBadArguments;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
            return app.exit(e);  // --help, --version: the text on stdout
        }
        const CLI::Option* repeated =
            dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr ? repeatedOption(app) : nullptr;
        const std::string message = repeated != nullptr ? repeated->get_name() + ": given " +
                                                              std::to_string(repeated->count()) + " times; give it once"
                                                        : e.what();
        std::cerr << app.get_name() << ": " << oneLine(message) << '\n';
        return kExitBadArguments;
    } catch (const ArgumentError& e) {
        std::cerr << app.get_name() << ": " << oneLine(e.what()) << '\n';
        return kExitBadArguments;
    }
    return kExitOk;
}

}  // namespace kexcalc
