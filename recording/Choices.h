// Named values compared without regard to letter case: the names of the
// scenario file's codes and of the command line's named options.
#pragma once

#include <cctype>
#include <string>
#include <utility>
#include <vector>

namespace KexRecording {

template <typename T>
using Choices = std::vector<std::pair<std::string, T>>;

inline bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (std::tolower(static_cast<unsigned char>(a[k])) != std::tolower(static_cast<unsigned char>(b[k]))) {
            return false;
        }
    }
    return true;
}

// The value of the name, or nullptr when there is no such name.
template <typename T>
const T* findChoice(const std::string& text, const Choices<T>& choices) {
    for (const auto& choice : choices) {
        if (equalsIgnoringCase(text, choice.first)) {
            return &choice.second;
        }
    }
    return nullptr;
}

// "a, b, c" for the help texts and error messages.
template <typename T>
std::string choiceNames(const Choices<T>& choices) {
    std::string names;
    for (const auto& choice : choices) {
        names += (names.empty() ? "" : ", ") + choice.first;
    }
    return names;
}

// What to say about a name that is not among the choices.
template <typename T>
std::string unknownChoice(const std::string& text, const Choices<T>& choices) {
    return "unknown value '" + text + "'; expected one of " + choiceNames(choices);
}

}  // namespace KexRecording
