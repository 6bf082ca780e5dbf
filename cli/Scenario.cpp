#include "Scenario.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <set>
#include <utility>

#include "CommandLine.h"

namespace kexcalc {

namespace {

using Json = nlohmann::ordered_json;
using KexCalculate::Complex;
using KexCalculate::RlParameters;

constexpr double kDegreesPerRadian = 57.295779513082320876;
// Below this a loop impedance counts as zero; the model's own guards use the same bound.
constexpr double kVanishingImpedance = 1e-6;
// Time stamps are kept in nanoseconds since 1970 in a 64-bit integer.
constexpr double kMaxTimeSpan = 1.0e6;  // s
constexpr int kFirstYear = 1970;
constexpr int kLastYear = 2200;
// The header fields of a COMTRADE configuration hold at most 64 characters.
constexpr std::size_t kMaxLabelLength = 64;
constexpr const char* kImpedanceForm = "[R, X] in ohms";
constexpr const char* kFactorForm = "[R0/R1, X0/X1]";

constexpr std::uint8_t kKindTwoPhase = 1;
constexpr std::uint8_t kKindOnePhaseGround = 2;
constexpr std::uint8_t kKindSwing = 8;
constexpr std::uint8_t kKindAsync = 9;
constexpr std::uint8_t kKindPhaseBreak = 10;
constexpr std::uint8_t kKindLoadSwitching = 11;
constexpr std::uint8_t kKindNone = 12;
constexpr std::int8_t kNetworkSingleLine = 0;
constexpr std::int8_t kNetworkTappedBranch = 1;
constexpr std::int8_t kNetworkDoubleHealthy = 2;
constexpr std::int8_t kNetworkDoubleFaulted = 3;

const Choices<std::uint8_t>& faultKindNames() {
    static const Choices<std::uint8_t> names{
        {"three-phase", 0},          {"two-phase", kKindTwoPhase},     {"one-phase-ground", kKindOnePhaseGround},
        {"two-phase-ground", 3},     {"three-phase-alt", 4},           {"two-phase-alt", 5},
        {"one-phase-ground-alt", 6}, {"two-phase-ground-alt", 7},      {"swing", kKindSwing},
        {"async", kKindAsync},       {"phase-break", kKindPhaseBreak}, {"load-switching", kKindLoadSwitching},
        {"none", kKindNone}};
    return names;
}

const Choices<std::int8_t>& networkTypeNames() {
    static const Choices<std::int8_t> names{{"single-line", kNetworkSingleLine},
                                            {"tapped-branch", kNetworkTappedBranch},
                                            {"double-circuit-healthy", kNetworkDoubleHealthy},
                                            {"double-circuit-faulted", kNetworkDoubleFaulted}};
    return names;
}

// A faulted phase or phase pair as the file names it.
struct PhaseSpec {
    std::uint8_t value;
    bool pair;
};

const Choices<PhaseSpec>& faultPhaseNames() {
    static const Choices<PhaseSpec> names{{"A", {0, false}}, {"B", {1, false}}, {"C", {2, false}},
                                          {"AB", {0, true}}, {"BC", {1, true}}, {"CA", {2, true}}};
    return names;
}

bool isOnePhaseKind(std::uint8_t kind) { return kind == 2 || kind == 6 || kind == kKindPhaseBreak; }
bool isTwoPhaseKind(std::uint8_t kind) { return kind <= 7 && (kind & 3U) % 2U == 1U; }
bool isDoubleCircuit(std::int8_t network) { return network >= kNetworkDoubleHealthy; }

std::string formatNumber(double value) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.10g", value);
    return text.data();
}

std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0U : 1U)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

