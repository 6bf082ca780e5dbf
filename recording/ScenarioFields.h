// A transient test as a scenario: the model's parameter record plus how the
// six channels are sampled and how the recording is labelled, and the one
// description of its fields (name, unit, meaning, built-in value, range rule,
// member) that the scenario reader and writer, the help text, the Python
// binding and the fuzz harnesses all iterate. A new field is one entry of
// scenarioFields().
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include "CalculationRl.h"
#include "Complex.h"
#include "RlNames.h"
#include "Sampling.h"

namespace KexRecording {

// The fastest sampling a scenario may ask for.
constexpr double kMaxSampleRate = 1.0e6;  // Hz
// Time stamps are kept in nanoseconds since 1970 in a 64-bit integer.
constexpr double kMaxTimeSpan = 1.0e6;  // s

// How the decaying DC component of the waveforms is formed.
enum class AperiodicModel : std::uint8_t {
    Exact,               // every time constant of the network (CalculationRlExact), where it applies
    SingleTimeConstant,  // the model's one time constant for all channels (CalculationRl)
};

// Their names, by the enumeration's values: "exact", "single-time-constant".
const CodeNames& aperiodicModelNames();
std::string aperiodicModelName(AperiodicModel model);

// A value per phase: A, B, C.
using PhaseValues = std::array<double, 3>;

// The current transformers between the model's current channels and the
// outputs, when the scenario has them: one CT and burden in every phase, a
// remanence of its own in each. Their frequency is the network's.
struct CtScenario {
    bool present = false;            // the scenario has "ct"
    double windingResistance = 0.0;  // ohm
    double burdenResistance = 0.0;   // ohm
    double burdenReactance = 0.0;    // ohm at the network frequency
    double saturationVoltage = 0.0;  // V RMS
    double exponent = 0.0;           // of the excitation curve
    PhaseValues remanence{};         // fractions of the saturation flux
};

// What the record does not carry: the aperiodic model, sampling, the labels
// of the recording and the current transformers.
struct TransientScenario {
    KexCalculate::RlParameters record{};
    AperiodicModel aperiodicModel = AperiodicModel::Exact;
    double sampleRate = 0.0;                // Hz
    double duration = 0.0;                  // s, whole record, pre-fault interval included
    std::string station;                    // station name in the COMTRADE header
    std::string device;                     // recording device name in the COMTRADE header
    std::string startTime;                  // "YYYY-MM-DD HH:MM:SS[.fraction]", time of the first sample
    std::int64_t startTimeNanoseconds = 0;  // the same, since 1970-01-01 00:00:00
    CtScenario ct;
};

// How a value is written in a scenario file.
enum class FieldForm {
    Number,     // a number
    Impedance,  // [R, X] in ohms
    Factors,    // zero-sequence factors [R0/R1, X0/X1]
    Flag,       // true or false
    Code,       // a whole number or its name
    Choice,     // one of the names of `codes`, never a number
    Phase,      // 0, 1, 2 or the letters of a phase or phase pair
    Text,       // a string
    PerPhase,   // one number for the three phases, or [A, B, C]
    Group,      // an object of the fields in `members`, absent unless given
};

// What a value must satisfy by itself; rules between fields are the reader's.
struct FieldRule {
    enum class Kind {
        Any,
        NotNegative,           // at most upperLimit
        Positive,              // at most upperLimit
        NoNegativeResistance,  // of an impedance
        NoNegativeFactors,
        HeaderLabel,  // a field of the COMTRADE header
        DateTime,     // YYYY-MM-DD HH:MM:SS[.fraction]
    };
    Kind kind = Kind::Any;
    double upperLimit = std::numeric_limits<double>::infinity();
    const char* reason = nullptr;  // why a negative value is wrong, where the unit does not say it
};

// A member of the record or of the scenario, with the built-in scenario's value.
template <typename Owner, typename Value>
struct MemberOf {
    Value Owner::*member;
    Value builtIn;
};

using FieldMember = std::variant<
    MemberOf<KexCalculate::RlParameters, double>, MemberOf<KexCalculate::RlParameters, KexCalculate::Complex>,
    MemberOf<KexCalculate::RlParameters, bool>, MemberOf<KexCalculate::RlParameters, std::uint8_t>,
    MemberOf<KexCalculate::RlParameters, std::int8_t>, MemberOf<TransientScenario, double>,
    MemberOf<TransientScenario, std::string>, MemberOf<TransientScenario, AperiodicModel>,
    MemberOf<TransientScenario, CtScenario>, MemberOf<CtScenario, double>, MemberOf<CtScenario, PhaseValues>>;

struct ScenarioField {
    std::string name;
    FieldForm form;
    std::string unit;     // of a number, "ohm" for impedances, "-" without one
    std::string meaning;  // one line; `backticks` mark names and values
    FieldMember member;
    FieldRule rule;
    const CodeNames* codes = nullptr;  // Code, Choice: the names, in the order of the codes
    // Another way to give a field in other units: the file's value divided by
    // `divisor` goes to the member of `aliasOf`. Aliases are read, never written.
    const char* aliasOf = nullptr;
    double divisor = 1.0;
    // Group: its fields, named inside its object and as "group.field" in
    // problems and the key table.
    const std::vector<ScenarioField>* members = nullptr;
};

// The fields of a group; none for any other field.
const std::vector<ScenarioField>& groupMembers(const ScenarioField& field);

// Whether the field is a member of the model's record rather than of the
// sampling or the labels.
bool isRecordField(const ScenarioField& field);

// What a field of the COMTRADE header may hold, as the key table and the
// messages say it.
const std::string& headerLabelAllowed();

// In the order of the help text and of a written scenario file.
const std::vector<ScenarioField>& scenarioFields();
const ScenarioField* findScenarioField(const std::string& name);
// The field of that name among `fields` (a group's members), or null.
const ScenarioField* findField(const std::vector<ScenarioField>& fields, const std::string& name);

// The member a field reads and writes.
template <typename Value>
Value& valueIn(TransientScenario& scenario, const MemberOf<KexCalculate::RlParameters, Value>& field) {
    return scenario.record.*(field.member);
}
template <typename Value>
Value& valueIn(TransientScenario& scenario, const MemberOf<TransientScenario, Value>& field) {
    return scenario.*(field.member);
}
template <typename Value>
const Value& valueIn(const TransientScenario& scenario, const MemberOf<KexCalculate::RlParameters, Value>& field) {
    return scenario.record.*(field.member);
}
template <typename Value>
const Value& valueIn(const TransientScenario& scenario, const MemberOf<TransientScenario, Value>& field) {
    return scenario.*(field.member);
}
template <typename Value>
Value& valueIn(TransientScenario& scenario, const MemberOf<CtScenario, Value>& field) {
    return scenario.ct.*(field.member);
}
template <typename Value>
const Value& valueIn(const TransientScenario& scenario, const MemberOf<CtScenario, Value>& field) {
    return scenario.ct.*(field.member);
}

// Whether a scenario has the field: a group only when given.
bool isPresent(const ScenarioField& field, const TransientScenario& scenario);

// The built-in scenario: a phase-A-to-ground fault at 50 % of a transmission
// line, secondary values of a 50 Hz network.
TransientScenario defaultScenario();

// "YYYY-MM-DD HH:MM:SS" with an optional fraction of up to nine digits (a 'T'
// may stand for the blank) as nanoseconds since 1970. Returns an empty string,
// or what is wrong.
std::string parseStartTime(const std::string& text, std::int64_t& nanoseconds);

// round(duration * sampleRate): sample k lies at k / sampleRate.
std::size_t sampleCount(const TransientScenario& scenario);

// The scenario's samples on one time axis, the disturbance at preFaultDuration.
TimeAxis timeAxis(const TransientScenario& scenario);

// The first field of the record holding a value that is not finite (a number,
// or a part of an impedance or a factor pair); nullptr when all are finite.
const ScenarioField* firstNonFiniteField(const KexCalculate::RlParameters& record);

// The fields whose values differ, bit for bit (0 differs from -0); a field
// of a group as "group.field".
std::vector<std::string> differingFields(const TransientScenario& a, const TransientScenario& b);

// "4 294 967 295": digits in groups of three, as the help text writes limits.
std::string groupedDigits(std::uint64_t value);

}  // namespace KexRecording
