// Drives the scenario-file reader and its validation with arbitrary bytes and
// checks, for any input:
//   - reading never throws, crashes or trips a sanitizer;
//   - every problem it reports says what it concerns and why ('what: why');
//   - an accepted scenario reads back from its own JSON unchanged, and every
//     sample of its six channels is a finite number (within the sizes an
//     instrument can meet).
// A violated property prints what it saw and aborts, so libFuzzer keeps the
// input as a crash.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "Scenario.h"
#include "TransientChecks.h"

namespace {

KexRecording::ScenarioResult parseOrAbort(const std::string& text) {
    try {
        return KexRecording::parseScenario(text);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "\nproperty violated: reading a scenario threw: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "\nproperty violated: reading a scenario threw\n");
    }
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t k = 0; k < size; ++k) {
        text[k] = static_cast<char>(data[k]);
    }
    const KexRecording::ScenarioResult result = parseOrAbort(text);
    if (!result.ok()) {
        for (const std::string& problem : result.problems) {
            if (problem.empty() || problem.find(": ") == std::string::npos) {
                std::fprintf(stderr, "\nproperty violated: a problem is not 'what: why': '%s'\n", problem.c_str());
                std::abort();
            }
        }
        return 0;
    }

    const KexRecording::ScenarioResult again = parseOrAbort(KexRecording::renderScenarioJson(result.scenario));
    if (!again.ok() || !kexfuzz::sameScenario(again.scenario, result.scenario)) {
        for (const std::string& problem : again.problems) {
            std::fprintf(stderr, "%s\n", problem.c_str());
        }
        kexfuzz::fail(result.scenario, "an accepted scenario does not read back from its own JSON unchanged");
    }
    // Samples spread over the record, chosen by the input's size.
    const auto n = static_cast<std::uint32_t>(size);
    kexfuzz::requireFiniteSamples(result.scenario, {n, n * 7919U, n * 104729U, n * 1299709U});
    return 0;
}