// "YYYY-MM-DD HH:MM:SS" with an optional fraction of up to nine digits; a 'T'
// may stand for the blank. Returns an empty string, or what is wrong.
std::string parseStartTime(const std::string& text, std::int64_t& nanoseconds) {
    const std::string form = "expected YYYY-MM-DD HH:MM:SS or YYYY-MM-DD HH:MM:SS.FFFFFF";
    std::size_t position = 0;
    const auto digits = [&](std::size_t count, int& value) {
        value = 0;
        for (std::size_t k = 0; k < count; ++k, ++position) {
            if (position >= text.size() || std::isdigit(static_cast<unsigned char>(text[position])) == 0) {
                return false;
            }
            value = value * 10 + (text[position] - '0');
        }
        return true;
    };
    const auto separator = [&](char expected) {
        const bool found =
            position < text.size() && (text[position] == expected || (expected == ' ' && text[position] == 'T'));
        ++position;
        return found;
    };
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!digits(4, year) || !separator('-') || !digits(2, month) || !separator('-') || !digits(2, day) ||
        !separator(' ') || !digits(2, hour) || !separator(':') || !digits(2, minute) || !separator(':') ||
        !digits(2, second)) {
        return "'" + text + "' is not a date and time; " + form;
    }
    std::int64_t fraction = 0;
    if (position < text.size() && text[position] == '.') {
        ++position;
        std::size_t count = 0;
        while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position])) != 0 && count < 9) {
            fraction = fraction * 10 + (text[position] - '0');
            ++position;
            ++count;
        }
        if (count == 0) {
            return "'" + text + "' has no digits after the decimal point; " + form;
        }
        for (; count < 9; ++count) {
            fraction *= 10;
        }
    }
    if (position != text.size()) {
        return "'" + text + "' has more than a date and time (at most nine decimals); " + form;
    }
    if (year < kFirstYear || year > kLastYear) {
        return "the year must lie between " + std::to_string(kFirstYear) + " and " + std::to_string(kLastYear);
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59) {
        return "'" + text + "' is not a valid date and time";
    }
    const std::int64_t seconds =
        daysFromCivil(year, month, day) * 86400 + static_cast<std::int64_t>(hour * 3600 + minute * 60 + second);
    nanoseconds = seconds * 1'000'000'000 + fraction;
    return {};
}

// The faulted phase as the file gave it, resolved once the fault kind is known.
struct PhaseEntry {
    bool given = false;
    PhaseSpec chosen{0, false};
    bool byName = false;
    std::string name;
};

// Reads the keys of one scenario file into a copy of the default scenario and
// collects what is wrong.
class ScenarioReader {
public:
    explicit ScenarioReader(ScenarioResult& result) : result_(result) {}

    RlParameters& record() { return result_.scenario.record; }
    TransientScenario& scenario() { return result_.scenario; }

    void problem(const std::string& key, const std::string& text) {
        result_.problems.push_back(key + ": " + text);
        failed_.insert(key);
    }
    void given(const std::string& key) { given_.insert(key); }
    bool isGiven(const std::string& key) const { return given_.count(key) > 0; }
    // True when every one of the keys holds a usable value (given or default).
    bool usable(std::initializer_list<const char*> keys) const {
        return std::none_of(keys.begin(), keys.end(), [this](const char* key) { return failed_.count(key) > 0; });
    }

    bool number(const std::string& key, const Json& value, double& out) {
        if (!value.is_number()) {
            problem(key, "must be a number, not " + describe(value));
            return false;
        }
        const double number = value.get<double>();
        if (!std::isfinite(number)) {
            problem(key, "must be a finite number");
            return false;
        }
        out = number;
        return true;
    }

    void impedance(const std::string& key, const Json& value, Complex& out, const char* form) {
        if (!value.is_array() || value.size() != 2 || !value[0].is_number() || !value[1].is_number()) {
            problem(key, std::string("must be ") + form + ", two numbers; not " + describe(value));
            return;
        }
        const double re = value[0].get<double>();
        const double im = value[1].get<double>();
        if (!std::isfinite(re) || !std::isfinite(im)) {
            problem(key, "must hold finite numbers");
            return;
        }
        out = Complex(re, im);
    }

    void boolean(const std::string& key, const Json& value, bool& out) {
        if (!value.is_boolean()) {
            problem(key, "must be true or false, not " + describe(value));
            return;
        }
        out = value.get<bool>();
    }

    void text(const std::string& key, const Json& value, std::string& out) {
        if (!value.is_string()) {
            problem(key, "must be a string, not " + describe(value));
            return;
        }
        out = value.get<std::string>();
    }

    // A code of the record given as a whole number in [0, last] or by name.
    template <typename T>
    bool code(const std::string& key, const Json& value, const Choices<T>& names, int last, T& out) {
        if (value.is_string()) {
            return named(key, value, names, out);
        }
        int number = 0;
        if (!wholeNumber(key, value, last, choiceNames(names), number)) {
            return false;
        }
        out = static_cast<T>(number);
        return true;
    }

    template <typename T>
    bool named(const std::string& key, const Json& value, const Choices<T>& names, T& out) {
        try {
            out = parseChoice(value.get<std::string>(), names, key);
            return true;
        } catch (const ArgumentError& e) {
            result_.problems.emplace_back(e.what());
            failed_.insert(key);
            return false;
        }
    }

