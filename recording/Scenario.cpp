#include "Scenario.h"

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <system_error>
#include <utility>

#include "Choices.h"
#include "ComtradeWriter.h"
#include "CtStage.h"
#include "RlCodes.h"

namespace KexRecording {

namespace {

using Json = nlohmann::ordered_json;
using KexCalculate::Complex;
using KexCalculate::RlParameters;
namespace RlKind = KexCalculate::RlKind;
namespace RlNetwork = KexCalculate::RlNetwork;
namespace RlLimits = KexCalculate::RlLimits;

constexpr const char* kImpedanceForm = "[R, X] in ohms";
constexpr const char* kFactorForm = "[R0/R1, X0/X1]";

std::string formatNumber(double value) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.10g", value);
    return text.data();
}

// " s" after a number of seconds; nothing for values without a unit.
std::string unitSuffix(const ScenarioField& field) { return field.unit == "-" ? std::string() : " " + field.unit; }

// The largest code of a name table.
template <typename Names, typename Value>
int lastCode(const Names& names, Value valueOf) {
    int last = 0;
    for (const auto& entry : names) {
        last = std::max(last, static_cast<int>(valueOf(entry.second)));
    }
    return last;
}

std::string codeName(const CodeNames& names, int code) {
    for (const auto& [name, value] : names) {
        if (value == code) {
            return name;
        }
    }
    return std::to_string(code);
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

// "; did you mean faultKind?" for a near miss of a known name, else nothing.
std::string didYouMean(const std::string& key, const std::vector<ScenarioField>& fields, const std::string& prefix) {
    std::string hint;
    std::size_t closest = 3;  // more edits than this is not a typo
    for (const ScenarioField& known : fields) {
        const std::size_t distance = editDistance(key, known.name);
        if (distance < closest) {
            closest = distance;
            hint = "; did you mean " + prefix + known.name + "?";
        }
    }
    return hint;
}

// The faulted phase as the file gave it, resolved once the fault kind is known.
struct PhaseEntry {
    bool given = false;
    PhaseChoice chosen{0, false};
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
        result_.problems.push_back(escapeControlCharacters(key + ": " + text));
        failed_.insert(key);
    }
    void given(const std::string& key) { given_.insert(key); }
    bool isGiven(const std::string& key) const { return given_.count(key) > 0; }
    // True when every one of the keys holds a usable value (given or default).
    bool usable(std::initializer_list<const char*> keys) const {
        return std::none_of(keys.begin(), keys.end(), [this](const char* key) { return failed_.count(key) > 0; });
    }
    bool usable(const std::string& key) const { return failed_.count(key) == 0; }

    // The value of one key into its member; `key` names it in problems.
    void read(const ScenarioField& field, const std::string& key, const Json& value) {
        if (field.form == FieldForm::Phase) {
            readPhase(key, value);
        } else if (field.form == FieldForm::Group) {
            readGroup(field, key, value);
        } else {
            readValue(field, key, value);
        }
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
    void readValue(const ScenarioField& field, const std::string& key, const Json& value) {
        std::visit([&](const auto& member) { read(field, key, value, valueIn(scenario(), member)); }, field.member);
    }

    void read(const ScenarioField& field, const std::string& key, const Json& value, double& out) {
        double number = 0.0;
        if (this->number(key, value, number)) {
            out = number / field.divisor;
        }
    }

    void read(const ScenarioField& field, const std::string& key, const Json& value, Complex& out) {
        const char* form = field.form == FieldForm::Factors ? kFactorForm : kImpedanceForm;
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

    void read(const ScenarioField& /*field*/, const std::string& key, const Json& value, bool& out) {
        if (!value.is_boolean()) {
            problem(key, "must be true or false, not " + describe(value));
            return;
        }
        out = value.get<bool>();
    }

    void read(const ScenarioField& /*field*/, const std::string& key, const Json& value, std::string& out) {
        if (!value.is_string()) {
            problem(key, "must be a string, not " + describe(value));
            return;
        }
        out = value.get<std::string>();
    }

    // One number for the three phases, or [A, B, C].
    void read(const ScenarioField& /*field*/, const std::string& key, const Json& value, PhaseValues& out) {
        if (!value.is_array()) {
            double number = 0.0;
            if (this->number(key, value, number)) {
                out = {number, number, number};
            }
            return;
        }
        if (value.size() != out.size() ||
            !std::all_of(value.begin(), value.end(), [](const Json& v) { return v.is_number(); })) {
            problem(key, "must be one number for the three phases or three numbers [A, B, C]; not " + describe(value));
            return;
        }
        PhaseValues numbers{};
        for (std::size_t phase = 0; phase < numbers.size(); ++phase) {
            if (!this->number(key, value[phase], numbers[phase])) {
                return;
            }
        }
        out = numbers;
    }

    // A group within a group is not read: there is none.
    void read(const ScenarioField& /*field*/, const std::string& /*key*/, const Json& /*value*/, CtScenario& /*out*/) {}

    // An object of the group's fields; a missing one keeps its default.
    void readGroup(const ScenarioField& group, const std::string& key, const Json& value) {
        const std::vector<ScenarioField>& members = groupMembers(group);
        if (!value.is_object()) {
            std::string names;
            for (const ScenarioField& member : members) {
                names += (names.empty() ? "" : ", ") + member.name;
            }
            problem(key, "must be an object of the keys " + names + "; not " + describe(value));
            return;
        }
        scenario().ct = std::get<MemberOf<TransientScenario, CtScenario>>(group.member).builtIn;
        scenario().ct.present = true;
        const std::string prefix = key + '.';
        for (const auto& [name, item] : value.items()) {
            const std::string path = prefix + name;
            const ScenarioField* member = findField(members, name);
            if (member == nullptr) {
                problem(path, "unknown key" + didYouMean(name, members, prefix));
                continue;
            }
            given(path);
            readValue(*member, path, item);
        }
    }

    // A code given as a whole number in [0, last] or by name; a choice by name only.
    template <typename Code>
    void read(const ScenarioField& field, const std::string& key, const Json& value, Code& out) {
        const CodeNames& names = *field.codes;
        int code = 0;
        if (field.form == FieldForm::Choice && !value.is_string()) {
            problem(key, "must be one of " + choiceNames(names) + " (a string), not " + describe(value));
        } else if (value.is_string()
                       ? named(key, value, names, code)
                       : wholeNumber(key, value, lastCode(names, [](int v) { return v; }), choiceNames(names), code)) {
            out = static_cast<Code>(code);
        }
    }

    // 0, 1, 2, or the letters; which of them fit depends on the fault kind.
    void readPhase(const std::string& key, const Json& value) {
        if (value.is_string()) {
            phase_.byName = true;
            phase_.name = value.get<std::string>();
            phase_.given = named(key, value, faultPhaseNames(), phase_.chosen);
            return;
        }
        const int last = lastCode(faultPhaseNames(), [](PhaseChoice c) { return c.value; });
        int number = 0;
        if (wholeNumber(key, value, last, choiceNames(faultPhaseNames()), number)) {
            phase_.given = true;
            phase_.chosen = {static_cast<std::uint8_t>(number), false};
        }
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

    template <typename T>
    bool named(const std::string& key, const Json& value, const Choices<T>& names, T& out) {
        const std::string name = value.get<std::string>();
        const T* chosen = findChoice(name, names);
        if (chosen == nullptr) {
            problem(key, unknownChoice(name, names));
            return false;
        }
        out = *chosen;
        return true;
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

    ScenarioResult& result_;
    std::set<std::string> failed_;
    std::set<std::string> given_;
    PhaseEntry phase_;
};

// What one field's rule says about its value.
void checkRule(ScenarioReader& r, const ScenarioField& field) {
    using Rule = FieldRule::Kind;
    const FieldRule& rule = field.rule;
    const std::string& key = field.name;
    const auto number = [&](const double value) {
        if (rule.kind == Rule::NotNegative) {
            if (value < 0.0) {
                r.problem(key, rule.reason != nullptr
                                   ? std::string("must not be negative: ") + rule.reason
                                   : "must not be negative, not " + formatNumber(value) + unitSuffix(field));
            } else if (value > rule.upperLimit) {
                r.problem(key, "must not exceed " + formatNumber(rule.upperLimit) + unitSuffix(field));
            }
        } else if (rule.kind == Rule::Positive && !(value > 0.0 && value <= rule.upperLimit)) {
            const std::string limit =
                std::isinf(rule.upperLimit) ? "" : " and at most " + formatNumber(rule.upperLimit);
            r.problem(key, "must be above 0" + limit + unitSuffix(field) + ", not " + formatNumber(value));
        }
    };
    const auto pair = [&](const Complex& z) {
        if (rule.kind == Rule::NoNegativeResistance && z.re < 0.0) {
            r.problem(key, "negative resistance " + formatNumber(z.re) + " ohm is not physical");
        } else if (rule.kind == Rule::NoNegativeFactors && (z.re < 0.0 || z.im < 0.0)) {
            r.problem(key, "negative zero-sequence factor [" + formatNumber(z.re) + ", " + formatNumber(z.im) +
                               "] gives a non-physical zero-sequence impedance");
        }
    };
    const auto text = [&](const std::string& value) {
        if (rule.kind == Rule::HeaderLabel) {
            const std::string wrong = KexComtrade::textFieldProblem(value, KexComtrade::kMaxNameLength);
            if (!wrong.empty()) {
                r.problem(key, wrong + "; allowed: " + headerLabelAllowed());
            }
        } else if (rule.kind == Rule::DateTime) {
            const std::string wrong = parseStartTime(value, r.scenario().startTimeNanoseconds);
            if (!wrong.empty()) {
                r.problem(key, wrong);
            }
        }
    };
    std::visit(
        [&](const auto& member) {
            const auto& value = valueIn(r.scenario(), member);
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, double>) {
                number(value);
            } else if constexpr (std::is_same_v<Value, Complex>) {
                pair(value);
            } else if constexpr (std::is_same_v<Value, std::string>) {
                text(value);
            }
        },
        field.member);
}

// The checks that need more than one key.
void checkCombinations(ScenarioReader& r) {
    const PhaseEntry& phase = r.phase();
    TransientScenario& s = r.scenario();
    RlParameters& p = s.record;

    if (r.usable({"sampleRate", "duration", "frequency"}) && !(s.sampleRate > 2.0 * p.frequency)) {
        r.problem("sampleRate", formatNumber(s.sampleRate) + " Hz cannot show a " + formatNumber(p.frequency) +
                                    " Hz waveform; it must be above twice the frequency");
    }
    if (r.usable({"sampleRate", "duration"})) {
        const double samples = std::round(s.duration * s.sampleRate);
        if (samples < 1.0) {
            r.problem("duration", formatNumber(s.duration) + " s is shorter than one sample at " +
                                      formatNumber(s.sampleRate) + " Hz");
        } else if (samples > static_cast<double>(KexComtrade::kMaxSampleCount)) {
            r.problem("duration", formatNumber(s.duration) + " s at " + formatNumber(s.sampleRate) + " Hz gives " +
                                      formatNumber(samples) + " samples; at most " +
                                      std::to_string(KexComtrade::kMaxSampleCount) + " are written");
        } else if (r.usable("preFaultDuration")) {
            const std::string outside = disturbanceOutsideRecord(timeAxis(s));
            if (!outside.empty()) {
                r.problem("preFaultDuration, duration", outside + "; make duration longer than preFaultDuration");
            }
        }
    }

    const bool networkUsable = r.usable("networkType");
    if (networkUsable && r.usable({"zS1", "zLine", "zS2"})) {
        const bool doubleCircuit = RlNetwork::isDoubleCircuit(p.networkType);
        const Complex lineSection = doubleCircuit ? Complex(p.zLine.re / 2.0, p.zLine.im / 2.0) : p.zLine;
        const Complex loop = p.zS1 + lineSection + p.zS2;
        if (std::hypot(loop.re, loop.im) < RlLimits::QuotientGuard) {
            r.problem("zS1, zLine, zS2", std::string("the source-to-source loop ") +
                                             (doubleCircuit ? "zS1 + zLine/2 + zS2" : "zS1 + zLine + zS2") +
                                             " has no impedance");
        }
    }
    if (networkUsable && r.usable("branchDistance") && p.networkType == RlNetwork::TappedBranch &&
        p.branchDistance < 0.0) {
        r.problem("branchDistance",
                  "must not be negative on a tapped branch: the branch section would have a "
                  "negative resistance");
    }
    if (r.usable({"useFaultResistance", "faultResistance"}) && p.useFaultResistance && p.faultResistance < 0.0) {
        r.problem("faultResistance", "must not be negative, not " + formatNumber(p.faultResistance) + " ohm");
    }

    if (r.usable("faultKind")) {
        if (p.faultKind == RlKind::Swing && r.usable("swingPeriod") && !(p.swingPeriod > 0.0)) {
            r.problem("swingPeriod", "a power swing needs a period above 0 s, not " + formatNumber(p.swingPeriod));
        }
        if (p.faultKind == RlKind::AsyncOperation && r.usable("asyncSlipPeriod") && p.asyncSlipPeriod == 0.0) {
            r.problem("asyncSlipPeriod", "asynchronous operation needs a slip period other than 0 s");
        }
        if (p.faultKind == RlKind::LoadSwitching && networkUsable && p.networkType == RlNetwork::SingleLine &&
            r.usable({"zS1", "zSwitched"})) {
            const Complex loop = p.zS1 + p.zSwitched;
            if (std::hypot(loop.re, loop.im) < RlLimits::QuotientGuard) {
                r.problem("zSwitched", "load switching through zS1 + zSwitched needs an impedance");
            }
        }
        if (phase.given && phase.byName && r.usable("faultPhase")) {
            if (RlKind::isOnePhase(p.faultKind) && phase.chosen.pair) {
                r.problem("faultPhase", "'" + phase.name + "' is a phase pair, but faultKind " +
                                            faultKindName(p.faultKind) + " concerns one phase: use A, B or C");
            } else if (RlKind::isTwoPhase(p.faultKind) && !phase.chosen.pair) {
                r.problem("faultPhase", "'" + phase.name + "' is one phase, but faultKind " +
                                            faultKindName(p.faultKind) + " concerns a pair: use AB, BC or CA");
            }
        }
    }
    if (phase.given) {
        p.faultPhase = phase.chosen.value;
    }

    for (const ScenarioField& field : scenarioFields()) {
        if (field.aliasOf != nullptr && r.isGiven(field.name) && r.isGiven(field.aliasOf)) {
            const ScenarioField* other = findScenarioField(field.aliasOf);
            r.problem(field.name, std::string("give either ") + field.aliasOf + " (" + other->unit + ") or " +
                                      field.name + " (" + field.unit + "), not both");
        }
    }
}

// The number a field of the CTs holds for a phase.
double ctValue(const TransientScenario& s, const ScenarioField& field, std::size_t phase) {
    return std::visit(
        [&](const auto& member) {
            const auto& value = valueIn(s, member);
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, PhaseValues>) {
                return value.at(phase);
            } else if constexpr (std::is_same_v<Value, double>) {
                return value;
            } else {
                return std::numeric_limits<double>::quiet_NaN();
            }
        },
        field.member);
}

// Each field of the CTs against the CT's own check, the others at their
// defaults, so that every field that makes no sense is named at once.
void checkCurrentTransformers(ScenarioReader& r) {
    const TransientScenario& s = r.scenario();
    const ScenarioField& group = *findScenarioField("ct");
    if (!s.ct.present || !r.usable("ct")) {
        return;
    }
    const CtScenario& defaults = std::get<MemberOf<TransientScenario, CtScenario>>(group.member).builtIn;
    // A frequency with a problem of its own is not the CTs' problem.
    bool named = !r.usable("frequency");
    const double frequency = named ? defaultScenario().record.frequency : s.record.frequency;
    for (const ScenarioField& member : groupMembers(group)) {
        const std::string key = group.name + "." + member.name;
        named = named || !r.usable(key);
        TransientScenario alone = s;
        alone.ct = defaults;
        alone.record.frequency = frequency;
        std::visit([&](const auto& field) { valueIn(alone, field) = valueIn(s, field); }, member.member);
        for (std::size_t phase = 0; phase < kPhaseCount && r.usable(key); ++phase) {
            const KexCalculate::CtParameterCheck check = KexCalculate::CtSaturation::check(ctParameters(alone)[phase]);
            if (check.field != nullptr && member.name == check.field) {
                const bool phasesDiffer =
                    ctValue(s, member, 0) != ctValue(s, member, 1) || ctValue(s, member, 1) != ctValue(s, member, 2);
                r.problem(key, std::string("must be ") + check.requirement + ", not " +
                                   formatNumber(ctValue(s, member, phase)) +
                                   (phasesDiffer ? std::string(" in phase ") + "ABC"[phase] : std::string()));
                named = true;
            }
        }
    }
    // What the check finds in the fields together.
    for (std::size_t phase = 0; phase < kPhaseCount && !named; ++phase) {
        const KexCalculate::CtParameterCheck check = KexCalculate::CtSaturation::check(ctParameters(s)[phase]);
        if (check.field != nullptr) {
            r.problem(group.name + "." + check.field, std::string("must be ") + check.requirement);
            named = true;
        }
    }
}

// How a member's value is written in a scenario file.
Json valueJson(const ScenarioField& field, const TransientScenario& scenario) {
    return std::visit(
        [&](const auto& member) -> Json {
            const auto& value = valueIn(scenario, member);
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, Complex>) {
                return Json::array({value.re, value.im});
            } else if constexpr (std::is_same_v<Value, std::uint8_t> || std::is_same_v<Value, std::int8_t> ||
                                 std::is_enum_v<Value>) {
                return codeName(*field.codes, static_cast<int>(value));
            } else if constexpr (std::is_same_v<Value, PhaseValues>) {
                const auto same = [](double a, double b) { return a == b && std::signbit(a) == std::signbit(b); };
                if (same(value[0], value[1]) && same(value[1], value[2])) {
                    return value[0];
                }
                return Json::array({value[0], value[1], value[2]});
            } else if constexpr (std::is_same_v<Value, CtScenario>) {
                return {};  // a group, written field by field
            } else {
                return value;
            }
        },
        field.member);
}

// How a field is written in a scenario file: a group as an object of its fields.
Json fieldJson(const ScenarioField& field, const TransientScenario& scenario) {
    if (field.form == FieldForm::Phase) {
        const RlParameters& p = scenario.record;
        if (RlKind::isOnePhase(p.faultKind) || RlKind::isTwoPhase(p.faultKind)) {
            return faultPhaseName(p.faultKind, p.faultPhase);
        }
        return p.faultPhase;
    }
    if (field.form == FieldForm::Group) {
        Json object = Json::object();
        for (const ScenarioField& member : groupMembers(field)) {
            object[member.name] = valueJson(member, scenario);
        }
        return object;
    }
    return valueJson(field, scenario);
}

// A value of the key table: `0.5`, `[0.5, 6.0]`.
std::string tableValue(const Json& json) {
    std::string text;
    for (const Json& item : json.is_array() ? json : Json::array({json})) {
        text += (text.empty() ? "" : ", ") + item.dump();
    }
    return "`" + (json.is_array() ? "[" + text + "]" : text) + "`";
}

}  // namespace

std::string escapeControlCharacters(const std::string& text) {
    constexpr unsigned char kC1Lead = 0xC2;  // UTF-8 of U+0080 to U+009F: 0xC2 0x80..0x9F
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        const bool c1 =
            byte == kC1Lead && k + 1 < text.size() && (static_cast<unsigned char>(text[k + 1]) & 0xE0U) == 0x80U;
        if (byte < 0x20U || byte == 0x7FU || c1) {
            const unsigned code = c1 ? static_cast<unsigned char>(text[++k]) : byte;
            std::array<char, 8> hex{};
            std::snprintf(hex.data(), hex.size(), "\\x%02x", code);
            escaped += hex.data();
        } else {
            escaped += text[k];
        }
    }
    return escaped;
}

