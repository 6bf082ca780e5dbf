#include "SteadyStateCommands.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <limits>
#include <memory>
#include <string>

#include "CalculationFault.h"
#include "CalculationP.h"
#include "CalculationSymComponents.h"
#include "CalculationZ.h"
#include "CommandLine.h"
#include "DistanceParameters.h"
#include "PhasorFormat.h"

namespace kexcalc {

namespace {

using namespace KexCalculate;

const std::string kKindHelp =
    "Fault kind: AN, BN, CN (phase to ground), AB, BC, CA (phase to phase), ABN, BCN, CAN (two phases to ground), "
    "ABC (three-phase), ABC_lin (three-phase, value given as a line value); letter case does not matter";
const std::string kImpedanceKindHelp =
    "Fault kind: AN, BN, CN (phase to ground), AB, BC, CA (phase to phase), ABN, BCN, CAN (two phases to ground), "
    "ABC (three-phase); letter case does not matter";
const std::string kPhasorForms = "RE,IM or MAGNITUDE@DEGREES";

constexpr double kRightAngle = 90.0;  // degrees

// The test set's nominal phase voltage, 100 V between phases.
constexpr double kNominalPhaseVoltage = 57.73502691896258;

// Not one of the three ground-factor forms: no ground-return impedance.
constexpr auto kNoGroundFactor = static_cast<GroundFactorMode>(-1);

const Choices<Quantity>& quantityChoices() {
    static const Choices<Quantity> quantities{{"voltage", Quantity::Voltage}, {"current", Quantity::Current}};
    return quantities;
}

const Choices<GroundFactorMode>& groundFactorChoices() {
    static const Choices<GroundFactorMode> modes{
        {"k0", K0}, {"re-rl-xe-xl", RE_RL_XE_XL}, {"z0-z1", Z0_Z1}, {"none", kNoGroundFactor}};
    return modes;
}

KexRelay::AnalogChannelSourceType sourceType(Quantity quantity) {
    return quantity == Quantity::Voltage ? KexRelay::Voltage : KexRelay::Current;
}

// The whole output is formed before anything is written, so a failure leaves
// stdout empty. `inputs` names the options whose values make up the result.
void printReport(const PhasorReport& report, bool json, const std::string& inputs, const ReportFigures& figures = {}) {
    if (!isFinite(report)) {
        throw ArgumentError(inputs, "the result lies beyond the range of a double; give magnitudes of a test set");
    }
    std::cout << (json ? renderJson(report, figures) : renderTable(report, figures)) << std::flush;
}

void addJsonFlag(CLI::App& command, bool& json) {
    command.add_flag("--json", json,
                     "Print JSON instead of a table: {\"voltages\":{\"A\":{\"magnitude\",\"angleDeg\","
                     "\"re\",\"im\"},\"B\":..,\"C\":..},\"currents\":{..}}");
}

double healthyValue(const CLI::Option& option, const std::string& text) {
    return option.count() > 0 ? parseNumber(text, option.get_name()) : -1.0;
}

// Exactly one of --current and --voltage: which quantity is held constant and
// its magnitude.
struct HeldQuantity {
    Quantity quantity;
    double magnitude;
};

struct HeldQuantityOptions {
    std::string current;
    std::string voltage;
    CLI::Option* currentOption = nullptr;
    CLI::Option* voltageOption = nullptr;

    void add(CLI::App& command, const std::string& currentHelp, const std::string& voltageHelp) {
        currentOption = command.add_option("--current", current, currentHelp)->type_name("A");
        voltageOption = command.add_option("--voltage", voltage, voltageHelp)->type_name("V");
    }

    bool given() const { return currentOption->count() > 0 || voltageOption->count() > 0; }