    bool wholeNumber(const std::string& key, const Json& value, int last, const std::string& names, int& out) {
        const std::string expected = "a whole number from 0 to " + std::to_string(last) + " or one of " + names;
        double number = 0.0;
        if (!value.is_number() || !std::isfinite(number = value.get<double>()) || number != std::floor(number)) {
            problem(key, "must be " + expected + "; not " + describe(value));
            return false;
        }
        if (number < 0.0 || number > last) {
            problem(key, formatNumber(number) + " is out of range; expected " + expected);
            return false;
        }
        out = static_cast<int>(number);
        return true;
    }

    PhaseEntry& phase() { return phase_; }

    static std::string describe(const Json& value) {
        switch (value.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::boolean:
            return value.get<bool>() ? "true" : "false";
        case Json::value_t::string:
            return "the string " + value.dump();
        case Json::value_t::array:
            return "an array of " + std::to_string(value.size());
        case Json::value_t::object:
            return "an object";
        default:
            return value.dump();
        }
    }

private:
    ScenarioResult& result_;
    std::set<std::string> failed_;
    std::set<std::string> given_;
    PhaseEntry phase_;
};

struct KeyReader {
    const char* key;
    std::function<void(ScenarioReader&, const std::string&, const Json&)> read;
};

const std::vector<KeyReader>& keyReaders() {
    static const std::vector<KeyReader> readers{
        {"networkType",
         [](ScenarioReader& r, const std::string& k, const Json& v) {
             r.code(k, v, networkTypeNames(), kNetworkDoubleFaulted, r.record().networkType);
         }},
        {"preFaultDuration",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().preFaultDuration); }},
        {"loadCurrent",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().loadCurrent); }},
        {"loadVoltage",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().loadVoltage); }},
        {"loadAngle",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().loadAngle); }},
        {"frequency",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().frequency); }},
        {"zS1", [](ScenarioReader& r, const std::string& k,
                   const Json& v) { r.impedance(k, v, r.record().zS1, kImpedanceForm); }},
        {"kS1", [](ScenarioReader& r, const std::string& k,
                   const Json& v) { r.impedance(k, v, r.record().kS1, kFactorForm); }},
        {"zLine", [](ScenarioReader& r, const std::string& k,
                     const Json& v) { r.impedance(k, v, r.record().zLine, kImpedanceForm); }},
        {"kLine", [](ScenarioReader& r, const std::string& k,
                     const Json& v) { r.impedance(k, v, r.record().kLine, kFactorForm); }},
        {"zS2", [](ScenarioReader& r, const std::string& k,
                   const Json& v) { r.impedance(k, v, r.record().zS2, kImpedanceForm); }},
        {"kS2", [](ScenarioReader& r, const std::string& k,
                   const Json& v) { r.impedance(k, v, r.record().kS2, kFactorForm); }},
        {"zBranch", [](ScenarioReader& r, const std::string& k,
                       const Json& v) { r.impedance(k, v, r.record().zBranch, kImpedanceForm); }},
        {"kBranch", [](ScenarioReader& r, const std::string& k,
                       const Json& v) { r.impedance(k, v, r.record().kBranch, kFactorForm); }},
        {"faultKind", [](ScenarioReader& r, const std::string& k,
                         const Json& v) { r.code(k, v, faultKindNames(), kKindNone, r.record().faultKind); }},
        {"faultPhase",
         [](ScenarioReader& r, const std::string& k, const Json& v) {
             PhaseEntry& entry = r.phase();
             if (v.is_string()) {
                 entry.byName = true;
                 entry.name = v.get<std::string>();
                 entry.given = r.named(k, v, faultPhaseNames(), entry.chosen);
                 return;
             }
             int number = 0;
             if (r.wholeNumber(k, v, 2, choiceNames(faultPhaseNames()), number)) {
                 entry.given = true;
                 entry.chosen = {static_cast<std::uint8_t>(number), false};
             }
         }},
        {"useFaultResistance", [](ScenarioReader& r, const std::string& k,
                                  const Json& v) { r.boolean(k, v, r.record().useFaultResistance); }},
        {"faultResistance",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().faultResistance); }},
        {"faultDistance",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().faultDistance); }},
        {"branchDistance",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().branchDistance); }},
        {"initialAngle",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().initialAngle); }},
        {"initialAngleDeg",
         [](ScenarioReader& r, const std::string& k, const Json& v) {
             double degrees = 0.0;
             if (r.number(k, v, degrees)) {
                 r.record().initialAngle = degrees / kDegreesPerRadian;
             }
         }},
        {"swingPeriod",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().swingPeriod); }},
        {"swingAngle",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().swingAngle); }},
        {"swingRiseTau",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().swingRiseTau); }},
        {"swingDecayTau",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().swingDecayTau); }},
        {"asyncSlipPeriod",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().asyncSlipPeriod); }},
        {"asyncRiseTau",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.record().asyncRiseTau); }},
        {"zSwitched", [](ScenarioReader& r, const std::string& k,
                         const Json& v) { r.impedance(k, v, r.record().zSwitched, kImpedanceForm); }},
        {"sampleRate",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.scenario().sampleRate); }},
        {"duration",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.number(k, v, r.scenario().duration); }},
        {"station", [](ScenarioReader& r, const std::string& k, const Json& v) { r.text(k, v, r.scenario().station); }},
        {"device", [](ScenarioReader& r, const std::string& k, const Json& v) { r.text(k, v, r.scenario().device); }},
        {"startTime",
         [](ScenarioReader& r, const std::string& k, const Json& v) { r.text(k, v, r.scenario().startTime); }},
    };
    return readers;
}