ScenarioText readScenarioText(int descriptor) {
    ScenarioText result;
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            result.error = errno;
            result.problem = result.error == EISDIR
                                 ? "is a directory, not a scenario file"
                                 : "cannot read the scenario: " + std::generic_category().message(result.error);
            return result;
        }
        if (count == 0) {
            return result;
        }
        if (result.text.size() + static_cast<std::size_t>(count) > kMaxScenarioBytes) {
            result.text.clear();
            result.problem = "larger than " + std::to_string(kMaxScenarioBytes / kBytesPerMiB) +
                             " MiB; a scenario is a JSON object of a few kilobytes";
            return result;
        }
        result.text.append(buffer.data(), static_cast<std::size_t>(count));
    }
}

ScenarioText readScenarioFile(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        ScenarioText result;
        result.error = errno;
        result.problem = "cannot read the scenario file: " + std::generic_category().message(result.error);
        return result;
    }
    ScenarioText result = readScenarioText(descriptor);
    ::close(descriptor);
    return result;
}

ScenarioResult parseScenario(const std::string& jsonText) {
    ScenarioResult result;
    result.scenario = defaultScenario();

    // Duplicate keys would silently keep one of the values: those of the
    // scenario and of its groups are named by their path ("ct.exponent").
    struct Container {
        std::string path;  // "" for the scenario, "ct." for its group, "zS1[]." inside an array
        std::string lastKey;
        std::set<std::string> keys;
    };
    std::vector<Container> containers;
    std::vector<std::string> duplicates;
    const auto isScenarioPath = [](const std::string& path) {
        if (path.empty()) {
            return true;
        }
        const ScenarioField* group = findScenarioField(path.substr(0, path.size() - 1));
        return group != nullptr && group->form == FieldForm::Group;
    };
    const Json::parser_callback_t watchKeys = [&](int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) {
            std::string path;
            if (!containers.empty()) {
                path = containers.back().path + containers.back().lastKey +
                       (event == Json::parse_event_t::array_start ? "[]." : ".");
            }
            containers.push_back({path, "", {}});
        } else if ((event == Json::parse_event_t::object_end || event == Json::parse_event_t::array_end) &&
                   !containers.empty()) {
            containers.pop_back();
        } else if (event == Json::parse_event_t::key && !containers.empty() && parsed.is_string()) {
            Container& object = containers.back();
            object.lastKey = parsed.get<std::string>();
            if (!object.keys.insert(object.lastKey).second && isScenarioPath(object.path)) {
                duplicates.push_back(object.path + object.lastKey);
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
        result.problems.push_back(escapeControlCharacters("scenario file: not valid JSON: " + message));
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
    for (const auto& [key, value] : document.items()) {
        const ScenarioField* field = findScenarioField(key);
        if (field == nullptr) {
            reader.problem(key, "unknown key" + didYouMean(key, scenarioFields(), ""));
            continue;
        }
        reader.given(key);
        reader.read(*field, key, value);
    }
    for (const ScenarioField& field : scenarioFields()) {
        if (field.aliasOf == nullptr && reader.usable(field.name)) {
            checkRule(reader, field);
        }
    }
    checkCombinations(reader);
    checkCurrentTransformers(reader);
    return result;
}

std::string renderScenarioJson(const TransientScenario& scenario) {
    // One key per line, each value on it (a group's keys each on a line of
    // their own); doubles in the shortest text that reads back to the same
    // value.
    std::string text = "{\n";
    bool first = true;
    for (const ScenarioField& field : scenarioFields()) {
        if (field.aliasOf == nullptr && isPresent(field, scenario)) {
            const Json value = fieldJson(field, scenario);
            text += (first ? "  " : ",\n  ") + Json(field.name).dump() + ": ";
            if (value.is_object()) {
                std::string members;
                for (const auto& [key, item] : value.items()) {
                    members += (members.empty() ? "\n    " : ",\n    ") + Json(key).dump() + ": " + item.dump();
                }
                text += "{" + members + "\n  }";
            } else {
                text += value.dump();
            }
            first = false;
        }
    }
    return text + "\n}\n";
}

std::vector<ScenarioKeyHelp> scenarioKeyHelp() {
    const TransientScenario defaults = defaultScenario();
    std::vector<ScenarioKeyHelp> keys;
    for (const ScenarioField& field : scenarioFields()) {
        std::string unit = field.unit;
        if (field.form == FieldForm::Impedance) {
            unit += std::string(", `") + "[R, X]`";
        } else if (field.form == FieldForm::Factors) {
            unit = std::string("`") + kFactorForm + "`";
        }
        // A group is absent unless given; its fields follow it.
        const bool hasValue = field.aliasOf == nullptr && field.form != FieldForm::Group;
        keys.push_back({field.name, unit, hasValue ? tableValue(fieldJson(field, defaults)) : "-", field.meaning});
        for (const ScenarioField& member : groupMembers(field)) {
            keys.push_back(
                {field.name + "." + member.name, member.unit, tableValue(valueJson(member, defaults)), member.meaning});
        }
    }
    return keys;
}

}  // namespace KexRecording