    HeldQuantity parse() const {
        const bool byCurrent = currentOption->count() > 0;
        const bool byVoltage = voltageOption->count() > 0;
        if (byCurrent == byVoltage) {
            throw ArgumentError("--current, --voltage", byCurrent ? "give only one of them" : "give one of them");
        }
        return byCurrent ? HeldQuantity{Quantity::Current, parseNumber(current, "--current")}
                         : HeldQuantity{Quantity::Voltage, parseNumber(voltage, "--voltage")};
    }
};

void addFaultCommand(CLI::App& app) {
    struct Options {
        std::string kind;
        std::string type;
        std::string value;
        std::string angle = "0";
        std::string healthy;
        CLI::Option* healthyOption = nullptr;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    CLI::App* command = app.add_subcommand("fault", "Phase values of a voltage or current system for a fault");
    command->add_option("--kind", options->kind, kKindHelp)->required()->type_name("KIND");
    command->add_option("--type", options->type, "Which system: voltage or current")
        ->required()
        ->type_name("voltage|current");
    command
        ->add_option("--value", options->value,
                     "Magnitude in the faulted loop, V or A: the phase value for a phase to ground, the voltage "
                     "between the two phases (or the current in them) for AB, BC, CA, the line value for ABC_lin")
        ->required()
        ->type_name("V|A");
    command
        ->add_option("--angle", options->angle,
                     "Angle of the faulted phase or loop (first letter minus second for AB, BC, CA), degrees; "
                     "default 0")
        ->type_name("DEG");
    options->healthyOption =
        command
            ->add_option("--healthy", options->healthy,
                         "Magnitude of the healthy phases, V or A; negative or left out: 57.735027 V (100/sqrt(3)) "
                         "for voltages, 0 A for currents")
            ->type_name("V|A");
    addJsonFlag(*command, options->json);
    command->callback([options]() {
        const Fault kind = parseChoice(options->kind, faultKindChoices(), "--kind");
        const Quantity quantity = parseChoice(options->type, quantityChoices(), "--type");
        const double value = parseNumber(options->value, "--value");
        const double angle = degreesToRadians(parseNumber(options->angle, "--angle"));
        const double healthy = healthyValue(*options->healthyOption, options->healthy);
        const ThreePhaseSystem system =
            CalculationFault::calculateFault(sourceType(quantity), kind, value, angle, healthy);
        printReport({{quantity, system}}, options->json, "--value, --healthy");
    });
}

void addPowerCommand(CLI::App& app) {
    struct Options {
        std::string kind;
        std::string power;
        HeldQuantityOptions held;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    CLI::App* command =
        app.add_subcommand("power", "Voltage and current systems that carry a given complex power in a fault loop");
    command->add_option("--kind", options->kind, kKindHelp)->required()->type_name("KIND");
    command
        ->add_option("--power", options->power,
                     "Complex power S = P + jQ of the faulted loop, VA (" + kPhasorForms +
                         "); its angle goes to "
                         "the computed quantity")
        ->required()
        ->type_name("VA");
    options->held.add(*command, "Hold the loop current at this magnitude, A (at 0 degrees); the voltage follows",
                      "Hold the loop voltage at this magnitude, V (at 0 degrees); the current follows");
    addJsonFlag(*command, options->json);
    command->callback([options]() {
        const Fault kind = parseChoice(options->kind, faultKindChoices(), "--kind");
        Complex power = parsePhasor(options->power, "--power").rectangular;
        const HeldQuantity held = options->held.parse();
        if (held.magnitude == 0.0) {
            throw ArgumentError(held.quantity == Quantity::Current ? "--current" : "--voltage",
                                "must not be zero: the power is divided by it");
        }
        const ThreePhaseUISystem result = held.quantity == Quantity::Current
                                              ? CalculationP::calculatePIconst(kind, power, held.magnitude)
                                              : CalculationP::calculatePUconst(kind, power, held.magnitude);
        printReport({{Quantity::Voltage, result.voltages}, {Quantity::Current, result.currents}}, options->json,
                    held.quantity == Quantity::Current ? "--power, --current" : "--power, --voltage");
    });
}

// The source of the constant-source-impedance test: its EMF (phase to
// neutral) behind ZS1 with the zero-sequence factor pair (R0/R1, X0/X1).
struct Source {
    Complex impedance;
    Complex factors{1.0, 1.0};
    double voltage = kNominalPhaseVoltage;
};

struct SourceOptions {
    std::string impedance;
    std::string factors;
    std::string voltage;
    CLI::Option* impedanceOption = nullptr;
    CLI::Option* factorsOption = nullptr;
    CLI::Option* voltageOption = nullptr;

    void add(CLI::App& command) {
        impedanceOption =
            command
                .add_option("--source-z", impedance,
                            "Hold the source impedance ZS1 behind the relay instead of a current or a voltage, ohm (" +
                                kPhasorForms +
                                "): a source of --source-voltage feeds a bolted fault at the "
                                "impedance point")
                ->type_name("OHM");
        factorsOption = command
                            .add_option("--source-factors", factors,
                                        "Zero-sequence factors of the source, R0/R1,X0/X1, no unit; default 1,1")
                            ->type_name("KR,KX");
        voltageOption = command
                            .add_option("--source-voltage", voltage,
                                        "Source EMF, phase to neutral, V; default 57.735027 (100/sqrt(3))")
                            ->type_name("V");
    }

    bool given() const { return impedanceOption->count() > 0; }

    // The source settings only make sense beside a source impedance.
    void rejectWithoutSource() const {
        for (const CLI::Option* option : {factorsOption, voltageOption}) {
            if (option->count() > 0) {
                throw ArgumentError(option->get_name(), "only used with --source-z");
            }
        }
    }

    Source parse() const {
        Source source;
        source.impedance = parsePhasor(impedance, "--source-z").rectangular;
        if (source.impedance.re < 0.0) {
            throw ArgumentError("--source-z", "the resistance in '" + impedance + "' is negative; no source has one");
        }
        if (factorsOption->count() > 0) {
            source.factors = parsePhasor(factors, "--source-factors").rectangular;
            if (source.factors.re < 0.0 || source.factors.im < 0.0) {
                throw ArgumentError("--source-factors",
                                    "a negative factor gives a non-physical zero-sequence impedance");
            }
        }
        if (voltageOption->count() > 0) {
            source.voltage = parseNumber(voltage, "--source-voltage");
            if (source.voltage < 0.0) {
                throw ArgumentError("--source-voltage", "must not be negative: it is the magnitude of the source EMF");
            }
        }
        return source;
    }
};

constexpr const char* kSirLabel = "SIR (|ZS1| / |ZD|)";

// The source-to-impedance ratio against the impedance the relay measures (the
// point after the arc rule); infinite for a fault at the relay itself.
double sourceToImpedanceRatio(CalculationZ& calculation, const Source& source, const Kex::Polar& z,
                              const DistanceParameters& p) {
    const double measured = Complex::abs(calculation._calcArcResistanceZ(Complex::fromPolar(z), p));
    return measured > 0.0 ? Complex::abs(source.impedance) / measured : std::numeric_limits<double>::infinity();
}

// The library gives no current at all where the fault loop has no impedance
// (its guard against dividing by it); a voltage across a loop always drives
// a current, so no current at all is the sign. `loop` names the options that
// make up the loop impedance.
void rejectLoopWithoutImpedance(const ThreePhaseUISystem& result, double voltage, const std::string& loop,
                                const std::string& why) {
    for (const Phase phase : {A, B, C}) {
        const Complex i = result.currents.getPhaseComplexValue(phase);
        if (i.re != 0.0 || i.im != 0.0 || voltage == 0.0) {
            return;
        }
    }
    throw ArgumentError(loop, "the fault loop has no impedance (" + why + "); no finite current flows through it");
}

// The options whose values form the fault loop's impedance: the point, for a
// ground loop the ground factor in use, and the arc rule.
std::string loopOptions(Fault kind, const DistanceParameters& p) {
    std::string options = "--z";
    const bool groundLoop = kind == AN || kind == BN || kind == CN || kind == ABN || kind == BCN || kind == CAN;
    if (groundLoop) {
        switch (p.loop.groundFactorMode) {
        case K0:
            options += ", --k0";
            break;
        case RE_RL_XE_XL:
            options += ", --re-rl-xe-xl";
            break;
        case Z0_Z1:
            options += ", --z0z1";
            break;
        default:
            break;
        }
    }
    return p.loop.arcResistance ? options + ", --arc-resistance" : options;
}

void addImpedanceCommand(CLI::App& app) {
    struct Options {
        std::string kind;
        std::string z;
        HeldQuantityOptions held;
        SourceOptions source;
        std::string healthy;
        CLI::Option* healthyOption = nullptr;
        bool voltageReference = false;
        std::string groundFactor = "k0";
        std::string k0;
        std::string reRlXeXl;
        std::string z0z1;
        CLI::Option* k0Option = nullptr;
        CLI::Option* reRlXeXlOption = nullptr;
        CLI::Option* z0z1Option = nullptr;
        bool arcResistance = false;
        std::string lineAngle;
        CLI::Option* lineAngleOption = nullptr;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    const DistanceParameters defaults;
    CLI::App* command =
        app.add_subcommand("impedance", "Voltage and current systems at which a distance relay sees a given impedance");
    command->add_option("--kind", options->kind, kImpedanceKindHelp)->required()->type_name("KIND");
    command->add_option("--z", options->z, "Impedance point seen by the relay, ohm (" + kPhasorForms + ")")
        ->required()
        ->type_name("OHM");
    options->held.add(*command, "Hold the fault current at this magnitude, A; the voltage follows",
                      "Hold the fault voltage at this magnitude, V; the current follows");
    options->source.add(*command);
    options->healthyOption =
        command
            ->add_option("--healthy", options->healthy,
                         "Magnitude of the healthy phases: current in A with --current, voltage in V with --voltage; "
                         "negative or left out: 0 A, or 57.735027 V (100/sqrt(3))")
            ->type_name("A|V");
    command->add_flag("--voltage-reference", options->voltageReference,
                      "Put the voltages at 0 degrees and turn the currents back by the impedance angle (by default "
                      "the currents stand at 0 degrees)");
    command
        ->add_option("--ground-factor", options->groundFactor,
                     "Form of the ground compensation factor: k0, re-rl-xe-xl, z0-z1, or none (no ground return); "
                     "default k0")
        ->type_name("FORM");
    options->k0Option =
        command
            ->add_option("--k0", options->k0, "Complex ground factor k0, no unit (" + kPhasorForms + "); default 1@0")
            ->type_name("K0");
    options->reRlXeXlOption = command
                                  ->add_option("--re-rl-xe-xl", options->reRlXeXl,
                                               "Ground factors RE/RL and XE/XL as RE_RL,XE_XL, no unit; default 1,1")
                                  ->type_name("RE_RL,XE_XL");
    options->z0z1Option = command
                              ->add_option("--z0z1", options->z0z1,
                                           "Ratio Z0/Z1 of the line, no unit (" + kPhasorForms + "); default 4@0")
                              ->type_name("Z0/Z1");
    command->add_flag("--arc-resistance", options->arcResistance,
                      "Drop the resistance of the impedance point beyond the line angle (arc resistance)");
    options->lineAngleOption =
        command
            ->add_option("--line-angle", options->lineAngle,
                         "Angle of the line impedance, degrees; used by --arc-resistance; default 80")
            ->type_name("DEG");
    addJsonFlag(*command, options->json);
    command->callback([options, defaults]() {
        const Fault kind = parseChoice(options->kind, faultKindChoices(), "--kind");
        if (kind == ABC_lin) {
            throw ArgumentError("--kind", "impedance tests are not defined for ABC_lin; use ABC");
        }
        const Kex::Polar z = parsePhasor(options->z, "--z").polar;
        const bool bySource = options->source.given();
        if (bySource && options->held.given()) {
            throw ArgumentError("--source-z", "give it instead of --current or --voltage, not beside them");
        }
        if (!bySource) {
            options->source.rejectWithoutSource();
            if (!options->held.given()) {
                throw ArgumentError("--current, --voltage, --source-z", "give one of them");
            }
        } else if (options->healthyOption->count() > 0) {
            throw ArgumentError("--healthy", "only used with --current or --voltage");
        }

        DistanceParameters parameters = defaults;
        parameters.loop.groundFactorMode = parseChoice(options->groundFactor, groundFactorChoices(), "--ground-factor");
        // A factor of another form than the one in use would be silently ignored.
        const auto factorFor = [&](const CLI::Option& option, GroundFactorMode mode, const std::string& modeName) {
            const bool given = option.count() > 0;
            if (given && parameters.loop.groundFactorMode != mode) {
                throw ArgumentError(option.get_name(), "only used with --ground-factor " + modeName);
            }
            return given;
        };
        if (factorFor(*options->k0Option, K0, "k0")) {
            parameters.loop.k0 = parsePhasor(options->k0, "--k0").polar;
        }
        if (factorFor(*options->reRlXeXlOption, RE_RL_XE_XL, "re-rl-xe-xl")) {
            parameters.loop.reRlXeXl = parsePhasor(options->reRlXeXl, "--re-rl-xe-xl").rectangular;
        }
        if (factorFor(*options->z0z1Option, Z0_Z1, "z0-z1")) {
            parameters.loop.z0z1 = parsePhasor(options->z0z1, "--z0z1").polar;
        }
        parameters.loop.arcResistance = options->arcResistance;
        if (options->lineAngleOption->count() > 0) {
            if (!options->arcResistance) {
                throw ArgumentError("--line-angle", "only used with --arc-resistance");
            }
            const double lineAngle = parseNumber(options->lineAngle, "--line-angle");
            if (!(lineAngle > 0.0 && lineAngle <= kRightAngle)) {
                throw ArgumentError(
                    "--line-angle",
                    "the angle of a line impedance lies above 0 and at most 90 degrees, not " + options->lineAngle);
            }
            parameters.lineImpedance.angle = degreesToRadians(lineAngle);
        }

        CalculationZ calculation;
        calculation.voltageReference = options->voltageReference;
        ThreePhaseUISystem result;
        if (bySource) {
            const Source source = options->source.parse();
            result =
                calculation.calculateZZsconst(kind, z, source.impedance, source.factors, source.voltage, parameters);
            rejectLoopWithoutImpedance(result, source.voltage, loopOptions(kind, parameters) + ", --source-z",
                                       "the source impedance cancels the line's");
            printReport({{Quantity::Voltage, result.voltages}, {Quantity::Current, result.currents}}, options->json,
                        "--z, --source-z, --source-voltage",
                        {{"sir", kSirLabel, sourceToImpedanceRatio(calculation, source, z, parameters)}});
            return;
        }
        const HeldQuantity held = options->held.parse();
        const double healthy = healthyValue(*options->healthyOption, options->healthy);
        if (held.quantity == Quantity::Current) {
            // The loop voltage takes the healthy current into its residual
            // current as given, so the default (0 A) is resolved here rather
            // than passing a negative value through.
            const double healthyCurrent = healthy < 0.0 ? 0.0 : healthy;
            result = calculation.calculateZIconst(kind, z, held.magnitude, healthyCurrent, parameters);
        } else {
            result = calculation.calculateZUconst(kind, z, held.magnitude, healthy, parameters);
            rejectLoopWithoutImpedance(result, held.magnitude, loopOptions(kind, parameters),
                                       "below 1e-8 ohm; hold --current instead");
        }
        printReport({{Quantity::Voltage, result.voltages}, {Quantity::Current, result.currents}}, options->json,
                    held.quantity == Quantity::Current ? "--z, --current, --healthy" : "--z, --voltage, --healthy");
    });
}

void addSymCommand(CLI::App& app) {
    struct Options {
        std::string zero = "0";
        std::string positive = "0";
        std::string negative = "0";
        std::string quantity = "voltage";
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    CLI::App* command =
        app.add_subcommand("sym",
                           "Phase values from symmetrical components (A = S0 + S1 + S2, B = S0 + a^2 S1 + a S2, "
                           "C = S0 + a S1 + a^2 S2, a = 1@120)");
    const std::string unitNote = " (" + kPhasorForms + "), V or A; default 0";
    command->add_option("--zero", options->zero, "Zero-sequence component" + unitNote)->type_name("S0");
    command->add_option("--positive", options->positive, "Positive-sequence component" + unitNote)->type_name("S1");
    command->add_option("--negative", options->negative, "Negative-sequence component" + unitNote)->type_name("S2");
    command
        ->add_option("--quantity", options->quantity,
                     "What the components are, for the heading and units only: voltage or current; default voltage")
        ->type_name("voltage|current");
    addJsonFlag(*command, options->json);
    command->callback([options]() {
        const Complex zero = parsePhasor(options->zero, "--zero").rectangular;
        const Complex positive = parsePhasor(options->positive, "--positive").rectangular;
        const Complex negative = parsePhasor(options->negative, "--negative").rectangular;
        const Quantity quantity = parseChoice(options->quantity, quantityChoices(), "--quantity");
        const ThreePhaseSystem system = CalculationSymComponents::Calc3PhseSystem(Complex3(zero, positive, negative));
        printReport({{quantity, system}}, options->json, "--zero, --positive, --negative");
    });
}

}  // namespace

void addSteadyStateCommands(CLI::App& app) {
    addFaultCommand(app);
    addPowerCommand(app);
    addImpedanceCommand(app);
    addSymCommand(app);
}

}  // namespace kexcalc