// The checks that need more than one key, or the value beyond its type.
void checkValues(ScenarioReader& r) {
    const PhaseEntry& phase = r.phase();
    TransientScenario& s = r.scenario();
    RlParameters& p = s.record;

    if (r.usable({"frequency"}) && !(p.frequency > 0.0)) {
        r.problem("frequency", "must be above 0 Hz, not " + formatNumber(p.frequency));
    }
    if (r.usable({"loadVoltage"}) && p.loadVoltage < 0.0) {
        r.problem("loadVoltage", "must not be negative: it is the magnitude of the pre-fault phase voltage");
    }
    if (r.usable({"loadCurrent"}) && p.loadCurrent < 0.0) {
        r.problem("loadCurrent",
                  "must not be negative: it is the magnitude of the pre-fault current; turn the flow with loadAngle");
    }
    if (r.usable({"preFaultDuration"})) {
        if (p.preFaultDuration < 0.0) {
            r.problem("preFaultDuration", "must not be negative, not " + formatNumber(p.preFaultDuration));
        } else if (p.preFaultDuration > kMaxTimeSpan) {
            r.problem("preFaultDuration", "must not exceed " + formatNumber(kMaxTimeSpan) + " s");
        }
    }

    bool samplingUsable = r.usable({"sampleRate", "duration"});
    if (r.usable({"sampleRate"}) && !(s.sampleRate > 0.0 && s.sampleRate <= kMaxSampleRate)) {
        r.problem("sampleRate", "must be above 0 and at most " + formatNumber(kMaxSampleRate) + " Hz, not " +
                                    formatNumber(s.sampleRate));
        samplingUsable = false;
    }
    if (r.usable({"duration"}) && !(s.duration > 0.0 && s.duration <= kMaxTimeSpan)) {
        r.problem("duration",
                  "must be above 0 and at most " + formatNumber(kMaxTimeSpan) + " s, not " + formatNumber(s.duration));
        samplingUsable = false;
    }
    if (samplingUsable && r.usable({"frequency"}) && p.frequency > 0.0 && !(s.sampleRate > 2.0 * p.frequency)) {
        r.problem("sampleRate", formatNumber(s.sampleRate) + " Hz cannot show a " + formatNumber(p.frequency) +
                                    " Hz waveform; it must be above twice the frequency");
    }
    if (samplingUsable) {
        const double samples = std::round(s.duration * s.sampleRate);
        if (samples < 1.0) {
            r.problem("duration", formatNumber(s.duration) + " s is shorter than one sample at " +
                                      formatNumber(s.sampleRate) + " Hz");
        } else if (samples > static_cast<double>(kMaxSampleCount)) {
            r.problem("duration", formatNumber(s.duration) + " s at " + formatNumber(s.sampleRate) + " Hz gives " +
                                      formatNumber(samples) + " samples; at most " + std::to_string(kMaxSampleCount) +
                                      " are written");
        }
    }

    // Non-physical elements: a negative resistance makes the aperiodic
    // component grow instead of decay.
    const std::array<std::pair<const char*, Complex>, 5> impedances{
        {{"zS1", p.zS1}, {"zLine", p.zLine}, {"zS2", p.zS2}, {"zBranch", p.zBranch}, {"zSwitched", p.zSwitched}}};
    for (const auto& [key, z] : impedances) {
        if (r.usable({key}) && z.re < 0.0) {
            r.problem(key, "negative resistance " + formatNumber(z.re) + " ohm is not physical");
        }
    }
    const std::array<std::pair<const char*, Complex>, 4> factors{
        {{"kS1", p.kS1}, {"kLine", p.kLine}, {"kS2", p.kS2}, {"kBranch", p.kBranch}}};
    for (const auto& [key, k] : factors) {
        if (r.usable({key}) && (k.re < 0.0 || k.im < 0.0)) {
            r.problem(key, "negative zero-sequence factor [" + formatNumber(k.re) + ", " + formatNumber(k.im) +
                               "] gives a non-physical zero-sequence impedance");
        }
    }

    const bool networkUsable = r.usable({"networkType"});
    if (networkUsable && r.usable({"zS1", "zLine", "zS2"})) {
        const bool doubleCircuit = isDoubleCircuit(p.networkType);
        const Complex lineSection = doubleCircuit ? Complex(p.zLine.re / 2.0, p.zLine.im / 2.0) : p.zLine;
        const Complex loop = p.zS1 + lineSection + p.zS2;
        if (std::hypot(loop.re, loop.im) < kVanishingImpedance) {
            r.problem("zS1, zLine, zS2", std::string("the source-to-source loop ") +
                                             (doubleCircuit ? "zS1 + zLine/2 + zS2" : "zS1 + zLine + zS2") +
                                             " has no impedance");
        }
    }
    if (networkUsable && r.usable({"branchDistance"}) && p.networkType == kNetworkTappedBranch &&
        p.branchDistance < 0.0) {
        r.problem("branchDistance",
                  "must not be negative on a tapped branch: the branch section would have a "
                  "negative resistance");
    }

    if (r.usable({"useFaultResistance", "faultResistance"}) && p.useFaultResistance && p.faultResistance < 0.0) {
        r.problem("faultResistance", "must not be negative, not " + formatNumber(p.faultResistance) + " ohm");
    }
    const std::array<std::pair<const char*, double>, 3> timeConstants{
        {{"swingRiseTau", p.swingRiseTau}, {"swingDecayTau", p.swingDecayTau}, {"asyncRiseTau", p.asyncRiseTau}}};
    for (const auto& [key, tau] : timeConstants) {
        if (r.usable({key}) && tau < 0.0) {
            r.problem(key, "a time constant must not be negative, not " + formatNumber(tau) + " s");
        }
    }

    if (r.usable({"faultKind"})) {
        if (p.faultKind == kKindSwing && r.usable({"swingPeriod"}) && !(p.swingPeriod > 0.0)) {
            r.problem("swingPeriod", "a power swing needs a period above 0 s, not " + formatNumber(p.swingPeriod));
        }
        if (p.faultKind == kKindAsync && r.usable({"asyncSlipPeriod"}) && p.asyncSlipPeriod == 0.0) {
            r.problem("asyncSlipPeriod", "asynchronous operation needs a slip period other than 0 s");
        }
        if (p.faultKind == kKindLoadSwitching && networkUsable && p.networkType == kNetworkSingleLine &&
            r.usable({"zS1", "zSwitched"})) {
            const Complex loop = p.zS1 + p.zSwitched;
            if (std::hypot(loop.re, loop.im) < kVanishingImpedance) {
                r.problem("zSwitched", "load switching through zS1 + zSwitched needs an impedance");
            }
        }
        if (phase.given && phase.byName && r.usable({"faultPhase"})) {
            if (isOnePhaseKind(p.faultKind) && phase.chosen.pair) {
                r.problem("faultPhase", "'" + phase.name + "' is a phase pair, but faultKind " +
                                            faultKindName(p.faultKind) + " concerns one phase: use A, B or C");
            } else if (isTwoPhaseKind(p.faultKind) && !phase.chosen.pair) {
                r.problem("faultPhase", "'" + phase.name + "' is one phase, but faultKind " +
                                            faultKindName(p.faultKind) + " concerns a pair: use AB, BC or CA");
            }
        }
    }
    if (phase.given) {
        p.faultPhase = phase.chosen.value;
    }

    if (r.isGiven("initialAngle") && r.isGiven("initialAngleDeg")) {
        r.problem("initialAngleDeg", "give either initialAngle (radians) or initialAngleDeg (degrees), not both");
    }

    for (const auto& [key, label] : {std::pair<const char*, const std::string*>{"station", &s.station},
                                     std::pair<const char*, const std::string*>{"device", &s.device}}) {
        if (!r.usable({key})) {
            continue;
        }
        if (label->size() > kMaxLabelLength) {
            r.problem(key, "at most " + std::to_string(kMaxLabelLength) + " characters");
        } else if (std::any_of(label->begin(), label->end(),
                               [](char c) { return c == ',' || std::iscntrl(static_cast<unsigned char>(c)) != 0; })) {
            r.problem(key, "must not contain commas or control characters (it becomes a field of the COMTRADE header)");
        }
    }
    if (r.usable({"startTime"})) {
        const std::string wrong = parseStartTime(s.startTime, s.startTimeNanoseconds);
        if (!wrong.empty()) {
            r.problem("startTime", wrong);
        }
    }
}

}  // namespace

