#include "ScenarioFields.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#include "ComtradeWriter.h"
#include "RlCodes.h"

namespace KexRecording {

namespace {

using KexCalculate::Complex;
using KexCalculate::RlParameters;
using Rule = FieldRule::Kind;

constexpr double kDegreesPerRadian = 57.295779513082320876;
constexpr int kFirstYear = 1970;
constexpr int kLastYear = 2200;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

FieldRule any() { return {}; }
FieldRule notNegative(double upperLimit = kInfinity, const char* reason = nullptr) {
    return {Rule::NotNegative, upperLimit, reason};
}
FieldRule positive(double upperLimit = kInfinity) { return {Rule::Positive, upperLimit, nullptr}; }
FieldRule ruleOf(Rule kind) { return {kind, kInfinity, nullptr}; }

template <typename Owner>
ScenarioField number(const char* name, const char* unit, double Owner::*member, double builtIn, FieldRule rule,
                     std::string meaning) {
    return {name, FieldForm::Number, unit, std::move(meaning), MemberOf<Owner, double>{member, builtIn}, rule};
}

ScenarioField impedance(const char* name, Complex RlParameters::*member, Complex builtIn, std::string meaning) {
    return {name,
            FieldForm::Impedance,
            "ohm",
            std::move(meaning),
            MemberOf<RlParameters, Complex>{member, builtIn},
            ruleOf(Rule::NoNegativeResistance)};
}

ScenarioField factors(const char* name, Complex RlParameters::*member, Complex builtIn, std::string meaning) {
    return {name,
            FieldForm::Factors,
            "-",
            std::move(meaning),
            MemberOf<RlParameters, Complex>{member, builtIn},
            ruleOf(Rule::NoNegativeFactors)};
}

ScenarioField flag(const char* name, bool RlParameters::*member, bool builtIn, std::string meaning) {
    return {name, FieldForm::Flag, "-", std::move(meaning), MemberOf<RlParameters, bool>{member, builtIn}, any()};
}

template <typename Code>
ScenarioField code(const char* name, Code RlParameters::*member, Code builtIn, const CodeNames& names,
                   std::string meaning) {
    ScenarioField field{name, FieldForm::Code, "-", std::move(meaning), MemberOf<RlParameters, Code>{member, builtIn},
                        any()};
    field.codes = &names;
    return field;
}

// A setting of the scenario given by name only.
template <typename Setting>
ScenarioField choice(const char* name, Setting TransientScenario::*member, Setting builtIn, const CodeNames& names,
                     std::string meaning) {
    ScenarioField field{
        name, FieldForm::Choice, "-", std::move(meaning), MemberOf<TransientScenario, Setting>{member, builtIn}, any()};
    field.codes = &names;
    return field;
}

ScenarioField phase(const char* name, std::uint8_t RlParameters::*member, std::uint8_t builtIn, std::string meaning) {
    return {name, FieldForm::Phase, "-", std::move(meaning), MemberOf<RlParameters, std::uint8_t>{member, builtIn},
            any()};
}

ScenarioField text(const char* name, std::string TransientScenario::*member, const char* builtIn, FieldRule rule,
                   std::string meaning) {
    return {name, FieldForm::Text, "-", std::move(meaning), MemberOf<TransientScenario, std::string>{member, builtIn},
            rule};
}

ScenarioField alias(const char* name, const char* unit, double RlParameters::*member, const char* of, double divisor,
                    std::string meaning) {
    ScenarioField field = number(name, unit, member, 0.0, any(), std::move(meaning));
    field.aliasOf = of;
    field.divisor = divisor;
    return field;
}

ScenarioField perPhase(const char* name, PhaseValues CtScenario::*member, double builtIn, std::string meaning) {
    return {name,
            FieldForm::PerPhase,
            "-",
            std::move(meaning),
            MemberOf<CtScenario, PhaseValues>{member, {builtIn, builtIn, builtIn}},
            any()};
}

// The current transformers. The defaults are the classic worked example of CT
// saturation: a 5 A CT of class C400 with a burden of 4 + j2 ohm, its
// winding resistance counted in the burden. The CT's own check decides what
// makes sense, so the fields carry no rule of their own.
ScenarioField currentTransformers() {
    using C = CtScenario;
    static const std::vector<ScenarioField> members{
        number("windingResistance", "ohm", &C::windingResistance, 0.0, any(),
               "secondary winding resistance Rw (by default counted in the burden)"),
        number("burdenResistance", "ohm", &C::burdenResistance, 4.0, any(), "burden resistance Rb: relay and leads"),
        number("burdenReactance", "ohm", &C::burdenReactance, 2.0, any(),
               "burden reactance Xb at the network `frequency`"),
        number("saturationVoltage", "V", &C::saturationVoltage, 400.0, any(),
               "saturation voltage Vs, RMS: a sinusoidal flux of peak sqrt(2) Vs / omega draws 10 A RMS of excitation "
               "current"),
        number("exponent", "-", &C::exponent, 22.0, any(),
               "exponent S of the excitation curve: the excitation current grows with the S-th power of the flux; 1 to "
               "30"),
        perPhase("remanence", &C::remanence, 0.0,
                 "flux at the start of the record as a fraction of sqrt(2) Vs / omega, -0.95 to 0.95: one number for "
                 "the three phases or `[A, B, C]`"),
    };
    TransientScenario withDefaults;
    for (const ScenarioField& member : members) {
        std::visit([&withDefaults](const auto& m) { valueIn(withDefaults, m) = m.builtIn; }, member.member);
    }
    const CtScenario builtIn = withDefaults.ct;
    ScenarioField group{"ct",
                        FieldForm::Group,
                        "-",
                        "current transformers between the model's currents and the outputs: an object of the `ct.` "
                        "keys below, a missing one at its default (a 5 A CT of class C400 with a 4 + j2 ohm burden); "
                        "IA, IB, IC become the secondary currents and `IA ideal`, `IB ideal`, `IC ideal` are added. "
                        "Without it there are no CTs",
                        MemberOf<TransientScenario, CtScenario>{&TransientScenario::ct, builtIn},
                        any()};
    group.members = &members;
    return group;
}

std::vector<ScenarioField> makeFields() {
    namespace RlKind = KexCalculate::RlKind;
    namespace RlNetwork = KexCalculate::RlNetwork;
    using P = RlParameters;
    using S = TransientScenario;
    const std::string headerLabel = "in the COMTRADE header: " + headerLabelAllowed();
    return {
        code("networkType", &P::networkType, RlNetwork::SingleLine, networkTypeNames(),
             "`0` `\"single-line\"`, `1` `\"tapped-branch\"`, `2` `\"double-circuit-healthy\"` (relay on the healthy "
             "circuit), `3` `\"double-circuit-faulted\"` (relay on the faulted circuit)"),
        number("preFaultDuration", "s", &P::preFaultDuration, 0.1, notNegative(kMaxTimeSpan),
               "pre-fault interval; the disturbance starts at this time of the record"),
        number("loadCurrent", "A", &P::loadCurrent, 1.0,
               notNegative(kInfinity, "it is the magnitude of the pre-fault current; turn the flow with loadAngle"),
               "pre-fault current of phase A at the relay, RMS (not negative)"),
        number("loadVoltage", "V", &P::loadVoltage, 57.735,
               notNegative(kInfinity, "it is the magnitude of the pre-fault phase voltage"),
               "pre-fault phase voltage of phase A at the relay, RMS (not negative)"),
        number("loadAngle", "degrees", &P::loadAngle, 20.0, any(),
               "angle by which the pre-fault current lags the voltage"),
        number("frequency", "Hz", &P::frequency, 50.0, positive(), "network frequency"),
        impedance("zS1", &P::zS1, Complex(0.5, 6.0), "source 1, behind the relay"),
        factors("kS1", &P::kS1, Complex(1.5, 2.0), "zero-sequence factors of source 1"),
        impedance("zLine", &P::zLine, Complex(1.2, 12.0), "the whole protected line (one circuit)"),
        factors("kLine", &P::kLine, Complex(3.0, 3.2), "zero-sequence factors of the line"),
        impedance("zS2", &P::zS2, Complex(0.8, 9.0), "source 2, at the far end"),
        factors("kS2", &P::kS2, Complex(1.5, 2.0), "zero-sequence factors of source 2"),
        impedance("zBranch", &P::zBranch, Complex(0.6, 6.0), "the whole tapped branch (tapped-branch network)"),
        factors("kBranch", &P::kBranch, Complex(3.0, 3.2), "zero-sequence factors of the branch"),
        code("faultKind", &P::faultKind, RlKind::OnePhaseGround, faultKindNames(),
             "disturbance, number or name: `0` `\"three-phase\"`, `1` `\"two-phase\"`, `2` `\"one-phase-ground\"`, "
             "`3` `\"two-phase-ground\"`, `4` `\"three-phase-alt\"`, `5` `\"two-phase-alt\"`, `6` "
             "`\"one-phase-ground-alt\"`, `7` `\"two-phase-ground-alt\"`, `8` `\"swing\"`, `9` `\"async\"`, `10` "
             "`\"phase-break\"`, `11` `\"load-switching\"`, `12` `\"none\"`"),
        phase("faultPhase", &P::faultPhase, 0,
              "`0`, `1`, `2`, or by name: `\"A\"`, `\"B\"`, `\"C\"` for the one-phase kinds (2, 6, 10), `\"AB\"`, "
              "`\"BC\"`, `\"CA\"` for the two-phase kinds (1, 3, 5, 7)"),
        flag("useFaultResistance", &P::useFaultResistance, false, "`false`: the fault resistance is taken as 0"),
        number("faultResistance", "ohm", &P::faultResistance, 0.0, any(), "fault resistance"),
        number("faultDistance", "%", &P::faultDistance, 50.0, any(),
               "fault location from the relay busbar in percent of the line; negative: behind the relay"),
        number("branchDistance", "%", &P::branchDistance, 50.0, any(),
               "fault location in percent of the tapped branch"),
        number("initialAngle", "rad", &P::initialAngle, 0.0, any(),
               "phase angle of the network at the disturbance instant"),
        alias("initialAngleDeg", "degrees", &P::initialAngle, "initialAngle", kDegreesPerRadian,
              "the same in degrees, instead of `initialAngle` (not both)"),
        number("swingPeriod", "s", &P::swingPeriod, 0.5, any(), "power swing: period of the angle oscillation"),
        number("swingAngle", "degrees", &P::swingAngle, 120.0, any(),
               "power swing: the angle between the sources it drives towards"),
        number("swingRiseTau", "s", &P::swingRiseTau, 0.05, notNegative(),
               "power swing: time constant of its onset; 0 at once"),
        number("swingDecayTau", "s", &P::swingDecayTau, 1.0, notNegative(),
               "power swing: time constant of the decay of the oscillation; 0 no oscillation"),
        number("asyncSlipPeriod", "s", &P::asyncSlipPeriod, 0.5, any(),
               "asynchronous operation: time of one full slip turn; negative turns the other way"),
        number("asyncRiseTau", "s", &P::asyncRiseTau, 0.1, notNegative(),
               "asynchronous operation: time constant of the build-up of the slip; 0 at once"),
        impedance("zSwitched", &P::zSwitched, Complex(54.0, 20.0),
                  "load switching on a single line: the impedance switched in"),
        choice("aperiodicModel", &S::aperiodicModel, AperiodicModel::Exact, aperiodicModelNames(),
               "the decaying DC component: `\"exact\"` every time constant of the network (faultKind 0 to 7, and 11 "
               "on a single line; other kinds keep the single time constant), `\"single-time-constant\"` one time "
               "constant for all channels"),
        number("sampleRate", "Hz", &S::sampleRate, 10000.0, positive(kMaxSampleRate),
               "samples per second, above twice the `frequency`, at most " +
                   groupedDigits(static_cast<std::uint64_t>(kMaxSampleRate))),
        number("duration", "s", &S::duration, 0.3, positive(kMaxTimeSpan),
               "the whole record, pre-fault interval included; round(duration x sampleRate) samples, at least 1 and "
               "at most " +
                   groupedDigits(KexComtrade::kMaxSampleCount)),
        text("station", &S::station, "KexCalculate", ruleOf(Rule::HeaderLabel), "station name " + headerLabel),
        text("device", &S::device, "kexcalc", ruleOf(Rule::HeaderLabel), "recording device " + headerLabel),
        text("startTime", &S::startTime, "2000-01-01 00:00:00", ruleOf(Rule::DateTime),
             "time of the first sample (UTC), `YYYY-MM-DD HH:MM:SS` with up to nine decimals of the second, a `T` "
             "allowed for the blank, years " +
                 std::to_string(kFirstYear) + " to " + std::to_string(kLastYear)),
        currentTransformers(),
    };
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

std::uint64_t bitsOf(double x) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}
bool sameValue(double a, double b) { return bitsOf(a) == bitsOf(b); }
bool sameValue(const Complex& a, const Complex& b) { return sameValue(a.re, b.re) && sameValue(a.im, b.im); }
bool sameValue(const PhaseValues& a, const PhaseValues& b) {
    return sameValue(a[0], b[0]) && sameValue(a[1], b[1]) && sameValue(a[2], b[2]);
}
// A group is compared field by field.
bool sameValue(const CtScenario& /*a*/, const CtScenario& /*b*/) { return true; }
template <typename Value>
bool sameValue(const Value& a, const Value& b) {
    return a == b;
}

bool isFinite(double value) { return std::isfinite(value); }
bool isFinite(const Complex& value) { return std::isfinite(value.re) && std::isfinite(value.im); }
template <typename Value>
bool isFinite(const Value& /*value*/) {
    return true;
}

template <typename Value>
bool isFiniteIn(const RlParameters& record, const MemberOf<RlParameters, Value>& field) {
    return isFinite(record.*(field.member));
}
template <typename Owner, typename Value>
bool isFiniteIn(const RlParameters& /*record*/, const MemberOf<Owner, Value>& /*field*/) {
    return true;
}

template <typename Value>
bool inRecord(const MemberOf<RlParameters, Value>& /*member*/) {
    return true;
}
template <typename Owner, typename Value>
bool inRecord(const MemberOf<Owner, Value>& /*member*/) {
    return false;
}

}  // namespace

const CodeNames& aperiodicModelNames() {
    static const CodeNames names{{"exact", static_cast<int>(AperiodicModel::Exact)},
                                 {"single-time-constant", static_cast<int>(AperiodicModel::SingleTimeConstant)}};
    return names;
}

std::string aperiodicModelName(AperiodicModel model) {
    return aperiodicModelNames().at(static_cast<std::size_t>(model)).first;
}

const std::string& headerLabelAllowed() {
    static const std::string allowed =
        "printable ASCII (letters, digits, blanks, punctuation) without commas, at most " +
        std::to_string(KexComtrade::kMaxNameLength) + " characters";
    return allowed;
}

const std::vector<ScenarioField>& scenarioFields() {
    static const std::vector<ScenarioField> fields = makeFields();
    return fields;
}

bool isRecordField(const ScenarioField& field) {
    return std::visit([](const auto& member) { return inRecord(member); }, field.member);
}

const ScenarioField* findScenarioField(const std::string& name) { return findField(scenarioFields(), name); }

const std::vector<ScenarioField>& groupMembers(const ScenarioField& field) {
    static const std::vector<ScenarioField> none;
    return field.members != nullptr ? *field.members : none;
}

const ScenarioField* findField(const std::vector<ScenarioField>& fields, const std::string& name) {
    for (const ScenarioField& field : fields) {
        if (field.name == name) {
            return &field;
        }
    }
    return nullptr;
}

TransientScenario defaultScenario() {
    TransientScenario scenario;
    for (const ScenarioField& field : scenarioFields()) {
        if (field.aliasOf == nullptr) {
            std::visit([&scenario](const auto& member) { valueIn(scenario, member) = member.builtIn; }, field.member);
        }
    }
    parseStartTime(scenario.startTime, scenario.startTimeNanoseconds);
    return scenario;
}

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

std::size_t sampleCount(const TransientScenario& scenario) {
    return static_cast<std::size_t>(std::llround(scenario.duration * scenario.sampleRate));
}

TimeAxis timeAxis(const TransientScenario& scenario) {
    TimeAxis axis;
    axis.sampleRate = scenario.sampleRate;
    axis.count = sampleCount(scenario);
    axis.hasDisturbance = true;
    axis.disturbanceTime = scenario.record.preFaultDuration;
    return axis;
}

const ScenarioField* firstNonFiniteField(const RlParameters& record) {
    for (const ScenarioField& field : scenarioFields()) {
        const bool finite =
            std::visit([&record](const auto& member) { return isFiniteIn(record, member); }, field.member);
        if (!finite) {
            return &field;
        }
    }
    return nullptr;
}

bool isPresent(const ScenarioField& field, const TransientScenario& scenario) {
    if (field.form != FieldForm::Group) {
        return true;
    }
    return std::visit(
        [&scenario](const auto& member) {
            if constexpr (std::is_same_v<std::decay_t<decltype(valueIn(scenario, member))>, CtScenario>) {
                return valueIn(scenario, member).present;
            } else {
                return true;
            }
        },
        field.member);
}

std::vector<std::string> differingFields(const TransientScenario& a, const TransientScenario& b) {
    std::vector<std::string> names;
    const auto compare = [&](const ScenarioField& field, const std::string& name) {
        if (field.aliasOf == nullptr &&
            !std::visit([&](const auto& member) { return sameValue(valueIn(a, member), valueIn(b, member)); },
                        field.member)) {
            names.push_back(name);
        }
    };
    for (const ScenarioField& field : scenarioFields()) {
        if (field.form != FieldForm::Group) {
            compare(field, field.name);
        } else if (isPresent(field, a) != isPresent(field, b)) {
            names.push_back(field.name);
        } else if (isPresent(field, a)) {
            for (const ScenarioField& member : groupMembers(field)) {
                compare(member, field.name + "." + member.name);
            }
        }
    }
    return names;
}

std::string groupedDigits(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::size_t k = digits.size(); k > 3; k -= 3) {
        digits.insert(k - 3, " ");
    }
    return digits;
}

}  // namespace KexRecording