TransientScenario defaultScenario() {
    TransientScenario s;
    RlParameters& p = s.record;
    p.networkType = kNetworkSingleLine;
    p.preFaultDuration = 0.1;
    p.loadCurrent = 1.0;
    p.loadVoltage = 57.735;
    p.loadAngle = 20.0;
    p.frequency = 50.0;
    p.zS1 = Complex(0.5, 6.0);
    p.kS1 = Complex(1.5, 2.0);
    p.zLine = Complex(1.2, 12.0);
    p.kLine = Complex(3.0, 3.2);
    p.zS2 = Complex(0.8, 9.0);
    p.kS2 = Complex(1.5, 2.0);
    p.zBranch = Complex(0.6, 6.0);
    p.kBranch = Complex(3.0, 3.2);
    p.faultKind = kKindOnePhaseGround;
    p.faultPhase = 0;
    p.useFaultResistance = false;
    p.faultResistance = 0.0;
    p.faultDistance = 50.0;
    p.branchDistance = 50.0;
    p.initialAngle = 0.0;
    p.swingPeriod = 0.5;
    p.swingAngle = 120.0;
    p.swingRiseTau = 0.05;
    p.swingDecayTau = 1.0;
    p.asyncSlipPeriod = 0.5;
    p.asyncRiseTau = 0.1;
    p.zSwitched = Complex(54.0, 20.0);
    s.sampleRate = 10000.0;
    s.duration = 0.3;
    s.station = "KexCalculate";
    s.device = "kexcalc";
    s.startTime = "2000-01-01 00:00:00";
    parseStartTime(s.startTime, s.startTimeNanoseconds);
    return s;
}

ScenarioResult parseScenario(const std::string& jsonText) {
    ScenarioResult result;
    result.scenario = defaultScenario();

    // Duplicate keys would silently keep one of the values.
    std::vector<std::set<std::string>> objectKeys;
    std::vector<std::string> duplicates;
    const Json::parser_callback_t watchKeys = [&](int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) {
            objectKeys.emplace_back();
        } else if (event == Json::parse_event_t::object_end && !objectKeys.empty()) {
            objectKeys.pop_back();
        } else if (event == Json::parse_event_t::key && !objectKeys.empty() && parsed.is_string()) {
            const std::string key = parsed.get<std::string>();
            if (!objectKeys.back().insert(key).second && objectKeys.size() == 1) {
                duplicates.push_back(key);
            }
        }
        return true;
    };
    Json document;
    try {
        document = Json::parse(jsonText, watchKeys);
    } catch (const Json::exception& e) {
        std::string message = e.what();
        const std::size_t close = message.find("] ");
        if (message.rfind("[json.exception.", 0) == 0 && close != std::string::npos) {
            message.erase(0, close + 2);
        }
        result.problems.push_back("scenario file: not valid JSON: " + message);
        return result;
    }
    if (!document.is_object()) {
        result.problems.push_back("scenario file: must be a JSON object of keys and values, not " +
                                  ScenarioReader::describe(document));
        return result;
    }

    ScenarioReader reader(result);
    for (const std::string& key : duplicates) {
        reader.problem(key, "given more than once");
    }
    const std::vector<KeyReader>& readers = keyReaders();
    for (const auto& [key, value] : document.items()) {
        const auto known = std::find_if(readers.begin(), readers.end(),
                                        [&key = key](const KeyReader& entry) { return key == entry.key; });
        if (known == readers.end()) {
            std::string hint;
            std::size_t closest = 3;  // more edits than this is not a typo
            for (const KeyReader& entry : readers) {
                const std::size_t distance = editDistance(key, entry.key);
                if (distance < closest) {
                    closest = distance;
                    hint = std::string("; did you mean ") + entry.key + "?";
                }
            }
            reader.problem(key, "unknown key" + hint);
            continue;
        }
        reader.given(key);
        known->read(reader, key, value);
    }
    checkValues(reader);
    return result;
}

std::string renderScenarioJson(const TransientScenario& scenario) {
    const RlParameters& p = scenario.record;
    const auto pair = [](const Complex& z) { return Json::array({z.re, z.im}); };
    Json document = Json::object();
    document["networkType"] = networkTypeName(p.networkType);
    document["preFaultDuration"] = p.preFaultDuration;
    document["loadCurrent"] = p.loadCurrent;
    document["loadVoltage"] = p.loadVoltage;
    document["loadAngle"] = p.loadAngle;
    document["frequency"] = p.frequency;
    document["zS1"] = pair(p.zS1);
    document["kS1"] = pair(p.kS1);
    document["zLine"] = pair(p.zLine);
    document["kLine"] = pair(p.kLine);
    document["zS2"] = pair(p.zS2);
    document["kS2"] = pair(p.kS2);
    document["zBranch"] = pair(p.zBranch);
    document["kBranch"] = pair(p.kBranch);
    document["faultKind"] = faultKindName(p.faultKind);
    const std::string phaseName = faultPhaseName(p.faultKind, p.faultPhase);
    if (isOnePhaseKind(p.faultKind) || isTwoPhaseKind(p.faultKind)) {
        document["faultPhase"] = phaseName;
    } else {
        document["faultPhase"] = p.faultPhase;
    }
    document["useFaultResistance"] = p.useFaultResistance;
    document["faultResistance"] = p.faultResistance;
    document["faultDistance"] = p.faultDistance;
    document["branchDistance"] = p.branchDistance;
    document["initialAngle"] = p.initialAngle;
    document["swingPeriod"] = p.swingPeriod;
    document["swingAngle"] = p.swingAngle;
    document["swingRiseTau"] = p.swingRiseTau;
    document["swingDecayTau"] = p.swingDecayTau;
    document["asyncSlipPeriod"] = p.asyncSlipPeriod;
    document["asyncRiseTau"] = p.asyncRiseTau;
    document["zSwitched"] = pair(p.zSwitched);
    document["sampleRate"] = scenario.sampleRate;
    document["duration"] = scenario.duration;
    document["station"] = scenario.station;
    document["device"] = scenario.device;
    document["startTime"] = scenario.startTime;
    // One key per line, each value on it; doubles in the shortest text that
    // reads back to the same value.
    std::string text = "{\n";
    bool first = true;
    for (const auto& [key, value] : document.items()) {
        text += (first ? "  " : ",\n  ") + Json(key).dump() + ": " + value.dump();
        first = false;
    }
    return text + "\n}\n";
}

std::size_t sampleCount(const TransientScenario& scenario) {
    return static_cast<std::size_t>(std::llround(scenario.duration * scenario.sampleRate));
}

std::string faultKindName(std::uint8_t faultKind) {
    for (const auto& [name, value] : faultKindNames()) {
        if (value == faultKind) {
            return name;
        }
    }
    return std::to_string(faultKind);
}

std::string networkTypeName(std::int8_t networkType) {
    for (const auto& [name, value] : networkTypeNames()) {
        if (value == networkType) {
            return name;
        }
    }
    return std::to_string(networkType);
}

std::string faultPhaseName(std::uint8_t faultKind, std::uint8_t faultPhase) {
    const bool pair = isTwoPhaseKind(faultKind);
    if (faultPhase <= 2 && (pair || isOnePhaseKind(faultKind))) {
        for (const auto& [name, chosen] : faultPhaseNames()) {
            if (chosen.value == faultPhase && chosen.pair == pair) {
                return name;
            }
        }
    }
    return std::to_string(faultPhase);
}

std::vector<ScenarioKeyHelp> scenarioKeyHelp() {
    const Json defaults = Json::parse(renderScenarioJson(defaultScenario()));
    const auto value = [&defaults](const char* key) { return defaults.at(key).dump(); };
    const std::string impedance = "ohm, [R, X]";
    const std::string factors = "[R0/R1, X0/X1]";
    std::vector<ScenarioKeyHelp> keys{
        {"networkType", "-", value("networkType"),
         "network: 0 single-line, 1 tapped-branch, 2 double-circuit-healthy (relay on the healthy circuit), "
         "3 double-circuit-faulted (relay on the faulted circuit)"},
        {"preFaultDuration", "s", value("preFaultDuration"),
         "pre-fault interval; the disturbance starts at this time of the record"},
        {"loadCurrent", "A", value("loadCurrent"), "pre-fault current of phase A at the relay (RMS)"},
        {"loadVoltage", "V", value("loadVoltage"), "pre-fault phase voltage of phase A at the relay (RMS)"},
        {"loadAngle", "deg", value("loadAngle"), "angle by which the pre-fault current lags the voltage"},
        {"frequency", "Hz", value("frequency"), "network frequency"},
        {"zS1", impedance, value("zS1"), "positive-sequence impedance of source 1 (behind the relay)"},
        {"kS1", factors, value("kS1"), "zero-sequence factors of source 1"},
        {"zLine", impedance, value("zLine"), "positive-sequence impedance of the whole line (one circuit)"},
        {"kLine", factors, value("kLine"), "zero-sequence factors of the line"},
        {"zS2", impedance, value("zS2"), "positive-sequence impedance of source 2 (far end)"},
        {"kS2", factors, value("kS2"), "zero-sequence factors of source 2"},
        {"zBranch", impedance, value("zBranch"), "impedance of the whole tapped branch (tapped-branch only)"},
        {"kBranch", factors, value("kBranch"), "zero-sequence factors of the tapped branch"},
        {"faultKind", "-", value("faultKind"),
         "disturbance: 0 three-phase, 1 two-phase, 2 one-phase-ground, 3 two-phase-ground, 4 three-phase-alt "
         "(own time constant), 5 two-phase-alt, 6 one-phase-ground-alt, 7 two-phase-ground-alt, 8 swing, "
         "9 async, 10 phase-break, 11 load-switching, 12 none"},
        {"faultPhase", "-", value("faultPhase"),
         "0, 1, 2: phase A, B, C (one-phase kinds) or pair AB, BC, CA (two-phase kinds); or the letters"},
        {"useFaultResistance", "-", value("useFaultResistance"), "false: faultResistance is taken as 0"},
        {"faultResistance", "ohm", value("faultResistance"), "fault resistance"},
        {"faultDistance", "%", value("faultDistance"),
         "fault location from the relay busbar in percent of the line; negative: behind the relay"},
        {"branchDistance", "%", value("branchDistance"), "fault location in percent of the tapped branch"},
        {"initialAngle", "rad", value("initialAngle"), "phase angle of the network at the disturbance instant"},
        {"initialAngleDeg", "deg", "-", "the same in degrees (instead of initialAngle)"},
        {"swingPeriod", "s", value("swingPeriod"), "power swing: period of the angle oscillation"},
        {"swingAngle", "deg", value("swingAngle"), "power swing: angle between the sources it drives towards"},
        {"swingRiseTau", "s", value("swingRiseTau"), "power swing: time constant of its onset; 0 at once"},
        {"swingDecayTau", "s", value("swingDecayTau"), "power swing: decay of the oscillation; 0 none"},
        {"asyncSlipPeriod", "s", value("asyncSlipPeriod"), "asynchronous operation: time of one slip turn"},
        {"asyncRiseTau", "s", value("asyncRiseTau"), "asynchronous operation: build-up of the slip; 0 at once"},
        {"zSwitched", impedance, value("zSwitched"), "load switching on a single line: impedance switched in"},
        {"sampleRate", "Hz", value("sampleRate"),
         "samples per second, above twice the frequency, at most " + formatNumber(kMaxSampleRate)},
        {"duration", "s", value("duration"),
         "whole record, pre-fault interval included; at most " + std::to_string(kMaxSampleCount) + " samples"},
        {"station", "-", value("station"), "station name in the COMTRADE header (no commas, at most 64 characters)"},
        {"device", "-", value("device"), "recording device in the COMTRADE header (no commas, at most 64 characters)"},
        {"startTime", "-", value("startTime"), "time of the first sample, YYYY-MM-DD HH:MM:SS[.FFFFFFFFF]"},
    };
    return keys;
}

}  // namespace kexcalc
